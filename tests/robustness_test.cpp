// Hostile packets and odd settings: the library reads and writes only the
// memory it is given, and prints nothing but the frame-error line (a clean
// stream's frames print nothing: see the core round trip). Every
// packet, frame, PCM block and output buffer here is a heap block of exactly
// the size the settings imply, so AddressSanitizer (scripts/test_sanitized.sh)
// and valgrind report any access beyond it.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "codec_session.h"
#include "core/core_decoder.h"
#include "dremko.h"
#include "interface/packet_layout.h"
#include "test_signals.h"

namespace {

constexpr int kMaxFramesPerCall = 21;
constexpr int16_t kUntouched = 0x5A5A;

// Bytes to cut packets from: real stereo packets with four copies (speech in
// one channel, chords in the other), then as many pseudo-random bytes.
const std::vector<uint8_t>& PacketSource() {
    static const std::vector<uint8_t> source = [] {
        const int frames = 12;
        EncoderSession enc = MakeEncoder(128000, true);
        const std::vector<int16_t> pcm =
            test_signals::Planar(test_signals::SpeechLike(frames), test_signals::Chords(frames));
        std::vector<uint8_t> bytes;
        for (const std::vector<uint8_t>& p : EncodeAll(enc, pcm, true, 4)) bytes.insert(bytes.end(), p.begin(), p.end());
        uint32_t x = 12345;
        for (size_t i = 0, n = bytes.size(); i < n; ++i) {
            x = x * 1664525u + 1013904223u;
            bytes.push_back(static_cast<uint8_t>(x >> 24));
        }
        return bytes;
    }();
    return source;
}

// The next `size` bytes of the source (wrapping round) in their own heap block.
std::unique_ptr<uint8_t[]> ExactBlock(size_t size, size_t* cursor) {
    const std::vector<uint8_t>& source = PacketSource();
    std::unique_ptr<uint8_t[]> block(new uint8_t[size]);
    for (size_t i = 0; i < size; ++i) block[i] = source[(*cursor + i) % source.size()];
    *cursor += size + 97;
    return block;
}

size_t DecoderPacketBytes(uint32_t bit_rate, uint16_t rdp_bits, bool stereo_stream) {
    return static_cast<size_t>(PacketBytes(PartBytes(DecoderMainBytes(bit_rate), CopyCount(rdp_bits)), stereo_stream));
}

// A host writes the stream mode into the decoder context at byte offset 8.
void SetStreamMode(void* context, int32_t stereo_stream) {
    std::memcpy(static_cast<uint8_t*>(context) + 8, &stereo_stream, sizeof stereo_stream);
}

// One decoder session over twelve calls: the loss counts run through the
// extremes, the stream mode flips every third call, and the rate and copy
// mask change at the seventh call. Checks what every call delivers and that
// nothing is written beyond the delivered frames.
void DecodeHostileSession(bool stereo_out, uint32_t rate, uint16_t mask, uint32_t later_rate, uint16_t later_mask,
                          size_t* cursor) {
    static const int32_t kLosses[] = {7, 1, -1, 3, INT32_MIN, 2, 25, 0, INT32_MAX, 6, 1, 0};
    DecoderSession dec = MakeDecoder(0, 0, stereo_out);
    const size_t frame_samples = stereo_out ? 2 * kFrameSamples : kFrameSamples;
    for (int call = 0; call < 12; ++call) {
        if (call == 6) {
            rate = later_rate;
            mask = later_mask;
        }
        DremkoSetDecoderBitRate(dec.ctx(), static_cast<int32_t>(rate));
        DremkoSetDecoderRdpBits(dec.ctx(), mask);
        const bool stereo_stream = (call / 3 + (stereo_out ? 1 : 0)) % 2 == 1;
        SetStreamMode(dec.ctx(), stereo_stream);
        const std::unique_ptr<uint8_t[]> packet = ExactBlock(DecoderPacketBytes(rate, mask, stereo_stream), cursor);
        std::vector<int16_t> out(kMaxFramesPerCall * frame_samples, kUntouched);
        int32_t delivered = -1;
        EXPECT_EQ(Dremko_DecodeFrame(dec.ctx(), packet.get(), out.data(), kLosses[call], &delivered), 0);
        ASSERT_GE(delivered, 1);
        ASSERT_LE(delivered, call == 0 ? 1 : kMaxFramesPerCall);
        for (size_t i = static_cast<size_t>(delivered) * frame_samples; i < out.size(); ++i)
            ASSERT_EQ(out[i], kUntouched) << "sample " << i << " of call " << call;
    }
}

// Damaged frames make the decoder print its frame-error line, and nothing else.
void ExpectOnlyFrameErrorLines(const std::string& console) {
    const std::regex frame_error("decoder: FRAME ERROR [1-7]");
    std::istringstream lines(console);
    for (std::string line; std::getline(lines, line);) ASSERT_TRUE(std::regex_match(line, frame_error)) << line;
    if (!console.empty()) EXPECT_EQ(console.back(), '\n');
}

TEST(DecoderRobustness, StaysInsideItsPacketContextAndOutputForEverySetting) {
    // 0 and 1 give empty main frames, 400 a single byte, 48400 an odd 121
    // bytes; 64400 and more would ask for more than 160 bytes.
    const uint32_t rates[] = {0, 1, 400, 47999, 48400, 64000, 64400, 1000000, 0xFFFFFFFFu};
    const uint16_t masks[] = {0, 1, 5, 15, 0xFFF0, 0xFFFF};
    const size_t rate_count = sizeof rates / sizeof rates[0];
    const size_t mask_count = sizeof masks / sizeof masks[0];
    size_t cursor = 0;
    testing::internal::CaptureStdout();
    testing::internal::CaptureStderr();
    for (bool stereo_out : {false, true})
        for (size_t r = 0; r < rate_count; ++r)
            for (size_t m = 0; m < mask_count; ++m) {
                SCOPED_TRACE(testing::Message() << "stereo output " << stereo_out << ", bit_rate " << rates[r]
                                                << ", rdp_bits " << masks[m]);
                DecodeHostileSession(stereo_out, rates[r], masks[m], rates[(r + 4) % rate_count],
                                     masks[(m + 3) % mask_count], &cursor);
            }
    EXPECT_EQ(testing::internal::GetCapturedStderr(), "");
    const std::string console = testing::internal::GetCapturedStdout();
    EXPECT_NE(console, "");  // the damaged frames among them were reported
    ExpectOnlyFrameErrorLines(console);
}

// The core frame decoder on frames of every byte count and of awkward bit
// counts, each in a block of exactly its whole bytes: it reads no byte beyond
// them, stays finite, never fills the uncoded band, and fills the extension
// band only from 560 bits on.
TEST(DecoderRobustness, CoreFramesOfAnyLengthReadOnlyTheirOwnBytes) {
    InitCoreTables();
    CoreDecoderState state{};
    float coefficients[kFrameSamples];
    std::vector<int> lengths = {INT_MIN, -8, -1, 1, 7, 9, 15, 559, 1281, 1288, INT_MAX};
    for (int bytes = 0; bytes <= kCoreFrameBytes; ++bytes) lengths.push_back(8 * bytes);
    size_t cursor = 0;
    testing::internal::CaptureStdout();
    for (int bits : lengths) {
        const size_t bytes = bits <= 0 ? 0 : static_cast<size_t>(bits < 1280 ? bits : 1280) / 8;
        for (int content = 0; content < 6; ++content) {
            const std::unique_ptr<uint8_t[]> frame = ExactBlock(bytes, &cursor);
            std::fill_n(coefficients, kFrameSamples, NAN);  // every coefficient must be written
            DecodeCoreFrame(&state, bits, frame.get(), coefficients);
            for (int k = 0; k < kFrameSamples; ++k) EXPECT_TRUE(std::isfinite(coefficients[k])) << bits << " bits, k " << k;
            for (int k = bits < 560 ? 560 : 880; k < kFrameSamples; ++k) EXPECT_EQ(coefficients[k], 0.0f) << bits << " bits";
        }
    }
    ExpectOnlyFrameErrorLines(testing::internal::GetCapturedStdout());
}

TEST(EncoderRobustness, WritesExactlyOnePacketForAnyRateStereoFlagAndRedundancy) {
    struct Case {
        int32_t total_rate, stereo_flag, main_bytes;
        std::vector<int32_t> requests;
    };
    const Case cases[] = {
        {48000, 0, 120, {0, 2}},       {24000, 0, 120, {0}},         {-5, 0, 120, {1, INT32_MIN}},
        {56000, 0, 140, {2, -3}},      {64000, 0, 160, {4}},         {64399, 0, 160, {0, 5}},
        {64400, 0, 160, {0}},          {1000000, 0, 160, {3}},       {INT32_MAX, 0, 160, {INT32_MAX, 1}},
        {100000, 1, 125, {2}},         {128000, -7, 160, {-3, 4}},   {96000, 1, 120, {9}},
        {200000, 1, 160, {4}},         {INT32_MIN, 1, 120, {1, 0}},  {100100, 1, 125, {3}},
    };
    const std::vector<int16_t> speech = test_signals::SpeechLike(2), chords = test_signals::Chords(2);
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::Message() << "bit rate " << c.total_rate << ", stereo flag " << c.stereo_flag);
        std::vector<uint8_t> context(static_cast<size_t>(Dremko_SizeofEncoderContext()));
        ASSERT_EQ(Dremko_InitEncoderContext(context.data(), c.total_rate, c.stereo_flag), 0);
        const int channels = c.stereo_flag ? 2 : 1;
        for (size_t t = 0; t < c.requests.size(); ++t) {
            const int32_t copies = std::clamp(c.requests[t], 0, kMaxCopies);
            const int32_t part = PartBytes(c.main_bytes, copies);
            std::unique_ptr<int16_t[]> pcm(new int16_t[static_cast<size_t>(channels * kFrameSamples)]);
            std::copy_n(&speech[t * kFrameSamples], kFrameSamples, pcm.get());
            if (channels == 2) std::copy_n(&chords[t * kFrameSamples], kFrameSamples, pcm.get() + kFrameSamples);
            std::unique_ptr<uint8_t[]> packet(new uint8_t[static_cast<size_t>(channels * part)]);
            ASSERT_EQ(Dremko_EncodeFrame(context.data(), pcm.get(), packet.get(), c.requests[t]), part);
            EXPECT_EQ(DREMKO_PACKET_BYTES(c.total_rate, channels - 1, copies), channels * part);
            const void* finished = context.data();  // the getters take a const context
            EXPECT_EQ(DremkoEncoder_GetRP(finished), copies);
            const int32_t energy = DremkoEncoder_GetEnergy(finished);
            EXPECT_TRUE(energy >= 0 && energy <= 254 && energy % 2 == 0) << energy;
            EXPECT_EQ(DremkoEncoder_GetSpeechDetect(finished) & ~1, 0);
        }
    }
}

}  // namespace
