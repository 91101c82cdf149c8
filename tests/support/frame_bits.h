// Bit k of a core frame in its own layout: 16-bit little-endian words, each
// read from its most significant bit down.
#pragma once
#include <cstdint>

inline int FrameBit(const uint8_t* frame, int k) {
    const int shift = 15 - k % 16;
    return (frame[2 * (k / 16) + shift / 8] >> (shift % 8)) & 1;
}

inline void SetFrameBit(uint8_t* frame, int k, int bit) {
    const int shift = 15 - k % 16;
    uint8_t& byte = frame[2 * (k / 16) + shift / 8];
    const uint8_t mask = static_cast<uint8_t>(1u << (shift % 8));
    byte = bit ? static_cast<uint8_t>(byte | mask) : static_cast<uint8_t>(byte & ~mask);
}
