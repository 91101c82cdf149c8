#include "interface/pcm.h"

#include <algorithm>

#include "simd/lanes.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// Held to -32768 ... 32767 and truncated; written so that a NaN also lands on
// a defined value (-32768).
Int4 HeldSamples(Float4 v) {
    const Float4 lowest = Float4{} - 32768.0f;
    const Float4 highest = Float4{} + 32767.0f;
#if defined(__SSE2__)
    // max(a, b) is a > b ? a : b and min(a, b) is a < b ? a : b, lane by lane
    // (a NaN in a gives b), one instruction each where the compiler would
    // build each choice from three.
    return Truncate(_mm_min_ps(_mm_max_ps(v, lowest), highest));
#else
    const Float4 above = v > lowest ? v : lowest;
    return Truncate(above < highest ? above : highest);
#endif
}

}  // namespace

// Four samples at a time; a last group of fewer goes through a padded copy.
void ToPcm16(const float* samples, int16_t* out, int count) {
    int i = 0;
    for (; i + 4 <= count; i += 4) StoreSamples(out + i, HeldSamples(LoadFloat4(samples + i)));
    if (i < count) {
        float rest[4] = {};
        int16_t held[4];
        std::copy(samples + i, samples + count, rest);
        StoreSamples(held, HeldSamples(LoadFloat4(rest)));
        std::copy(held, held + (count - i), out + i);
    }
}
