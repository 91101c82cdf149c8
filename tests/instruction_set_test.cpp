// Every instruction set's kernels give the same bits: each kernel of each
// wider set this processor has against the baseline one on the same inputs,
// and the whole codec (packets, flags, levels and decoded samples, with
// losses) run with each set.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "codec_session.h"
#include "core/core_tables.h"
#include "core/decoder_noise.h"
#include "simd/instruction_set.h"
#include "simd/kernels.h"
#include "speech/decimator.h"
#include "speech/real_fft256.h"
#include "test_signals.h"
#include "transform/transform.h"

namespace {

// The set the library chose for this processor, before any test forced one.
const InstructionSet kWidest = ActiveInstructionSet();

// Each test runs once per wider set, with that set active: DREMKO_KERNEL
// then calls its kernels, which are compared with baseline_kernels.
class InstructionSets : public ::testing::TestWithParam<InstructionSet> {
protected:
    void SetUp() override {
        ForceInstructionSet(GetParam());
        if (ActiveInstructionSet() != GetParam())
            GTEST_SKIP() << "this processor has no " << InstructionSetName(GetParam());
        InitDct4Tables();
    }
    void TearDown() override { ForceInstructionSet(kWidest); }
};

// Floats from a real signal, as the transforms see them, scaled over a wide range.
std::vector<float> SignalFloats(int count, double scale) {
    const std::vector<int16_t> pcm = test_signals::SpeechLike(2, 5);
    std::vector<float> x(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) x[i] = static_cast<float>(pcm[static_cast<size_t>(i) + 400] * scale);
    return x;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST_P(InstructionSets, TransformKernelsAgree) {
    for (double scale : {1e-3, 1.0, 1e4}) {
        const std::vector<float> x = SignalFloats(960, scale);
        std::vector<float> work_a = x, work_b = x, out_a(960), out_b(960);
        baseline_kernels::Fft480Split(work_a.data(), out_a.data());
        DREMKO_KERNEL(Fft480Split, work_b.data(), out_b.data());
        EXPECT_TRUE(SameBits(out_a, out_b)) << "FFT, scale " << scale;

        baseline_kernels::Dct4(x.data(), out_a.data());
        DREMKO_KERNEL(Dct4, x.data(), out_b.data());
        EXPECT_TRUE(SameBits(out_a, out_b)) << "DCT-IV, scale " << scale;

        std::vector<float> overlap_a(480, 0.5f), overlap_b(480, 0.5f);
        baseline_kernels::MdctSynthesis(x.data(), overlap_a.data(), out_a.data());
        DREMKO_KERNEL(MdctSynthesis, x.data(), overlap_b.data(), out_b.data());
        EXPECT_TRUE(SameBits(out_a, out_b) && SameBits(overlap_a, overlap_b)) << "synthesis, scale " << scale;
    }
    const std::vector<int16_t> pcm = test_signals::Chords(3);
    std::vector<int16_t> history_a(pcm.begin(), pcm.begin() + 1920), history_b = history_a;
    std::vector<float> out_a(960), out_b(960);
    baseline_kernels::MdctAnalysis(history_a.data(), out_a.data());
    DREMKO_KERNEL(MdctAnalysis, history_b.data(), out_b.data());
    EXPECT_TRUE(SameBits(out_a, out_b) && history_a == history_b) << "analysis";
}

// The gain of each set against the one-at-a-time product, rounded once.
TEST_P(InstructionSets, GainKernelsMatchTheScalarProduct) {
    for (double gain : {1.2300000190734863, 0.024529000744223595}) {
        const std::vector<float> x = SignalFloats(960, 1.7);
        std::vector<float> expected(960), a = x, b = x;
        for (size_t i = 0; i < x.size(); ++i) expected[i] = static_cast<float>(gain * static_cast<double>(x[i]));
        baseline_kernels::ApplyGain(a.data(), 960, gain);
        DREMKO_KERNEL(ApplyGain, b.data(), 960, gain);
        EXPECT_TRUE(SameBits(a, expected)) << "baseline, gain " << gain;
        EXPECT_TRUE(SameBits(b, expected)) << InstructionSetName(GetParam()) << ", gain " << gain;
    }
}

// Region mean squares of each set against the scalar running sum, each step
// rounded to float, over coefficients from tiny to large (their squares
// reach the float maximum's neighbourhood only summed, where a rounding out
// of order would show).
TEST_P(InstructionSets, RegionMeanSquareKernelsMatchTheScalarSums) {
    for (double scale : {1e-19, 1e-3, 1.0, 1e4, 5e13}) {
        const std::vector<float> x = SignalFloats(kRegions * kRegionSize, scale);
        std::vector<float> expected(kRegions), a(kRegions), b(kRegions);
        for (int r = 0; r < kRegions; ++r) {
            float sum = 0.0f;
            for (int i = 0; i < kRegionSize; ++i) {
                const float v = x[static_cast<size_t>(r * kRegionSize + i)];
                sum = static_cast<float>(static_cast<double>(sum) + static_cast<double>(v) * v);
            }
            expected[static_cast<size_t>(r)] = static_cast<float>(0.05 * sum);
        }
        baseline_kernels::RegionMeanSquares(x.data(), a.data());
        DREMKO_KERNEL(RegionMeanSquares, x.data(), b.data());
        EXPECT_TRUE(SameBits(a, expected)) << "baseline, scale " << scale;
        EXPECT_TRUE(SameBits(b, expected)) << InstructionSetName(GetParam()) << ", scale " << scale;
    }
}

TEST_P(InstructionSets, SpeechTransformKernelsAgree) {
    RealFft256Tables tables;
    RealFft256_BuildTables(&tables);
    for (double scale : {1e-3, 1.0, 1e4}) {
        const std::vector<float> x = SignalFloats(256, scale);
        for (const RealFft256Twiddles* direction : {&tables.forward, &tables.inverse}) {
            std::vector<float> a = x, b = x;
            baseline_kernels::ComplexFft128(a.data(), direction->stage);
            DREMKO_KERNEL(ComplexFft128, b.data(), direction->stage);
            EXPECT_TRUE(SameBits(a, b)) << "128-point transform, scale " << scale;
            for (double c2 : {-0.5, 0.5}) {
                a = x;
                b = x;
                baseline_kernels::RealFftSplitStep(a.data(), c2, direction->split);
                DREMKO_KERNEL(RealFftSplitStep, b.data(), c2, direction->split);
                EXPECT_TRUE(SameBits(a, b)) << "split step " << c2 << ", scale " << scale;
            }
        }
    }
}

TEST_P(InstructionSets, StereoBandPowerKernelsAgree) {
    for (double scale : {0.01, 0.3, 1.0}) {
        std::vector<int16_t> pcm = test_signals::Chords(2);
        for (int16_t& v : pcm) v = static_cast<int16_t>(v * scale);
        float work_a[960], work_b[960];
        std::vector<float> a(10), b(10);
        baseline_kernels::StereoChannelBandPowers(pcm.data() + 960, work_a, a.data());
        DREMKO_KERNEL(StereoChannelBandPowers, pcm.data() + 960, work_b, b.data());
        EXPECT_TRUE(SameBits(a, b)) << "scale " << scale;
    }
}

// Full-scale noise through both filters, laid out as the decimator lays out
// its history: factor phases of stride entries, then zeros as far as the
// largest group of outputs reads. Whole frames of 160 outputs, and counts
// that end inside a first or a later group.
TEST_P(InstructionSets, DecimatorKernelsAgree) {
    struct Filter {
        const float* taps;
        int32_t count;
        int32_t factor;
    };
    const std::vector<int16_t> noise = test_signals::Noise(2, 12000.0);
    for (const Filter& f : {Filter{kDecimatorTaps48k.data(), 96, 6}, Filter{kDecimatorTaps32k.data(), 64, 4}}) {
        for (int32_t outputs : {160, 100, 37}) {
            const int32_t samples = f.count + outputs * f.factor;
            const int32_t stride = (samples + f.factor - 1) / f.factor;
            std::vector<double> phases(static_cast<size_t>(f.factor * stride + kDecimatorMaxGroup), 0.0);
            for (int32_t n = 0; n < samples; ++n)
                phases[static_cast<size_t>(n % f.factor * stride + n / f.factor)] = noise[static_cast<size_t>(n)];
            std::vector<float> a(static_cast<size_t>(outputs + kDecimatorMaxGroup)), b(a.size());
            baseline_kernels::DecimatorFilter(phases.data(), stride, f.taps, f.count, f.factor, outputs, a.data());
            DREMKO_KERNEL(DecimatorFilter, phases.data(), stride, f.taps, f.count, f.factor, outputs, b.data());
            a.resize(static_cast<size_t>(outputs));
            b.resize(static_cast<size_t>(outputs));
            EXPECT_TRUE(SameBits(a, b)) << f.count << " taps, " << outputs << " outputs";
        }
    }
}

struct CodecRun {
    std::vector<uint8_t> packets;
    std::vector<int32_t> flags_levels;
    std::vector<int16_t> pcm;
};

CodecRun RunCodec(bool stereo) {
    const std::vector<int16_t> left = test_signals::SpeechLike(60, 9), right = test_signals::Chords(60);
    const std::vector<int16_t> pcm = stereo ? test_signals::Planar(left, right) : left;
    EncoderSession enc = MakeEncoder(stereo ? 128000 : 64000, stereo);
    CodecRun run;
    std::vector<std::vector<uint8_t>> packets;
    const size_t frame = stereo ? 2 * kFrameSamples : kFrameSamples;
    for (size_t at = 0; at + frame <= pcm.size(); at += frame) {
        std::vector<uint8_t> packet(kMaxPacketBytes);
        const int32_t part = Dremko_EncodeFrame(enc.ctx(), &pcm[at], packet.data(), 2);
        packet.resize(static_cast<size_t>(stereo ? 2 * part : part));
        run.packets.insert(run.packets.end(), packet.begin(), packet.end());
        run.flags_levels.push_back(DremkoEncoder_GetSpeechDetect(enc.ctx()));
        run.flags_levels.push_back(DremkoEncoder_GetEnergy(enc.ctx()));
        packets.push_back(packet);
    }
    // Every fifth packet lost, and a run of six.
    std::vector<std::vector<uint8_t>> received;
    std::vector<int32_t> losses;
    int32_t lost = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        if (i > 0 && (i % 5 == 0 || (i >= 30 && i < 36))) {
            ++lost;
            continue;
        }
        received.push_back(packets[i]);
        losses.push_back(lost);
        lost = 0;
    }
    DecoderSession dec = MakeDecoder(64000, 2, stereo);
    run.pcm = DecodeAll(dec, received, losses, stereo).pcm;
    return run;
}

// The decoder's noise generators are process-wide; both runs start them alike.
TEST_P(InstructionSets, CodecOutputIsTheSameWithEverySet) {
    for (bool stereo : {false, true}) {
        const NoiseGenerator base = BaseLayerNoise, ext = ExtLayerNoise;
        const uint16_t high = HighBandNoiseState;
        ForceInstructionSet(InstructionSet::kBaseline);
        const CodecRun baseline = RunCodec(stereo);
        BaseLayerNoise = base;
        ExtLayerNoise = ext;
        HighBandNoiseState = high;
        ForceInstructionSet(GetParam());
        const CodecRun wider = RunCodec(stereo);
        EXPECT_EQ(baseline.packets, wider.packets) << (stereo ? "stereo" : "mono");
        EXPECT_EQ(baseline.flags_levels, wider.flags_levels) << (stereo ? "stereo" : "mono");
        EXPECT_EQ(baseline.pcm, wider.pcm) << (stereo ? "stereo" : "mono");
    }
}

INSTANTIATE_TEST_SUITE_P(Wider, InstructionSets, ::testing::Values(InstructionSet::kAvx2, InstructionSet::kAvx512),
                         [](const ::testing::TestParamInfo<InstructionSet>& info) {
                             return std::string(InstructionSetName(info.param));
                         });

// What the processor has, asked independently of the library.
bool Has(InstructionSet set) {
#if (defined(__x86_64__) || defined(__i386__)) && defined(__GNUC__)
    if (set == InstructionSet::kAvx512)
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512vl") &&
               __builtin_cpu_supports("avx512dq") && __builtin_cpu_supports("avx512bw");
    if (set == InstructionSet::kAvx2) return __builtin_cpu_supports("avx2");
#endif
    return set == InstructionSet::kBaseline;
}

// The default is the widest set the processor has; a forced set sticks where
// the processor has it and falls back to the baseline elsewhere; each set's
// name leads back to it.
TEST(InstructionSet, TheWidestByDefaultAndEachForcedSetWhereAvailable) {
    EXPECT_EQ(kWidest, Has(InstructionSet::kAvx512) ? InstructionSet::kAvx512
                       : Has(InstructionSet::kAvx2) ? InstructionSet::kAvx2
                                                    : InstructionSet::kBaseline);
    for (InstructionSet set : {InstructionSet::kAvx512, InstructionSet::kBaseline, InstructionSet::kAvx2}) {
        ForceInstructionSet(set);
        EXPECT_EQ(ActiveInstructionSet(), Has(set) ? set : InstructionSet::kBaseline) << InstructionSetName(set);
        InstructionSet named = InstructionSet::kBaseline;
        EXPECT_TRUE(InstructionSetNamed(InstructionSetName(set), &named));
        EXPECT_EQ(named, set);
    }
    InstructionSet named = InstructionSet::kAvx2;
    EXPECT_FALSE(InstructionSetNamed("AVX2", &named));
    EXPECT_FALSE(InstructionSetNamed("", &named));
    EXPECT_EQ(named, InstructionSet::kAvx2);
    ForceInstructionSet(kWidest);
}

}  // namespace
