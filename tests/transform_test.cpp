// The transforms against their defining sums in double precision: the
// 480-point FFT, the 960-point DCT-IV and the sine-window MDCT, whose
// synthesis gives the input back one frame later.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <vector>

#include "test_signals.h"
#include "transform/transform.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

// ||got - want|| / ||want||; `got` holds real values, or complex ones as pairs.
template <typename T>
double RelativeError(const std::vector<float>& got, const std::vector<T>& want) {
    const size_t step = got.size() / want.size();
    double error = 0.0, energy = 0.0;
    for (size_t i = 0; i < want.size(); ++i) {
        const std::complex<double> value(got[step * i], step == 2 ? got[step * i + 1] : 0.0);
        error += std::norm(value - std::complex<double>(want[i]));
        energy += std::norm(std::complex<double>(want[i]));
    }
    return std::sqrt(error / energy);
}

TEST(Fft480, MatchesDirectDft) {
    std::vector<std::vector<float>> inputs = {test_signals::RandomFloats(kFrameSamples, 32768.0, 1),
                                              test_signals::RandomFloats(kFrameSamples, 32768.0, 2)};
    std::vector<float> tones(kFrameSamples), chirp(kFrameSamples), spike(kFrameSamples, 0.0f), dc(kFrameSamples, 1.0f);
    for (int n = 0; n < 480; ++n) {
        // Off-bin complex tones of very different levels, a real chirp, one spike.
        const std::complex<double> v = 20000.0 * std::polar(1.0, 2 * kPi * 17.3 * n / 480) +
                                       3.0 * std::polar(1.0, -2 * kPi * 201.7 * n / 480 + 0.4);
        tones[2 * n] = static_cast<float>(v.real());
        tones[2 * n + 1] = static_cast<float>(v.imag());
        chirp[2 * n] = static_cast<float>(12000.0 * std::sin(kPi * n * n / 960.0));
    }
    spike[2 * 333] = -7.5f;
    spike[2 * 333 + 1] = 2.25f;
    inputs.insert(inputs.end(), {tones, chirp, spike, dc});
    for (size_t i = 0; i < inputs.size(); ++i) {
        std::vector<std::complex<double>> dft(480);
        for (int k = 0; k < 480; ++k)
            for (int n = 0; n < 480; ++n)
                dft[k] += std::complex<double>(inputs[i][2 * n], inputs[i][2 * n + 1]) *
                          std::polar(1.0, -2.0 * kPi * ((n * k) % 480) / 480);
        std::vector<float> out(kFrameSamples);
        Fft480(inputs[i].data(), out.data());
        EXPECT_LT(RelativeError(out, dft), 5e-7) << "input " << i;
    }
}

TEST(Dct4, MatchesDefiningSum) {
    InitDct4Tables();
    std::vector<float> ramp(kFrameSamples);
    for (int n = 0; n < kFrameSamples; ++n) ramp[n] = static_cast<float>(n - 480) * 25.0f;
    for (const std::vector<float>& input : {test_signals::RandomFloats(kFrameSamples, 32768.0, 11),
                                            test_signals::RandomFloats(kFrameSamples, 32768.0, 12), ramp}) {
        std::vector<double> sum(kFrameSamples);
        // The phase (2n + 1)(2k + 1) pi / 3840 taken over whole periods first.
        for (int k = 0; k < kFrameSamples; ++k)
            for (int n = 0; n < kFrameSamples; ++n) sum[k] += input[n] * std::cos(kPi / 3840.0 * (((2L * n + 1) * (2 * k + 1)) % 7680));
        std::vector<float> out(kFrameSamples);
        Dct4(input.data(), out.data(), kFrameSamples);
        EXPECT_LT(RelativeError(out, sum), 5e-7);
    }
}

TEST(Mdct, AnalysisMatchesDefiningSumAndSynthesisReconstructsOneFrameLater) {
    InitDct4Tables();
    const auto window = [](int n) { return n < kFrameSamples ? SineWindow[n] : SineWindow[2 * kFrameSamples - 1 - n]; };
    using namespace test_signals;
    std::vector<int16_t> extremes(6 * kFrameSamples);  // full scale, alternating sign every sample
    for (size_t n = 0; n < extremes.size(); ++n) extremes[n] = n % 2 ? 32767 : -32768;
    const std::vector<int16_t> signals[] = {SpeechLike(12), Chords(8), Noise(8, 8000.0), Sweep(16, 30000.0),
                                            Tone(6, 1000.0, 32000.0), extremes};
    for (const std::vector<int16_t>& signal : signals) {
        std::vector<int16_t> history(2 * kFrameSamples, 0);
        std::vector<float> coefficients(kFrameSamples), overlap(kFrameSamples / 2, 0.0f), output(kFrameSamples);
        double worst = 0.0;
        for (size_t t = 0; t < signal.size() / kFrameSamples; ++t) {
            std::copy_n(signal.begin() + t * kFrameSamples, kFrameSamples, history.begin() + kFrameSamples);
            const std::vector<int16_t> x = history;
            MdctAnalysis(history.data(), coefficients.data());
            ASSERT_TRUE(std::equal(x.begin() + kFrameSamples, x.end(), history.begin())) << "history moves down";
            if (t == 2 && &signal < &signals[2]) {
                std::vector<double> sum(kFrameSamples);
                for (int k = 0; k < kFrameSamples; ++k)
                    for (int n = 0; n < 2 * kFrameSamples; ++n)
                        sum[k] += 0.04564354568719864 * window(n) * x[n] *
                                  std::cos(kPi / 3840.0 * (((2L * n + 1 - kFrameSamples) * (2 * k + 1)) % 7680));
                EXPECT_LT(RelativeError(coefficients, sum), 5e-7);
            }
            MdctSynthesis(coefficients.data(), overlap.data(), output.data(), kFrameSamples);
            for (int n = 0; n < kFrameSamples; ++n)
                worst = std::max(worst, std::fabs(output[n] - (t == 0 ? 0.0 : signal[(t - 1) * kFrameSamples + n])));
        }
        // Measured worst cases lie between 0.002 and 0.026: a few float steps at 32768.
        EXPECT_LT(worst, 0.05);
    }
}

}  // namespace
