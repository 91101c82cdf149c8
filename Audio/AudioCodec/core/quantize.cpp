// Vector quantisation of regions with Huffman-coded vector indices, and the
// rate control that picks a layer's categorisation control value.
#include "core/quantize.h"

#include <cstring>

#include "simd/lanes.h"

namespace {

constexpr int kNoBitsCategory = 7;

using Double4 = double __attribute__((vector_size(32)));

// truncate(|x| * scale + dead_zone) per lane, formed in double. The
// magnitude is taken in float, by clearing the sign bit (exact, and the same
// value once widened), which costs far less than choosing between negated
// and plain double lanes. Scale and dead zone come as float lanes and are
// widened here: a double broadcast from a scalar went through the stack and
// stalled each call on the reload.
Int4 TruncatedDigits(Float4 x, Float4 scale, Float4 dead_zone) {
    const Float4 magnitude = reinterpret_cast<Float4>(reinterpret_cast<Int4>(x) & 0x7fffffff);
    const Double4 wide = __builtin_convertvector(magnitude, Double4);
    return __builtin_convertvector(
        wide * __builtin_convertvector(scale, Double4) + __builtin_convertvector(dead_zone, Double4), Int4);
}

// Quantiser digits of a region's 20 coefficients, each held to the
// category's max bin (a clamped digit is still non-zero, so it still takes
// its sign bit).
void RegionDigits(const float* coefficients, int32_t table_power, int32_t category, int32_t* digits) {
    const Float4 scale = Float4{} + static_cast<float>(static_cast<double>(InverseStandardDeviation[table_power]) *
                                                       StepSizeInverse[category]);
    const Float4 dead_zone = Float4{} + DeadZone[category];
    const Int4 max_bin = Int4{} + MaxBin[category];
    for (int i = 0; i < kRegionSize; i += 4) {
        const Int4 d = TruncatedDigits(LoadFloat4(coefficients + i), scale, dead_zone);
        const Int4 held = d < max_bin ? d : max_bin;
        std::memcpy(digits + i, &held, sizeof held);
    }
}

// The vector loops below take the dimension as a constant, so that each
// category's loop is laid out in full.

// The index of a vector of kDimension digits in base max bin + 1.
template <int kDimension>
int32_t VectorIndex(const int32_t* digits, int32_t base) {
    int32_t index = 0;
    for (int i = 0; i < kDimension; ++i) index = index * base + digits[i];
    return index;
}

// Indexes the region's vectors and returns the bits they take.
template <int kDimension>
int IndexVectors(int32_t category, QuantisedRegion* region) {
    int bits = 0;
    for (int v = 0; v < kRegionSize / kDimension; ++v) {
        const int32_t index = VectorIndex<kDimension>(region->digits + v * kDimension, MaxBin[category] + 1);
        region->index[v] = static_cast<uint16_t>(index);
        bits += VectorBits[category][index];
    }
    return bits;
}

// A vector's sign bits from two masks of its digits (first digit most
// significant, at most 5): the bits of `positive` where `nonzero` is set,
// in order. Indexed by nonzero * 32 + positive.
struct SignBitTable {
    uint8_t bits[32 * 32];
};

constexpr SignBitTable MakeSignBitTable() {
    SignBitTable table{};
    for (int nonzero = 0; nonzero < 32; ++nonzero) {
        for (int positive = 0; positive < 32; ++positive) {
            int bits = 0;
            for (int b = 4; b >= 0; --b)
                if ((nonzero >> b) & 1) bits = (bits << 1) | ((positive >> b) & 1);
            table.bits[nonzero * 32 + positive] = static_cast<uint8_t>(bits);
        }
    }
    return table;
}

constexpr SignBitTable kSignBits = MakeSignBitTable();

// Bit 19 - i of the result is set where coefficient i's flag is: the
// region's first coefficient is the most significant.
uint32_t RegionMask(Int4 flags0, Int4 flags1, Int4 flags2, Int4 flags3, Int4 flags4) {
    const Int4 weight = {8, 4, 2, 1};
    const Int4 bits = (flags0 & (weight << 16)) | (flags1 & (weight << 12)) | (flags2 & (weight << 8)) |
                      (flags3 & (weight << 4)) | (flags4 & weight);
    return static_cast<uint32_t>(bits[0] | bits[1] | bits[2] | bits[3]);
}

template <int kDimension>
void WriteVectors(const float* coefficients, const QuantisedRegion& region, int32_t category, int end,
                  BitWriter* writer) {
    // Which digits are non-zero (each takes a sign bit) and which
    // coefficients are positive (sign bit 1), for the whole region at once.
    Int4 nonzero[5], positive[5];
    for (int g = 0; g < 5; ++g) {
        nonzero[g] = LoadInt4(region.digits + 4 * g) != 0;
        positive[g] = LoadFloat4(coefficients + 4 * g) > 0.0f;
    }
    const uint32_t nonzero_mask = RegionMask(nonzero[0], nonzero[1], nonzero[2], nonzero[3], nonzero[4]);
    const uint32_t positive_mask = RegionMask(positive[0], positive[1], positive[2], positive[3], positive[4]);

    const VectorCodebook& book = VectorCodebooks[category];
    // Vector v's code, then its sign bits, as one field of `length` bits.
    const auto field_of = [&](int v, int* length) {
        const int32_t index = region.index[v];
        const int shift = kRegionSize - (v + 1) * kDimension;
        const uint32_t digit_bits = (1u << kDimension) - 1;
        const uint32_t signs =
            kSignBits.bits[((nonzero_mask >> shift) & digit_bits) * 32 + ((positive_mask >> shift) & digit_bits)];
        *length = VectorBits[category][index];  // code and sign bits
        return (static_cast<uint32_t>(book.code[index]) << (*length - book.length[index])) | signs;
    };
    constexpr int kVectors = kRegionSize / kDimension;
    BitWriter local = *writer;  // in registers while the output is written
    if (region.bits < end - local.position) {
        // The whole region fits before the end: no vector needs a check.
        for (int v = 0; v < kVectors; ++v) {
            int length;
            const uint32_t value = field_of(v, &length);
            WriteBits(&local, value, length);
        }
    } else {
        // Only the leading bits of the vector the end falls in.
        for (int v = 0; v < kVectors; ++v) {
            int length;
            const uint32_t value = field_of(v, &length);
            const int room = end - local.position;
            if (length >= room) {
                WriteBits(&local, value >> (length - room), room);
                break;
            }
            WriteBits(&local, value, length);
        }
    }
    *writer = local;
}

}  // namespace

int QuantizeRegion(const float* coefficients, int32_t table_power, int32_t category, QuantisedRegion* region) {
    if (category >= kNoBitsCategory) return 0;
    RegionDigits(coefficients, table_power, category, region->digits);
    switch (VectorDimension[category]) {
        case 2: region->bits = IndexVectors<2>(category, region); break;
        case 4: region->bits = IndexVectors<4>(category, region); break;
        default: region->bits = IndexVectors<5>(category, region); break;
    }
    return region->bits;
}

void WriteRegion(const float* coefficients, const QuantisedRegion& region, int32_t category, int end,
                 BitWriter* writer) {
    switch (category < kNoBitsCategory ? VectorDimension[category] : 0) {
        case 0: return;
        case 2: return WriteVectors<2>(coefficients, region, category, end, writer);
        case 4: return WriteVectors<4>(coefficients, region, category, end, writer);
        default: return WriteVectors<5>(coefficients, region, category, end, writer);
    }
}

int QuantizeLayer(int regions, int budget, const float* coefficients, const int32_t* table_power,
                  int32_t* categories, const int32_t* balance_list, QuantisedRegion* quantised) {
    // Only bit counts matter here; each region's last quantisation is at its
    // final category, and the frame is written from those digits.
    const auto quantize = [&](int r) {
        return QuantizeRegion(coefficients + r * kRegionSize, table_power[r], categories[r], &quantised[r]);
    };
    int32_t bits[kBaseRegions];
    // Start halfway: the first 15 balance-list regions one category coarser.
    int c = 0;
    for (; c < kControlValues / 2 - 1; ++c) ++categories[balance_list[c]];
    int total = 0;
    for (int r = 0; r < regions; ++r) total += bits[r] = quantize(r);

    // Spend more bits while they fit ...
    while (total < budget && c > 0) {
        const int r = balance_list[--c];
        total -= bits[r];
        --categories[r];
        total += bits[r] = quantize(r);
    }
    // ... then give back until the layer fits, or no control value is left.
    while (total > budget && c < kControlValues - 1) {
        const int r = balance_list[c++];
        total -= bits[r];
        ++categories[r];
        total += bits[r] = quantize(r);
    }
    return c;
}
