// Period energies and their spread, balance and change.
#include "speech/period_energy.h"

namespace {

constexpr double kMinimumSpan = 280.0;  // samples at 8 kHz (35 ms)
constexpr double kCentre = 256.0;

// Adds `shared` samples to each period's sum, from first[j] on. Each sum
// stays one chain of float additions in sample order, but the periods'
// chains advance side by side instead of each waiting for the one before.
template <int Periods>
void AddSamples(const float* energyHistory, const int* first, int shared, float* sums) {
    float sum[Periods];
    for (int j = 0; j < Periods; ++j) sum[j] = sums[j];
    for (int t = 0; t < shared; ++t)
        for (int j = 0; j < Periods; ++j) sum[j] = sum[j] + energyHistory[first[j] + t];
    for (int j = 0; j < Periods; ++j) sums[j] = sum[j];
}

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
    // Each period weighs period - 1 samples: its first sample by 1 - frac,
    // the whole samples after it, and its last by the next period's frac;
    // so the partial samples at its ends join it to its neighbours without
    // gap or overlap.
    int middle[kMaxPeriods];
    int last[kMaxPeriods];
    float last_weight[kMaxPeriods];
    int shared = whole;  // whole samples that every period has
    for (int j = 0; j < periods; ++j) {
        int end = pos + whole - 1;
        float next_frac = frac + fraction;
        if (next_frac >= 1.0f) {
            next_frac = next_frac - 1.0f;
            ++end;
        }
        energies[j] = static_cast<float>((1.0 - frac) * energyHistory[pos]);
        middle[j] = pos + 1;
        last[j] = end;
        last_weight[j] = next_frac;
        if (end - pos - 1 < shared) shared = end - pos - 1;
        pos = end;
        frac = next_frac;
    }
    if (shared < 0) shared = 0;
    if (periods == 4)
        AddSamples<4>(energyHistory, middle, shared, energies);
    else if (periods == 6)
        AddSamples<6>(energyHistory, middle, shared, energies);
    else
        AddSamples<kMaxPeriods>(energyHistory, middle, shared, energies);
    for (int j = 0; j < periods; ++j) {
        float e = energies[j];
        for (int i = middle[j] + shared; i < last[j]; ++i) e = e + energyHistory[i];
        energies[j] = static_cast<float>(e + static_cast<double>(last_weight[j]) * energyHistory[last[j]]);
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
