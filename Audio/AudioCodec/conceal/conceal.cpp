// Concealment: made-up frames keep the neighbours' magnitudes, shaped by the
// length of the gap, and take random signs from four multiplicative
// generators shared by both channels.
#include "conceal/conceal.h"

#include <cmath>
#include <cstring>

#include "frame.h"

namespace {

constexpr int kLowBand = 40;  // coefficients below 1 kHz, kept apart in a one-frame gap
constexpr float kEdgeFactor = 0.9f;
constexpr float kMiddleFactor = 0.4f;
constexpr float kFadeFactor = 0.85f;
constexpr float kLowBandFactor = 0.75f;

bool HasMiddleFrames(int n) { return n >= 3 && n <= 6; }

constexpr int kGenerators = 4;
static_assert(kFrameSamples % kGenerators == 0, "each group of four steps every generator once");

// Negates one frame's coefficients whose sign comes out negative: coefficient
// k steps generator k mod 4 (wrap-around multiply by 16807) and keeps its
// sign when the new seed is positive, in every channel alike. The four
// generators are four lanes, and a negation is a flip of the sign bit,
// without a branch: the signs are random.
void DrawSigns(int32_t* seeds, float* const* frames, int channels) {
    uint32_t seed[kGenerators];
    for (int j = 0; j < kGenerators; ++j) seed[j] = static_cast<uint32_t>(seeds[j]);
    for (int k = 0; k < kFrameSamples; k += kGenerators) {
        uint32_t flip[kGenerators];
        for (int j = 0; j < kGenerators; ++j) {
            seed[j] *= 16807u;
            flip[j] = static_cast<int32_t>(seed[j]) > 0 ? 0u : 0x80000000u;
        }
        for (int ch = 0; ch < channels; ++ch) {
            for (int j = 0; j < kGenerators; ++j) {
                uint32_t bits;
                std::memcpy(&bits, frames[ch] + k + j, sizeof bits);
                bits ^= flip[j];
                std::memcpy(frames[ch] + k + j, &bits, sizeof bits);
            }
        }
    }
    for (int j = 0; j < kGenerators; ++j) seeds[j] = static_cast<int32_t>(seed[j]);
}

// 0.4 (|O| + |N|): the one magnitude spectrum of all middle frames of a gap of 3 ... 6.
void MiddleMagnitude(const float* older, const float* newer, float* middle) {
    for (int k = 0; k < kFrameSamples; ++k) {
        const float sum = std::fabs(older[k]) + std::fabs(newer[k]);
        middle[k] = kMiddleFactor * sum;
    }
}

void ScaleFrame(const float* from, float factor, float* frame) {
    for (int k = 0; k < kFrameSamples; ++k) frame[k] = factor * from[k];
}

// Frame i of a gap of n before its signs are drawn.
void UnsignedFrame(const float* older, const float* newer, const float* middle, int n, int i, float* frame) {
    if (n == 1) {
        for (int k = 0; k < kLowBand; ++k) frame[k] = kLowBandFactor * older[k];
        for (int k = kLowBand; k < kFrameSamples; ++k) {
            const float sum = std::fabs(older[k]) + std::fabs(newer[k]);
            frame[k] = 0.5f * sum;
        }
    } else if (n >= 7) {
        float fade = kFadeFactor;
        for (int step = 0; step < i; ++step) fade = fade * kFadeFactor;
        ScaleFrame(older, fade, frame);
    } else if (i == 0) {
        ScaleFrame(older, kEdgeFactor, frame);
    } else if (i == n - 1) {
        ScaleFrame(newer, kEdgeFactor, frame);
    } else {
        for (int k = 0; k < kFrameSamples; ++k) frame[k] = middle[k];
    }
}

// Makes n frames for each channel; coefficient k of a frame takes one sign
// for all channels.
void ConcealChannels(int32_t* seeds, const float* const* older, const float* const* newer, float* const* out,
                     int channels, int n) {
    float middle[2][kFrameSamples];
    if (HasMiddleFrames(n))
        for (int ch = 0; ch < channels; ++ch) MiddleMagnitude(older[ch], newer[ch], middle[ch]);
    for (int i = 0; i < n; ++i) {
        float* frames[2];
        for (int ch = 0; ch < channels; ++ch) {
            frames[ch] = out[ch] + i * kFrameSamples;
            UnsignedFrame(older[ch], newer[ch], middle[ch], n, i, frames[ch]);
        }
        DrawSigns(seeds, frames, channels);
    }
}

}  // namespace

void ConcealFrames(int32_t* seeds, const float* older, const float* newer, int n, float* out) {
    const float* const olders[1] = {older};
    const float* const newers[1] = {newer};
    float* const outs[1] = {out};
    ConcealChannels(seeds, olders, newers, outs, 1, n);
}

void ConcealFramesStereo(int32_t* seeds, const float* older0, const float* newer0, float* out0, const float* older1,
                         const float* newer1, float* out1, int n) {
    const float* const olders[2] = {older0, older1};
    const float* const newers[2] = {newer0, newer1};
    float* const outs[2] = {out0, out1};
    ConcealChannels(seeds, olders, newers, outs, 2, n);
}
