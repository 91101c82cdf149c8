// Where outputs go: pipes and links are written through and stay what they
// are; names of the standard output (/dev/stdout, a link to it) reach it; a
// signal mid-run removes the temporary file and ends the run by that signal.
#include <sndfile.h>

#include "cli/cli_harness.h"
#include "test_signals.h"

namespace cli_test {
namespace {

namespace fs = std::filesystem;

struct OutputCase {
    const char* what;
    const char* script;  // leaves the decoded audio in got.wav
    fs::file_type kept;  // what out.* still is afterwards
};

const OutputCase kOutputCases[] = {
    {"pipe", "mkfifo out.wav\ntimeout 20 cat out.wav > got.wav &\n\"$DREMKO\" decode good.drk out.wav",
     fs::file_type::fifo},
    {"link to a file", "touch got.wav\nln -s got.wav out.wav\n\"$DREMKO\" decode good.drk out.wav",
     fs::file_type::symlink},
    {"link to nowhere", "ln -s got.wav out.wav\n\"$DREMKO\" decode good.drk out.wav", fs::file_type::symlink},
    {"link to a pipe",
     "mkfifo pipe\nln -s pipe out.drk\ntimeout 20 cat pipe > got.drk &\n\"$DREMKO\" encode good.wav out.drk\nwait\n"
     "\"$DREMKO\" decode got.drk got.wav",
     fs::file_type::symlink},
    {"link to the standard output",
     "ln -s /proc/self/fd/1 out.drk\ntimeout 20 \"$DREMKO\" encode good.wav out.drk -q > got.drk\n"
     "\"$DREMKO\" decode got.drk got.wav",
     fs::file_type::symlink},
    {"report to the standard output",
     "\"$DREMKO\" decode good.drk out.wav -q --report ref.json\n"
     "\"$DREMKO\" decode good.drk out.wav -q --report /dev/stdout > got.json\ncmp ref.json got.json && cp out.wav got.wav",
     fs::file_type::regular},
};

TEST_F(CliTest, PipesAndLinksAreWrittenThroughAndKept) {
    WriteAudioFile(dir_ / "good.wav", {48000, 2, test_signals::SpeechLike(60)}, SF_FORMAT_WAV);
    ASSERT_EQ(RunDremko(dir_, "encode good.wav good.drk").status, 0);
    ASSERT_EQ(RunDremko(dir_, "decode good.drk ref.wav").status, 0);
    const std::string reference = ReadText(dir_ / "ref.wav");
    for (const OutputCase& c : kOutputCases) {
        SCOPED_TRACE(c.what);
        const fs::path folder = dir_ / "case";
        fs::create_directory(folder);
        for (const char* file : {"good.wav", "good.drk"}) fs::copy_file(dir_ / file, folder / file);
        const Result r = RunShell(folder, std::string(c.script) + "\nstatus=$?\nwait\nexit $status");
        EXPECT_EQ(r.status, 0) << r.err;
        const fs::path out = fs::exists(folder / "out.wav") || fs::is_symlink(folder / "out.wav") ? folder / "out.wav"
                                                                                                  : folder / "out.drk";
        EXPECT_EQ(fs::symlink_status(out).type(), c.kept);
        EXPECT_TRUE(ReadText(folder / "got.wav") == reference);
        fs::remove_all(folder);
    }
}

struct SignalCase {
    const char* name;
    int status;  // as the shell reports a run ended by the signal
};

// The run reads a WAV from a pipe that stays open, so it is still going
// when the signal comes.
TEST_F(CliTest, SignalRemovesTheTemporaryFile) {
    WriteAudioFile(dir_ / "good.wav", {48000, 1, test_signals::SpeechLike(50)}, SF_FORMAT_WAV);
    for (const SignalCase& c : {SignalCase{"TERM", 143}, SignalCase{"HUP", 129}, SignalCase{"PIPE", 141}}) {
        SCOPED_TRACE(c.name);
        const Result r = RunShell(dir_, std::string("rm -f feed; mkfifo feed\n"
                                                    "\"$DREMKO\" encode - out.drk -q < feed & run=$!\n"
                                                    "exec 3> feed\n"
                                                    "head -c 50000 good.wav >&3\n"
                                                    "for i in $(seq 100); do [ -e out.drk.part-$run ] && break; sleep 0.1; done\n"
                                                    "sleep 0.2; kill -") +
                                            c.name + " $run\nwait $run");
        EXPECT_EQ(r.status, c.status) << r.err;
        for (const auto& entry : fs::directory_iterator(dir_))
            EXPECT_EQ(entry.path().filename().string().rfind("out.drk", 0), std::string::npos) << entry.path();
    }
}

}  // namespace
}  // namespace cli_test
