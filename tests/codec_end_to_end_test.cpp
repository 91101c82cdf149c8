// The codec end to end through its exported functions: real-looking
// signals, mono and stereo, at 48, 56 and 64 kbit/s per channel, measured
// per band against the input.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <string>

#include "codec_session.h"
#include "test_signals.h"
#include "core/core_tables.h"
#include "transform/transform.h"

namespace {

constexpr int kDelay = 2 * kFrameSamples;  // one packet held back, one frame of transform overlap
// The first packet is played as mono (its stream mode is not yet known), so
// channel 1's first frames are left out of the comparison.
constexpr int kSkippedFrames = 2;

struct Band {
    const char* name;
    int first;  // MDCT coefficients, 25 Hz each
    int end;
};
const Band kBands[] = {{"0-4k", 0, 160}, {"4-8k", 160, 320}, {"8-14k", 320, 560}, {"14-22k", 560, 880}};

struct BandMeasure {
    double input = 0, output = 0, error = 0;
    double Snr() const { return 10 * std::log10(input / error); }
    double GainDb() const { return 10 * std::log10(output / input); }
};

// Band energies of input and output, compared frame by frame in the MDCT domain.
void MeasureBands(const std::vector<int16_t>& in, const std::vector<int16_t>& out, BandMeasure* bands) {
    int16_t in_window[2 * kFrameSamples] = {}, out_window[2 * kFrameSamples] = {};
    float x[kFrameSamples], y[kFrameSamples];
    InitCoreTables();
    for (size_t at = kSkippedFrames * kFrameSamples;
         at + kFrameSamples + kDelay <= out.size() && at + kFrameSamples <= in.size(); at += kFrameSamples) {
        std::copy_n(&in[at], kFrameSamples, in_window + kFrameSamples);
        std::copy_n(&out[at + kDelay], kFrameSamples, out_window + kFrameSamples);
        MdctAnalysis(in_window, x);
        MdctAnalysis(out_window, y);
        for (int b = 0; b < 4; ++b)
            for (int k = kBands[b].first; k < kBands[b].end; ++k) {
                bands[b].input += double(x[k]) * x[k];
                bands[b].output += double(y[k]) * y[k];
                bands[b].error += (double(x[k]) - y[k]) * (double(x[k]) - y[k]);
            }
    }
}

std::vector<int16_t> Channel(const std::vector<int16_t>& planar, int ch) {
    std::vector<int16_t> out;
    for (size_t at = ch * kFrameSamples; at < planar.size(); at += 2 * kFrameSamples)
        out.insert(out.end(), &planar[at], &planar[at] + kFrameSamples);
    return out;
}

TEST(CodecEndToEnd, DecodedSignalsFollowTheirInputsPerBand) {
    constexpr int kFrames = 100;
    const struct {
        std::string name;
        std::vector<int16_t> pcm;
        bool has_high_band;
    } signals[] = {
        {"speech-like", test_signals::SpeechLike(kFrames), false},
        {"chords", test_signals::Chords(kFrames), true},
        {"noise", test_signals::Noise(kFrames, 3000.0), true},
        {"sweep", test_signals::Sweep(kFrames), true},
    };
    for (int rate : {48000, 56000, 64000}) {
        for (bool stereo : {false, true}) {
            for (size_t s = 0; s < 4; ++s) {
                // In stereo the second channel carries the next signal.
                const auto& a = signals[s];
                const auto& b = signals[(s + 1) % 4];
                EncoderSession enc = MakeEncoder(stereo ? 2 * rate : rate, stereo);
                const auto packets = EncodeAll(enc, stereo ? test_signals::Planar(a.pcm, b.pcm) : a.pcm, stereo, 2);
                DecoderSession dec = MakeDecoder(rate, 2, stereo);
                const DecodeResult r = DecodeAll(dec, packets, {}, stereo);
                for (int ch = 0; ch < (stereo ? 2 : 1); ++ch) {
                    const auto& sig = ch == 0 ? a : b;
                    BandMeasure bands[4];
                    MeasureBands(sig.pcm, stereo ? Channel(r.pcm, ch) : r.pcm, bands);
                    std::printf("%5d %-6s %-12s", rate, stereo ? "stereo" : "mono", sig.name.c_str());
                    for (int k = 0; k < 4; ++k)
                        std::printf("  %s %5.1f dB (gain %+5.1f)", kBands[k].name, bands[k].Snr(), bands[k].GainDb());
                    std::printf("\n");
                    const std::string where = sig.name + " at " + std::to_string(rate) + (stereo ? " stereo" : " mono");
                    // The band carrying most of the signal is coded, not just filled.
                    EXPECT_GT(bands[0].Snr(), sig.name == "noise" ? 3.0 : 10.0) << where;
                    if (sig.has_high_band) {
                        // Up to 22 kHz: the top band carries energy close to the input's. At
                        // 48 kbit/s a weak top band may get no bits and be filled with noise
                        // fading from the level of the coded band below.
                        EXPECT_GT(bands[3].GainDb(), rate == 48000 ? -20.0 : -6.0) << where;
                        EXPECT_LT(bands[3].GainDb(), 3.0) << where;
                    }
                }
            }
        }
    }
}

}  // namespace
