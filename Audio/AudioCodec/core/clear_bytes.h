// Clearing of small fixed-size buffers on the per-frame path.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>

// Sets kBytes bytes at p to zero by 16-byte stores written out four at a
// time: for one clearing of a few hundred bytes the compiler emits a string
// store, which takes longer to start than such a clearing takes to run.
template <size_t kBytes>
inline void ClearBytes(void* p) {
    static_assert(kBytes % 8 == 0, "whole 8-byte words");
    using Block = uint64_t __attribute__((vector_size(16)));
    auto* bytes = static_cast<uint8_t*>(p);
    const Block none = {};
    size_t i = 0;
    for (; i + 64 <= kBytes; i += 64)
        for (size_t k = 0; k < 64; k += 16) std::memcpy(bytes + i + k, &none, sizeof none);
    for (; i + 16 <= kBytes; i += 16) std::memcpy(bytes + i, &none, sizeof none);
    if (i < kBytes) std::memcpy(bytes + i, &none, 8);
}
