// Conversion of synthesised samples to 16-bit PCM.
#pragma once
#include <cstdint>

// Holds each sample to -32768 ... 32767, then truncates toward zero.
void ToPcm16(const float* samples, int16_t* out, int count);
