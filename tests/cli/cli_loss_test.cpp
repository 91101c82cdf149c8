// Packet loss and damaged packets through the real binary, held against the
// library's own decoder: the same packets, withheld where the tool's report
// says they were lost, decoded directly as a host would.
#include <sndfile.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "cli/cli_harness.h"
#include "copy_without_noise.h"
#include "core/decoder_noise.h"
#include "drk_file.h"
#include "interface/decoder_context.h"
#include "test_signals.h"

namespace cli_test {
namespace {

namespace fs = std::filesystem;

// The decoder's noise generators as a fresh process starts them: the tool
// decodes from there, this process may have decoded before.
const NoiseGenerator kStartBase = BaseLayerNoise, kStartExt = ExtLayerNoise;
const uint16_t kStartHigh = HighBandNoiseState;

struct HostDecode {
    std::vector<int16_t> pcm;  // interleaved, aligned with the tool's output
    std::string timeline;      // per packet: '.', or how the decoder filled the lost frame
    int frame_errors = 0;      // console lines the decoder printed
};

// Decodes `s` with the packets marked other than '.' in `lost` withheld.
// A lost frame the decoder delivered counts as rebuilt when its coefficients
// equal those of a direct decode of its copy, as concealed otherwise.
HostDecode DecodeDirectly(const Stream& s, const std::string& lost) {
    const size_t channels = s.channels;
    std::vector<uint8_t> memory(Dremko_SizeofDecoderContext());
    auto* ctx = reinterpret_cast<DremkoDecoderContext*>(memory.data());
    Dremko_InitDecoderContext(ctx, channels == 2);
    DremkoSetDecoderBitRate(ctx, s.bit_rate);
    DremkoSetDecoderRdpBits(ctx, CopyMask(s.copies));
    BaseLayerNoise = kStartBase, ExtLayerNoise = kStartExt, HighBandNoiseState = kStartHigh;
    HostDecode host;
    host.timeline.assign(s.packets.size(), 'm');
    // The decoder's output, frame by frame from its silent first frame, with silence for frames never delivered.
    std::vector<int16_t> stream((s.packets.size() + 1) * kFrameSamples * channels);
    std::vector<int16_t> out(DREMKO_MAX_DECODED_FRAMES * kFrameSamples * channels);
    std::vector<std::pair<size_t, std::vector<float>>> inserted;  // lost frames the decoder delivered
    std::fflush(stdout);
    const int saved = dup(STDOUT_FILENO);
    FILE* console = std::tmpfile();
    dup2(fileno(console), STDOUT_FILENO);
    int64_t stored = -1;
    int32_t gap = 0;
    for (size_t t = 0; t < s.packets.size(); ++t) {
        if (lost[t] != '.') {
            ++gap;
            continue;
        }
        host.timeline[t] = '.';
        const int32_t first = ctx->ring_read;
        int32_t delivered = 0;
        Dremko_DecodeFrame(ctx, s.packets[t].bytes.data(), out.data(), gap, &delivered);
        for (int32_t i = 0; i < delivered; ++i) {
            const int64_t index = stored - (delivered - 1 - i);
            for (int k = 0; k < kFrameSamples; ++k)
                for (size_t c = 0; c < channels; ++c)
                    stream[((index + 1) * kFrameSamples + k) * channels + c] = out[(i * channels + c) * kFrameSamples + k];
            if (index < 0 || index == stored) continue;
            std::vector<float> frame;
            for (size_t c = 0; c < channels; ++c)
                frame.insert(frame.end(), ctx->frame_ring[c][(first + i) % kRingFrames],
                             ctx->frame_ring[c][(first + i) % kRingFrames] + kFrameSamples);
            inserted.emplace_back(index, frame);
        }
        stored = static_cast<int64_t>(t);
        gap = 0;
    }
    std::fflush(stdout);
    dup2(saved, STDOUT_FILENO);
    close(saved);
    std::rewind(console);
    for (int c; (c = std::fgetc(console)) != EOF;) host.frame_errors += c == '\n';
    std::fclose(console);

    for (const auto& [index, frame] : inserted) {
        bool from_copy = true;
        int compared = 0;
        for (size_t c = 0; c < channels; ++c) {
            const size_t part = c * PartBytes(EncoderMainBytes(s.bit_rate), s.copies);
            const std::vector<float> copy = CopyWithoutNoise(s.packets[index].bytes.data() + part);
            for (int k = 0; k < kFrameSamples; ++k)
                if (!std::isnan(copy[k])) {
                    ++compared;
                    from_copy &= copy[k] == frame[c * kFrameSamples + k];
                }
        }
        EXPECT_GT(compared, 100) << "frame " << index << ": too little of the copy is free of noise to tell";
        host.timeline[index] = from_copy ? 'r' : 'c';
    }
    host.pcm.assign(stream.begin() + kDelayFrames * kFrameSamples * channels, stream.end());
    return host;
}

struct LossCase {
    const char* name;
    int channels;
    const char* encoding;  // options of encode (and of roundtrip)
    const char* run;       // decode in.drk or roundtrip in.wav, to out.wav
    const char* pattern;   // written to pattern.txt
};

void PrintTo(const LossCase& c, std::ostream* os) { *os << c.name; }

class Loss : public CliTest, public ::testing::WithParamInterface<LossCase> {};

TEST_P(Loss, ToolDeliversWhatTheDecoderDelivers) {
    const LossCase& c = GetParam();
    Pcm input{48000, c.channels, test_signals::SpeechLike(98)};  // 100 packets
    if (c.channels == 2) input.samples = Interleave({input.samples, test_signals::Chords(98)});
    WriteAudioFile(dir_ / "in.wav", input, SF_FORMAT_WAV);
    WriteText(dir_ / "pattern.txt", c.pattern);
    ASSERT_EQ(RunDremko(dir_, std::string("encode in.wav in.drk ") + c.encoding).status, 0);
    const Result r = RunDremko(dir_, std::string(c.run) + " --report r.json -q");
    ASSERT_EQ(r.status, 0) << r.err;

    const std::string report = ReadText(dir_ / "r.json");
    Stream stream;
    std::string error;
    ASSERT_TRUE(ReadDrk((dir_ / "in.drk").string(), &stream, &error)) << error;
    const HostDecode host = DecodeDirectly(stream, JsonString(report, "timeline"));
    EXPECT_EQ(JsonString(report, "timeline"), host.timeline);
    EXPECT_EQ(JsonNumber(report, "frames_rebuilt"), std::count(host.timeline.begin(), host.timeline.end(), 'r'));
    const std::vector<int16_t> output = ReadAudioFile(dir_ / "out.wav").samples;
    ASSERT_EQ(output.size(), input.samples.size());
    EXPECT_TRUE(std::equal(output.begin(), output.end(), host.pcm.begin()));
    // What roundtrip measured is what was heard, muted frames included.
    if (std::string(c.run).rfind("roundtrip", 0) == 0)
        EXPECT_NEAR(JsonNumber(report, "snr_db"), SnrDb(input.samples, output), 0.002);
}

const std::string kGap = std::string(50, '.') + std::string(30, 'x') + std::string(20, '.');

INSTANTIATE_TEST_SUITE_P(
    Cases, Loss,
    ::testing::Values(
        // The decoder takes the first packet of a stereo stream as mono and
        // leaves out the gap after it.
        LossCase{"after_the_first_stereo_packet", 2, "--redundancy 3",
                 "decode in.drk out.wav --loss-pattern pattern.txt", ".x.................."},
        LossCase{"isolated_one_copy", 1, "--redundancy 1", "decode in.drk out.wav --loss-pattern pattern.txt",
                 "....x....\n.....x...\n"},
        LossCase{"isolated_no_copies", 1, "--redundancy 0", "decode in.drk out.wav --loss-pattern pattern.txt",
                 "....x....\n.....x...\n"},
        // After the first gap the decoder holds packet 6, whose copies reach
        // frames 4 and 2; frame 5 needs packet 7's, which is lost.
        LossCase{"next_packet_copies", 1, "--redundancy 2", "decode in.drk out.wav --loss-pattern pattern.txt",
                 "....xx.x............"},
        LossCase{"lost_first_packets", 1, "--redundancy 2", "decode in.drk out.wav --loss-pattern pattern.txt",
                 "xx.........."},
        LossCase{"gap_beyond_reach_stereo", 2, "--redundancy 4 --bitrate 50k",
                 "decode in.drk out.wav --loss-pattern pattern.txt", kGap.c_str()},
        LossCase{"gap_beyond_reach_in_a_roundtrip", 1, "--redundancy 2",
                 "roundtrip in.wav out.wav --loss-pattern pattern.txt", kGap.c_str()},
        LossCase{"lost_at_the_end", 1, "--redundancy 2", "decode in.drk out.wav --loss-pattern pattern.txt",
                 "................................................................................................xxxx"},
        LossCase{"bursts_in_a_roundtrip", 2, "--redundancy 3",
                 "roundtrip in.wav out.wav --redundancy 3 --loss 15 --burst 3 --seed 5", ""}),
    [](const ::testing::TestParamInfo<LossCase>& info) { return std::string(info.param.name); });

// Damaged packets: the library's console lines stay off the standard
// output, which carries the samples alone, and the report counts them.
TEST_F(CliTest, DamagedPacketsAreCountedAndKeptOffTheOutput) {
    WriteAudioFile(dir_ / "in.wav", {48000, 1, test_signals::SpeechLike(48)}, SF_FORMAT_WAV);
    ASSERT_EQ(RunDremko(dir_, "encode in.wav in.drk").status, 0);
    Stream stream;
    std::string error;
    ASSERT_TRUE(ReadDrk((dir_ / "in.drk").string(), &stream, &error)) << error;
    for (size_t t = 5; t < stream.packets.size(); t += 7)
        std::fill(stream.packets[t].bytes.begin() + 4, stream.packets[t].bytes.begin() + 60, 0xff);
    ASSERT_TRUE(WriteDrk((dir_ / "bad.drk").string(), stream, &error)) << error;

    const Result r = RunDremko(dir_, "decode bad.drk - -t raw --report r.json");
    ASSERT_EQ(r.status, 0) << r.err;
    const HostDecode host = DecodeDirectly(stream, std::string(stream.packets.size(), '.'));
    EXPECT_GT(host.frame_errors, 0);
    EXPECT_EQ(JsonNumber(ReadText(dir_ / "r.json"), "frames_damaged"), host.frame_errors);
    std::string samples;  // 16-bit little-endian
    for (size_t i = 0; i < 48u * kFrameSamples; ++i)
        samples += {static_cast<char>(host.pcm[i] & 0xff), static_cast<char>((host.pcm[i] >> 8) & 0xff)};
    EXPECT_TRUE(r.out == samples);
}

// Lengths of the runs of lost packets in a timeline.
std::vector<int> Bursts(const std::string& timeline) {
    std::vector<int> bursts;
    int run = 0;
    for (char c : timeline + ".") {
        if (c != '.') {
            ++run;
        } else if (run) {
            bursts.push_back(run);
            run = 0;
        }
    }
    return bursts;
}

TEST_F(CliTest, BurstyLossHasTheAskedShareAndBurstLength) {
    WriteAudioFile(dir_ / "in.wav", {48000, 1, test_signals::SpeechLike(3000)}, SF_FORMAT_WAV);  // a minute
    ASSERT_EQ(RunDremko(dir_, "encode in.wav in.drk --redundancy 1").status, 0);
    auto timeline = [this](const std::string& loss) {
        EXPECT_EQ(RunDremko(dir_, "decode in.drk out.wav -q --report r.json " + loss).status, 0);
        return JsonString(ReadText(dir_ / "r.json"), "timeline");
    };
    const std::string bursty = timeline("--loss 10 --burst 3 --seed 11");
    const std::vector<int> bursts = Bursts(bursty);
    const double lost = static_cast<double>(std::count_if(bursty.begin(), bursty.end(), [](char c) { return c != '.'; }));
    EXPECT_NEAR(lost / bursty.size(), 0.10, 0.03);
    ASSERT_FALSE(bursts.empty());
    EXPECT_NEAR(lost / bursts.size(), 3.0, 0.75);

    // Independent loss of the same share: bursts stay short.
    const std::vector<int> random = Bursts(timeline("--loss 10 --seed 11"));
    double random_lost = 0;
    for (int b : random) random_lost += b;
    EXPECT_LT(random_lost / random.size(), 1.5);

    // The seed fixes the pattern.
    EXPECT_EQ(timeline("--loss 10 --burst 3 --seed 11"), bursty);
    EXPECT_NE(timeline("--loss 10 --burst 3 --seed 12"), bursty);
}

}  // namespace
}  // namespace cli_test
