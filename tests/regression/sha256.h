// SHA-256 of a byte sequence, as lower-case hex.
#pragma once
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <type_traits>
#include <vector>

std::string Sha256Hex(const uint8_t* data, size_t size);

// Appends the bits of every value, low byte first, so that digests of them
// are the same whatever the host's byte order.
template <typename T>
void AppendLowByteFirst(const std::vector<T>& values, std::vector<uint8_t>* bytes) {
    for (const T& value : values) {
        uint64_t bits;
        if constexpr (std::is_floating_point_v<T>) {
            std::conditional_t<sizeof(T) == 4, uint32_t, uint64_t> raw;
            static_assert(sizeof raw == sizeof(T), "floats of 4 or 8 bytes");
            std::memcpy(&raw, &value, sizeof raw);
            bits = raw;
        } else {
            bits = static_cast<uint64_t>(static_cast<int64_t>(value));
        }
        for (size_t k = 0; k < sizeof(T); ++k) bytes->push_back(static_cast<uint8_t>(bits >> (8 * k)));
    }
}
