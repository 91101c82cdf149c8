// Known answers typed from the published tables of the spectral core, the
// transforms, the speech detector and the stereo analysis: a transcription or generation error
// in any of them fails here, whatever the codec's recorded digests say.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>
#include <string>
#include <vector>

#include "core/core_tables.h"
#include "frame_bits.h"
#include "speech/decimator.h"
#include "stereo/stereo_analysis.h"
#include "stereo/stereo_tables.h"
#include "transform/transform.h"

namespace {

// Power difference codes, one row per region row, for d = -12 ... +11.
const char* const kPowerCodeRows[13] = {
    "1000 100110 10010 01010 0111 0110 0011 0010 0000 0001 111 110 101 0100 01011 1001110 10011110 100111110 10011111110 10011111111 100111111000 100111111001 100111111010 100111111011",
    "0000100100 00001000 000011 00101 00000 0001 111 110 100 011 010 101 0011 00100 0000101 000010011 00001001010 000010010110 0000100101110 000010010111101 000010010111110 000010010111111 0000100101111000 0000100101111001",
    "101000010110 1010000100 10100000 101001 00101 1011 0111 0101 0100 0001 0000 110 100 111 0011 0110 00100 10101 1010001 101000011 10100001010 1010000101111 10100001011100 10100001011101",
    "0101101111100 0101101110 010110101 010110100 0101111 0101110 11011 01010 1000 101 001 000 011 111 0100 1001 1100 11010 0101100 010110110 01011011110 0101101111101 0101101111110 0101101111111",
    "111110001110 1111100011111 1111100010 11111001 111111 011010 10011 10010 1110 1000 110 001 000 010 101 0111 01100 11110 011011 1111101 111110000 11111000110 11111000111100 11111000111101",
    "110010110110 11001011010 110010111 11001110 11001010 1100100 11110 1110 0011 101 011 000 010 100 0010 1101 11000 11111 1100110 11001111 1100101100 1100101101111 11001011011100 11001011011101",
    "000010001010110 0000100010101000 000010001010111 000010001011 0000100011 00001001 000011 10100 1011 100 010 001 11 011 0001 00000 10101 0000101 000010000 00001000100 0000100010100 0000100010101001 0000100010101010 0000100010101011",
    "00001111110101 00001111110110 00001111111 0000111110 000011101 0000110 0000100 10000 00000 0001 011 010 11 001 101 1001 10001 0000101 000011100 000011110 000011111100 00001111110111 000011111101000 000011111101001",
    "101111101 101111100 101110100 10111111 1011110 101100 10000 1010 111 011 001 000 010 110 1001 10001 101101 1011100 10111011 1011101010 10111010110 101110101111 1011101011100 1011101011101",
    "00101111011100 001011110110 0010111100 00101101 101011 001010 00100 0011 110 100 010 000 011 111 1011 10100 101010 00101100 00101110 001011111 00101111010 00101111011101 00101111011110 00101111011111",
    "0001011101111 0001011100 000101101 00010100 011010 000100 01100 0111 0100 0000 100 001 11 101 0101 00011 011011 00010101 000101100 000101111 00010111010 000101110110 00010111011100 00010111011101",
    "1011001000000100 1011001000001 101100100001 10110010001 101100101 101101 10111 00110 1010 0111 0010 010 11 000 100 0110 00111 1011000 10110011 1011001001 10110010000000 1011001000000101 1011001000000110 1011001000000111",
    "0100111001111 01001110011000 01001110011010 01001110011001 0100111000 01001111 0100110 0100100 11110 1110 110 000 10 001 011 0101 01000 11111 0100101 010011101 01001110010 01001110011011 01001110011100 01001110011101",
};

TEST(CoreTablesKnownAnswers, PowerDifferenceCodes) {
    for (int row = 0; row < 13; ++row) {
        std::istringstream words(kPowerCodeRows[row]);
        int index = 0;
        for (std::string word; words >> word; ++index) {
            EXPECT_EQ(CodeBits(PowerCode[row][index], PowerCodeLength[row][index]), word) << row << " " << index;
            EXPECT_EQ(TreeDecode(PowerCodeTree[row], word), index) << row << " " << index;
        }
        EXPECT_EQ(index, 24);
    }
}

TEST(CoreTablesKnownAnswers, VectorCodebooks) {
    // Category 0, digits (0, 0 ... 13).
    const int lengths[14] = {1, 4, 6, 6, 7, 7, 8, 8, 8, 9, 9, 10, 11, 11};
    const int codes[14] = {1, 2, 1, 24, 14, 51, 9, 68, 110, 26, 218, 54, 154, 761};
    for (int i = 0; i < 14; ++i) {
        EXPECT_EQ(VectorCodebooks[0].length[i], lengths[i]) << i;
        EXPECT_EQ(VectorCodebooks[0].code[i], codes[i]) << i;
    }
    // Category 6 in full.
    const char* const category6[32] = {
        "1", "0010", "0100", "000010", "0101", "011101", "011000", "01100101", "0011", "011111", "011100",
        "01101001", "000011", "000000101", "01100110", "0110101000", "0001", "011110", "0000000", "01101011",
        "011011", "011001000", "01100111", "01100100110", "000001", "000000100", "01101000", "0110010010",
        "00000011", "0110101001", "011010101", "01100100111"};
    for (int i = 0; i < 32; ++i)
        EXPECT_EQ(CodeBits(VectorCodebooks[6].code[i], VectorCodebooks[6].length[i]), category6[i]) << i;
    // Two indices share one code word; the tree returns the first.
    for (int index : {138, 139})
        EXPECT_EQ(CodeBits(VectorCodebooks[0].code[index], VectorCodebooks[0].length[index]), "0001001101110111");
    // Categories 1 to 5: the first, two middle and the last code words.
    const struct {
        int category, index;
        const char* word;
    } typed[] = {{1, 0, "1"}, {1, 33, "00110100"}, {1, 66, "01001101111"}, {1, 99, "01111011101100"},
                 {2, 0, "1"}, {2, 16, "001101"}, {2, 32, "0001101100"}, {2, 48, "010110101000000"},
                 {3, 0, "11"}, {3, 208, "000000010011001"}, {3, 416, "00011110001001"}, {3, 624, "0000100011100010"},
                 {4, 0, "01"}, {4, 85, "001111"}, {4, 170, "111010111100101"}, {4, 255, "111010111100101"},
                 {5, 0, "00"}, {5, 81, "0100"}, {5, 162, "10001011"}, {5, 242, "11110000"}};
    for (const auto& t : typed) {
        const VectorCodebook& book = VectorCodebooks[t.category];
        EXPECT_EQ(CodeBits(book.code[t.index], book.length[t.index]), t.word) << t.category << " " << t.index;
    }
    // Sizes; every code word decodes to its index or to the first index of
    // the same code word; and per category the sum of index x code word (its
    // bits read as a number after a leading 1, so that the length counts),
    // summed from the separately kept listing of the code words, not from the
    // codec's data: two code words swapped anywhere change it.
    const int entries[7] = {196, 100, 49, 625, 256, 243, 32};
    const long long moments[7] = {335100175, 61046824, 14111777, 9330367387, 1265610029, 747573127, 367220};
    for (int c = 0; c < 7; ++c) {
        const VectorCodebook& book = VectorCodebooks[c];
        ASSERT_EQ(book.entries, entries[c]);
        long long moment = 0;
        for (int i = 0; i < book.entries; ++i) {
            moment += i * ((1LL << book.length[i]) | book.code[i]);
            const std::string word = CodeBits(book.code[i], book.length[i]);
            const int decoded = TreeDecode(book.tree, word);
            ASSERT_GE(decoded, 0) << c << " " << i;
            ASSERT_LE(decoded, i) << c << " " << i;
            EXPECT_EQ(CodeBits(book.code[decoded], book.length[decoded]), word) << c << " " << i;
        }
        EXPECT_EQ(moment, moments[c]) << c;
    }
}

TEST(CoreTablesKnownAnswers, CategoryConstantsAndReconstructionLevels) {
    struct Row {
        int expected_bits;
        float step, dead_zone;
        int max_bin, dimension, vectors, bin_inverse;
    };
    const Row rows[8] = {{52, 0.3536f, 0.30f, 13, 2, 10, 2341}, {47, 0.5f, 0.33f, 9, 2, 10, 3277},
                         {43, 0.7071f, 0.36f, 6, 2, 10, 4682},  {37, 1.0f, 0.39f, 4, 4, 5, 6554},
                         {29, 1.4142f, 0.42f, 3, 4, 5, 8193},   {22, 2.0f, 0.45f, 2, 5, 4, 10923},
                         {16, 2.8284f, 0.50f, 1, 5, 4, 16385},  {0, 2.8284f, 0.50f, 1, 1, 20, 16385}};
    InitCoreTables();
    for (int c = 0; c < 8; ++c) {
        EXPECT_EQ(ExpectedBits[c], rows[c].expected_bits) << c;
        EXPECT_EQ(StepSize[c], rows[c].step) << c;
        EXPECT_EQ(DeadZone[c], rows[c].dead_zone) << c;
        EXPECT_EQ(MaxBin[c], rows[c].max_bin) << c;
        EXPECT_EQ(VectorDimension[c], rows[c].dimension) << c;
        EXPECT_EQ(VectorsPerRegion[c], rows[c].vectors) << c;
        EXPECT_EQ(BinInverse[c], rows[c].bin_inverse) << c;
        EXPECT_EQ(StepSizeInverse[c], static_cast<float>(1.0 / rows[c].step)) << c;
    }
    const std::vector<double> levels[7] = {
        {0, 0.392, 0.761, 1.120, 1.477, 1.832, 2.183, 2.541, 2.893, 3.245, 3.598, 3.942, 4.288, 4.724},
        {0, 0.544, 1.060, 1.563, 2.068, 2.571, 3.072, 3.562, 4.070, 4.620},
        {0, 0.746, 1.464, 2.180, 2.882, 3.584, 4.316},
        {0, 1.006, 2.000, 2.993, 3.985},
        {0, 1.321, 2.703, 3.983},
        {0, 1.657, 3.491},
        {0, 1.964}};
    for (int c = 0; c < 7; ++c)
        for (size_t d = 0; d < levels[c].size(); ++d)
            EXPECT_EQ(Centroid[c][d], static_cast<float>(levels[c][d])) << c << " " << d;
    const double noise5[4] = {0.70711, 0.6179, 0.5005, 0.322}, noise6[3] = {0.70711, 0.5686, 0.3563};
    for (int n = 0; n < 20; ++n) {
        EXPECT_EQ(Category5NoiseFactor[n], static_cast<float>(n < 4 ? noise5[n] : 0.17678)) << n;
        EXPECT_EQ(Category6NoiseFactor[n], static_cast<float>(n < 3 ? noise6[n] : 0.25)) << n;
    }
}

// Values below: the nearest floats, computed apart from the codec in
// arbitrary precision from the tables' definitions.
TEST(CoreTablesKnownAnswers, PowerTablesAtTheirEnds) {
    InitCoreTables();
    EXPECT_EQ(StandardDeviation[0], 0.000244140625f);
    EXPECT_EQ(StandardDeviation[24], 1.0f);
    EXPECT_EQ(StandardDeviation[25], 1.41421354f);
    EXPECT_EQ(StandardDeviation[63], 741455.188f);
    EXPECT_EQ(InverseStandardDeviation[0], 4096.0f);
    EXPECT_EQ(InverseStandardDeviation[63], 1.34869913e-06f);
    EXPECT_EQ(PowerBoundary[0], 8.42936956e-08f);
    EXPECT_EQ(PowerBoundary[62], 3.88736057e+11f);
}

TEST(TransformTablesKnownAnswers, WindowAndTwiddles) {
    InitDct4Tables();
    EXPECT_EQ(SineWindow[0], 0.000818122993f);
    EXPECT_EQ(SineWindow[479], 0.706528068f);
    EXPECT_EQ(SineWindow[959], 0.999999642f);
    const float fft[][3] = {{0, 1.0f, 0.0f}, {1, 0.999914348f, -0.0130895954f}, {77, 0.533614516f, -0.845727801f},
                            {120, 0.0f, -1.0f}, {359, -0.0130895954f, 0.999914348f}, {360, 0.0f, 1.0f}};
    for (const auto& e : fft) {
        const int j = static_cast<int>(e[0]);
        EXPECT_EQ(FftTwiddle[2 * j], e[1]) << j;
        EXPECT_EQ(FftTwiddle[2 * j + 1], e[2]) << j;
    }
    // The DCT-IV twiddles are held split: 480 real parts, then 480 imaginary parts.
    const float dct4[][5] = {{0, 0.999999642f, -0.000818122993f, 1.0f, 0.0f},
                             {1, 0.999991655f, -0.00409060437f, 0.999994636f, -0.00327248662f},
                             {479, 0.00245432323f, -0.99999696f, 0.00327244285f, -0.999994636f}};
    for (const auto& e : dct4) {
        const int k = static_cast<int>(e[0]);
        EXPECT_EQ(Dct4PreTwiddle[k], e[1]) << k;
        EXPECT_EQ(Dct4PreTwiddle[480 + k], e[2]) << k;
        EXPECT_EQ(Dct4PostTwiddle[k], e[3]) << k;
        EXPECT_EQ(Dct4PostTwiddle[480 + k], e[4]) << k;
    }
}

TEST(StereoTablesKnownAnswers, WindowBinRowsAndBandFloors) {
    // Only the power above a band's floor feeds its level.
    StereoAnalysisState state;
    InitStereoAnalysis(&state);
    const float floors[10] = {4e6f, 4e6f, 2e6f, 2e6f, 2e6f, 2e6f, 2e6f, 1e6f, 1e6f, 1e6f};
    for (int c = 0; c < 2; ++c)
        for (int b = 0; b < 10; ++b) EXPECT_EQ(state.band_floor[c][b], floors[b]) << c << " " << b;
    // Six decimal places, as the tables hold them.
    EXPECT_EQ(BlackmanWindow480[0], 0.0f);
    EXPECT_EQ(BlackmanWindow480[1], 0.000015f);
    EXPECT_EQ(BlackmanWindow480[239], 0.999982f);
    EXPECT_EQ(BlackmanWindow480[478], 0.000015f);
    EXPECT_EQ(BlackmanWindow480[479], 0.0f);
    // Row j, band b: cos and sin of 2 pi (10 + 2b) j / 480.
    const float bins[][4] = {{1, 0, 0.991445f, 0.130526f}, {1, 9, 0.933580f, 0.358368f},
                             {59, 0, 0.130526f, 0.991445f}, {59, 9, -0.933580f, 0.358368f}};
    for (const auto& e : bins) {
        const int j = static_cast<int>(e[0]), b = static_cast<int>(e[1]);
        EXPECT_EQ(StereoBinTable[j - 1][0][b], e[2]) << j << " " << b;
        EXPECT_EQ(StereoBinTable[j - 1][1][b], e[3]) << j << " " << b;
    }
}

// The speech detector's decimation filters: symmetric, with the published
// gain at 0 Hz and first moment of the first half (sums of the typed taps),
// so that a mistyped or swapped tap fails.
TEST(SpeechTablesKnownAnswers, DecimatorTaps) {
    struct Filter {
        const float* taps;
        int count;
        double gain, moment;
    };
    const Filter filters[] = {{kDecimatorTaps48k.data(), 96, 1.008404, 23.125617},
                              {kDecimatorTaps32k.data(), 64, 1.008070, 15.327314}};
    for (const Filter& f : filters) {
        double gain = 0, moment = 0;
        for (int i = 0; i < f.count; ++i) {
            EXPECT_EQ(f.taps[i], f.taps[f.count - 1 - i]) << f.count << " taps, " << i;
            gain += f.taps[i];
            if (i < f.count / 2) moment += i * static_cast<double>(f.taps[i]);
        }
        EXPECT_NEAR(gain, f.gain, 1e-7) << f.count << " taps";
        EXPECT_NEAR(moment, f.moment, 1e-6) << f.count << " taps";
    }
    EXPECT_EQ(kDecimatorTaps48k[0], -0.000244f);
    EXPECT_EQ(kDecimatorTaps48k[47], 0.160084f);
}

}  // namespace
