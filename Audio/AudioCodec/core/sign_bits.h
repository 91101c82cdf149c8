// Handing out sign bits to the values that take them: the non-zero digits of
// a decoded vector, or the zero coefficients of a region filled with noise.
// Which values take a bit follows the signal, so the bits are placed five at
// a time by tables instead of one value at a time in a chain.
#pragma once
#include <array>
#include <cstdint>

namespace sign_bits_detail {

// For each 5-bit mask and 5 bits: the bits, least significant first, moved
// to the mask's set bits in order (bits 0 ... 4); and how many that took (bits 5 ... 7).
constexpr std::array<uint8_t, 32 * 32> BuildDeposits() {
    std::array<uint8_t, 32 * 32> table{};
    for (uint32_t mask = 0; mask < 32; ++mask) {
        for (uint32_t bits = 0; bits < 32; ++bits) {
            uint32_t placed = 0, taken = 0;
            for (uint32_t i = 0; i < 5; ++i) {
                if (!((mask >> i) & 1)) continue;
                placed |= ((bits >> taken) & 1) << i;
                ++taken;
            }
            table[mask << 5 | bits] = static_cast<uint8_t>(placed | taken << 5);
        }
    }
    return table;
}

// For each 5-bit mask of non-zero digits and the five bits after a code:
// the digits whose sign bit is 0. The digits take the bits in order, the
// first the most significant, so this is the deposit of the bits reversed.
constexpr std::array<uint8_t, 32 * 32> BuildNegatives(const std::array<uint8_t, 32 * 32>& deposits) {
    std::array<uint8_t, 32 * 32> table{};
    for (uint32_t mask = 0; mask < 32; ++mask) {
        for (uint32_t bits = 0; bits < 32; ++bits) {
            uint32_t reversed = 0;
            for (uint32_t i = 0; i < 5; ++i) reversed |= ((bits >> i) & 1) << (4 - i);
            table[mask << 5 | bits] = static_cast<uint8_t>(mask & ~deposits[mask << 5 | reversed]);
        }
    }
    return table;
}

inline constexpr std::array<uint8_t, 32 * 32> kDeposits = BuildDeposits();
inline constexpr std::array<uint8_t, 32 * 32> kNegatives = BuildNegatives(kDeposits);

}  // namespace sign_bits_detail

// Which digits of a vector are negative (bit j: digit j), from its non-zero
// digits (bit j: digit j, up to five) and the five bits after its code.
inline uint32_t NegativeDigits(uint32_t nonzero, uint32_t next_five_bits) {
    return sign_bits_detail::kNegatives[nonzero << 5 | next_five_bits];
}

// The low bits of `bits`, least significant first, moved to the set bits of
// the 10-bit `mask` in order; the other bits are 0.
inline uint32_t DepositBits(uint32_t mask, uint32_t bits) {
    // How many bits the low half takes depends on the mask alone, so the
    // high half's lookup need not wait for the low one's.
    const uint32_t low = sign_bits_detail::kDeposits[(mask & 31) << 5 | (bits & 31)];
    const uint32_t taken = sign_bits_detail::kDeposits[(mask & 31) << 5] >> 5;
    const uint32_t high = sign_bits_detail::kDeposits[(mask >> 5) << 5 | ((bits >> taken) & 31)];
    return (low & 31) | (high & 31) << 5;
}
