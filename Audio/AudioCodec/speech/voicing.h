// The analysis step run every 128 samples at 8 kHz: a hop is voiced when
// three hops share a strong pitch, the energy per pitch period is steady and
// the harmonics are not the fading tail of a much stronger sound. Voiced hops
// raise the speech probability quickly; every hop lets it decay slowly.
#pragma once
#include "speech/speech_detector.h"

struct LagStatistics {
    float mean;    // S: mean lag, half-samples at 8 kHz
    float spread;  // Q: variance of the lags; 9999 unless all three hops have a lag
    float ratio;   // R: mean peak ratio
};

LagStatistics LagStatistics_Compute(const float* lagHistory, const float* ratioHistory);
// strengthHistory[i] for i = 1 ... 9 stays within 2.75 times the current
// strength, widened by 1.07 per hop back over four hops and by 1.14 after.
bool StrengthNotFading(const float* strengthHistory);
// The slow decay of every hop, then the rise of a voiced hop toward R + 0.2.
float SpeechProbability_Update(float probability, bool voiced, float meanRatio);
// Follows falls of the four-hop mean level at once, rises every 200 hops.
void LevelFloor_Update(SpeechDetectorState* state);
void SpeechDetector_AnalyseHop(SpeechDetectorState* state);
