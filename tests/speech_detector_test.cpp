// The speech detector end to end: the frame flag, real speech against noise
// and silence, and the flag as the encoder reports it.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <utility>
#include <vector>

#include "dremko.h"
#include "speech/speech_detector.h"
#include "test_signals.h"

namespace {


std::vector<int16_t> LoadSpeechFixture() { return test_signals::ReadRawSamples(DREMKO_TEST_DATA "/speech_48k.raw"); }

std::vector<uint32_t> Flags(const std::vector<int16_t>& pcm) {
    static SpeechDetectorState st;
    SpeechDetector_Init(&st, 48, 20);
    std::vector<uint32_t> flags;
    for (size_t i = 0; i + kFrameSamples <= pcm.size(); i += kFrameSamples) flags.push_back(SpeechDetector_Process(&pcm[i], &st));
    return flags;
}

// Independent voicing reference: a frame is voiced when it is well above
// silence and strongly periodic at a pitch of 66 ... 400 Hz.
bool IsVoicedFrame(const int16_t* x) {
    double energy = 0.0;
    for (int n = 0; n < kFrameSamples; ++n) energy += static_cast<double>(x[n]) * x[n];
    if (std::sqrt(energy / kFrameSamples) < 500.0) return false;
    double best = 0.0;
    for (int lag = 120; lag <= 720; ++lag) {
        double xy = 0.0, xx = 0.0, yy = 0.0;
        for (int n = 0; n + lag < kFrameSamples; ++n) {
            xy += static_cast<double>(x[n]) * x[n + lag];
            xx += static_cast<double>(x[n]) * x[n];
            yy += static_cast<double>(x[n + lag]) * x[n + lag];
        }
        if (xx > 0.0 && yy > 0.0) best = std::max(best, xy / std::sqrt(xx * yy));
    }
    return best > 0.7;
}

TEST(SpeechDetector, FlagFromTheHighestProbabilityOfTheFrame) {
    static SpeechDetectorState st;
    std::vector<int16_t> x(160);  // a ramp at 8 kHz, never constant
    for (int t = 0; t < 160; ++t) x[t] = static_cast<int16_t>(t + 1);
    for (const auto& [p, flag] : {std::pair<float, uint32_t>{0.605f, 0u}, std::pair<float, uint32_t>{0.61f, 1u}}) {
        SpeechDetector_Init(&st, 8, 10);  // 5 blocks: no analysis step in the first frame
        st.speechProbability = p;
        EXPECT_EQ(SpeechDetector_Process(x.data(), &st), flag) << p;
    }
    // p falls below 0.61 in the frame's analysis step, but it was above before.
    SpeechDetector_Init(&st, 8, 20);
    st.speechProbability = 0.6105f;
    EXPECT_EQ(SpeechDetector_Process(x.data(), &st), 1u);
    EXPECT_LT(st.speechProbability, 0.61f);
}

// The flag marks most voiced frames of recorded speech and none of noise or
// silence; the encoder reports each frame's flag with the next frame.
TEST(SpeechDetector, FlagsRecordedSpeechButNotNoiseOrSilence) {
    const std::vector<int16_t> speech = LoadSpeechFixture();
    ASSERT_GE(speech.size(), 150u * kFrameSamples) << "tests/data/speech_48k.raw (scripts/make_speech_fixture.sh)";
    const std::vector<uint32_t> flags = Flags(speech);
    int voiced = 0;
    int voiced_flagged = 0;
    for (size_t f = 0; f < flags.size(); ++f) {
        if (!IsVoicedFrame(&speech[kFrameSamples * f])) continue;
        ++voiced;
        voiced_flagged += flags[f];
    }
    const double share = static_cast<double>(voiced_flagged) / voiced;
    std::printf("speech fixture: %d voiced frames, %d flagged (%.1f %%)\n", voiced, voiced_flagged, 100.0 * share);
    RecordProperty("voiced_frames", voiced);
    RecordProperty("voiced_flagged", voiced_flagged);
    EXPECT_GT(voiced, 60);
    EXPECT_GT(share, 0.7);

    for (double rms : {300.0, 3000.0, 10000.0}) {
        const std::vector<uint32_t> noise = Flags(test_signals::Noise(150, rms));
        EXPECT_EQ(std::count(noise.begin(), noise.end(), 1u), 0) << "noise of rms " << rms;
    }
    const std::vector<uint32_t> silence = Flags(std::vector<int16_t>(50 * kFrameSamples, 0));
    EXPECT_EQ(std::count(silence.begin(), silence.end(), 1u), 0);

    std::vector<uint8_t> context(static_cast<size_t>(Dremko_SizeofEncoderContext()));
    ASSERT_EQ(Dremko_InitEncoderContext(context.data(), 48000, 0), 0);
    EXPECT_EQ(DremkoEncoder_GetSpeechDetect(context.data()), 0);
    uint8_t packet[kMaxPacketBytes];
    for (size_t f = 0; f < flags.size(); ++f) {
        Dremko_EncodeFrame(context.data(), &speech[kFrameSamples * f], packet, 0);
        ASSERT_EQ(DremkoEncoder_GetSpeechDetect(context.data()), f == 0 ? 0 : static_cast<int32_t>(flags[f - 1])) << f;
    }
}

TEST(SpeechDetectorDeathTest, OtherInputRatesEndTheProcess) {
    EXPECT_EXIT(
        {
            static SpeechDetectorState st;
            SpeechDetector_Init(&st, 16, 20);
            const std::vector<int16_t> x(320, 1);
            SpeechDetector_Process(x.data(), &st);
        },
        ::testing::ExitedWithCode(2), "");
}

}  // namespace
