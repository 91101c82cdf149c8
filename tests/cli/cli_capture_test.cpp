// Captures through the real binary: a stream that encode wrote, then taken
// apart as a network would (packets lost, one arriving twice, two swapped),
// decodes to exactly what the .drk file of the same audio decodes to with
// the same packets lost, and the report tells what the network did.
#include <sndfile.h>

#include "cli/cli_harness.h"
#include "test_signals.h"

namespace cli_test {
namespace {

constexpr size_t kFileHeader = 24, kRecordHeader = 16;

TEST_F(CliTest, CaptureDecodesLikeThePacketFileWithTheSameLosses) {
    Pcm in;
    in.rate = 48000;
    in.channels = 2;
    in.samples = Interleave({test_signals::SpeechLike(30), test_signals::Chords(30)});
    WriteAudioFile(dir_ / "in.wav", in, SF_FORMAT_WAV);
    ASSERT_EQ(RunDremko(dir_, "encode in.wav sent.pcap --bitrate 56k -q").status, 0);
    ASSERT_EQ(RunDremko(dir_, "encode in.wav sent.drk --bitrate 56k -q").status, 0);

    const std::string sent = ReadText(dir_ / "sent.pcap");
    std::vector<std::string> records;
    for (size_t at = kFileHeader; at < sent.size();) {
        const size_t bytes = kRecordHeader + static_cast<uint8_t>(sent[at + 8]) + 256 * static_cast<uint8_t>(sent[at + 9]);
        records.push_back(sent.substr(at, bytes));
        at += bytes;
    }
    std::string pattern(records.size(), '.');
    for (size_t k : {13, 12, 5}) {
        pattern[k] = 'x';
        records.erase(records.begin() + k);
    }
    std::swap(records[20], records[21]);
    records.insert(records.begin() + 25, records[25]);
    std::string received = sent.substr(0, kFileHeader);
    for (const std::string& r : records) received += r;
    WriteText(dir_ / "received.pcap", received);
    WriteText(dir_ / "pattern.txt", pattern);

    const Result r = RunDremko(dir_, "decode received.pcap a.wav --report r.json");
    ASSERT_EQ(r.status, 0) << r.err;
    ASSERT_EQ(RunDremko(dir_, "decode sent.drk b.wav --loss-pattern pattern.txt -q").status, 0);
    EXPECT_TRUE(ReadAudioFile(dir_ / "a.wav").samples == ReadAudioFile(dir_ / "b.wav").samples);
    const std::string report = ReadText(dir_ / "r.json");
    EXPECT_EQ(JsonNumber(report, "packets_lost"), 3);
    EXPECT_EQ(JsonNumber(report, "gaps"), 2);
    EXPECT_EQ(JsonNumber(report, "duplicates"), 1);
    EXPECT_EQ(JsonNumber(report, "reordered"), 1);
    EXPECT_EQ(JsonNumber(report, "bit_rate_per_channel"), 56000);
}

}  // namespace
}  // namespace cli_test
