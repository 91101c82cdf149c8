// Reading a fuzz input front to back. Once the input is used up every read
// gives 0, so a target decides for itself where a short input ends.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

struct FuzzInput {
    const uint8_t* data;
    size_t size;
};

inline bool FuzzInputEmpty(const FuzzInput& in) { return in.size == 0; }

inline uint8_t TakeByte(FuzzInput* in) {
    if (in->size == 0) return 0;
    --in->size;
    return *in->data++;
}

// A little-endian value of `bytes` bytes (at most 4).
inline uint32_t TakeLittleEndian(FuzzInput* in, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value |= static_cast<uint32_t>(TakeByte(in)) << (8 * i);
    return value;
}

// Copies the next n bytes; false, taking nothing, when fewer remain.
inline bool TakeBytes(FuzzInput* in, void* out, size_t n) {
    if (in->size < n) return false;
    if (n > 0) std::memcpy(out, in->data, n);
    in->data += n;
    in->size -= n;
    return true;
}
