// An encoded stream: what a .drk file holds, packet by packet.
#pragma once
#include <cstdint>
#include <vector>

#include "interface/packet_layout.h"

// The decoder hands out a silent frame first and the transform lags one
// frame, so decoded audio trails the input by two frames.
constexpr int kDelayFrames = 2;

struct Packet {
    std::vector<uint8_t> bytes;
    uint8_t speech = 0;  // the encoder's speech flag for this frame, 0 or 1
    uint8_t level = 0;   // the encoder's level, 0 ... 254
};

// What a decoder and a reader of the output need to know about a stream.
struct StreamInfo {
    int channels = 1;
    int bit_rate = DREMKO_MAX_CHANNEL_RATE;         // per channel, bit/s
    int copies = 0;                     // redundant copies per channel and packet
    uint32_t source_rate = kSampleRate;  // sample rate of the original audio
    uint64_t source_frames = 0;         // length of the original audio, in sample frames
};

// A whole stream in memory, for programs that handle small files at once.
struct Stream : StreamInfo {
    bool length_at_end = false;  // the file gave the length after the packets (written to a pipe)
    std::vector<Packet> packets;
};

inline int PacketBytes(const StreamInfo& s) {
    return PacketBytes(PartBytes(EncoderMainBytes(s.bit_rate), s.copies), s.channels == 2);
}
// Length of the original at 48 kHz, rounded to the nearest sample frame.
inline uint64_t CodecFrames(uint64_t frames, uint32_t rate) { return (frames * kSampleRate + rate / 2) / rate; }
// Packets for a given 48 kHz length: whole frames, plus the delay to flush.
inline uint64_t PacketsFor(uint64_t codec_frames) {
    return (codec_frames + kFrameSamples - 1) / kFrameSamples + kDelayFrames;
}
