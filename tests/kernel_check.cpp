// Every lane kernel of every instruction set this processor has, run against
// the plain set on the same random and edge inputs: every buffer must come
// out with the same bits (any two NaNs count as equal). The kernels and the
// inputs each argument takes come from the kernels' own list
// (kernels/kernel_list.h), so a new kernel is checked without a line here.
// A change that alters every set alike passes that comparison; so the plain
// set's results for one fixed trial of each kernel are also held against
// recorded exactness vectors (kExactness below).
//
//   kernel_check [--bench]
//
// --bench then times each kernel of each set against the plain one (under an
// emulator the ratios say nothing about speed).
#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <functional>
#include <limits>
#include <map>
#include <string>
#include <tuple>
#include <utility>
#include <vector>

#include "regression/sha256.h"

// What each kernel's arguments hold, as its entry describes them.
template <typename T>
struct BufferShape {
    int count;
};
struct FixedValue {
    long long value;
};
struct RandomScalar {};

BufferShape<float> Floats(int count) { return {count}; }
BufferShape<int16_t> Samples(int count) { return {count}; }
// Doubles holding 16-bit sample values, as the decimator's phases do.
BufferShape<double> SampleValues(int count) { return {count}; }
FixedValue Value(long long value) { return {value}; }
// A double from a gain's range, and its edges.
RandomScalar Scalar() { return {}; }

struct Kernel {
    const char* name;
    // Runs the trial's inputs through the plain set and `set`; false on a
    // difference, which it prints.
    std::function<bool(int trial, int set)> check;
    // SHA-256 of the plain set's buffers after the exactness trial.
    std::function<std::string()> digest;
    // Nanoseconds per call of `set`.
    std::function<double(int set)> time;
};

std::vector<Kernel>& Kernels() {
    static std::vector<Kernel> kernels;
    return kernels;
}

template <typename Signature, typename... Shapes>
bool Register(const char* name, std::vector<Signature*> sets, Shapes... shapes);

#define KERNEL_CHECK_POINTER(set, stem, set_name, kernel) &stem##_kernels::kernel,
#define DREMKO_KERNEL_ENTRY(name, signature, ...)                       \
    DREMKO_INSTRUCTION_SETS(DREMKO_DECLARE_IN_SET, name, signature)     \
    const bool name##_registered = Register<signature>(                 \
        #name, {DREMKO_INSTRUCTION_SETS(KERNEL_CHECK_POINTER, name)}, __VA_ARGS__);
#include "kernels/kernel_list.h"

namespace {

constexpr int kTrials = 64;
constexpr int kKinds = 4;

// Exactness vectors: the SHA-256 of every buffer argument, in order, after
// the plain set has run the exactness trial (moderate inputs, no NaN to come
// out with a host's own bits), values low byte first so that every target
// gets the same digest. Like the regression digests they are recorded, not
// derived: a change that alters the arithmetic on purpose records them
// anew from what kernel_check prints, together with those digests.
constexpr int kExactnessTrial = 0;
const std::map<std::string, std::string> kExactness = {
    {"ApplyGain", "4f6c45ed4ca0fd871e73261889bc0dae221071fbff6677b0e98e3ff85c7dd679"},
    {"ComplexFft128", "cd7fce3e7ad065252b7ae00f26e1e4ad694e1e969c40e3cc265c025636223342"},
    {"Dct4", "6538cf94c9f890564230f67f0f2a58aa07353a9270e5e3f99139f0cd44c319e8"},
    {"DecimatorFilter", "9a2095bbb632a3c5b9f73f7a01cf9b2f0669b88cce8991bef837703c5167432e"},
    {"Fft480Split", "c2274032ab805d6d4d9cc3f78b4f2ca1eacc2c0302af46345c286cfc2bc3cd86"},
    {"MdctAnalysis", "5c7b0893ee86321484f3550f2959b58653e3f7925fbd9d5ce2da610e22122738"},
    {"MdctSynthesis", "86ff4aaddb05aa5eb361fdd35139b10833691b3617eb1179c50971b48d4ab816"},
    {"RealFftSplitStep", "31a00821f31971477ceac9bb605bd6df299bd511ba90519c63f3a28e85c07edf"},
    {"RegionMeanSquares", "77e6a4a9ff57a2973f0876ab624954ea92bda63490016c75b9cc51dae9861e6d"},
    {"StereoFrameBandPowers", "c9f7a625d359e79902fdc04076d0279b037a6dd1e8ee53e58d5258adfaf16d3b"},
};

// Portable 64-bit generator, so that every target draws the same inputs.
struct Rng {
    uint64_t state;
    uint32_t Next() {
        state = state * 6364136223846793005u + 1442695040888963407u;
        return static_cast<uint32_t>(state >> 32);
    }
    double Unit() { return (Next() >> 8) * (1.0 / 16777216.0); }  // [0, 1)
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint32_t>(n)); }
};

float SpecialFloat(Rng& rng) {
    const float specials[] = {0.0f,
                              -0.0f,
                              std::numeric_limits<float>::min(),
                              -std::numeric_limits<float>::denorm_min(),
                              std::numeric_limits<float>::max(),
                              -std::numeric_limits<float>::max(),
                              1.0f,
                              -32768.0f};
    return specials[rng.Below(8)];
}

// Kind 0: moderate values; 1: exponents from subnormal to near overflow;
// 2: moderate values with zeros of both signs, the smallest and largest
// floats sprinkled in; 3: whole sample values.
// The mantissa is drawn before the exponent, in statements of their own: a
// call's arguments may be evaluated in any order, and every target must
// draw the same values.
float DrawFloat(Rng& rng, int kind) {
    const float sign = rng.Next() & 1 ? -1.0f : 1.0f;
    const float mantissa = static_cast<float>(rng.Unit());
    switch (kind) {
        case 1:
            return sign * std::ldexp(mantissa, rng.Below(270) - 148);
        case 2:
            if (rng.Below(8) == 0) return SpecialFloat(rng);
            [[fallthrough]];
        case 0:
            return sign * std::ldexp(mantissa, rng.Below(17) - 8);
        default:
            return static_cast<float>(rng.Below(65536) - 32768);
    }
}

// Kind 0: full scale; 1: the extremes; 2: quiet; 3: silence.
int16_t DrawSample(Rng& rng, int kind) {
    switch (kind) {
        case 0:
            return static_cast<int16_t>(rng.Below(65536) - 32768);
        case 1:
            return rng.Next() & 1 ? int16_t{32767} : int16_t{-32768};
        case 2:
            return static_cast<int16_t>(rng.Below(17) - 8);
        default:
            return 0;
    }
}

std::vector<float> Hold(BufferShape<float> shape, Rng& rng, int kind) {
    std::vector<float> v(static_cast<size_t>(shape.count));
    for (float& x : v) x = DrawFloat(rng, kind);
    return v;
}
std::vector<int16_t> Hold(BufferShape<int16_t> shape, Rng& rng, int kind) {
    std::vector<int16_t> v(static_cast<size_t>(shape.count));
    for (int16_t& x : v) x = DrawSample(rng, kind);
    return v;
}
std::vector<double> Hold(BufferShape<double> shape, Rng& rng, int kind) {
    std::vector<double> v(static_cast<size_t>(shape.count));
    for (double& x : v) x = DrawSample(rng, kind);
    return v;
}
long long Hold(FixedValue shape, Rng&, int) { return shape.value; }
double Hold(RandomScalar, Rng& rng, int kind) {
    const double edges[kKinds] = {0.0, -0.5, 1e-300, 65536.0};
    return rng.Below(4) == 0 ? edges[kind] : 8.0 * rng.Unit() - 4.0;
}

template <typename T>
T* Pass(std::vector<T>& v) {
    return v.data();
}
long long Pass(long long v) { return v; }
double Pass(double v) { return v; }

bool SameBits(float a, float b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }
bool SameBits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0 || (std::isnan(a) && std::isnan(b)); }
bool SameBits(int16_t a, int16_t b) { return a == b; }

// The first element where `got` differs from `want`, printed; -1 if none.
template <typename T>
long Difference(const std::vector<T>& want, const std::vector<T>& got) {
    for (size_t i = 0; i < want.size(); ++i)
        if (!SameBits(want[i], got[i])) {
            std::printf("    element %zu: plain %.9g, this set %.9g\n", i, static_cast<double>(want[i]),
                        static_cast<double>(got[i]));
            return static_cast<long>(i);
        }
    return -1;
}
template <typename T>
long Difference(T, T) {
    return -1;
}

// A buffer's values go into the digest; a scalar argument is only an input.
template <typename T>
void Append(const std::vector<T>& buffer, std::vector<uint8_t>* bytes) {
    AppendLowByteFirst(buffer, bytes);
}
template <typename T>
void Append(T, std::vector<uint8_t>*) {}

template <typename Tuple, size_t... I>
int FirstDifferingArgument(const Tuple& want, const Tuple& got, std::index_sequence<I...>) {
    int argument = -1;
    ((argument < 0 && Difference(std::get<I>(want), std::get<I>(got)) >= 0 ? argument = static_cast<int>(I) : 0), ...);
    return argument;
}

}  // namespace

template <typename Signature, typename... Shapes>
bool Register(const char* name, std::vector<Signature*> sets, Shapes... shapes) {
    // Braces, unlike a call's arguments, draw the arguments in order.
    using Held = std::tuple<decltype(Hold(shapes, std::declval<Rng&>(), 0))...>;
    const auto draw = [=](int trial) {
        Rng rng{0x9e3779b97f4a7c15u * static_cast<uint64_t>(trial + 1)};
        return Held{Hold(shapes, rng, trial % kKinds)...};
    };
    const auto run = [=](int set, auto& arguments) {
        std::apply([&](auto&... held) { sets[static_cast<size_t>(set)](Pass(held)...); }, arguments);
    };
    const auto check = [=](int trial, int set) {
        auto want = draw(trial);
        auto got = want;
        run(0, want);
        run(set, got);
        const int argument = FirstDifferingArgument(want, got, std::index_sequence_for<Shapes...>{});
        if (argument >= 0)
            std::printf("  %s, %s: argument %d differs in trial %d (inputs of kind %d)\n", name,
                        InstructionSetName(static_cast<InstructionSet>(set)), argument, trial, trial % kKinds);
        return argument < 0;
    };
    const auto digest = [=] {
        auto arguments = draw(kExactnessTrial);
        run(0, arguments);
        std::vector<uint8_t> bytes;
        std::apply([&](const auto&... held) { (Append(held, &bytes), ...); }, arguments);
        return Sha256Hex(bytes.data(), bytes.size());
    };
    // Moderate inputs, restored before every call; the best of five rounds.
    const auto time = [=](int set) {
        const auto inputs = draw(0);
        double best = 1e30;
        for (int round = 0; round < 5; ++round) {
            double total = 0;
            for (int call = 0; call < 200; ++call) {
                auto arguments = inputs;
                const auto start = std::chrono::steady_clock::now();
                run(set, arguments);
                total += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start).count();
            }
            best = std::min(best, total / 200);
        }
        return best;
    };
    Kernels().push_back({name, check, digest, time});
    return true;
}

int main(int argc, char** argv) {
    const bool bench = argc == 2 && std::strcmp(argv[1], "--bench") == 0;
    if (argc > 1 && !bench) {
        std::fprintf(stderr, "usage: kernel_check [--bench]\n");
        return 2;
    }
    std::vector<int> sets;
#define KERNEL_CHECK_SET(set, stem, set_name, unused) \
    if (InstructionSetSupported(InstructionSet::set)) sets.push_back(static_cast<int>(InstructionSet::set));
    DREMKO_INSTRUCTION_SETS(KERNEL_CHECK_SET, unused)
    int failures = 0;
    for (const Kernel& kernel : Kernels())
        for (int set : sets)
            for (int trial = 0; trial < kTrials; ++trial)
                if (!kernel.check(trial, set)) {
                    ++failures;
                    break;
                }
    std::printf("%zu kernels, sets:", Kernels().size());
    for (int set : sets) std::printf(" %s", InstructionSetName(static_cast<InstructionSet>(set)));
    std::printf("; %d differing from the plain set\n", failures);
    for (const Kernel& kernel : Kernels()) {
        const std::string got = kernel.digest();
        const auto recorded = kExactness.find(kernel.name);
        if (recorded == kExactness.end() || recorded->second != got) {
            std::printf("  %s: the plain set gives %s, not its exactness vector\n", kernel.name, got.c_str());
            ++failures;
        }
    }
    if (bench && failures == 0) {
        std::printf("%-24s %-8s %12s %14s\n", "kernel", "set", "ns per call", "plain / set");
        for (const Kernel& kernel : Kernels()) {
            const double plain = kernel.time(0);
            for (int set : sets) {
                const double ns = set == 0 ? plain : kernel.time(set);
                std::printf("%-24s %-8s %12.1f %14.2f\n", kernel.name, InstructionSetName(static_cast<InstructionSet>(set)),
                            ns, plain / ns);
            }
        }
    }
    return failures == 0 ? 0 : 1;
}
