// Every instruction set's kernels give the same bits: each kernel of the
// AVX2 set against the baseline one on the same inputs, and the whole codec
// (packets, flags, levels and decoded samples, with losses) run with each set.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "codec_session.h"
#include "core/decoder_noise.h"
#include "simd/instruction_set.h"
#include "simd/kernels.h"
#include "speech/real_fft256.h"
#include "test_signals.h"
#include "transform/transform.h"

namespace {

class InstructionSets : public ::testing::Test {
protected:
    void SetUp() override {
        ForceInstructionSet(InstructionSet::kAvx2);
        if (ActiveInstructionSet() != InstructionSet::kAvx2) GTEST_SKIP() << "this processor has no AVX2";
        InitDct4Tables();
    }
    void TearDown() override { ForceInstructionSet(InstructionSet::kAvx2); }
};

// Floats from a real signal, as the transforms see them, scaled over a wide range.
std::vector<float> SignalFloats(int count, double scale) {
    const std::vector<int16_t> pcm = test_signals::SpeechLike(2, 5);
    std::vector<float> x(static_cast<size_t>(count));
    for (int i = 0; i < count; ++i) x[i] = static_cast<float>(pcm[static_cast<size_t>(i) + 400] * scale);
    return x;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
    return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

TEST_F(InstructionSets, TransformKernelsAgree) {
    for (double scale : {1e-3, 1.0, 1e4}) {
        const std::vector<float> x = SignalFloats(960, scale);
        std::vector<float> work_a = x, work_b = x, out_a(960), out_b(960);
        baseline_kernels::Fft480Split(work_a.data(), out_a.data());
        avx2_kernels::Fft480Split(work_b.data(), out_b.data());
        EXPECT_TRUE(SameBits(out_a, out_b)) << "FFT, scale " << scale;

        baseline_kernels::Dct4(x.data(), out_a.data());
        avx2_kernels::Dct4(x.data(), out_b.data());
        EXPECT_TRUE(SameBits(out_a, out_b)) << "DCT-IV, scale " << scale;

        std::vector<float> overlap_a(480, 0.5f), overlap_b(480, 0.5f);
        baseline_kernels::MdctSynthesis(x.data(), overlap_a.data(), out_a.data());
        avx2_kernels::MdctSynthesis(x.data(), overlap_b.data(), out_b.data());
        EXPECT_TRUE(SameBits(out_a, out_b) && SameBits(overlap_a, overlap_b)) << "synthesis, scale " << scale;
    }
    const std::vector<int16_t> pcm = test_signals::Chords(3);
    std::vector<int16_t> history_a(pcm.begin(), pcm.begin() + 1920), history_b = history_a;
    std::vector<float> out_a(960), out_b(960);
    baseline_kernels::MdctAnalysis(history_a.data(), out_a.data());
    avx2_kernels::MdctAnalysis(history_b.data(), out_b.data());
    EXPECT_TRUE(SameBits(out_a, out_b) && history_a == history_b) << "analysis";
}

// The gain of each set against the one-at-a-time product, rounded once.
TEST_F(InstructionSets, GainKernelsMatchTheScalarProduct) {
    for (double gain : {1.2300000190734863, 0.024529000744223595}) {
        const std::vector<float> x = SignalFloats(960, 1.7);
        std::vector<float> expected(960), a = x, b = x;
        for (size_t i = 0; i < x.size(); ++i) expected[i] = static_cast<float>(gain * static_cast<double>(x[i]));
        baseline_kernels::ApplyGain(a.data(), 960, gain);
        avx2_kernels::ApplyGain(b.data(), 960, gain);
        EXPECT_TRUE(SameBits(a, expected)) << "baseline, gain " << gain;
        EXPECT_TRUE(SameBits(b, expected)) << "AVX2, gain " << gain;
    }
}

TEST_F(InstructionSets, SpeechTransformKernelsAgree) {
    RealFft256Tables tables;
    RealFft256_BuildTables(&tables);
    for (double scale : {1e-3, 1.0, 1e4}) {
        const std::vector<float> x = SignalFloats(256, scale);
        for (const RealFft256Twiddles* direction : {&tables.forward, &tables.inverse}) {
            std::vector<float> a = x, b = x;
            baseline_kernels::ComplexFft128(a.data(), direction->stage);
            avx2_kernels::ComplexFft128(b.data(), direction->stage);
            EXPECT_TRUE(SameBits(a, b)) << "128-point transform, scale " << scale;
            for (double c2 : {-0.5, 0.5}) {
                a = x;
                b = x;
                baseline_kernels::RealFftSplitStep(a.data(), c2, direction->split);
                avx2_kernels::RealFftSplitStep(b.data(), c2, direction->split);
                EXPECT_TRUE(SameBits(a, b)) << "split step " << c2 << ", scale " << scale;
            }
        }
    }
}

TEST_F(InstructionSets, StereoBandPowerKernelsAgree) {
    for (double scale : {0.01, 0.3, 1.0}) {
        std::vector<int16_t> pcm = test_signals::Chords(2);
        for (int16_t& v : pcm) v = static_cast<int16_t>(v * scale);
        float work_a[960], work_b[960];
        std::vector<float> a(10), b(10);
        baseline_kernels::StereoChannelBandPowers(pcm.data() + 960, work_a, a.data());
        avx2_kernels::StereoChannelBandPowers(pcm.data() + 960, work_b, b.data());
        EXPECT_TRUE(SameBits(a, b)) << "scale " << scale;
    }
}

TEST_F(InstructionSets, DecimatorKernelsAgree) {
    // Full-scale noise through the 48 kHz filter's shape: 6 phases of 176.
    const std::vector<int16_t> noise = test_signals::Noise(2, 12000.0);
    std::vector<double> phases(1056 + 64, 0.0);
    for (int n = 0; n < 1056; ++n) phases[static_cast<size_t>(n % 6 * 176 + n / 6)] = noise[static_cast<size_t>(n)];
    std::vector<float> coefficients(96);
    for (int i = 0; i < 96; ++i) coefficients[static_cast<size_t>(i)] = 0.01f * static_cast<float>(i % 13) - 0.05f;
    std::vector<float> a(192), b(192);
    baseline_kernels::DecimatorFilter(phases.data(), 176, coefficients.data(), 96, 6, 160, a.data());
    avx2_kernels::DecimatorFilter(phases.data(), 176, coefficients.data(), 96, 6, 160, b.data());
    a.resize(160);
    b.resize(160);
    EXPECT_TRUE(SameBits(a, b));
}

struct CodecRun {
    std::vector<uint8_t> packets;
    std::vector<int32_t> flags_levels;
    std::vector<int16_t> pcm;
};

CodecRun RunCodec(bool stereo) {
    const std::vector<int16_t> left = test_signals::SpeechLike(60, 9), right = test_signals::Chords(60);
    const std::vector<int16_t> pcm = stereo ? test_signals::Planar(left, right) : left;
    EncoderSession enc = MakeEncoder(stereo ? 128000 : 64000, stereo);
    CodecRun run;
    std::vector<std::vector<uint8_t>> packets;
    const size_t frame = stereo ? 1920 : 960;
    for (size_t at = 0; at + frame <= pcm.size(); at += frame) {
        std::vector<uint8_t> packet(528);
        const int32_t part = Dremko_EncodeFrame(enc.ctx(), &pcm[at], packet.data(), 2);
        packet.resize(static_cast<size_t>(stereo ? 2 * part : part));
        run.packets.insert(run.packets.end(), packet.begin(), packet.end());
        run.flags_levels.push_back(DremkoEncoder_GetSpeechDetect(enc.ctx()));
        run.flags_levels.push_back(DremkoEncoder_GetEnergy(enc.ctx()));
        packets.push_back(packet);
    }
    // Every fifth packet lost, and a run of six.
    std::vector<std::vector<uint8_t>> received;
    std::vector<int32_t> losses;
    int32_t lost = 0;
    for (size_t i = 0; i < packets.size(); ++i) {
        if (i > 0 && (i % 5 == 0 || (i >= 30 && i < 36))) {
            ++lost;
            continue;
        }
        received.push_back(packets[i]);
        losses.push_back(lost);
        lost = 0;
    }
    DecoderSession dec = MakeDecoder(64000, 2, stereo);
    run.pcm = DecodeAll(dec, received, losses, stereo).pcm;
    return run;
}

// The decoder's noise generators are process-wide; both runs start them alike.
TEST_F(InstructionSets, CodecOutputIsTheSameWithEverySet) {
    for (bool stereo : {false, true}) {
        const NoiseGenerator base = BaseLayerNoise, ext = ExtLayerNoise;
        const uint16_t high = HighBandNoiseState;
        ForceInstructionSet(InstructionSet::kBaseline);
        const CodecRun baseline = RunCodec(stereo);
        BaseLayerNoise = base;
        ExtLayerNoise = ext;
        HighBandNoiseState = high;
        ForceInstructionSet(InstructionSet::kAvx2);
        const CodecRun avx2 = RunCodec(stereo);
        EXPECT_EQ(baseline.packets, avx2.packets) << (stereo ? "stereo" : "mono");
        EXPECT_EQ(baseline.flags_levels, avx2.flags_levels) << (stereo ? "stereo" : "mono");
        EXPECT_EQ(baseline.pcm, avx2.pcm) << (stereo ? "stereo" : "mono");
    }
}

TEST(InstructionSet, ForcingTheBaselineSticksAndAvx2OnlyWhereAvailable) {
    ForceInstructionSet(InstructionSet::kBaseline);
    EXPECT_EQ(ActiveInstructionSet(), InstructionSet::kBaseline);
    ForceInstructionSet(InstructionSet::kAvx2);
    const InstructionSet widest = ActiveInstructionSet();
#if !defined(__x86_64__) && !defined(__i386__)
    EXPECT_EQ(widest, InstructionSet::kBaseline);
#endif
    ForceInstructionSet(widest);
    EXPECT_EQ(ActiveInstructionSet(), widest);
}

}  // namespace
