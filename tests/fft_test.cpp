// The 480-point FFT against a direct DFT in double, on random and structured
// inputs, and its twiddle table against the exact values.
#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <random>
#include <vector>

#include "transform/transform.h"

namespace {

constexpr int kPoints = 480;
constexpr double kPi = 3.14159265358979323846;

using Spectrum = std::vector<std::complex<double>>;

Spectrum DirectDft(const std::vector<float>& pairs) {
    Spectrum out(kPoints);
    for (int k = 0; k < kPoints; ++k) {
        std::complex<double> sum = 0.0;
        for (int n = 0; n < kPoints; ++n) {
            const double angle = -2.0 * kPi * ((static_cast<long>(n) * k) % kPoints) / kPoints;
            sum += std::complex<double>(pairs[2 * n], pairs[2 * n + 1]) * std::polar(1.0, angle);
        }
        out[k] = sum;
    }
    return out;
}

std::vector<float> RunFft(std::vector<float> pairs) {
    std::vector<float> out(2 * kPoints);
    Fft480(pairs.data(), out.data());
    return out;
}

// ||fft - dft|| / ||dft|| over all bins.
double RelativeError(const std::vector<float>& input) {
    const Spectrum reference = DirectDft(input);
    const std::vector<float> fft = RunFft(input);
    double error = 0.0, energy = 0.0;
    for (int k = 0; k < kPoints; ++k) {
        error += std::norm(std::complex<double>(fft[2 * k], fft[2 * k + 1]) - reference[k]);
        energy += std::norm(reference[k]);
    }
    return std::sqrt(error / energy);
}

std::vector<float> RandomPairs(uint32_t seed) {
    std::mt19937 rng(seed);
    std::vector<float> pairs(2 * kPoints);
    for (float& v : pairs) v = static_cast<float>(static_cast<int32_t>(rng()) / 65536.0);
    return pairs;
}

TEST(Fft480, MatchesDirectDft) {
    std::vector<std::vector<float>> inputs = {RandomPairs(1), RandomPairs(2), RandomPairs(3)};
    std::vector<float> tones(2 * kPoints), chirp(2 * kPoints), spike(2 * kPoints, 0.0f), dc(2 * kPoints, 1.0f);
    for (int n = 0; n < kPoints; ++n) {
        // Off-bin complex tones of very different levels, a real chirp, one spike.
        const std::complex<double> v = 20000.0 * std::polar(1.0, 2 * kPi * 17.3 * n / kPoints) +
                                       3.0 * std::polar(1.0, -2 * kPi * 201.7 * n / kPoints + 0.4);
        tones[2 * n] = static_cast<float>(v.real());
        tones[2 * n + 1] = static_cast<float>(v.imag());
        chirp[2 * n] = static_cast<float>(12000.0 * std::sin(kPi * n * n / (2.0 * kPoints)));
    }
    spike[2 * 333] = -7.5f;
    spike[2 * 333 + 1] = 2.25f;
    inputs.insert(inputs.end(), {tones, chirp, spike, dc});
    for (size_t i = 0; i < inputs.size(); ++i) EXPECT_LT(RelativeError(inputs[i]), 5e-7) << "input " << i;
}

TEST(Fft480, ImpulsesGiveOnesAndTwiddles) {
    std::vector<float> at0(2 * kPoints, 0.0f), at1(2 * kPoints, 0.0f);
    at0[0] = 1.0f;
    at1[2] = 1.0f;
    const std::vector<float> ones = RunFft(at0);
    const std::vector<float> twiddles = RunFft(at1);
    for (int k = 0; k < kPoints; ++k) {
        // Every product on the way is by W^0 = 1: the result is exact.
        EXPECT_EQ(ones[2 * k], 1.0f) << k;
        EXPECT_EQ(ones[2 * k + 1], 0.0f) << k;
        EXPECT_NEAR(twiddles[2 * k], std::cos(2 * kPi * k / kPoints), 1e-6) << k;
        EXPECT_NEAR(twiddles[2 * k + 1], -std::sin(2 * kPi * k / kPoints), 1e-6) << k;
    }
}

TEST(FftTwiddleTable, HoldsTheNearestFloats) {
    for (int j = 0; j < kPoints; ++j) {
        const double angle = 2 * kPi * j / kPoints;
        // Quarter turns are exactly 0 and +-1; the library's cos(pi/2) is not.
        const double c = j % 120 == 0 ? std::round(std::cos(angle)) : std::cos(angle);
        const double s = j % 120 == 0 ? std::round(std::sin(angle)) : std::sin(angle);
        EXPECT_EQ(FftTwiddle[2 * j], static_cast<float>(c)) << j;
        EXPECT_EQ(FftTwiddle[2 * j + 1], static_cast<float>(-s)) << j;
    }
}

}  // namespace
