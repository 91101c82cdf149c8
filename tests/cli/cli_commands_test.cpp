// What the commands say: help, version, info, and the demo from a fresh folder.
#include <sndfile.h>

#include <cmath>

#include "cli/cli_harness.h"
#include "test_signals.h"

namespace cli_test {
namespace {

namespace fs = std::filesystem;

TEST_F(CliTest, HelpAndVersion) {
    for (const char* command : {"encode", "decode", "roundtrip", "info", "demo"}) {
        SCOPED_TRACE(command);
        const Result r = RunDremko(dir_, std::string(command) + " --help");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.out.rfind(std::string("usage: dremko ") + command, 0), 0u) << r.out;
        EXPECT_NE(r.out.find("--help"), std::string::npos);
    }
    EXPECT_NE(RunDremko(dir_, "decode --help").out.find("--loss-pattern"), std::string::npos);
    EXPECT_EQ(RunDremko(dir_, "encode --help").out.find("--loss"), std::string::npos);

    const Result version = RunDremko(dir_, "--version");
    EXPECT_EQ(version.status, 0);
    EXPECT_EQ(version.out.rfind("dremko ", 0), 0u);

    const Result bare = RunDremko(dir_, "");
    EXPECT_NE(bare.status, 0);
    EXPECT_NE(bare.err.find("usage: dremko COMMAND"), std::string::npos);
}

TEST_F(CliTest, InfoDescribesTheStreamFromTheFileAlone) {
    Pcm stereo;
    stereo.rate = 32000;
    stereo.channels = 2;
    stereo.samples = Interleave({test_signals::SpeechLike(50), test_signals::Chords(50)});  // 1.5 s at 32 kHz
    WriteAudioFile(dir_ / "in.wav", stereo, SF_FORMAT_WAV);
    ASSERT_EQ(RunDremko(dir_, "encode in.wav s.drk --bitrate 50k --redundancy 3").status, 0);

    const Result r = RunDremko(dir_, "info s.drk");
    ASSERT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("1.50 s, 32000 Hz original, stereo"), std::string::npos) << r.out;
    // 125-byte main frames and three 26-byte copies, for each channel.
    EXPECT_NE(r.out.find("50000 bit/s per channel, 3 copies, 406-byte packets: 162.4 kbit/s"), std::string::npos)
        << r.out;
    // 1.5 s is 75 frames at 48 kHz, and two more flush the codec's delay.
    EXPECT_NE(r.out.find("packets      77\n"), std::string::npos) << r.out;
    EXPECT_EQ(fs::file_size(dir_ / "s.drk"), 28u + 77u * (4u + 406u));
}

TEST_F(CliTest, DemoRunsWithoutArgumentsAndShowsWhatCopiesBuy) {
    const Result r = RunDremko(dir_, "demo");
    ASSERT_EQ(r.status, 0) << r.err;
    const fs::path out = dir_ / "dremko-demo";
    for (const char* file :
         {"input.wav", "demo.drk", "demo-no-copies.drk", "decoded-clean.wav", "decoded-loss-copies.wav",
          "decoded-loss-no-copies.wav", "report-clean.json", "report-loss-copies.json", "report-loss-no-copies.json"})
        EXPECT_TRUE(fs::exists(out / file)) << file;
    EXPECT_NE(r.out.find("frames rebuilt from copies"), std::string::npos) << r.out;

    const std::string clean = ReadText(out / "report-clean.json");
    const std::string copies = ReadText(out / "report-loss-copies.json");
    const std::string none = ReadText(out / "report-loss-no-copies.json");
    EXPECT_EQ(JsonNumber(clean, "bit_rate_per_channel"), 64000);
    EXPECT_EQ(JsonNumber(clean, "copies"), 2);
    EXPECT_EQ(JsonNumber(clean, "packets_lost"), 0);
    // The same packets are lost in both lossy runs, about one in ten.
    EXPECT_EQ(JsonString(copies, "timeline").size(), JsonString(none, "timeline").size());
    EXPECT_EQ(JsonNumber(copies, "packets_lost"), JsonNumber(none, "packets_lost"));
    const double share = JsonNumber(copies, "packets_lost") / JsonNumber(copies, "packets_sent");
    EXPECT_GT(share, 0.05);
    EXPECT_LT(share, 0.15);
    EXPECT_GT(JsonNumber(copies, "frames_rebuilt"), JsonNumber(copies, "frames_concealed"));
    EXPECT_EQ(JsonNumber(none, "frames_rebuilt"), 0);
    // Copies bring the lossy run close to the clean one; without them it falls well behind.
    EXPECT_GT(JsonNumber(copies, "snr_db"), JsonNumber(none, "snr_db") + 3.0);
    EXPECT_GT(JsonNumber(copies, "snr_db"), JsonNumber(clean, "snr_db") - 3.0);
}

}  // namespace
}  // namespace cli_test
