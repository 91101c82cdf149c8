#include "interface/pcm.h"

void ToPcm16(const float* samples, int16_t* out, int count) {
    for (int i = 0; i < count; ++i) {
        const float v = samples[i];
        // Written so that a NaN also lands on a defined value.
        const float held = v > -32768.0f ? (v < 32767.0f ? v : 32767.0f) : -32768.0f;
        out[i] = static_cast<int16_t>(held);
    }
}
