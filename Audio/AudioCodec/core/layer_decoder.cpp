#include "core/layer_decoder.h"

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

// Bits of a digit's value in each dimension's codes (largest digits 13, 4
// and 2). The field of each digit in a code entry is wider, and the bit
// above the value takes the digit's sign, so that one table lookup gives the
// signed coefficient.
constexpr int DigitValueBits(int dimension) { return dimension == 2 ? 4 : dimension == 4 ? 3 : 2; }
static_assert(DigitValueBits(2) < DigitFieldBits(2) && DigitValueBits(4) < DigitFieldBits(4) &&
              DigitValueBits(5) < DigitFieldBits(5), "a digit's field has room for its sign");

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

// Decodes the vectors of one region of a category with vectors of
// `kDimension` digits. Returns the number of vectors decoded; *ran_out tells
// whether the layer's bits ended inside the region (the vector cut in its
// signs counts as decoded). For five-digit vectors, whose regions fill their
// zeros with noise, *nonzero gets which decoded coefficients are not 0
// (bit i: coefficient i), straight from the codes.
template <int kDimension>
int DecodeRegionVectors(BitReader* reader, const CodeLookup& codes, int category, float sigma, double gain,
                        int32_t* available, NoiseGenerator* noise, float* region, bool* ran_out, uint32_t* nonzero) {
    constexpr int kVectors = kRegionSize / kDimension;
    constexpr int kDigitBits = DigitFieldBits(kDimension);
    constexpr int kNegated = 1 << DigitValueBits(kDimension);
    // The reconstructed value of each digit in this region, positive from
    // index 0 and negative from kNegated, four at a time (the centroid rows
    // are padded to whole groups). sigma x 33 is exact in double (24 by 6
    // bits), so each centroid times it is the exact product rounded once, as
    // (centroid x sigma) x 33 is; the output gain follows, rounded again.
    float value[2 * kNegated];
    const double scale = static_cast<double>(sigma) * kOutputScale;
    for (int d = 0; d <= MaxBin[category]; d += 4) {
        const Float4 magnitude = Scale(gain, Scale(scale, LoadFloat4(&Centroid[category][d])));
        StoreFloat4(value + d, magnitude);
        StoreFloat4(value + kNegated + d, reinterpret_cast<Float4>(reinterpret_cast<Int4>(magnitude) ^ INT32_MIN));
    }
    // Kept in locals, so that they stay in registers from vector to vector.
    BitReader r = *reader;
    int32_t left = *available;
    int v = 0;
    uint64_t bits = PeekBits64(r);
    uint32_t nonzero_digits = 0;
    bool cut = false;
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
        const CodeEntry entry = LookUpCode(codes, bits);
        const int used = CodeAndSignBits(entry);
        uint32_t next_five_bits = static_cast<uint32_t>((bits << CodeLength(entry)) >> (64 - 5));
        if (used <= left) {
            r.position += used;
            left -= used;
            bits = look << used;
        } else {
            // Through copies, so that the loop's own state never has its
            // address taken and stays in registers.
            cut = true;
            BitReader cut_reader = r;
            int32_t cut_left = left;
            uint32_t cut_five_bits = next_five_bits;
            const bool complete = ReadCutVector(&cut_reader, entry, &cut_left, noise, &cut_five_bits);
            r = cut_reader;
            left = cut_left;
            next_five_bits = cut_five_bits;
            if (!complete) break;
        }
        // Without branches: which digits are 0 and the signs follow the
        // signal. A zero digit is never negative.
        const uint32_t negative = NegativeDigits(NonzeroDigits(entry), next_five_bits);
        if constexpr (kDimension == 5) nonzero_digits |= NonzeroDigits(entry) << (v * kDimension);
        const uint32_t signed_digits = CodeValue(entry) | kSignFields<kDimension>[negative];
        for (int j = 0; j < kDimension; ++j)
            region[v * kDimension + j] = value[(signed_digits >> (j * kDigitBits)) & (2 * kNegated - 1)];
        if (cut) {
            ++v;
            break;
        }
    }
    *ran_out = cut;
    *reader = r;
    *available = left;
    *nonzero = nonzero_digits;
    return v;
}

int DecodeRegionVectors(BitReader* reader, const CodeLookup& codes, int category, float sigma, double gain,
                        int32_t* available, NoiseGenerator* noise, float* region, bool* ran_out, uint32_t* nonzero) {
    switch (VectorDimension[category]) {
        case 2:
            return DecodeRegionVectors<2>(reader, codes, category, sigma, gain, available, noise, region, ran_out, nonzero);
        case 4:
            return DecodeRegionVectors<4>(reader, codes, category, sigma, gain, available, noise, region, ran_out, nonzero);
        default:
            return DecodeRegionVectors<5>(reader, codes, category, sigma, gain, available, noise, region, ran_out, nonzero);
    }
}

// For each 4-bit mask, four lanes: all ones where its bit is set.
constexpr std::array<std::array<int32_t, 4>, 16> BuildLaneMasks() {
    std::array<std::array<int32_t, 4>, 16> masks{};
    for (int m = 0; m < 16; ++m)
        for (int j = 0; j < 4; ++j) masks[m][j] = ((m >> j) & 1) ? -1 : 0;
    return masks;
}
constexpr std::array<std::array<int32_t, 4>, 16> kLaneMasks = BuildLaneMasks();

// The number of bits set, by sums of neighbouring fields (the library's
// count is a call where the instruction is not assumed).
int CountBits(uint32_t x) {
    x -= (x >> 1) & 0x55555555u;
    x = (x & 0x33333333u) + ((x >> 2) & 0x33333333u);
    x = (x + (x >> 4)) & 0x0F0F0F0Fu;
    return static_cast<int>((x * 0x01010101u) >> 24);
}

// Noise for the coefficients of a category-5 or -6 region that quantised to
// 0 (bit i of `nonzero` clear: coefficient i is 0), at a level that falls
// with the number of non-zero ones (category 5 counts a large coefficient,
// one above twice the region's amplitude x 33, as four). The zeros take the
// bits of one draw per half region, drawn even if the half has no zero. Four
// coefficients at a time, without branches: which coefficients are 0 follows
// the signal.
void FillQuantisedZeros(float* region, int category, float sigma, float noise_gain, double gain, uint32_t nonzero,
                        NoiseGenerator* noise) {
    constexpr int kLanes = 4;
    const uint32_t zeros = ~nonzero & ((1u << kRegionSize) - 1);
    int n = CountBits(nonzero);
    if (category == 5) {
        // The region holds 0, digit 1 (centroid 1.657), digit 2 (3.491) or
        // the noise of bits run out (at most 0.70711), each times the
        // amplitude x 33 and the gain; only digit 2 is above twice the
        // amplitude, and every level is far from the next, so above the
        // digit-1 value is above twice the amplitude, gain or not.
        const double digit1 = static_cast<double>(sigma) * kOutputScale * static_cast<double>(Centroid[5][1]);
        const float large = static_cast<float>(gain * static_cast<double>(static_cast<float>(digit1)));
        const Float4 large4 = {large, large, large, large};
        const Int4 magnitude_mask = {INT32_MAX, INT32_MAX, INT32_MAX, INT32_MAX};
        Int4 large_count = {};
        for (int k = 0; k < kRegionSize / kLanes; ++k) {
            const Int4 x = reinterpret_cast<Int4>(LoadFloat4(region + kLanes * k));
            large_count -= reinterpret_cast<Float4>(x & magnitude_mask) > large4;
        }
        n += 3 * (large_count[0] + large_count[1] + large_count[2] + large_count[3]);
    }
    if (n > 19) n = 19;  // with no zero left the factor goes unused
    const float* factors = category == 5 ? Category5NoiseFactor : Category6NoiseFactor;
    const float amplitude = ScaledNoise(sigma, factors[n], noise_gain, gain);

    uint32_t positive = DepositBits(zeros & 1023, DrawNoise(noise));
    positive |= DepositBits(zeros >> kHalfRegion, DrawNoise(noise)) << kHalfRegion;
    const uint32_t negative = zeros & ~positive;
    int32_t amplitude_bits;
    std::memcpy(&amplitude_bits, &amplitude, sizeof amplitude_bits);
    const Int4 amplitude4 = {amplitude_bits, amplitude_bits, amplitude_bits, amplitude_bits};
    // The zeros are +0 (no bit set), so the noise is merged in by or.
    for (int k = 0; k < kRegionSize / kLanes; ++k) {
        const Int4 take = LoadInt4(kLaneMasks[(zeros >> (kLanes * k)) & 15].data());
        const Int4 sign = LoadInt4(kLaneMasks[(negative >> (kLanes * k)) & 15].data()) & INT32_MIN;
        const Int4 x = reinterpret_cast<Int4>(LoadFloat4(region + kLanes * k));
        StoreFloat4(region + kLanes * k, reinterpret_cast<Float4>(x | (amplitude4 & take) | sign));
    }
}

}  // namespace

void DecodeLayerVectors(BitReader* reader, int regions, const int32_t* region_order, const float* sigma,
                        int32_t* categories, int32_t* available, float noise_gain, double gain, NoiseGenerator* noise,
                        float* coefficients) {
    const CodeLookup* vector_codes = VectorCodeLookups();
    for (int i = 0; i < regions; ++i) {
        const int r = region_order[i];
        const int category = categories[r] < kNoBitsCategory ? categories[r] : kNoBitsCategory;
        float* region = coefficients + r * kRegionSize;
        if (category < kNoBitsCategory) {
            bool ran_out = false;
            uint32_t nonzero = 0;
            const int decoded = DecodeRegionVectors(reader, vector_codes[category], category, sigma[r], gain, available,
                                                    noise, region, &ran_out, &nonzero);
            if (ran_out) {
                for (int j = i + 1; j < regions; ++j) categories[region_order[j]] = kNoBitsCategory;
                const int dimension = VectorDimension[category];
                const float unquantised = ScaledNoise(sigma[r], kUnquantisedNoise, noise_gain, gain);
                for (int v = decoded; v < VectorsPerRegion[category]; ++v)
                    FillWithSigns(region + v * dimension, dimension, unquantised, DrawNoise(noise));
                nonzero |= (~0u << (decoded * dimension)) & ((1u << kRegionSize) - 1);  // the noise is never 0
            }
            if (category == 5 || category == 6)
                FillQuantisedZeros(region, category, sigma[r], noise_gain, gain, nonzero, noise);
        } else {
            const float unquantised = ScaledNoise(sigma[r], kUnquantisedNoise, noise_gain, gain);
            FillWithSigns(region, kHalfRegion, unquantised, DrawNoise(noise));
            FillWithSigns(region + kHalfRegion, kHalfRegion, unquantised, DrawNoise(noise));
        }
    }
}
