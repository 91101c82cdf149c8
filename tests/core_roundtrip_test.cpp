// Core frames from encoder to decoder: every region that arrives in full
// decodes to the quantiser's reconstruction of the encoder's input, at full
// length, at every main-frame length and as a 208-bit copy; what does not
// arrive is noise at its region's power.
//
// The expectation is built from the frame format itself: the test parses the
// envelope by matching the listed power codes, categorises with the shared
// `Categorize`, quantises the input coefficients as the format's quantiser
// defines, and lays out each region's bits from the codebook lengths.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "core/categorize.h"
#include "core/core_decoder.h"
#include "core/core_encoder.h"
#include "core/core_tables.h"
#include "frame_bits.h"
#include "test_signals.h"
#include "transform/transform.h"

namespace {

constexpr double kScale = 33.0;
constexpr double kAnalysisGain = 0.024529000744223595;

bool CodeAt(const uint8_t* frame, int position, uint32_t code, int length) {
    for (int i = 0; i < length; ++i)
        if (FrameBit(frame, position + i) != static_cast<int>((code >> (length - 1 - i)) & 1)) return false;
    return true;
}

void Digits(int category, int index, int* digits) {
    for (int j = VectorDimension[category] - 1; j >= 0; --j) {
        digits[j] = index % (MaxBin[category] + 1);
        index /= MaxBin[category] + 1;
    }
}

// A region as the format's quantiser codes it, and what a decoder reading
// all of its bits reconstructs (before noise fill).
struct QuantisedRegion {
    int bits;
    double value[kRegionSize];  // signed reconstruction / (sigma x 33); 0 for zero digits
};

QuantisedRegion Quantise(const float* x, int power, int category) {
    QuantisedRegion q{};
    const double scale = static_cast<float>(static_cast<double>(InverseStandardDeviation[power + 24]) *
                                            StepSizeInverse[category]);
    const int d = VectorDimension[category];
    for (int v = 0; v < VectorsPerRegion[category]; ++v) {
        int index = 0;
        std::vector<int> signs;  // for the encoder's non-zero digits, in order
        for (int j = 0; j < d; ++j) {
            const float c = x[v * d + j];
            int digit = static_cast<int>(std::fabs(static_cast<double>(c)) * scale + DeadZone[category]);
            if (digit != 0) signs.push_back(c > 0 ? 1 : -1);
            digit = std::min(digit, static_cast<int>(MaxBin[category]));
            index = index * (MaxBin[category] + 1) + digit;
        }
        q.bits += VectorCodebooks[category].length[index] + static_cast<int>(signs.size());
        int digits[5];
        // Shared code words decode to the first of their indices.
        const VectorCodebook& book = VectorCodebooks[category];
        Digits(category, TreeDecode(book.tree, CodeBits(book.code[index], book.length[index])), digits);
        size_t next = 0;
        for (int j = 0; j < d; ++j)
            if (digits[j] != 0) q.value[v * d + j] = Centroid[category][digits[j]] * signs.at(next++);
    }
    return q;
}

struct Counts {
    int exact = 0;   // regions compared with the quantiser's reconstruction
    int noise = 0;   // regions checked as noise: without bits, or after their layer ran out
    int frames = 0;  // decodes checked
};

// One decode to check: the encoder's input and frame, how many bytes
// arrived, and what the decoder made of them.
struct RoundTrip {
    const float* x;
    const uint8_t* frame;  // the encoder's 1280 bits
    int bytes;
    std::vector<uint8_t> view;  // the stream as the decoder sees it
    int intact;                 // bits before this arrived as sent
    const CoreDecoderState* s;
    const float* c;
    Counts* counts;
};

void ExpectNoise(const RoundTrip& t, int r, double level) {
    for (int i = r * kRegionSize; i < (r + 1) * kRegionSize; ++i)
        ASSERT_NEAR(std::fabs(t.c[i]), level, level * 1e-6) << "region " << r;
    ++t.counts->noise;
}

// Reads a layer's envelope and control value from the stream the decoder
// sees, checks the decoder's powers and order against it, and compares every
// region with the quantiser's reconstruction, up to the first region that
// did not arrive in full. `end`: the layer's last bit available + 1.
void CheckLayer(const RoundTrip& t, int first, int regions, int start, int share, int end, int32_t* power) {
    int position = first == 0 ? start + 8 : start;
    bool exhausted = false;  // a difference code did not fit: it and the rest are 0
    for (int r = first == 0 ? 1 : first; r < first + regions; ++r) {
        const int row = std::min(r - 1, 12);
        int found = -1;
        for (int i = 0; i < 24 && found < 0 && !exhausted; ++i)
            if (position + PowerCodeLength[row][i] <= end &&
                CodeAt(t.view.data(), position, PowerCode[row][i], PowerCodeLength[row][i]))
                found = i;
        exhausted = found < 0;  // the walk through the code tree used up the layer
        position = exhausted ? end : position + PowerCodeLength[row][found];
        power[r] = power[r - 1] + (exhausted ? 0 : found - 12);
        ASSERT_EQ(t.s->power_index[r], power[r]) << "region " << r;
    }
    const double gain = t.s->noise_gain;
    if (position + 5 > end) {  // no control value: the layer is noise
        for (int r = first; r < first + regions; ++r)
            ExpectNoise(t, r, 0.70711 * StandardDeviation[std::clamp(power[r] + 24, 0, 63)] * gain * kScale);
        return;
    }
    int control = 0;
    for (int i = 0; i < 5; ++i) control = (control << 1) | FrameBit(t.view.data(), position++);
    int32_t categories[kBaseRegions], balance[kControlValues - 1], order[kBaseRegions];
    Categorize(regions, share - (position - start), power + first, categories, balance);
    for (int j = 0; j < control; ++j) ++categories[balance[j]];
    for (int i = 0; i < regions; ++i) order[i] = first + i;
    SortRegionsByPower(power + first, regions, order);
    for (int i = 0; i < regions; ++i) ASSERT_EQ(t.s->region_order[first + i], order[i]);

    // Of an odd byte count, bits after `intact` are not what was sent: the
    // decoder's reading of them is not predicted here.
    const bool predictable_after_cut = t.bytes % 2 == 0;
    bool ended = false;
    for (int i = 0; i < regions; ++i) {
        const int r = order[i];
        const int category = std::min(categories[r - first], 7);
        const double sigma = StandardDeviation[power[r] + 24];
        const float* out = t.c + r * kRegionSize;
        if (ended || category == 7) {
            if (!ended || predictable_after_cut) ExpectNoise(t, r, 0.70711 * sigma * gain * kScale);
            continue;
        }
        const QuantisedRegion q = Quantise(t.x + r * kRegionSize, power[r], category);
        position += q.bits;
        if (position > std::min(end, t.intact)) {
            ended = true;  // partly received: decoded vectors, then noise
            continue;
        }
        int n = 0;
        for (int k = 0; k < kRegionSize; ++k) {
            if (q.value[k] == 0.0) continue;
            const double expected = q.value[k] * sigma * kScale;
            ASSERT_NEAR(out[k], expected, std::fabs(expected) * 1e-6) << "region " << r << " k " << k;
            n += 1 + (category == 5 && std::fabs(q.value[k]) > 2.0 ? 3 : 0);
        }
        // Zero digits: 0, or noise in categories 5 and 6 that falls with the
        // count of non-zero digits.
        const float* factors = category == 5 ? Category5NoiseFactor : Category6NoiseFactor;
        const double fill = category >= 5 ? factors[std::min(n, 19)] * sigma * gain * kScale : 0.0;
        for (int k = 0; k < kRegionSize; ++k)
            if (q.value[k] == 0.0) ASSERT_NEAR(std::fabs(out[k]), fill, fill * 1e-6) << "region " << r << " k " << k;
        ++t.counts->exact;
    }
}

void CheckFrame(const RoundTrip& t) {
    const int bits = 8 * t.bytes;
    const int split = (FrameBit(t.frame, 0) << 2) | (FrameBit(t.frame, 1) << 1) | FrameBit(t.frame, 2);
    ASSERT_EQ(t.s->split_index, split);
    const int ext_share = 80 * split + 320, base_share = 1280 - ext_share;
    int32_t power[kRegions];
    int region0 = 0;
    for (int i = 3; i < 8; ++i) region0 = (region0 << 1) | FrameBit(t.frame, i);
    power[0] = region0 - 7;
    ASSERT_EQ(t.s->power_index[0], power[0]);

    CheckLayer(t, 0, kBaseRegions, 0, base_share, std::min(bits, base_share), power);
    if (bits >= 560 && bits > base_share) {
        CheckLayer(t, kBaseRegions, kExtRegions, base_share, ext_share, bits, power);
    } else if (bits >= 560) {
        // No extension bits: noise fading from coefficient 559's level.
        const double a = std::fabs(t.c[559]) / 320.0;
        for (int k = 0; k < 320; ++k) ASSERT_LE(std::fabs(t.c[560 + k]), a * (320 - k) * (1 + 1e-6));
    } else {
        for (int k = 560; k < 880; ++k) ASSERT_EQ(t.c[k], 0.0f);
    }
    for (int k = 880; k < kFrameSamples; ++k) ASSERT_EQ(t.c[k], 0.0f);
}

struct Signal {
    const char* name;
    std::vector<int16_t> samples;
};

TEST(CoreRoundTrip, RegionsReceivedInFullReconstructTheQuantisedInput) {
    InitCoreTables();
    const int frames = 24;
    const std::vector<int16_t> hiss = test_signals::Noise(frames, 4000.0, 3);
    std::vector<int16_t> treble(hiss.size());  // a first difference: most power above 12 kHz
    for (size_t i = 1; i < hiss.size(); ++i) treble[i] = static_cast<int16_t>((hiss[i] - hiss[i - 1]) / 2);
    const Signal signals[] = {{"speech", test_signals::SpeechLike(frames)},
                              {"chords", test_signals::Chords(frames)},
                              {"noise", test_signals::Noise(frames, 3000.0)},
                              {"sweep", test_signals::Sweep(frames)},
                              {"tone", test_signals::Tone(frames, 1000.0, 20000.0)},
                              {"treble", treble},
                              {"silence", std::vector<int16_t>(frames * kFrameSamples, 0)}};
    std::vector<int> lengths = {26};
    for (int bytes = 120; bytes <= 160; ++bytes) lengths.push_back(bytes);

    Counts counts;
    int splits[8] = {};
    int fill_errors = 0;
    for (const Signal& signal : signals) {
        CoreEncoderState encoder = {0, 0, -1, 0};
        int16_t history[2 * kFrameSamples] = {};
        for (int f = 0; f < frames; ++f) {
            std::copy_n(signal.samples.data() + f * kFrameSamples, kFrameSamples, history + kFrameSamples);
            float x[kFrameSamples];
            MdctAnalysis(history, x);
            for (float& v : x) v = static_cast<float>(static_cast<double>(v) * kAnalysisGain);
            uint8_t frame[kCoreFrameBytes];
            int32_t level = 0;
            EncodeCoreFrame(&encoder, &level, kCoreFrameBits, x, frame);
            ++splits[encoder.split_index];
            for (int bytes : lengths) {
                std::unique_ptr<uint8_t[]> received(new uint8_t[bytes]);  // exactly sized
                std::memcpy(received.get(), frame, static_cast<size_t>(bytes));
                CoreDecoderState state{};
                float out[kFrameSamples];
                testing::internal::CaptureStdout();
                DecodeCoreFrame(&state, 8 * bytes, received.get(), out);
                const std::string console = testing::internal::GetCapturedStdout();
                SCOPED_TRACE(std::string(signal.name) + " frame " + std::to_string(f) + " bytes " + std::to_string(bytes));
                RoundTrip t{x, frame, bytes, std::vector<uint8_t>(frame, frame + kCoreFrameBytes), 16 * (bytes / 2),
                            &state, out, &counts};
                // An odd byte count: the last byte also stands in for the one after it.
                if (bytes % 2) t.view[bytes] = frame[bytes - 1];
                if (!console.empty()) {
                    // Only where the last byte, standing in, puts a 0 among the
                    // bits left after the extension: the fill check sees it.
                    ASSERT_EQ(console, "decoder: FRAME ERROR 1\n");
                    ASSERT_EQ(bytes % 2, 1);
                    bool zero = false;
                    for (int b = 8 * bytes - state.ext_available; b < 8 * bytes; ++b)
                        zero |= FrameBit(t.view.data(), b) == 0;
                    ASSERT_TRUE(zero);
                    ++fill_errors;
                }
                CheckFrame(t);
                if (HasFatalFailure()) return;
                ++counts.frames;
            }
        }
    }
    // Enough of each kind actually compared, and splits from both ends.
    EXPECT_GT(counts.exact, 100000);
    EXPECT_GT(counts.noise, 1000);
    EXPECT_GT(splits[0] + splits[1] + splits[2], 0);
    EXPECT_GT(splits[5] + splits[6] + splits[7], 0);
    std::printf("round trip: %d decodes, %d regions exact, %d regions noise, %d fill errors at odd lengths; splits",
                counts.frames, counts.exact, counts.noise, fill_errors);
    for (int n : splits) std::printf(" %d", n);
    std::printf("\n");
}

}  // namespace
