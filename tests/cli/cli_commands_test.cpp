// What the commands say: help, version, info, and the demo from a fresh folder.
#include <sndfile.h>

#include <cmath>

#include "cli/cli_harness.h"
#include "test_signals.h"

namespace cli_test {
namespace {

namespace fs = std::filesystem;

TEST_F(CliTest, HelpAndVersionInBothSpellingsEverywhere) {
    for (const char* command : {"encode", "decode", "roundtrip", "info", "demo"})
        for (const char* help : {" --help", " -h"}) {
            SCOPED_TRACE(std::string(command) + help);
            const Result r = RunDremko(dir_, command + std::string(help));
            EXPECT_EQ(r.status, 0);
            EXPECT_EQ(r.out.rfind(std::string("usage: dremko ") + command, 0), 0u) << r.out;
            EXPECT_NE(r.out.find("--help"), std::string::npos);
        }
    EXPECT_NE(RunDremko(dir_, "decode --help").out.find("--loss-pattern"), std::string::npos);
    EXPECT_EQ(RunDremko(dir_, "encode --help").out.find("--loss"), std::string::npos);
    for (const char* args : {"--version", "-V", "info -V", "encode --version"}) {
        const Result version = RunDremko(dir_, args);
        EXPECT_EQ(version.status, 0) << args;
        EXPECT_EQ(version.out.rfind("dremko ", 0), 0u) << args;
    }
    EXPECT_EQ(RunDremko(dir_, "-h").out.rfind("usage: dremko COMMAND", 0), 0u);
    const Result bare = RunDremko(dir_, "");
    EXPECT_EQ(bare.status, 2);
    EXPECT_NE(bare.err.find("usage: dremko COMMAND"), std::string::npos);
}

// Input that codes but not as it claims: one warning on stderr, also in the report.
TEST_F(CliTest, ShortAndClippedInputIsCodedWithAWarning) {
    Pcm speech{48000, 1, test_signals::SpeechLike(50)};
    WriteAudioFile(dir_ / "full.wav", speech, SF_FORMAT_WAV);
    const std::string full = ReadText(dir_ / "full.wav");
    WriteText(dir_ / "short.wav", full.substr(0, full.size() - 9600));
    // Float samples, 300 of them beyond full scale, the largest at 1.5.
    SF_INFO info{};
    info.samplerate = 48000;
    info.channels = 1;
    info.format = SF_FORMAT_WAV | SF_FORMAT_FLOAT;
    std::vector<float> loud(48000, 0.25f);
    for (int j = 0; j < 300; ++j) loud[160 * j] = 1.5f - 0.001f * j;
    SNDFILE* f = sf_open((dir_ / "loud.wav").c_str(), SFM_WRITE, &info);
    ASSERT_NE(f, nullptr);
    sf_writef_float(f, loud.data(), 48000);
    sf_close(f);
    const std::pair<const char*, const char*> cases[] = {
        {"short.wav", "short.wav is shorter than its header says; coded the 43200 sample frames it holds"},
        {"loud.wav", "300 samples clipped to 16 bits (peak 1.500, +3.5 dB of full scale)"}};
    for (const auto& [input, warning] : cases) {
        SCOPED_TRACE(input);
        const Result r = RunDremko(dir_, std::string("encode ") + input + " out.drk -q --report r.json");
        EXPECT_EQ(r.status, 0);
        EXPECT_EQ(r.err, std::string("dremko encode: warning: ") + warning + "\n");
        EXPECT_NE(ReadText(dir_ / "r.json").find(warning), std::string::npos);
    }
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

TEST_F(CliTest, PlotDrawsTheReportOfEveryRun) {
    WriteAudioFile(dir_ / "in.wav", {48000, 1, test_signals::SpeechLike(50)}, SF_FORMAT_WAV);
    for (const char* run : {"encode in.wav in.drk", "decode in.drk out.wav --loss 10", "roundtrip in.wav out.wav",
                            "decode in.drk - --loss 10 > piped.wav"}) {
        SCOPED_TRACE(run);
        const Result r = RunShell(dir_, std::string("\"$DREMKO\" ") + run + " -q --report r.json && '" DREMKO_PLOT
                                                    "' r.json r.png && test -s r.png");
        EXPECT_EQ(r.status, 0) << r.err;
    }
}

}  // namespace
}  // namespace cli_test
