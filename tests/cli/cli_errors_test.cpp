// Bad input of every kind: one clear line on stderr, the exit status of
// its kind, and no file written or changed, not even a partial one.
#include <sndfile.h>

#include <map>

#include "cli/cli_harness.h"
#include "test_signals.h"

namespace cli_test {
namespace {

namespace fs = std::filesystem;

struct BadCase {
    const char* what;
    const char* args;
    int status;        // 1 the run failed, 2 wrong usage
    const char* says;  // part of the error line
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
    fs::create_directory(dir / "folder.drk");
    fs::create_directory(dir / "sub");
    fs::create_hard_link(dir / "good.wav", dir / "link.wav");
}

const BadCase kBadCases[] = {
    {"missing input", "encode nowhere.wav out.drk", 1, "nowhere.wav"},
    {"input not audio", "encode notes.txt out.drk", 1, "notes.txt"},
    {"folder as packet input", "decode folder.drk out.wav", 1, "folder"},
    {"folder to describe", "info folder.drk", 1, "folder"},
    {"empty packet file", "decode empty.drk out.wav", 1, "empty"},
    {"truncated packet file", "decode truncated.drk out.wav", 1, "truncated"},
    {"truncated header", "info header-only.drk", 1, "truncated"},
    {"wrong magic", "decode magic.drk out.wav", 1, "magic"},
    {"wrong version", "info version.drk", 1, "version 9"},
    {"unsupported channels in file", "decode channels.drk out.wav", 1, "channel count 3"},
    {"unsupported bit rate in file", "decode rate.drk out.wav", 1, "bit rate"},
    {"unsupported copy mask", "decode mask.drk out.wav", 1, "copy mask 5"},
    {"stray bytes after the packets", "decode tail.drk out.wav", 1, "stray bytes"},
    {"output is the input", "encode good.wav good.wav", 1, "same file"},
    {"output is a hard link to the input", "roundtrip good.wav link.wav", 1, "same file"},
    {"output is the input spelt otherwise", "roundtrip good.wav sub/../good.wav", 1, "same file"},
    {"report is the output", "roundtrip good.wav out.wav --report ./out.wav", 1, "same file"},
    {"report is the input", "decode good.drk out.wav --report good.drk", 1, "same file"},
    {"output and report both the standard output", "roundtrip good.wav /dev/stdout --report -", 1, "both go"},
    {"unsupported bit rate", "encode good.wav out.drk --bitrate 32000", 2, "32000"},
    {"bit rate above the range", "roundtrip good.wav out.wav --bitrate 65k", 2, "65k"},
    {"bit rate beyond 64 bits", "encode good.wav out.drk --bitrate 18446744073709600k", 2, "18446744073709600k"},
    {"loss not a number", "decode good.drk out.wav --loss nan", 2, "not nan"},
    {"infinite burst", "decode good.drk out.wav --loss 5 --burst inf", 2, "not inf"},
    {"trailing characters", "roundtrip good.wav out.wav --loss 5x", 2, "not 5x"},
    {"negative loss", "decode good.drk out.wav --loss -5", 2, "not -5"},
    {"hexadecimal loss", "decode good.drk out.wav --loss 0x5", 2, "not 0x5"},
    {"loss in exponent form", "roundtrip good.wav out.wav --loss 1e1", 2, "not 1e1"},
    {"negative seed", "decode good.drk out.wav --seed -1", 2, "not -1"},
    {"too many copies", "encode good.wav out.drk --redundancy 5", 2, "--redundancy"},
    {"raw rate in exponent form", "encode good.wav out.drk --raw-rate 1e5", 2, "not 1e5"},
    {"more than two channels", "encode three.wav out.drk", 1, "3 channels"},
    {"stereo from three channels", "roundtrip three.wav out.wav --stereo", 1, "--downmix"},
    {"folder missing", "encode good.wav missing/out.drk", 1, "missing/out.drk"},
    {"folder is a file", "decode good.drk a-file/out.wav", 1, "a-file/out.wav"},
    {"output is a folder", "roundtrip good.wav folder.drk --type wav --report r.json", 1, "folder"},
    {"report folder missing", "decode good.drk out.wav --report missing/r.json", 1, "missing/r.json"},
    {"unknown audio extension", "decode good.drk out.xyz", 1, ".wav"},
    {"stray character in loss pattern", "decode good.drk out.wav --loss-pattern bad-pattern.txt", 1,
     "line 2, column 5"},
    {"empty loss pattern", "roundtrip good.wav out.wav --loss-pattern blank-pattern.txt", 1, "no packet"},
    {"missing loss pattern", "decode good.drk out.wav --loss-pattern none.txt", 1, "none.txt"},
    {"loss above 100 %", "decode good.drk out.wav --loss 120", 2, "--loss"},
    {"burst without loss", "decode good.drk out.wav --burst 3", 2, "--burst needs --loss"},
    {"loss too high for the bursts", "decode good.drk out.wav --loss 80 --burst 2", 2, "too high"},
    {"pattern and random loss together", "decode good.drk out.wav --loss 5 --loss-pattern bad-pattern.txt", 2,
     "excludes"},
    {"option of another command", "info good.drk --bitrate 48000", 2, "--bitrate is not for info"},
    {"capture option for a .drk input", "decode good.drk out.wav --port 5004", 2, "for a capture"},
    {"incomplete fmtp", "decode notes.pcap out.wav --fmtp stereo=1", 2, "--fmtp"},
    {"not a capture", "decode notes.pcap out.wav", 1, "notes.pcap"},
    {"three channels for the demo", "demo --input three.wav --out d", 1, "the demo takes mono or stereo"},
    {"unknown short option", "decode good.drk out.wav -x", 2, "unknown option -x"},
    {"option without value", "decode good.drk out.wav --seed", 2, "needs a value"},
    {"missing file name", "encode good.wav", 2, "IN OUT.drk"},
    {"unknown command", "transcode good.wav out.wav", 2, "unknown command"},
};

// Every file under `dir` with its contents (links and folders by kind).
std::map<std::string, std::string> Snapshot(const fs::path& dir) {
    std::map<std::string, std::string> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        const fs::file_status kind = fs::symlink_status(entry.path());
        files[entry.path().string()] = fs::is_regular_file(kind) ? ReadText(entry.path())
                                       : fs::is_directory(kind)  ? "folder"
                                                                 : "other";
    }
    return files;
}

TEST_F(CliTest, BadInputGivesOneLineAndChangesNoFile) {
    MakeFiles(dir_);
    for (const BadCase& c : kBadCases) {
        SCOPED_TRACE(c.what);
        const auto before = Snapshot(dir_);
        const Result r = RunDremko(dir_, c.args);
        EXPECT_EQ(r.status, c.status);
        EXPECT_EQ(r.out, "");
        EXPECT_FALSE(r.err.empty());
        EXPECT_EQ(r.err.find('\n'), r.err.size() - 1) << r.err;
        EXPECT_NE(r.err.find(c.says), std::string::npos) << r.err;
        EXPECT_EQ(Snapshot(dir_), before);
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
