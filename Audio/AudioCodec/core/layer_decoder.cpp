#include "core/layer_decoder.h"

#include <cmath>
#include <cstring>

#include "core/code_lookup.h"
#include "core/core_tables.h"

namespace {

constexpr double kOutputScale = 33.0;
// Amplitude, relative to the region's, of the noise in regions without bits.
constexpr float kUnquantisedNoise = 0.70711f;
constexpr int kHalfRegion = kRegionSize / 2;
constexpr int kMaxBins = 14;  // digits 0 ... 13 of category 0

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

float ScaledNoise(double region_amplitude, double factor, float noise_gain) {
    const float u = static_cast<float>(region_amplitude * noise_gain * factor);
    return static_cast<float>(static_cast<double>(u) * kOutputScale);
}

// Sets `count` coefficients to +amplitude or -amplitude by the draw's bits,
// least significant first (1 positive).
void FillWithSigns(float* out, int count, float amplitude, uint32_t draw) {
    for (int i = 0; i < count; ++i) out[i] = WithSign(amplitude, ~(draw >> i) & 1);
}

// The same, but only for coefficients that are exactly 0, which alone
// consume bits; one draw per half region, drawn even if the half has no zero.
void FillZerosWithSigns(float* region, float amplitude, NoiseGenerator* noise) {
    for (int half = 0; half < 2; ++half) {
        uint32_t draw = DrawNoise(noise);
        // Without branches: which coefficients are 0 follows the signal.
        for (float* c = region + half * kHalfRegion; c < region + (half + 1) * kHalfRegion; ++c) {
            const uint32_t zero = *c == 0.0f;
            const float noise_value = WithSign(amplitude, ~draw & 1);
            *c = zero ? noise_value : *c;
            draw >>= zero;
        }
    }
}

// Reads `count` sign bits into a word whose first bit is the most
// significant. When fewer bits are available, the received ones lead and one
// draw completes them from its least significant bit upward; returns false then.
bool ReadSigns(BitReader* reader, int count, int32_t* available, NoiseGenerator* noise, uint32_t* signs) {
    if (*available >= count) {
        *signs = static_cast<uint32_t>(ReadBits(reader, count));
        *available -= count;
        return true;
    }
    const int received = *available;
    uint32_t word = static_cast<uint32_t>(ReadBits(reader, received));
    const uint32_t draw = DrawNoise(noise);
    for (int i = 0; i < count - received; ++i) word = (word << 1) | ((draw >> i) & 1);
    *signs = word;
    *available = 0;
    return false;
}

// Decodes the vectors of one region of category 0 ... 6. Returns the number
// of vectors decoded; *ran_out tells whether the layer's bits ended inside
// the region (the vector cut in its signs counts as decoded).
int DecodeRegionVectors(BitReader* reader, int category, float sigma, int32_t* available,
                        NoiseGenerator* noise, float* region, bool* ran_out) {
    const CodeLookup& codes = VectorCodeLookup(category);
    const VectorDigits* digits_of = VectorDigitsOf(category);
    const int dimension = VectorDimension[category];
    // The reconstructed magnitude of each digit value in this region.
    float magnitude[kMaxBins];
    for (int d = 0; d <= MaxBin[category]; ++d)
        magnitude[d] = static_cast<float>(static_cast<double>(Centroid[category][d]) * sigma * kOutputScale);
    int v = 0;
    while (v < VectorsPerRegion[category] && !*ran_out) {
        const int index = ReadCode(reader, codes, available);
        if (index < 0) {
            *ran_out = true;
            break;
        }
        const VectorDigits& digits = digits_of[index];
        uint32_t signs = 0;
        *ran_out = !ReadSigns(reader, digits.nonzero, available, noise, &signs);
        // The signs, first one at bit 31; each non-zero digit takes the top
        // one. Without branches: which digits are 0 follows the signal. A zero
        // digit's centroid is 0, so it stores +0 and takes no sign.
        uint64_t pending = static_cast<uint64_t>(signs) << (32 - digits.nonzero);
        for (int j = 0; j < dimension; ++j) {
            const uint32_t nonzero = digits.digit[j] != 0;
            region[v * dimension + j] = WithSign(magnitude[digits.digit[j]], nonzero & ~(pending >> 31) & 1);
            pending <<= nonzero;
        }
        ++v;
    }
    return v;
}

// Noise for the coefficients of a category-5 or -6 region that quantised to
// 0, at a level that falls with the number of non-zero ones (category 5
// counts a large coefficient as four).
void FillQuantisedZeros(float* region, int category, float sigma, float noise_gain, NoiseGenerator* noise) {
    const double large = 2.0 * sigma * kOutputScale;
    int n = 0;
    for (int i = 0; i < kRegionSize; ++i)
        n += (region[i] != 0.0f) + (category == 5 && std::fabs(region[i]) > large ? 3 : 0);
    if (n > 19) n = 19;  // with no zero left the factor goes unused
    const float* factors = category == 5 ? Category5NoiseFactor : Category6NoiseFactor;
    FillZerosWithSigns(region, ScaledNoise(sigma, factors[n], noise_gain), noise);
}

}  // namespace

void DecodeLayerVectors(BitReader* reader, int regions, const int32_t* region_order, const float* sigma,
                        int32_t* categories, int32_t* available, float noise_gain, NoiseGenerator* noise,
                        float* coefficients) {
    for (int i = 0; i < regions; ++i) {
        const int r = region_order[i];
        const int category = categories[r] < kNoBitsCategory ? categories[r] : kNoBitsCategory;
        float* region = coefficients + r * kRegionSize;
        const float unquantised = ScaledNoise(sigma[r], kUnquantisedNoise, noise_gain);
        if (category < kNoBitsCategory) {
            bool ran_out = false;
            const int decoded = DecodeRegionVectors(reader, category, sigma[r], available, noise, region, &ran_out);
            if (ran_out) {
                for (int j = i + 1; j < regions; ++j) categories[region_order[j]] = kNoBitsCategory;
                const int dimension = VectorDimension[category];
                for (int v = decoded; v < VectorsPerRegion[category]; ++v)
                    FillWithSigns(region + v * dimension, dimension, unquantised, DrawNoise(noise));
            }
            if (category == 5 || category == 6) FillQuantisedZeros(region, category, sigma[r], noise_gain, noise);
        } else {
            FillWithSigns(region, kHalfRegion, unquantised, DrawNoise(noise));
            FillWithSigns(region + kHalfRegion, kHalfRegion, unquantised, DrawNoise(noise));
        }
    }
}
