#include "interface/pcm.h"

#include <algorithm>

#include "simd/instruction_set.h"

#if defined(DREMKO_SSE2)
#include <emmintrin.h>
#endif

namespace {

constexpr int kGroup = 8;

// Eight samples held to -32768 ... 32767 and truncated; a NaN lands on
// -32768.
#if defined(DREMKO_SSE2)
// min(a, b) is a < b ? a : b lane by lane, so min(32767, v) holds the top
// and keeps a NaN. Truncation turns a NaN and anything below -2^31 into
// -2^31, and packing to 16 bits saturates, which holds the bottom: one min,
// two conversions and one pack per eight samples.
void HeldSamples(const float* samples, int16_t* out) {
    const __m128 highest = _mm_set1_ps(32767.0f);
    const __m128i low = _mm_cvttps_epi32(_mm_min_ps(highest, _mm_loadu_ps(samples)));
    const __m128i high = _mm_cvttps_epi32(_mm_min_ps(highest, _mm_loadu_ps(samples + 4)));
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out), _mm_packs_epi32(low, high));
}
#else
void HeldSamples(const float* samples, int16_t* out) {
    for (int j = 0; j < kGroup; ++j) {
        const float v = samples[j];
        out[j] = !(v > -32768.0f) ? -32768 : v < 32767.0f ? static_cast<int16_t>(v) : 32767;
    }
}
#endif

}  // namespace

// Eight samples at a time; a last group of fewer goes through a padded copy.
void ToPcm16(const float* samples, int16_t* out, int count) {
    int i = 0;
    for (; i + kGroup <= count; i += kGroup) HeldSamples(samples + i, out + i);
    if (i < count) {
        float rest[kGroup] = {};
        int16_t held[kGroup];
        std::copy(samples + i, samples + count, rest);
        HeldSamples(rest, held);
        std::copy(held, held + (count - i), out + i);
    }
}
