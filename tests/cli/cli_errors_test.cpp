// Bad input of every kind: one clear line on stderr, a non-zero exit, and
// no output file, not even a partial one.
#include <sndfile.h>

#include <fstream>

#include "cli/cli_harness.h"
#include "test_signals.h"

namespace cli_test {
namespace {

namespace fs = std::filesystem;

struct BadCase {
    const char* what;
    const char* args;
    const char* output;  // must not exist afterwards
    const char* says;    // part of the error line
};

// Writes the files the cases start from: good.wav, good.drk and damaged copies.
void MakeFiles(const fs::path& dir) {
    Pcm speech;
    speech.rate = 48000;
    speech.channels = 1;
    speech.samples = test_signals::SpeechLike(20);
    WriteAudioFile(dir / "good.wav", speech, SF_FORMAT_WAV);
    Pcm three = speech;
    three.channels = 3;
    three.samples = Interleave({speech.samples, speech.samples, speech.samples});
    WriteAudioFile(dir / "three.wav", three, SF_FORMAT_WAV);
    ASSERT_EQ(RunDremko(dir, "encode good.wav good.drk").status, 0);

    const std::string drk = ReadText(dir / "good.drk");
    auto patched = [&](size_t at, char value) {
        std::string copy = drk;
        copy[at] = value;
        return copy;
    };
    WriteText(dir / "empty.drk", "");
    WriteText(dir / "truncated.drk", drk.substr(0, drk.size() / 2));
    WriteText(dir / "header-only.drk", drk.substr(0, 20));
    WriteText(dir / "magic.drk", patched(0, 'X'));
    WriteText(dir / "version.drk", patched(4, 9));
    WriteText(dir / "channels.drk", patched(5, 3));
    WriteText(dir / "rate.drk", patched(9, 0));  // 64000 (0xfa00) becomes 0
    WriteText(dir / "mask.drk", patched(6, 5));
    WriteText(dir / "tail.drk", drk + "junk");
    WriteText(dir / "notes.txt", "these are not samples\n");
    WriteText(dir / "notes.pcap", "not a capture\n");
    WriteText(dir / "bad-pattern.txt", "....x...\n..x.?...\n");
    WriteText(dir / "blank-pattern.txt", "\n \n");
    WriteText(dir / "a-file", "");
    fs::create_directory(dir / "folder.wav");
}

const BadCase kBadCases[] = {
    {"missing input", "encode nowhere.wav out.drk", "out.drk", "nowhere.wav"},
    {"input not audio", "encode notes.txt out.drk", "out.drk", "notes.txt"},
    {"empty packet file", "decode empty.drk out.wav", "out.wav", "empty"},
    {"truncated packet file", "decode truncated.drk out.wav", "out.wav", "truncated"},
    {"truncated header", "info header-only.drk", "", "truncated"},
    {"wrong magic", "decode magic.drk out.wav", "out.wav", "magic"},
    {"wrong version", "info version.drk", "", "version 9"},
    {"unsupported channels in file", "decode channels.drk out.wav", "out.wav", "channel count 3"},
    {"unsupported bit rate in file", "decode rate.drk out.wav", "out.wav", "bit rate"},
    {"unsupported copy mask", "decode mask.drk out.wav", "out.wav", "copy mask 5"},
    {"stray bytes after the packets", "decode tail.drk out.wav", "out.wav", "stray bytes"},
    {"unsupported bit rate", "encode good.wav out.drk --bitrate 32000", "out.drk", "32000"},
    {"bit rate above the range", "roundtrip good.wav out.wav --bitrate 65k", "out.wav", "65k"},
    {"too many copies", "encode good.wav out.drk --redundancy 5", "out.drk", "--redundancy"},
    {"more than two channels", "encode three.wav out.drk", "out.drk", "3 channels"},
    {"stereo from three channels", "roundtrip three.wav out.wav --stereo", "out.wav", "--mono"},
    {"folder missing", "encode good.wav missing/out.drk", "missing/out.drk", "missing/out.drk"},
    {"folder is a file", "decode good.drk a-file/out.wav", "a-file/out.wav", "a-file/out.wav"},
    {"output is a folder", "roundtrip good.wav folder.wav --report r.json", "r.json", "folder"},
    {"report folder missing", "decode good.drk out.wav --report missing/r.json", "out.wav", "missing/r.json"},
    {"unknown audio extension", "decode good.drk out.xyz", "out.xyz", ".wav"},
    {"stray character in loss pattern", "decode good.drk out.wav --loss-pattern bad-pattern.txt", "out.wav",
     "line 2, column 5"},
    {"empty loss pattern", "roundtrip good.wav out.wav --loss-pattern blank-pattern.txt", "out.wav", "no packet"},
    {"missing loss pattern", "decode good.drk out.wav --loss-pattern none.txt", "out.wav", "none.txt"},
    {"loss above 100 %", "decode good.drk out.wav --loss 120", "out.wav", "--loss"},
    {"burst without loss", "decode good.drk out.wav --burst 3", "out.wav", "--burst needs --loss"},
    {"loss too high for the bursts", "decode good.drk out.wav --loss 80 --burst 2", "out.wav", "too high"},
    {"pattern and random loss together", "decode good.drk out.wav --loss 5 --loss-pattern bad-pattern.txt", "out.wav",
     "excludes"},
    {"option of another command", "info good.drk --bitrate 48000", "", "--bitrate is not for info"},
    {"capture option for a .drk input", "decode good.drk out.wav --port 5004", "out.wav", "for a capture"},
    {"incomplete fmtp", "decode notes.pcap out.wav --fmtp stereo=1", "out.wav", "--fmtp"},
    {"not a capture", "decode notes.pcap out.wav", "out.wav", "notes.pcap"},
    {"option without value", "decode good.drk out.wav --seed", "out.wav", "needs a value"},
    {"missing file name", "encode good.wav", "", "IN OUT.drk"},
    {"unknown command", "transcode good.wav out.wav", "out.wav", "unknown command"},
};

TEST_F(CliTest, BadInputGivesOneLineAndNoOutput) {
    MakeFiles(dir_);
    for (const BadCase& c : kBadCases) {
        SCOPED_TRACE(c.what);
        const Result r = RunDremko(dir_, c.args);
        EXPECT_NE(r.status, 0);
        EXPECT_EQ(r.out, "");
        ASSERT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        if (*c.output) EXPECT_FALSE(fs::exists(dir_ / c.output));
        for (const auto& entry : fs::recursive_directory_iterator(dir_))
            EXPECT_EQ(entry.path().string().find(".part-"), std::string::npos) << entry.path();
    }
}

TEST_F(CliTest, FailedRunLeavesAnEarlierOutputUntouched) {
    MakeFiles(dir_);
    WriteText(dir_ / "out.wav", "earlier");
    EXPECT_NE(RunDremko(dir_, "decode truncated.drk out.wav").status, 0);
    EXPECT_EQ(ReadText(dir_ / "out.wav"), "earlier");
}

}  // namespace
}  // namespace cli_test
