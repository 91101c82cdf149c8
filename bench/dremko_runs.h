// Timed runs of DremkoCodec through its public interface, as a host drives it.
#pragma once
#include <cstdint>
#include <vector>

#include "bench_audio.h"

using Packet = std::vector<uint8_t>;

struct DremkoStream {
    bool stereo;
    int32_t rate;    // per channel, bit/s
    int32_t copies;  // redundant copies per packet
};

struct DremkoEncoded {
    std::vector<Packet> packets;
    std::vector<int32_t> flags_levels;  // speech flag and level of every frame
};

// Encodes the audio once; returns microseconds per frame, and the packets.
double DremkoEncode(const BenchAudio& audio, const DremkoStream& stream, DremkoEncoded* encoded);
// Decodes the received packets, each with the number lost before it;
// returns microseconds per frame played (lost frames included) and the PCM.
double DremkoDecode(const std::vector<Packet>& packets, const std::vector<bool>& received, const DremkoStream& stream,
                    std::vector<int16_t>* pcm);
// The decoder's heaviest call: the one after a packet reporting 20 lost
// frames, which rebuilds them from copies and concealment and plays all 21.
// Returns the microseconds of that call (best of `repeats`).
double DremkoGapCall(const std::vector<Packet>& packets, const DremkoStream& stream, int repeats);
// One context initialisation (best of `repeats`), the shared tables already built.
double DremkoEncoderInit(int repeats);
double DremkoDecoderInit(int repeats);
// The process's first initialisation, which also builds the shared tables;
// must run before anything else touches the library.
double DremkoFirstInit();
