// Core frames and code words bit by bit. A frame's bit k lies in its own
// layout: 16-bit little-endian words, each read from its most significant
// bit down.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "interface/packet_layout.h"

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

// A core frame written from its first bit on; bits not written are 1, the fill.
struct FrameWriter {
    std::vector<uint8_t> bytes = std::vector<uint8_t>(kCoreFrameBytes, 0xFF);
    int position = 0;
};

// The low `count` bits of `value`, most significant first.
inline void Put(FrameWriter* w, uint32_t value, int count) {
    for (int i = count - 1; i >= 0; --i) SetFrameBit(w->bytes.data(), w->position++, (value >> i) & 1);
}

// A code word of `length` bits as 0s and 1s, first bit first.
inline std::string CodeBits(uint32_t value, int length) {
    std::string bits;
    for (int i = length - 1; i >= 0; --i) bits += ((value >> i) & 1) ? '1' : '0';
    return bits;
}

// Walks a decoding tree along `bits`: the leaf's index, or -1 when the walk
// ends anywhere but on the last bit.
inline int TreeDecode(const int16_t (*tree)[2], const std::string& bits) {
    int node = 0;
    for (size_t i = 0; i < bits.size(); ++i) {
        const int child = tree[node][bits[i] - '0'];
        if (child <= 0) return i + 1 == bits.size() ? -child : -1;
        node = child;
    }
    return -1;
}
