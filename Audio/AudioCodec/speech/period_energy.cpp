// Period energies and their spread, balance and change.
#include "speech/period_energy.h"

namespace {

constexpr double kMinimumSpan = 280.0;  // samples at 8 kHz (35 ms)
constexpr double kCentre = 256.0;

}  // namespace

int PeriodEnergy_Periods(const float* energyHistory, float meanLag, float* energies) {
    const float period = static_cast<float>(meanLag * 0.5);
    const int whole = static_cast<int>(period);
    const float fraction = period - static_cast<float>(whole);
    float count = 4.0f;
    if (4.0 * period < kMinimumSpan) {
        count = 6.0f;
        while (static_cast<double>(count) * period < kMinimumSpan) count += 2.0f;
    }
    const float start = static_cast<float>(kCentre - (period * 0.5) * count);
    int pos = static_cast<int>(start);
    float frac = start - static_cast<float>(pos);
    const int periods = static_cast<int>(count);
    // Each period weighs period - 1 samples; the partial samples at its ends
    // join it to its neighbours without gap or overlap.
    for (int j = 0; j < periods; ++j) {
        int end = pos + whole - 1;
        float next_frac = frac + fraction;
        if (next_frac >= 1.0f) {
            next_frac = next_frac - 1.0f;
            ++end;
        }
        float e = static_cast<float>((1.0 - frac) * energyHistory[pos]);
        for (int i = pos + 1; i < end; ++i) e = e + energyHistory[i];
        energies[j] = static_cast<float>(e + static_cast<double>(next_frac) * energyHistory[end]);
        pos = end;
        frac = next_frac;
    }
    return periods;
}

PeriodEnergy PeriodEnergy_Analyse(const float* energyHistory, float meanLag) {
    float e[kMaxPeriods];
    const int m = PeriodEnergy_Periods(energyHistory, meanLag, e);
    float sum = 0.0f;
    float squares = 0.0f;
    for (int j = 0; j < m; ++j) {
        sum = sum + e[j];
        squares = static_cast<float>(squares + static_cast<double>(e[j]) * e[j]);
    }
    const float inv = 1.0f / static_cast<float>(m);
    const float mean = sum * inv;
    PeriodEnergy result;
    result.spread = static_cast<float>(1.0 - static_cast<double>(mean) * mean / (static_cast<double>(squares) * inv));
    float steps = 0.0f;
    for (int j = 0; j + 1 < m; ++j) {
        const double a = e[j];
        const double b = e[j + 1];
        steps = static_cast<float>(steps + (b >= a ? b / a - 1.0 : a / b - 1.0));
    }
    result.change = static_cast<float>(steps / (m - 1.0));
    float halves = 0.0f;
    for (int j = 0; j < m; ++j) halves = j < m / 2 ? halves + e[j] : halves - e[j];
    result.balance = static_cast<float>(halves / (static_cast<double>(mean) * m));
    return result;
}
