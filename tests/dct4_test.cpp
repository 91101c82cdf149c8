// The 960-point DCT-IV against its defining sum, its self-inverse property and
// its response to the cosine basis.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <random>
#include <vector>

#include "transform/transform.h"

namespace {

constexpr double kPi = 3.14159265358979323846;

class Dct4Test : public ::testing::Test {
protected:
    static void SetUpTestSuite() { InitDct4Tables(); }
};

std::vector<float> RunDct4(const std::vector<float>& input) {
    std::vector<float> out(kFrameSamples);
    Dct4(input.data(), out.data(), kFrameSamples);
    return out;
}

std::vector<float> RandomSignal(uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<float> v(kFrameSamples);
    for (float& x : v) x = static_cast<float>(static_cast<int32_t>(rng()) / 65536.0);
    return v;
}

TEST_F(Dct4Test, MatchesDefiningSum) {
    std::vector<float> ramp(kFrameSamples);
    for (int n = 0; n < kFrameSamples; ++n) ramp[n] = static_cast<float>(n - 480) * 25.0f;
    for (const std::vector<float>& input : {RandomSignal(11), RandomSignal(12), ramp}) {
        const std::vector<float> out = RunDct4(input);
        double error = 0.0, energy = 0.0;
        for (int k = 0; k < kFrameSamples; ++k) {
            double sum = 0.0;
            // The phase (n + 0.5)(k + 0.5) pi / 960 = (2n + 1)(2k + 1) pi / 3840, taken
            // over whole periods first so that the cosine argument stays small.
            for (int n = 0; n < kFrameSamples; ++n)
                sum += input[n] * std::cos(kPi / 3840.0 * (((2L * n + 1) * (2 * k + 1)) % 7680));
            error += (out[k] - sum) * (out[k] - sum);
            energy += sum * sum;
        }
        EXPECT_LT(std::sqrt(error / energy), 5e-7);
    }
}

TEST_F(Dct4Test, AppliedTwiceScalesBy480) {
    const std::vector<float> input = RandomSignal(21);
    const std::vector<float> twice = RunDct4(RunDct4(input));
    double worst = 0.0;
    for (int n = 0; n < kFrameSamples; ++n) worst = std::max(worst, std::fabs(twice[n] / 480.0 - input[n]));
    EXPECT_LT(worst, 0.02);  // inputs up to 32768: a few parts in 10^7
}

TEST_F(Dct4Test, CosineBasisGivesOnePeak) {
    for (int k0 : {0, 1, 137, 480, 958, 959}) {
        std::vector<float> basis(kFrameSamples);
        for (int n = 0; n < kFrameSamples; ++n) basis[n] = static_cast<float>(std::cos(kPi / 960.0 * (n + 0.5) * (k0 + 0.5)));
        const std::vector<float> out = RunDct4(basis);
        for (int k = 0; k < kFrameSamples; ++k) EXPECT_NEAR(out[k], k == k0 ? 480.0 : 0.0, 1e-3) << "k0 " << k0 << " k " << k;
    }
}

TEST_F(Dct4Test, RunsInPlace) {
    std::vector<float> data = RandomSignal(31);
    const std::vector<float> separate = RunDct4(data);
    Dct4(data.data(), data.data(), kFrameSamples);
    EXPECT_EQ(data, separate);
}

}  // namespace
