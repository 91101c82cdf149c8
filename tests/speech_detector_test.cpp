// The speech detector end to end: block timing and histories, constant
// frames and reset, the frame flag, real speech against noise and silence,
// and the flag as the encoder reports it.
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


std::vector<int16_t> LoadSpeechFixture() {
    std::vector<int16_t> pcm;
    FILE* f = std::fopen(DREMKO_TEST_DATA "/speech_48k.raw", "rb");
    if (!f) return pcm;
    int16_t buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, sizeof(int16_t), 4096, f)) > 0) pcm.insert(pcm.end(), buffer, buffer + n);
    std::fclose(f);
    return pcm;
}

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

// Consecutive ramp samples at 8 kHz, never constant.
std::vector<int16_t> Ramp(int count) {
    std::vector<int16_t> x(count);
    for (int t = 0; t < count; ++t) x[t] = static_cast<int16_t>(t + 1);
    return x;
}

TEST(SpeechDetector, BlocksFillNewestFirstAndHopsEvery128Samples) {
    static SpeechDetectorState st;
    SpeechDetector_Init(&st, 8, 20);
    const std::vector<int16_t> x = Ramp(800);
    SpeechDetector_Process(&x[0], &st);
    // One analysis step, after block 8: the energy history has moved back one
    // hop and blocks 9 and 10 start the next, so every square sits at 255 - t.
    EXPECT_EQ(st.levelRingIndex, 1);
    EXPECT_EQ(st.hopPhase, 32);
    for (int t = 0; t < 160; ++t) ASSERT_EQ(st.energyHistory[255 - t], static_cast<float>(x[t]) * x[t]) << t;
    for (int t = 0; t < 128; ++t) ASSERT_EQ(st.sampleHalves[0][127 - t], x[t]) << t;
    for (int t = 128; t < 160; ++t) ASSERT_EQ(st.sampleHalves[1][255 - t], x[t]) << t;
    // The second step comes after block 6 of frame 2 (256 samples); five
    // frames (800 samples) hold six.
    SpeechDetector_Process(&x[160], &st);
    EXPECT_EQ(st.levelRingIndex, 2);
    EXPECT_EQ(st.hopPhase, 64);
    for (int f = 2; f < 5; ++f) SpeechDetector_Process(&x[160 * f], &st);
    EXPECT_EQ(st.levelRingIndex, 6);
    EXPECT_EQ(st.hopPhase, 32);
}

TEST(SpeechDetector, SameTimingAt48kHz) {
    static SpeechDetectorState st;
    SpeechDetector_Init(&st, 48, 20);
    const std::vector<int16_t> x = test_signals::Noise(5, 2000.0);
    const int expected_steps[5] = {1, 2, 3, 5, 6};
    for (int f = 0; f < 5; ++f) {
        SpeechDetector_Process(&x[kFrameSamples * f], &st);
        EXPECT_EQ(st.levelRingIndex, expected_steps[f]) << "frame " << f;
    }
}

TEST(SpeechDetector, ConstantFramesMarkAResetForTheNextFrameThatMoves) {
    static SpeechDetectorState st;
    SpeechDetector_Init(&st, 48, 20);
    const std::vector<int16_t> speech = LoadSpeechFixture();
    ASSERT_GE(speech.size(), 20u * kFrameSamples);
    const std::vector<int16_t> zeros(kFrameSamples, 0);
    EXPECT_EQ(SpeechDetector_Process(zeros.data(), &st), 0u);
    EXPECT_EQ(st.resetPending, 1);
    EXPECT_EQ(st.levelRingIndex, 0);
    uint32_t flag = 0;
    for (int f = 0; f < 10; ++f) flag = SpeechDetector_Process(&speech[kFrameSamples * f], &st);
    ASSERT_EQ(flag, 1u);
    // A steady 1000 decimates to a constant 1008 once the filter has filled
    // (the first steady frame still carries the filter's memory of the speech).
    const std::vector<int16_t> steady(kFrameSamples, 1000);
    SpeechDetector_Process(steady.data(), &st);
    const float p = st.speechProbability;
    const int32_t steps = st.levelRingIndex;
    for (int f = 0; f < 2; ++f) {
        EXPECT_EQ(SpeechDetector_Process(steady.data(), &st), 0u);
        EXPECT_EQ(st.resetPending, 1);
        EXPECT_EQ(st.speechProbability, p);
        EXPECT_EQ(st.levelRingIndex, steps);
    }
    // The next moving frame starts from a cleared detector (p = 0, no lags, a
    // fresh hop) but keeps the level tracking, which still counts its hops.
    EXPECT_EQ(SpeechDetector_Process(&speech[kFrameSamples * 10], &st), 0u);
    EXPECT_EQ(st.resetPending, 0);
    EXPECT_EQ(st.speechProbability, 0.0f);
    EXPECT_EQ(st.levelRingIndex, steps + 1);
    EXPECT_EQ(st.hopPhase, 32);
    EXPECT_EQ(st.lagHistory[1], 0.0f);
    EXPECT_EQ(st.strengthHistory[1], 0.0f);
}

TEST(SpeechDetector, FlagFromTheHighestProbabilityOfTheFrame) {
    static SpeechDetectorState st;
    const std::vector<int16_t> x = Ramp(160);
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
}

TEST(SpeechDetector, EncoderReportsTheFlagOneFrameLate) {
    const std::vector<int16_t> speech = LoadSpeechFixture();
    ASSERT_GE(speech.size(), 150u * kFrameSamples);
    const std::vector<uint32_t> flags = Flags(speech);
    std::vector<uint8_t> context(static_cast<size_t>(Dremko_SizeofEncoderContext()));
    ASSERT_EQ(Dremko_InitEncoderContext(context.data(), 48000, 0), 0);
    EXPECT_EQ(DremkoEncoder_GetSpeechDetect(context.data()), 0);
    uint8_t packet[kMaxPacketBytes];
    int ones = 0;
    for (size_t f = 0; f < flags.size(); ++f) {
        Dremko_EncodeFrame(context.data(), &speech[kFrameSamples * f], packet, 0);
        const int32_t expected = f == 0 ? 0 : static_cast<int32_t>(flags[f - 1]);
        ASSERT_EQ(DremkoEncoder_GetSpeechDetect(context.data()), expected) << "frame " << f;
        ones += expected;
    }
    EXPECT_GT(ones, 50);
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
