// Tables of the spectral coding core: per-category constants, computed
// power tables, differential power codes and vector Huffman codebooks.
#pragma once
#include <cstdint>
#include <cstring>

#include "frame.h"

constexpr int kRegions = 44;          // regions of 20 coefficients, 0 ... 879
constexpr int kBaseRegions = 28;      // regions 0 ... 27
constexpr int kExtRegions = 16;       // regions 28 ... 43
constexpr int kRegionSize = 20;
constexpr int kCategories = 8;        // 0 finest ... 7 no bits
// Regions of this category (or, raised by a control value, above it) carry
// no coefficient bits; the decoder fills them with noise.
constexpr int kNoBitsCategory = kCategories - 1;
constexpr int kControlValues = 32;    // categorisation control possibilities per layer
constexpr int kPowerIndexOffset = 24; // tables are addressed with p + 24
constexpr int kPowerBoundaries = 63;

// Computed once by InitCoreTables (double arithmetic, stored as float).
extern float StandardDeviation[64];
extern float InverseStandardDeviation[64];
extern float PowerBoundary[kPowerBoundaries];
extern float StepSizeInverse[kCategories];
extern int32_t BinInverse[kCategories];

// Per-category constants.
extern const int32_t ExpectedBits[kCategories];
extern const float StepSize[kCategories];
extern const float DeadZone[kCategories];
extern const int32_t MaxBin[kCategories];
extern const int32_t VectorDimension[kCategories];
extern const int32_t VectorsPerRegion[kCategories];
// Reconstruction value of each digit, per category; rows padded with zeros
// to 16 so that groups of four stay within a row.
extern const float Centroid[7][16];
extern const float Category5NoiseFactor[20];
extern const float Category6NoiseFactor[20];

// Differential region power codes, rows 0 ... 12 (row min(r - 1, 12) codes
// region r), indices 0 ... 23 meaning d = -12 ... +11.
extern const uint8_t PowerCodeLength[13][24];
extern const uint16_t PowerCode[13][24];
// Decoding trees: node list starting at node 0; child [bit] > 0 is the next
// node, child <= 0 is a leaf whose index is its negation.
extern const int16_t PowerCodeTree[13][23][2];

// Vector Huffman codebook of one category 0 ... 6.
struct VectorCodebook {
    int32_t entries;              // (max bin + 1) ^ dimension
    const uint8_t* length;        // code length per vector index, 1 ... 16
    const uint16_t* code;         // code value per vector index, MSB first
    const int16_t (*tree)[2];     // decoding tree, layout as PowerCodeTree
};
extern const VectorCodebook VectorCodebooks[7];

// Bits a coded vector takes, per category 0 ... 6 and vector index: its
// code length plus one sign bit per non-zero digit. Computed once.
constexpr int kMaxVectorIndices = 625;  // category 3: 5^4
extern uint8_t VectorBits[7][kMaxVectorIndices];

// Builds the computed tables (and the transform's twiddles) once per process.
void InitCoreTables();

// 2^p as a double for a power index p within -1022 ... 1023, built from its
// exponent field: exactly what ldexp gives, without the library call.
inline double PowerOfTwo(int32_t p) {
    const uint64_t bits = static_cast<uint64_t>(p + 1023) << 52;
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
}
