// Temporary stand-in until the stereo analysis lands; delete when it does.
#include "stereo/stereo_analysis.h"
void InitStereoAnalysis(StereoAnalysisState* state) { state->dominant = 0; }
int32_t StereoDominance(const int16_t*, const int16_t*, StereoAnalysisState* state) { return state->dominant; }
