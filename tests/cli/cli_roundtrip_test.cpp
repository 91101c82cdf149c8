// Audio files through the real binary: WAV and FLAC, 44.1 and 48 kHz, mono
// and stereo, in one step (roundtrip) and in two (encode, then decode).
#include <sndfile.h>

#include "cli/cli_harness.h"
#include "test_signals.h"

namespace cli_test {
namespace {

struct Case {
    const char* name;
    int format;
    const char* extension;
    int rate;
    int channels;
};

void PrintTo(const Case& c, std::ostream* os) { *os << c.name; }

class RoundTrip : public CliTest, public ::testing::WithParamInterface<Case> {};

// 1.5 s of speech-like sound, with chords on the second channel. At 44.1 kHz
// the same samples simply play a little slower.
Pcm Input(const Case& c) {
    constexpr int kFrames = 75;
    Pcm pcm;
    pcm.rate = c.rate;
    pcm.channels = c.channels;
    std::vector<std::vector<int16_t>> planes = {test_signals::SpeechLike(kFrames)};
    if (c.channels == 2) planes.push_back(test_signals::Chords(kFrames));
    pcm.samples = Interleave(planes);
    pcm.samples.resize(pcm.samples.size() - 333 * c.channels);  // not a whole number of frames
    return pcm;
}

TEST_P(RoundTrip, KeepsFormatLengthAndSoundAndAgreesWithEncodeThenDecode) {
    const Case& c = GetParam();
    const Pcm input = Input(c);
    const std::string in = std::string("in.") + c.extension;
    WriteAudioFile(dir_ / in, input, c.format);

    const Result one = RunDremko(dir_, "roundtrip " + in + " out.wav --original-rate --report r.json");
    ASSERT_EQ(one.status, 0) << one.err;
    EXPECT_EQ(one.err, "");
    const Pcm output = ReadAudioFile(dir_ / "out.wav");
    EXPECT_EQ(output.rate, c.rate);
    EXPECT_EQ(output.channels, c.channels);
    ASSERT_EQ(output.samples.size(), input.samples.size());
    // The output lines up with the input: a delay or a misplaced channel would ruin this.
    EXPECT_GT(SnrDb(input.samples, output.samples), 10.0);

    const std::string report = ReadText(dir_ / "r.json");
    EXPECT_EQ(JsonNumber(report, "channels"), c.channels);
    EXPECT_EQ(JsonNumber(report, "source_rate"), c.rate);
    EXPECT_EQ(JsonNumber(report, "packets_lost"), 0);
    EXPECT_GT(JsonNumber(report, "snr_db"), 10.0);

    // Through a file: the same packets decode to the same samples.
    const Result enc = RunDremko(dir_, "encode " + in + " x.drk");
    ASSERT_EQ(enc.status, 0) << enc.err;
    const Result dec = RunDremko(dir_, "decode x.drk two.wav --original-rate");
    ASSERT_EQ(dec.status, 0) << dec.err;
    EXPECT_EQ(ReadAudioFile(dir_ / "two.wav").samples, output.samples);

    // Without --original-rate the output stays at the codec's 48 kHz.
    ASSERT_EQ(RunDremko(dir_, "decode x.drk codec.flac").status, 0);
    const Pcm codec = ReadAudioFile(dir_ / "codec.flac");
    EXPECT_EQ(codec.rate, 48000);
    EXPECT_EQ(codec.samples.size() / c.channels, (input.samples.size() / c.channels * 48000 + c.rate / 2) / c.rate);
}

INSTANTIATE_TEST_SUITE_P(Files, RoundTrip,
                         ::testing::Values(Case{"wav_44k_mono", SF_FORMAT_WAV, "wav", 44100, 1},
                                           Case{"flac_44k_stereo", SF_FORMAT_FLAC, "flac", 44100, 2},
                                           Case{"wav_48k_stereo", SF_FORMAT_WAV, "wav", 48000, 2},
                                           Case{"flac_48k_mono", SF_FORMAT_FLAC, "flac", 48000, 1}),
                         [](const ::testing::TestParamInfo<Case>& info) { return std::string(info.param.name); });

// A 5 kHz tone: only the 4-8 kHz band has sound, so only it gets a
// spectral distance, and the codec keeps the tone's spectrum there. Any
// leak in the measure's transform gives the empty bands a figure.
TEST_F(CliTest, SpectralDistanceOnlyWhereTheInputHasSound) {
    WriteAudioFile(dir_ / "tone.wav", Pcm{48000, 1, test_signals::Tone(100, 5000.0, 8000.0)}, SF_FORMAT_WAV);
    ASSERT_EQ(RunDremko(dir_, "roundtrip tone.wav out.wav --report r.json").status, 0);
    const std::string report = ReadText(dir_ / "r.json");
    const std::string distances = report.substr(report.find("\"log_spectral_distance_db\""));
    for (const char* band : {"0-2 kHz", "2-4 kHz", "8-12 kHz", "12-16 kHz", "16-20 kHz"})
        EXPECT_NE(distances.find(std::string("\"") + band + "\": null"), std::string::npos) << band;
    EXPECT_LT(JsonNumber(distances, "4-8 kHz"), 2.0);
}

TEST_F(CliTest, ChannelOptionsMixDownAndWidenTheInput) {
    Pcm three;
    three.rate = 48000;
    three.channels = 3;
    const std::vector<int16_t> speech = test_signals::SpeechLike(50);
    three.samples = Interleave({speech, speech, speech});
    WriteAudioFile(dir_ / "three.wav", three, SF_FORMAT_WAV);
    ASSERT_EQ(RunDremko(dir_, "roundtrip three.wav mono.wav --mono").status, 0);
    const Pcm mono = ReadAudioFile(dir_ / "mono.wav");
    EXPECT_EQ(mono.channels, 1);
    EXPECT_GT(SnrDb(speech, mono.samples), 10.0);

    ASSERT_EQ(RunDremko(dir_, "roundtrip mono.wav wide.wav --stereo").status, 0);
    const Pcm wide = ReadAudioFile(dir_ / "wide.wav");
    ASSERT_EQ(wide.channels, 2);
    std::vector<int16_t> left, right;
    for (size_t i = 0; i < wide.samples.size(); i += 2) {
        left.push_back(wide.samples[i]);
        right.push_back(wide.samples[i + 1]);
    }
    EXPECT_GT(SnrDb(mono.samples, left), 10.0);
    EXPECT_GT(SnrDb(mono.samples, right), 10.0);
}

}  // namespace
}  // namespace cli_test
