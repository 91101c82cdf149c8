// The tool in shell pipelines: `-` for audio and packets in and out, raw
// PCM both ways. Each pipeline must give the samples that the same packets
// give through files.
#include <sndfile.h>

#include "cli/cli_harness.h"
#include "test_signals.h"

namespace cli_test {
namespace {

struct PipeCase {
    const char* what;
    const char* script;  // writes got.wav, or got.raw (16-bit little-endian)
};

const PipeCase kPipeCases[] = {
    {"packets through a pipe", "\"$DREMKO\" encode - - < in.wav | \"$DREMKO\" decode - got.wav"},
    {"audio to a pipe", "\"$DREMKO\" decode in.drk - | cat > got.wav"},
    {"piped packets to piped audio", "cat in.wav | \"$DREMKO\" encode - - | \"$DREMKO\" decode - - | cat > got.wav"},
    {"raw out", "\"$DREMKO\" decode in.drk -t raw - > got.raw"},
    {"raw by the name", "\"$DREMKO\" decode in.drk got.raw"},
    {"raw in", "\"$DREMKO\" encode - - --raw-rate 48000 --raw-channels 2 < in.raw | \"$DREMKO\" decode - got.wav"},
    {"24-bit out", "\"$DREMKO\" decode in.drk --bits 24 - | cat > got.wav"},
    {"roundtrip", "\"$DREMKO\" roundtrip - -t raw - < in.wav > got.raw"},
};

TEST_F(CliTest, PipelinesGiveWhatFilesGive) {
    const Pcm input{48000, 2, Interleave({test_signals::SpeechLike(60), test_signals::Chords(60)})};
    WriteAudioFile(dir_ / "in.wav", input, SF_FORMAT_WAV);
    std::string raw;
    for (int16_t v : input.samples) raw += {static_cast<char>(v & 0xff), static_cast<char>((v >> 8) & 0xff)};
    WriteText(dir_ / "in.raw", raw);
    ASSERT_EQ(RunDremko(dir_, "encode in.wav in.drk").status, 0);
    ASSERT_EQ(RunDremko(dir_, "decode in.drk ref.wav").status, 0);
    const std::vector<int16_t> reference = ReadAudioFile(dir_ / "ref.wav").samples;
    ASSERT_EQ(reference.size(), input.samples.size());
    for (const PipeCase& c : kPipeCases) {
        SCOPED_TRACE(c.what);
        const Result r = RunShell(dir_, std::string("set -e\n") + c.script);
        ASSERT_EQ(r.status, 0) << r.err;
        std::vector<int16_t> got;
        if (std::filesystem::exists(dir_ / "got.raw")) {
            const std::string bytes = ReadText(dir_ / "got.raw");
            for (size_t i = 0; i + 1 < bytes.size(); i += 2)
                got.push_back(static_cast<int16_t>(static_cast<uint8_t>(bytes[i]) | static_cast<uint8_t>(bytes[i + 1]) << 8));
        } else {
            got = ReadAudioFile(dir_ / "got.wav").samples;
        }
        EXPECT_TRUE(got == reference);
        std::filesystem::remove(dir_ / "got.raw");
        std::filesystem::remove(dir_ / "got.wav");
    }
}

}  // namespace
}  // namespace cli_test
