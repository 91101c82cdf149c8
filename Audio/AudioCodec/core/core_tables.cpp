// Per-category constants of the spectral core and the tables computed once
// per process. The code tables are generated into core_codebooks.cpp.
#include "core/core_tables.h"

#include <cmath>

#include "transform/transform.h"

float StandardDeviation[64];
float InverseStandardDeviation[64];
float PowerBoundary[kPowerBoundaries];
float StepSizeInverse[kCategories];
int32_t BinInverse[kCategories];
uint8_t VectorBits[7][kMaxVectorIndices];

const int32_t ExpectedBits[kCategories] = {52, 47, 43, 37, 29, 22, 16, 0};
const float StepSize[kCategories] = {0.3536f, 0.5f, 0.7071f, 1.0f, 1.4142f, 2.0f, 2.8284f, 2.8284f};
const float DeadZone[kCategories] = {0.30f, 0.33f, 0.36f, 0.39f, 0.42f, 0.45f, 0.50f, 0.50f};
const int32_t MaxBin[kCategories] = {13, 9, 6, 4, 3, 2, 1, 1};
const int32_t VectorDimension[kCategories] = {2, 2, 2, 4, 4, 5, 5, 1};
const int32_t VectorsPerRegion[kCategories] = {10, 10, 10, 5, 5, 4, 4, 20};

const float Centroid[7][16] = {
    {0.0f, 0.392f, 0.761f, 1.120f, 1.477f, 1.832f, 2.183f, 2.541f, 2.893f, 3.245f, 3.598f, 3.942f,
     4.288f, 4.724f},
    {0.0f, 0.544f, 1.060f, 1.563f, 2.068f, 2.571f, 3.072f, 3.562f, 4.070f, 4.620f},
    {0.0f, 0.746f, 1.464f, 2.180f, 2.882f, 3.584f, 4.316f},
    {0.0f, 1.006f, 2.000f, 2.993f, 3.985f},
    {0.0f, 1.321f, 2.703f, 3.983f},
    {0.0f, 1.657f, 3.491f},
    {0.0f, 1.964f},
};

const float Category5NoiseFactor[20] = {0.70711f, 0.6179f,  0.5005f,  0.322f,   0.17678f,
                                        0.17678f, 0.17678f, 0.17678f, 0.17678f, 0.17678f,
                                        0.17678f, 0.17678f, 0.17678f, 0.17678f, 0.17678f,
                                        0.17678f, 0.17678f, 0.17678f, 0.17678f, 0.17678f};
const float Category6NoiseFactor[20] = {0.70711f, 0.5686f, 0.3563f, 0.25f, 0.25f, 0.25f, 0.25f,
                                        0.25f,    0.25f,   0.25f,   0.25f, 0.25f, 0.25f, 0.25f,
                                        0.25f,    0.25f,   0.25f,   0.25f, 0.25f, 0.25f};

namespace {
// Region power step: 10^0.30103 is 2 to ten digits.
constexpr double kLog10Of2 = 0.3010299957;

bool BuildCoreTables() {
    InitDct4Tables();
    for (int i = 0; i < 64; ++i) {
        const float power = static_cast<float>(std::pow(10.0, kLog10Of2 * (i - kPowerIndexOffset)));
        StandardDeviation[i] = static_cast<float>(std::sqrt(static_cast<double>(power)));
        InverseStandardDeviation[i] = static_cast<float>(1.0 / static_cast<double>(StandardDeviation[i]));
    }
    for (int i = 0; i < kPowerBoundaries; ++i)
        PowerBoundary[i] = static_cast<float>(std::pow(10.0, kLog10Of2 * (i - kPowerIndexOffset + 0.5)));
    for (int c = 0; c < kCategories; ++c) {
        BinInverse[c] = static_cast<int32_t>(32768.0 / (MaxBin[c] + 1.0) + 1.0);
        StepSizeInverse[c] = static_cast<float>(1.0 / static_cast<double>(StepSize[c]));
    }
    for (int c = 0; c < 7; ++c) {
        for (int index = 0; index < VectorCodebooks[c].entries; ++index) {
            int bits = VectorCodebooks[c].length[index];
            for (int rest = index; rest > 0; rest /= MaxBin[c] + 1) bits += rest % (MaxBin[c] + 1) != 0;
            VectorBits[c][index] = static_cast<uint8_t>(bits);
        }
    }
    return true;
}

}  // namespace

// A function-local static is initialised exactly once: a thread that calls
// while another is building waits until the tables are complete, and later
// calls only read the guard. The guard takes no lock after the first build
// and allocates nothing.
void InitCoreTables() {
    static const bool built = BuildCoreTables();
    static_cast<void>(built);
}
