// Energy over consecutive pitch periods around the point 256 samples back:
// steady in voiced speech, uneven in most other sounds.
#pragma once

constexpr int kMaxPeriods = 8;

struct PeriodEnergy {
    float spread;   // V: normalised spread of the period energies (0 when all are equal)
    float balance;  // B: positive when the newer half of the periods holds more energy
    float change;   // D: mean relative step between neighbouring periods
};

// Splits the newest-first squares into 4, 6 or 8 periods of meanLag / 2
// samples spanning at least 280 samples; returns their count and writes
// their energies, the newest period first.
int PeriodEnergy_Periods(const float* energyHistory, float meanLag, float* energies);
PeriodEnergy PeriodEnergy_Analyse(const float* energyHistory, float meanLag);
