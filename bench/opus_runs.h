// Timed runs of libopus on the same audio: restricted low delay (CELT only),
// complexity 10, constant bit rate, 20 ms frames.
#pragma once
#include <cstdint>
#include <vector>

#include "bench_audio.h"

using OpusPacket = std::vector<unsigned char>;

// bit_rate per channel. Returns microseconds per frame, and the packets.
double OpusEncode(const BenchAudio& audio, bool stereo, int32_t bit_rate, std::vector<OpusPacket>* packets);
// Lost packets are concealed by the decoder's own loss concealment.
double OpusDecode(const std::vector<OpusPacket>& packets, const std::vector<bool>& received, bool stereo);
