// Vector quantisation of regions with Huffman-coded vector indices, and the
// rate control that picks a layer's categorisation control value.
#include "core/quantize.h"

#include <cstring>

#include "simd/instruction_set.h"
#include "simd/lanes.h"

#if defined(DREMKO_SSE2)
#include <emmintrin.h>
#endif

namespace {

using Double4 = double __attribute__((vector_size(32)));

// truncate(|x| * scale + dead_zone) per lane, formed in double. The
// magnitude is taken in float, by clearing the sign bit (exact, and the same
// value once widened), which costs far less than choosing between negated
// and plain double lanes. Scale and dead zone come as float lanes and are
// widened here, which keeps the double broadcast of a scalar off the stack.
Int4 TruncatedDigits(Float4 x, Float4 scale, Float4 dead_zone) {
    const Float4 magnitude = reinterpret_cast<Float4>(reinterpret_cast<Int4>(x) & 0x7fffffff);
    const Double4 wide = __builtin_convertvector(magnitude, Double4);
    return __builtin_convertvector(
        wide * __builtin_convertvector(scale, Double4) + __builtin_convertvector(dead_zone, Double4), Int4);
}

constexpr int kGroups = kRegionSize / 4;  // a region's coefficients in groups of four lanes

// Quantiser digits of a region's 20 coefficients, not yet held to the
// category's max bin.
void RegionDigits(const float* coefficients, int32_t table_power, int32_t category, Int4* digits) {
    const float step = static_cast<float>(static_cast<double>(InverseStandardDeviation[table_power]) *
                                          StepSizeInverse[category]);
    const Float4 scale = {step, step, step, step};
    const Float4 dead_zone = {DeadZone[category], DeadZone[category], DeadZone[category], DeadZone[category]};
    for (int g = 0; g < kGroups; ++g) digits[g] = TruncatedDigits(LoadFloat4(coefficients + 4 * g), scale, dead_zone);
}

#if defined(DREMKO_SSE2)
// A region's 20 lanes of small whole numbers narrowed (saturating, so zero
// and non-zero stay apart) to 16-bit lanes: lanes 0 ... 7, 8 ... 15, and
// 16 ... 19 followed by zeros.
struct NarrowRegion {
    __m128i part[3];
};

NarrowRegion Narrow(const Int4* lanes) {
    const auto pack = [](Int4 a, Int4 b) {
        return _mm_packs_epi32(reinterpret_cast<__m128i>(a), reinterpret_cast<__m128i>(b));
    };
    return {{pack(lanes[0], lanes[1]), pack(lanes[2], lanes[3]), pack(lanes[4], Int4{})}};
}

// Digits narrowed and held to the max bin (a clamped digit is still
// non-zero, so it still takes its sign bit).
NarrowRegion HeldDigits(const Int4* digits, int32_t max_bin) {
    NarrowRegion narrow = Narrow(digits);
    const __m128i held = _mm_set1_epi16(static_cast<int16_t>(max_bin));
    for (__m128i& part : narrow.part) part = _mm_min_epi16(part, held);
    return narrow;
}

// The region's lanes narrowed on to bytes: 0 ... 15, and 16 ... 19
// followed by zeros (saturation keeps every lane's sign and whether it is 0).
struct ByteRegion {
    __m128i low, high;
};

ByteRegion Bytes(const NarrowRegion& narrow) {
    return {_mm_packs_epi16(narrow.part[0], narrow.part[1]), _mm_packs_epi16(narrow.part[2], _mm_setzero_si128())};
}

// Bit i of the result is the sign bit of byte i.
uint32_t SignMask(const ByteRegion& bytes) {
    return static_cast<uint32_t>(_mm_movemask_epi8(bytes.low)) |
           static_cast<uint32_t>(_mm_movemask_epi8(bytes.high)) << 16;
}

// Bit i of the result is set where lane i, which is not negative, is not 0.
uint32_t NonzeroMask(const NarrowRegion& narrow) {
    const ByteRegion bytes = Bytes(narrow);
    const __m128i zero = _mm_setzero_si128();
    return SignMask({_mm_cmpgt_epi8(bytes.low, zero), _mm_cmpgt_epi8(bytes.high, zero)});
}

// Each digit's place weight, base^(places after it in its vector), for the
// region's 20 lanes of vectors of kDimension digits (then four zeros), per
// base 0 ... 15: every category's base (max bin + 1) is below 16. Loaded,
// where building the weights from the base took a score of instructions.
template <int kDimension>
struct PlaceWeights {
    alignas(16) int16_t lane[16][24];
};

template <int kDimension>
constexpr PlaceWeights<kDimension> MakePlaceWeights() {
    PlaceWeights<kDimension> table{};
    for (int base = 0; base < 16; ++base)
        for (int i = 0; i < kRegionSize; ++i) {
            int weight = 1;
            for (int place = i % kDimension; place < kDimension - 1; ++place) weight *= base;
            table.lane[base][i] = static_cast<int16_t>(weight);
        }
    return table;
}

template <int kDimension>
constexpr PlaceWeights<kDimension> kPlaceWeights = MakePlaceWeights<kDimension>();

// The index of every vector of kDimension digits, in base max bin + 1,
// from the narrowed digits. Pairs and fours of digits lie within a 16-bit
// part and are weighted and summed there by multiply-adds. Vectors of five
// (base 2 or 3) straddle parts: their weighted digits (at most 162) are
// narrowed to bytes and summed five at a time by sums of absolute
// differences from zero over masked bytes.
template <int kDimension>
void VectorIndices(const NarrowRegion& digits, int32_t base, int32_t* index) {
    const auto weights = [base](int part) {
        return _mm_load_si128(reinterpret_cast<const __m128i*>(kPlaceWeights<kDimension>.lane[base] + 8 * part));
    };
    if constexpr (kDimension == 2) {
        __m128i sums[3];
        for (int k = 0; k < 3; ++k) sums[k] = _mm_madd_epi16(digits.part[k], weights(0));
        std::memcpy(index, sums, 10 * sizeof *index);
    } else if constexpr (kDimension == 4) {
        // The two halves of vectors 0 and 1, of 2 and 3, and of 4.
        const Int4 low = reinterpret_cast<Int4>(_mm_madd_epi16(digits.part[0], weights(0)));
        const Int4 high = reinterpret_cast<Int4>(_mm_madd_epi16(digits.part[1], weights(0)));
        const Int4 last = reinterpret_cast<Int4>(_mm_madd_epi16(digits.part[2], weights(0)));
        const Int4 first_four =
            __builtin_shufflevector(low, high, 0, 2, 4, 6) + __builtin_shufflevector(low, high, 1, 3, 5, 7);
        std::memcpy(index, &first_four, sizeof first_four);
        index[4] = last[0] + last[1];
    } else {
        static_assert(kDimension == 5, "vectors of 2, 4 or 5 digits");
        // Digits 0 ... 15 and 16 ... 19, each times its place's weight, as bytes.
        const __m128i low = _mm_packus_epi16(_mm_mullo_epi16(digits.part[0], weights(0)),
                                             _mm_mullo_epi16(digits.part[1], weights(1)));
        const __m128i high = _mm_packus_epi16(_mm_mullo_epi16(digits.part[2], weights(2)), _mm_setzero_si128());
        // Each sum covers the selected bytes of one half of the 16.
        const auto sums = [](__m128i bytes, __m128i select) {
            return _mm_sad_epu8(_mm_and_si128(bytes, select), _mm_setzero_si128());
        };
        const auto bytes_from = [](int first, int last) {  // a mask of bytes first ... last
            alignas(16) uint8_t mask[16] = {};
            for (int i = first; i <= last; ++i) mask[i] = 0xff;
            return _mm_load_si128(reinterpret_cast<const __m128i*>(mask));
        };
        const __m128i first_and_third = sums(low, _mm_or_si128(bytes_from(0, 4), bytes_from(10, 14)));
        const __m128i second = sums(low, bytes_from(5, 9));
        const __m128i fourth_start = sums(low, bytes_from(15, 15));
        const __m128i fourth_end = _mm_sad_epu8(high, _mm_setzero_si128());
        index[0] = _mm_extract_epi16(first_and_third, 0);
        index[1] = _mm_extract_epi16(second, 0) + _mm_extract_epi16(second, 4);
        index[2] = _mm_extract_epi16(first_and_third, 4);
        index[3] = _mm_extract_epi16(fourth_start, 4) + _mm_extract_epi16(fourth_end, 0);
    }
}
#endif

#if !defined(DREMKO_SSE2)
// Bit i of the result is set where lane i of the region's 20 is non-zero.
uint32_t RegionMask(const Int4* lanes) {
    uint32_t mask = 0;
    for (int i = 0; i < kRegionSize; ++i) mask |= static_cast<uint32_t>(lanes[i / 4][i % 4] != 0) << i;
    return mask;
}
#endif

// Bit i of the result is set where coefficient i of the region is positive.
uint32_t PositiveMask(const float* coefficients) {
    Int4 positive[kGroups];
    for (int g = 0; g < kGroups; ++g) positive[g] = LoadFloat4(coefficients + 4 * g) > 0.0f;
#if defined(DREMKO_SSE2)
    return SignMask(Bytes(Narrow(positive)));  // the comparisons' lanes are all ones or 0
#else
    return RegionMask(positive);
#endif
}

// Holds the digits to the max bin, indexes the region's vectors, notes
// which digits are non-zero, and returns the bits the vectors take. The dimension is a constant, so each
// category's work is laid out in full.
template <int kDimension>
int CodeVectors(const Int4* digits, int32_t category, QuantisedRegion* region) {
    constexpr int kVectors = kRegionSize / kDimension;
    int32_t index[kVectors];
#if defined(DREMKO_SSE2)
    const NarrowRegion held = HeldDigits(digits, MaxBin[category]);
    VectorIndices<kDimension>(held, MaxBin[category] + 1, index);
    region->nonzero = NonzeroMask(held);
#else
    Int4 held[kGroups];
    for (int g = 0; g < kGroups; ++g) held[g] = digits[g] < MaxBin[category] ? digits[g] : Int4{} + MaxBin[category];
    for (int v = 0; v < kVectors; ++v) {
        index[v] = 0;
        for (int i = v * kDimension; i < (v + 1) * kDimension; ++i)
            index[v] = index[v] * (MaxBin[category] + 1) + held[i / 4][i % 4];
    }
    region->nonzero = RegionMask(held);
#endif
    int bits = 0;
    for (int v = 0; v < kVectors; ++v) {
        region->index[v] = static_cast<uint16_t>(index[v]);
        bits += VectorBits[category][static_cast<uint32_t>(index[v])];  // unsigned: no sign extension
    }
    return bits;
}

// A vector's sign bits from two masks of its digits (first digit least
// significant, at most 5): the bits of `positive` where `nonzero` is set,
// the first digit's sign first (most significant), in bits 0 ... 7, and how
// many there are in bits 8 ... 15. Indexed by nonzero * 32 + positive.
struct SignBitTable {
    uint16_t bits[32 * 32];
};

constexpr SignBitTable MakeSignBitTable() {
    SignBitTable table{};
    for (int nonzero = 0; nonzero < 32; ++nonzero) {
        for (int positive = 0; positive < 32; ++positive) {
            int bits = 0, count = 0;
            for (int b = 0; b < 5; ++b)
                if ((nonzero >> b) & 1) bits = (bits << 1) | ((positive >> b) & 1), ++count;
            table.bits[nonzero * 32 + positive] = static_cast<uint16_t>(bits | count << 8);
        }
    }
    return table;
}

constexpr SignBitTable kSignBits = MakeSignBitTable();

template <int kDimension>
void WriteVectors(const float* coefficients, const QuantisedRegion& region, int32_t category, int end,
                  BitWriter* writer) {
    // Which coefficients are positive (sign bit 1), for the whole region at once.
    const uint32_t positive_mask = PositiveMask(coefficients);

    const VectorCodebook& book = VectorCodebooks[category];
    // Vector v's code, then its sign bits, as one field of `length` bits.
    const auto field_of = [&](int v, int* length) {
        const int32_t index = region.index[v];
        const int shift = v * kDimension;
        const uint32_t digit_bits = (1u << kDimension) - 1;
        const uint32_t signs =
            kSignBits.bits[((region.nonzero >> shift) & digit_bits) * 32 + ((positive_mask >> shift) & digit_bits)];
        const int sign_count = static_cast<int>(signs >> 8);
        *length = book.length[index] + sign_count;
        return (static_cast<uint32_t>(book.code[index]) << sign_count) | (signs & 0xff);
    };
    constexpr int kVectors = kRegionSize / kDimension;
    BitWriter local = *writer;  // in registers while the output is written
    if (region.bits < end - BitPosition(local)) {
        // The whole region fits before the end: no vector needs a check.
        // Unrolled whole (GCC leaves the ten vectors of two digits a loop),
        // so every shift of the masks is a constant.
#pragma GCC unroll 10
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
            const int room = end - BitPosition(local);
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
    Int4 digits[kGroups];
    RegionDigits(coefficients, table_power, category, digits);
    switch (VectorDimension[category]) {
        case 2: region->bits = CodeVectors<2>(digits, category, region); break;
        case 4: region->bits = CodeVectors<4>(digits, category, region); break;
        default: region->bits = CodeVectors<5>(digits, category, region); break;
    }
    return region->bits;
}

void WriteRegions(const float* coefficients, const QuantisedRegion* quantised, const int32_t* categories,
                  const int32_t* order, int regions, int end, BitWriter* writer) {
    BitWriter local = *writer;  // in registers for the whole layer
    for (int i = 0; i < regions && BitPosition(local) < end; ++i) {
        const int position = order[i];
        const float* region = coefficients + position * kRegionSize;
        const int32_t category = categories[position];
        switch (category < kNoBitsCategory ? VectorDimension[category] : 0) {
            case 0: break;
            case 2: WriteVectors<2>(region, quantised[position], category, end, &local); break;
            case 4: WriteVectors<4>(region, quantised[position], category, end, &local); break;
            default: WriteVectors<5>(region, quantised[position], category, end, &local); break;
        }
    }
    *writer = local;
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
