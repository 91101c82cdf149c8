// FIR decimator: only every factor-th output of the low-pass is computed.
#include "speech/decimator.h"

#include <array>
#include <cstring>

#include "speech/decimator_filter.inc"

#if defined(DREMKO_SSE2)
#include <emmintrin.h>
#endif

namespace {

// Both filters are symmetric: the tables below give the first half, and the
// second half mirrors it.
template <size_t Half>
constexpr std::array<float, 2 * Half> Mirrored(const std::array<float, Half>& half) {
    std::array<float, 2 * Half> full{};
    for (size_t i = 0; i < Half; ++i) {
        full[i] = half[i];
        full[2 * Half - 1 - i] = half[i];
    }
    return full;
}

constexpr std::array<float, 48> kHalf48k = {
    -0.000244f, -0.00021f,  1e-05f,     0.000442f,  0.001045f,  0.001699f, 0.002224f,  0.002416f,
    0.00211f,   0.001238f,  -0.000117f, -0.001714f, -0.003183f, -0.004107f, -0.004129f, -0.003068f,
    -0.00101f,  0.001671f,  0.004358f,  0.006324f,  0.006911f,  0.005728f, 0.002802f,  -0.001355f,
    -0.005813f, -0.009404f, -0.011007f, -0.009859f, -0.005818f, 0.000495f, 0.007743f,  0.014106f,
    0.017691f,  0.017013f,  0.011452f,  0.00156f,   -0.010865f, -0.023002f, -0.031492f, -0.033111f,
    -0.025491f, -0.00773f,  0.019242f,  0.052664f,  0.088312f,  0.121187f, 0.146404f,  0.160084f};

constexpr std::array<float, 32> kHalf32k = {
    -0.000403f, -0.000147f, 0.000807f,  0.002253f,  0.003436f,  0.003365f,  0.001446f,  -0.001916f,
    -0.005189f, -0.006336f, -0.003996f, 0.001403f,  0.007378f,  0.010381f,  0.007765f,  -0.000303f,
    -0.010207f, -0.016258f, -0.013706f, -0.001921f, 0.014179f,  0.025708f,  0.024163f,  0.006617f,
    -0.021012f, -0.044825f, -0.048243f, -0.019732f, 0.040632f,  0.119161f,  0.192611f,  0.236924f};

constexpr int kClearedInput = 1280;
constexpr int kMaxFactor = 6;


#if defined(DREMKO_SSE2)
// Rows m and m + 1 into entries m and m + 1 of every phase: sample p of both
// rows paired, widened and stored at once. Reads eight samples of each row.
template <int32_t Factor>
void SplitRowPair(const int16_t* h, int32_t m, int32_t stride, double* phases) {
    static_assert(Factor <= 8, "a row fits one load of eight samples");
    const __m128i first = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + m * Factor));
    const __m128i second = _mm_loadu_si128(reinterpret_cast<const __m128i*>(h + (m + 1) * Factor));
    // Samples 0 ... 3 and 4 ... 7 of the two rows interleaved, then each
    // 16-bit value doubled into a 32-bit lane and shifted down with its sign.
    const __m128i low = _mm_unpacklo_epi16(first, second), high = _mm_unpackhi_epi16(first, second);
    const __m128i pairs[4] = {_mm_srai_epi32(_mm_unpacklo_epi16(low, low), 16),
                              _mm_srai_epi32(_mm_unpackhi_epi16(low, low), 16),
                              _mm_srai_epi32(_mm_unpacklo_epi16(high, high), 16),
                              _mm_srai_epi32(_mm_unpackhi_epi16(high, high), 16)};
    for (int32_t p = 0; p < Factor; ++p) {
        const __m128i pair = p % 2 == 0 ? pairs[p / 2] : _mm_shuffle_epi32(pairs[p / 2], 0xEE);
        _mm_storeu_pd(phases + p * stride + m, _mm_cvtepi32_pd(pair));
    }
}
#endif

// Entry m of phase p is sample m * Factor + p, widened to double; zeros pad
// each phase to the stride. Two rows at a time where SSE2 converts pairs of
// samples (each sample's own load, conversion and store took twice as long),
// then a row at a time, the factor a constant.
template <int32_t Factor>
void SplitPhases(const int16_t* h, int32_t samples, int32_t stride, double* phases) {
    int32_t m = 0;
#if defined(DREMKO_SSE2)
    for (; m + 1 < stride && (m + 1) * Factor + 8 <= samples; m += 2) SplitRowPair<Factor>(h, m, stride, phases);
#endif
    for (; m < stride; ++m) {
        const int16_t* row = h + m * Factor;
        if ((m + 1) * Factor <= samples) {
            for (int32_t p = 0; p < Factor; ++p) phases[p * stride + m] = row[p];
        } else {
            for (int32_t p = 0; p < Factor; ++p) phases[p * stride + m] = m * Factor + p < samples ? row[p] : 0.0;
        }
    }
}

}  // namespace

const std::array<float, 96> kDecimatorTaps48k = Mirrored(kHalf48k);
const std::array<float, 64> kDecimatorTaps32k = Mirrored(kHalf32k);

DecimatorState* Decimator_Create(DecimatorState* state, const float* coefficients, int32_t taps, int32_t factor) {
    if (!state) return nullptr;
    std::memset(state->history, 0, static_cast<size_t>(taps + kClearedInput) * sizeof(int16_t));
    state->coefficients = coefficients;
    state->taps = taps;
    state->factor = factor;
    return state;
}

void Decimator_Process(DecimatorState* state, const int16_t* input, int32_t count, int16_t* output) {
    const int32_t taps = state->taps;
    const int32_t factor = state->factor;
    const float* c = state->coefficients;
    int16_t* h = state->history;
    // A call with fewer samples than the factor takes nothing in and only moves the kept samples.
    if (count >= factor) std::memcpy(h + taps, input, static_cast<size_t>(count) * sizeof(int16_t));

    // The history split into its factor phases: tap i of output j reads
    // sample j * factor + i, which is entry j + i / factor of phase i % factor.
    // So each tap is one step over consecutive outputs, and the outputs'
    // running sums, independent of each other, advance side by side.
    const int32_t samples = taps + count;
    const int32_t stride = (samples + factor - 1) / factor;
    // Each phase is padded with zeros, and zeros follow the last one, so
    // that the sums past the last output of a group read defined values;
    // those sums are never used.
    double phases[kDecimatorHistory + kMaxFactor + kDecimatorMaxGroup];
    if (factor == 4)
        SplitPhases<4>(h, samples, stride, phases);
    else
        SplitPhases<6>(h, samples, stride, phases);
    for (int32_t m = factor * stride; m < factor * stride + kDecimatorMaxGroup; ++m) phases[m] = 0.0;

    const int32_t outputs = count / factor;
    float sums[kDecimatorHistory / 4 + kDecimatorMaxGroup];
    DREMKO_KERNEL(DecimatorFilter, phases, stride, c, taps, factor, outputs, sums);
    // No saturation: a result beyond the 16-bit range keeps its low 16 bits.
    for (int32_t j = 0; j < outputs; ++j) output[j] = static_cast<int16_t>(static_cast<int32_t>(sums[j]));
    std::memmove(h, h + count, static_cast<size_t>(taps) * sizeof(int16_t));
}
