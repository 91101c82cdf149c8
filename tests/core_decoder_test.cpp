// Core frame decoder: the noise sources, and the decoding of frames built
// bit by bit, including short, odd-length and damaged ones.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

#include "core/core_decoder.h"
#include "core/core_tables.h"
#include "core/decoder_noise.h"
#include "frame_bits.h"

namespace {

constexpr double kScale = 33.0;

void PutPowerDifference(FrameWriter* w, int region, int difference) {
    const int row = std::min(region - 1, 12);
    Put(w, PowerCode[row][difference + 12], PowerCodeLength[row][difference + 12]);
}

// split_index, region 0's power p0 and the differences of regions 1 ... 27.
FrameWriter BaseEnvelope(int split, int p0, const std::array<int, kBaseRegions>& differences) {
    FrameWriter w;
    Put(&w, static_cast<uint32_t>(split), 3);
    Put(&w, static_cast<uint32_t>(p0 + 7), 5);
    for (int r = 1; r < kBaseRegions; ++r) PutPowerDifference(&w, r, differences[r]);
    return w;
}

// The envelope of flat powers p0 with region 27 a step apart, and the base
// categorisation control.
FrameWriter BaseHeader(int split, int p0, int last_step, int control) {
    std::array<int, kBaseRegions> differences{};
    differences[kBaseRegions - 1] = last_step;
    FrameWriter w = BaseEnvelope(split, p0, differences);
    Put(&w, static_cast<uint32_t>(control), 5);
    return w;
}

// Split 7: base 400 bits of flat powers 10 and ones after control 0; from
// bit 400 the extension, flat too (differences 0, code 10), its control
// value, and ones.
FrameWriter FlatSplit7Frame(int ext_control) {
    FrameWriter w = BaseHeader(7, 10, 0, 0);
    w.position = 400;
    for (int r = kBaseRegions; r < kRegions; ++r) PutPowerDifference(&w, r, 0);
    Put(&w, static_cast<uint32_t>(ext_control), 5);
    return w;
}

struct Decoded {
    CoreDecoderState state;
    std::vector<float> c = std::vector<float>(kFrameSamples, std::nanf(""));
    std::string console;
};

// Decodes from an exactly sized heap copy of the frame's first bits / 8
// bytes, so that a read past them shows under ASan or valgrind. The state
// and the output start as junk: nothing of either may show through.
Decoded Decode(const std::vector<uint8_t>& frame, int bits) {
    Decoded d;
    std::memset(&d.state, 0x5A, sizeof d.state);
    const size_t bytes = bits > 0 ? static_cast<size_t>(bits / 8) : 0;
    std::unique_ptr<uint8_t[]> copy(bytes ? new uint8_t[bytes] : nullptr);
    if (bytes) std::memcpy(copy.get(), frame.data(), bytes);
    testing::internal::CaptureStdout();
    DecodeCoreFrame(&d.state, bits, copy.get(), d.c.data());
    d.console = testing::internal::GetCapturedStdout();
    return d;
}

struct NoiseSnapshot {
    NoiseGenerator base, ext;
    uint16_t high;
};
NoiseSnapshot SaveNoise() { return {BaseLayerNoise, ExtLayerNoise, HighBandNoiseState}; }

// Level of a region's noise without quantised coefficients.
double NoiseLevel(const CoreDecoderState& s, int region, double factor = 0.70711) {
    return factor * s.sigma[region] * s.noise_gain * kScale;
}

void ExpectRegionIsNoise(const Decoded& d, int region, double level) {
    for (int i = 0; i < kRegionSize; ++i)
        EXPECT_NEAR(std::fabs(d.c[region * kRegionSize + i]), level, level * 1e-6) << "region " << region << " i " << i;
}

// Signs of a region of noise follow two draws, bits 0 ... 9 of each.
void ExpectRegionSigns(const Decoded& d, int region, uint32_t first_draw, uint32_t second_draw) {
    for (int i = 0; i < kRegionSize; ++i) {
        const uint32_t draw = i < 10 ? first_draw : second_draw;
        EXPECT_EQ(d.c[region * kRegionSize + i] > 0, ((draw >> (i % 10)) & 1) == 1) << "region " << region;
    }
}

TEST(DecoderNoise, LaggedAdditiveGenerator) {
    // From four ones, each draw adds the newest and the oldest word.
    NoiseGenerator g = {{1, 1, 1, 1}};
    const uint32_t expected[] = {2, 3, 4, 5, 7, 10, 14, 19, 26, 36, 50, 69, 95, 131, 181, 250};
    for (uint32_t e : expected) EXPECT_EQ(DrawNoise(&g), e);

    // A sum with bit 15 set gains one; sums wrap around at 32 bits.
    NoiseGenerator carry = {{0x7FFF, 0, 0, 1}};
    EXPECT_EQ(DrawNoise(&carry), 0x8001u);
    NoiseGenerator wrap = {{0xFFFFFFFFu, 0, 0, 1}};
    EXPECT_EQ(DrawNoise(&wrap), 0u);
    NoiseGenerator both = {{0xFFFF7FFFu, 0, 0, 1}};
    EXPECT_EQ(DrawNoise(&both), 0xFFFF8001u);
    EXPECT_EQ(both.word[1], 0xFFFF7FFFu);
    EXPECT_EQ(both.word[3], 0u);
}

TEST(CoreDecoder, FramesWithoutAByteDecodeAsFaintBaseNoise) {
    InitCoreTables();
    for (int bits : {0, 1, 2, 3, 4, 5, 6, 7, -16}) {
        const Decoded d = Decode({}, bits);  // no frame bytes at all
        EXPECT_EQ(d.state.split_index, 0);
        for (int r = 0; r < kBaseRegions; ++r) EXPECT_EQ(d.state.power_index[r], -7);
        EXPECT_EQ(d.state.noise_gain, 1.0f);
        for (int r = 0; r < kBaseRegions; ++r) ExpectRegionIsNoise(d, r, NoiseLevel(d.state, r));
        for (int k = 560; k < kFrameSamples; ++k) EXPECT_EQ(d.c[k], 0.0f);
        EXPECT_EQ(d.console, "");
    }
}

TEST(CoreDecoder, FrameOf960BitsWithSplit0GetsFadingHighBandNoise) {
    InitCoreTables();
    // Region 27 far below the rest gets no bits, so coefficient 559 is noise.
    const FrameWriter w = BaseHeader(0, 10, -12, 0);
    const Decoded d = Decode(w.bytes, 960);
    ASSERT_GE(d.state.base_category[27], 7);
    ASSERT_NE(d.c[559], 0.0f);
    EXPECT_EQ(d.state.ext_available, 0);
    const double a = std::fabs(d.c[559]) / 320.0;
    int previous = 0;
    for (int k = 0; k < 320; ++k) {
        // Each coefficient is a 16-bit draw / 32768 times a level fading to 0.
        const double s = d.c[560 + k] / (a * (320 - k)) * 32768.0;
        const int draw = static_cast<int>(std::lround(s));
        ASSERT_NEAR(s, draw, 1e-2) << k;
        ASSERT_GE(draw, -32768);
        ASSERT_LE(draw, 32767);
        if (k > 0) EXPECT_EQ(draw, static_cast<int16_t>(static_cast<uint16_t>(previous * 31321 + 15467))) << k;
        previous = draw;
    }
    EXPECT_EQ(static_cast<int16_t>(HighBandNoiseState), previous);
    for (int k = 880; k < kFrameSamples; ++k) EXPECT_EQ(d.c[k], 0.0f);
    EXPECT_EQ(d.console, "");
}

TEST(CoreDecoder, BaseWithoutBitsForItsControlIsNoiseInRegionOrder) {
    InitCoreTables();
    // Two bytes: split 0, p(0) = 24, region 1 at -12 (code 1000), and four
    // bits of region 2's code, too few for it: every later difference is 0.
    FrameWriter w;
    Put(&w, 0, 3);
    Put(&w, 31, 5);
    PutPowerDifference(&w, 1, -12);
    PutPowerDifference(&w, 2, -12);
    const NoiseSnapshot before = SaveNoise();
    const Decoded d = Decode(w.bytes, 16);
    EXPECT_EQ(d.state.power_index[0], 24);
    for (int r = 1; r < kBaseRegions; ++r) EXPECT_EQ(d.state.power_index[r], 12);
    // Regions 0 ... 8 hold most of the power: the noise is lowered to 0.7.
    EXPECT_EQ(d.state.noise_gain, 0.7f);

    NoiseGenerator replay = before.base;
    for (int r = 0; r < kBaseRegions; ++r) {
        EXPECT_EQ(d.state.base_category[r], 7);
        ExpectRegionIsNoise(d, r, NoiseLevel(d.state, r));
        const uint32_t first = DrawNoise(&replay);
        ExpectRegionSigns(d, r, first, DrawNoise(&replay));
    }
    EXPECT_EQ(std::memcmp(&replay, &BaseLayerNoise, sizeof replay), 0);
    EXPECT_EQ(std::memcmp(&before.ext, &ExtLayerNoise, sizeof replay), 0);  // untouched
}

TEST(CoreDecoder, FrameChecksReportErrorValues) {
    InitCoreTables();
    const FrameWriter w = FlatSplit7Frame(0);
    const Decoded good = Decode(w.bytes, 1280);
    for (int r = kBaseRegions; r < kRegions; ++r) EXPECT_EQ(good.state.power_index[r], 10);
    ASSERT_GT(good.state.ext_available, 0);  // the frame ends in fill
    EXPECT_EQ(good.state.frame_error, 0);
    EXPECT_EQ(good.console, "");

    // A zero in the fill: the last bit of the frame.
    FrameWriter damaged = w;
    SetFrameBit(damaged.bytes.data(), 1279, 0);
    const Decoded fill = Decode(damaged.bytes, 1280);
    EXPECT_EQ(fill.state.frame_error, 1);
    EXPECT_EQ(fill.console, "decoder: FRAME ERROR 1\n");

    // Base power indices are allowed from -31 to 33 (208 bits: no extension,
    // so no fill is checked).
    struct Case {
        int p0;
        std::array<int, kBaseRegions> differences;
        int expected;
    };
    const Case cases[] = {{24, {0, 9}, 0},
                          {24, {0, 9, 1}, 4},
                          {-7, {0, -12, -12}, 0},
                          {-7, {0, -12, -12, -1}, 4}};
    for (const Case& c : cases) {
        const Decoded d = Decode(BaseEnvelope(0, c.p0, c.differences).bytes, 208);
        EXPECT_EQ(d.state.frame_error, c.expected) << c.p0;
        EXPECT_EQ(d.console, c.expected ? "decoder: FRAME ERROR 4\n" : "");
    }
}

TEST(CoreDecoder, LengthsAreRoundedDownToWholeBytes) {
    InitCoreTables();
    const FrameWriter w = FlatSplit7Frame(0);
    const NoiseSnapshot before = SaveNoise();
    const auto decode = [&](int bits) {
        BaseLayerNoise = before.base, ExtLayerNoise = before.ext, HighBandNoiseState = before.high;
        const Decoded d = Decode(w.bytes, bits);
        return std::make_tuple(d.c, d.console, d.state.frame_error, d.state.ext_available);
    };
    for (int bits : {553, 559, 1279}) EXPECT_EQ(decode(bits), decode(bits & ~7)) << bits;
}

TEST(CoreDecoder, PowerIndicesBeyondTheTableUseItsEnds) {
    InitCoreTables();
    for (int step : {11, -12}) {
        std::array<int, kBaseRegions> differences;
        differences.fill(step);
        const Decoded d = Decode(BaseEnvelope(0, step > 0 ? 24 : -7, differences).bytes, 960);
        EXPECT_EQ(d.state.power_index[27], step > 0 ? 24 + 27 * 11 : -7 - 27 * 12);
        EXPECT_EQ(d.state.frame_error, 4);
        for (int r = 0; r < kBaseRegions; ++r) {
            const int p = d.state.power_index[r];
            if (p + 24 > 63) EXPECT_EQ(d.state.sigma[r], StandardDeviation[63]);
            if (p + 24 < 0) EXPECT_EQ(d.state.sigma[r], StandardDeviation[0]);
        }
        EXPECT_EQ(d.state.noise_gain, step > 0 ? 1.0f : 0.7f);
        // A region far below the loudest gets no bits: noise at the table's end.
        const int quiet = step > 0 ? 2 : 27;
        ASSERT_GE(d.state.base_category[quiet], 7);
        ExpectRegionIsNoise(d, quiet, NoiseLevel(d.state, quiet));
        for (float c : d.c) ASSERT_TRUE(std::isfinite(c));
    }
}

TEST(CoreDecoder, CategoriesAboveSevenAreNoise) {
    InitCoreTables();
    // A flat extension of split 7: its budget exceeds 16 x 52 bits, so every
    // balancing step falls back on region 28, and control 31 raises it 31 times.
    const Decoded d = Decode(FlatSplit7Frame(31).bytes, 1280);
    ASSERT_GE(d.state.ext_category[28], 8);
    ExpectRegionIsNoise(d, 28, NoiseLevel(d.state, 28));
    // The others are category 0, and the ones that follow decode as zero vectors.
    for (int r = 29; r < kRegions; ++r) {
        EXPECT_EQ(d.state.ext_category[r], 0);
        for (int i = 0; i < kRegionSize; ++i) EXPECT_EQ(d.c[r * kRegionSize + i], 0.0f);
    }
    EXPECT_EQ(d.state.frame_error, 0);
}

}  // namespace
