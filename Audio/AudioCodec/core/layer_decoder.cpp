#include "core/layer_decoder.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "core/code_lookup.h"
#include "core/core_tables.h"
#include "core/sign_bits.h"
#include "simd/lanes.h"

namespace {

constexpr double kOutputScale = 33.0;
// Amplitude, relative to the region's, of the noise in regions without bits.
constexpr float kUnquantisedNoise = 0.70711f;
constexpr int kHalfRegion = kRegionSize / 2;

// Bits of a digit's value in two- and four-digit codes (largest digits 13
// and 4). The field of each digit in a code entry is wider, and the bit above
// the value takes the digit's sign, so that one table lookup gives the signed
// coefficient.
constexpr int DigitValueBits(int dimension) { return dimension == 2 ? 4 : 3; }
static_assert(DigitValueBits(2) < DigitFieldBits(2) && DigitValueBits(4) < DigitFieldBits(4),
              "a digit's field has room for its sign");

// For each mask of negative digits (bit j: digit j), the sign bit of each
// such digit's field.
template <int kDimension>
constexpr std::array<uint32_t, 32> BuildSignFields() {
    std::array<uint32_t, 32> fields{};
    for (uint32_t mask = 0; mask < 32; ++mask)
        for (int j = 0; j < kDimension; ++j)
            fields[mask] |= ((mask >> j) & 1) << (j * DigitFieldBits(kDimension) + DigitValueBits(kDimension));
    return fields;
}
template <int kDimension>
constexpr std::array<uint32_t, 32> kSignFields = BuildSignFields<kDimension>();

// The magnitude with its sign bit set when negative is 1: exactly -magnitude
// or magnitude, chosen without a branch (signs are random).
float WithSign(float magnitude, uint32_t negative) {
    uint32_t bits;
    std::memcpy(&bits, &magnitude, sizeof bits);
    bits ^= negative << 31;
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}

// The noise level u (stored as a float), then times 33 and times the output
// gain, each product rounded when stored, as a coefficient of u x 33 would
// be by the gain applied afterwards.
float ScaledNoise(double region_amplitude, double factor, float noise_gain, double gain) {
    const float u = static_cast<float>(region_amplitude * noise_gain * factor);
    const float scaled = static_cast<float>(static_cast<double>(u) * kOutputScale);
    return static_cast<float>(static_cast<double>(scaled) * gain);
}

// Sets `count` coefficients to +amplitude or -amplitude by the draw's bits,
// least significant first (1 positive).
void FillWithSigns(float* out, int count, float amplitude, uint32_t draw) {
    for (int i = 0; i < count; ++i) out[i] = WithSign(amplitude, ~(draw >> i) & 1);
}

// The last vector of a layer whose bits end inside it. Returns false when
// its code does not end within them (the rest is read, the vector is not
// decoded). Otherwise its sign bits, in the top of five like those after a
// complete vector: the received ones lead and one draw completes them from
// its least significant bit upward.
bool ReadCutVector(BitReader* reader, CodeEntry entry, int32_t* available, NoiseGenerator* noise,
                   uint32_t* next_five_bits) {
    const int length = CodeLength(entry);
    const int32_t rest = *available > 0 ? *available : 0;
    *available -= rest;
    if (length > rest) {
        reader->position += rest;
        return false;
    }
    reader->position += length;
    const int received = rest - length;
    const int count = CodeAndSignBits(entry) - length;
    uint32_t word = received > 0 ? ReadBits(reader, received) : 0;
    const uint32_t draw = DrawNoise(noise);
    for (int i = 0; i < count - received; ++i) word = (word << 1) | ((draw >> i) & 1);
    *next_five_bits = word << (5 - count);
    return true;
}

// The reconstructed values of the digits 0 ... 3 of a category in a region,
// and on from there in groups of four up to the category's largest digit
// (the centroid rows are padded to whole groups). sigma x 33 is exact in
// double (24 by 6 bits), so each centroid times it is the exact product
// rounded once, as (centroid x sigma) x 33 is; the output gain follows,
// rounded again.
Float4 DigitValues(int category, int first_digit, float sigma, double gain) {
    return Scale(gain, Scale(static_cast<double>(sigma) * kOutputScale, LoadFloat4(&Centroid[category][first_digit])));
}

// A region of five-digit vectors as the codes give it, bit i for
// coefficient i: which are not 0, which are digit 2, which are negative;
// which belong to vectors that the layer's bits did not reach (noise); and
// the weight of its coefficients that are not 0 (DigitWeight, 1 for noise).
struct FiveDigitRegion {
    uint32_t nonzero;
    uint32_t twos;
    uint32_t negative;
    uint32_t unreached;
    int weight;
};

// Places decoded vector v (its code entry and the five bits after its
// code): its digits with their signs into `region` (two and four digits),
// or into the masks of *five. Without branches: which digits are 0 and the
// signs follow the signal. A zero digit is never negative.
template <int kDimension>
void TakeVector(CodeEntry entry, uint32_t next_five_bits, int v, const float* value, float* region,
                FiveDigitRegion* five) {
    const uint32_t negative = NegativeDigits(NonzeroDigits(entry), next_five_bits);
    if constexpr (kDimension == 5) {
        five->nonzero |= NonzeroDigits(entry) << (v * kDimension);
        five->twos |= TwoDigits(entry) << (v * kDimension);
        five->weight += DigitWeight(entry);
        five->negative |= negative << (v * kDimension);
    } else {
        constexpr int kDigitBits = DigitFieldBits(kDimension);
        constexpr int kNegated = 1 << DigitValueBits(kDimension);
        const uint32_t signed_digits = CodeValue(entry) | kSignFields<kDimension>[negative];
        for (int j = 0; j < kDimension; ++j)
            region[v * kDimension + j] = value[(signed_digits >> (j * kDigitBits)) & (2 * kNegated - 1)];
    }
}

// Decodes the vectors of one region of a category with vectors of
// `kDimension` digits. Returns the number of vectors decoded; *ran_out tells
// whether the layer's bits ended inside the region (the vector cut in its
// signs counts as decoded). Two- and four-digit vectors are written to
// `region`; five-digit ones, whose regions fill their zeros with noise, only
// to the masks of *five (written later with the noise).
template <int kDimension>
int DecodeRegionVectors(BitReader* reader, const CodeLookup& codes, int category, float sigma, double gain,
                        int32_t* available, NoiseGenerator* noise, float* region, bool* ran_out,
                        FiveDigitRegion* five) {
    constexpr int kVectors = kRegionSize / kDimension;
    constexpr int kNegated = kDimension == 5 ? 0 : 1 << DigitValueBits(kDimension);
    // The reconstructed value of each digit in this region, positive from
    // index 0 and negative from kNegated (none for five-digit vectors).
    std::array<float, 2 * kNegated> value;
    if constexpr (kDimension != 5) {
        for (int d = 0; d <= MaxBin[category]; d += 4) {
            const Float4 magnitude = DigitValues(category, d, sigma, gain);
            StoreFloat4(&value[d], magnitude);
            StoreFloat4(&value[kNegated + d], reinterpret_cast<Float4>(reinterpret_cast<Int4>(magnitude) ^ INT32_MIN));
        }
    }
    // Kept in locals, so that they stay in registers from vector to vector.
    BitReader r = *reader;
    int32_t left = *available;
    int v = 0;
    uint64_t bits = PeekBits64(r);
    FiveDigitRegion taken = {};
    // Unrolled whole: the vector count is fixed per dimension, so no loop
    // branch (nor the every-other-vector test) remains.
#pragma GCC unroll 10
    for (; v < kVectors; ++v) {
        // The code and its sign bits come from one look at the next bits. A
        // look holds 57 bits, enough for two vectors of at most 21 each, so
        // the next vector reads from a look taken here, at this vector's
        // start: its load runs beside this vector's lookup instead of
        // waiting for where this vector ends.
        const uint64_t look = PeekBits64(r);
        const CodeEntry entry = LookUpCode<VectorLookupBits(kDimension)>(codes, bits);
        const int used = CodeAndSignBits(entry);
        if (used > left) break;  // the layer's bits end inside this vector
        const uint32_t next_five_bits = static_cast<uint32_t>((bits << CodeLength(entry)) >> (64 - 5));
        r.position += used;
        left -= used;
        bits = look << used;
        TakeVector<kDimension>(entry, next_five_bits, v, value.data(), region, &taken);
    }
    const bool cut = v < kVectors;
    if (cut) {
        // Through copies, so that the loop's own state never has its
        // address taken and stays in registers.
        const CodeEntry entry = LookUpCode<VectorLookupBits(kDimension)>(codes, bits);
        BitReader cut_reader = r;
        int32_t cut_left = left;
        uint32_t next_five_bits = static_cast<uint32_t>((bits << CodeLength(entry)) >> (64 - 5));
        if (ReadCutVector(&cut_reader, entry, &cut_left, noise, &next_five_bits))
            TakeVector<kDimension>(entry, next_five_bits, v++, value.data(), region, &taken);
        r = cut_reader;
        left = cut_left;
    }
    *ran_out = cut;
    *reader = r;
    *available = left;
    *five = taken;
    return v;
}

// For each 4-bit mask, four lanes of `set` where its bit is set, else 0.
using LaneRows = std::array<std::array<int32_t, 4>, 16>;
constexpr LaneRows BuildLaneRows(int32_t set) {
    LaneRows rows{};
    for (int m = 0; m < 16; ++m)
        for (int j = 0; j < 4; ++j) rows[m][j] = ((m >> j) & 1) ? set : 0;
    return rows;
}
constexpr LaneRows kLaneMasks = BuildLaneRows(-1);
constexpr LaneRows kLaneSigns = BuildLaneRows(INT32_MIN);
// The row of `rows` for bits 4k ... 4k + 3 of `bits`. A row is 16 bytes, so
// its offset is those bits moved to bits 4 ... 7: one shift and one mask.
Int4 LaneRow(const LaneRows& rows, uint32_t bits, int k) {
    constexpr uint32_t kRowBits = 0xF0;
    const uint32_t offset = (k == 0 ? bits << 4 : bits >> (4 * k - 4)) & kRowBits;
    return LoadInt4(rows[0].data() + offset / sizeof(int32_t));
}

int32_t FloatBits(float x) {
    int32_t bits;
    std::memcpy(&bits, &x, sizeof bits);
    return bits;
}

// Writes a category-5 or -6 region: its digits' values with their signs,
// the noise of vectors the bits did not reach, and noise for the
// coefficients that quantised to 0, at a level that falls with the number
// of non-zero ones (category 5 counts a large coefficient, one above twice
// the region's amplitude x 33, as four: only digit 2 is, the noise of
// vectors not reached being 0.70711 times the amplitude). The zeros take the
// bits of one draw per half region, drawn even if the half has no zero.
// Four coefficients at a time, without branches: which coefficients are 0
// follows the signal.
void WriteNoiseFilledRegion(float* region, int category, float sigma, float noise_gain, double gain,
                            const FiveDigitRegion& five, NoiseGenerator* noise) {
    constexpr int kLanes = 4;
    const uint32_t coded = five.nonzero | five.unreached;
    const uint32_t zeros = ~coded & ((1u << kRegionSize) - 1);
    const int n = std::min(five.weight, 19);  // with no zero left the factor goes unused
    const float* factors = category == 5 ? Category5NoiseFactor : Category6NoiseFactor;
    const float amplitude = ScaledNoise(sigma, factors[n], noise_gain, gain);

    uint32_t positive = DepositBits(zeros & 1023, DrawNoise(noise));
    positive |= DepositBits(zeros >> kHalfRegion, DrawNoise(noise)) << kHalfRegion;
    const uint32_t negative = five.negative | (zeros & ~positive);
    // Each coefficient's magnitude picked by masks: the noise's, changed to a
    // digit's by flipping the bits in which they differ.
    const Int4 digits = reinterpret_cast<Int4>(DigitValues(category, 0, sigma, gain));
    const int32_t noise_bits = FloatBits(amplitude);
    const Int4 noise4 = {noise_bits, noise_bits, noise_bits, noise_bits};
    const Int4 to_one = noise4 ^ digits[1];
    const Int4 one_to_two = Int4{} + (digits[1] ^ digits[2]);
    for (int k = 0; k < kRegionSize / kLanes; ++k) {
        const Int4 x = noise4 ^ (to_one & LaneRow(kLaneMasks, five.nonzero, k)) ^
                       (one_to_two & LaneRow(kLaneMasks, five.twos, k));
        StoreFloat4(region + kLanes * k, reinterpret_cast<Float4>(x | LaneRow(kLaneSigns, negative, k)));
    }
    // Vectors the bits did not reach, at most one region's in a layer: their
    // lanes hold the noise above, changed to their own level.
    if (five.unreached != 0) {
        const Int4 to_unreached = noise4 ^ FloatBits(ScaledNoise(sigma, kUnquantisedNoise, noise_gain, gain));
        for (int k = 0; k < kRegionSize / kLanes; ++k) {
            const Int4 x = reinterpret_cast<Int4>(LoadFloat4(region + kLanes * k));
            StoreFloat4(region + kLanes * k,
                        reinterpret_cast<Float4>(x ^ (to_unreached & LaneRow(kLaneMasks, five.unreached, k))));
        }
    }
}

}  // namespace

void DecodeLayerVectors(BitReader* reader, int regions, const int32_t* region_order, const float* sigma,
                        int32_t* categories, int32_t* available, float noise_gain, double gain, NoiseGenerator* noise,
                        float* coefficients) {
    const CodeLookup* vector_codes = VectorCodeLookups();
    // In locals, which no store to the categories may alias, so that the bit
    // position goes from region to region in a register rather than
    // through memory, on the chain from each code to the next.
    BitReader bits = *reader;
    int32_t left = *available;
    for (int i = 0; i < regions; ++i) {
        const int r = region_order[i];
        const int category = categories[r] < kNoBitsCategory ? categories[r] : kNoBitsCategory;
        float* region = coefficients + r * kRegionSize;
        if (category == kNoBitsCategory) {
            const float unquantised = ScaledNoise(sigma[r], kUnquantisedNoise, noise_gain, gain);
            FillWithSigns(region, kHalfRegion, unquantised, DrawNoise(noise));
            FillWithSigns(region + kHalfRegion, kHalfRegion, unquantised, DrawNoise(noise));
            continue;
        }
        const int dimension = VectorDimension[category];
        const CodeLookup& codes = vector_codes[category];
        bool ran_out = false;
        FiveDigitRegion five;
        int decoded;
        if (dimension == 2)
            decoded = DecodeRegionVectors<2>(&bits, codes, category, sigma[r], gain, &left, noise, region, &ran_out, &five);
        else if (dimension == 4)
            decoded = DecodeRegionVectors<4>(&bits, codes, category, sigma[r], gain, &left, noise, region, &ran_out, &five);
        else
            decoded = DecodeRegionVectors<5>(&bits, codes, category, sigma[r], gain, &left, noise, region, &ran_out, &five);
        if (ran_out) {
            for (int j = i + 1; j < regions; ++j) categories[region_order[j]] = kNoBitsCategory;
            // The vectors not reached are noise, one draw each.
            const float unquantised = ScaledNoise(sigma[r], kUnquantisedNoise, noise_gain, gain);
            for (int v = decoded; v < VectorsPerRegion[category]; ++v) {
                const uint32_t draw = DrawNoise(noise);
                if (dimension == 5) {
                    five.unreached |= 31u << (v * dimension);
                    five.weight += dimension;
                    five.negative |= (~draw & 31) << (v * dimension);
                } else {
                    FillWithSigns(region + v * dimension, dimension, unquantised, draw);
                }
            }
        }
        if (dimension == 5) WriteNoiseFilledRegion(region, category, sigma[r], noise_gain, gain, five, noise);
    }
    *reader = bits;
    *available = left;
}
