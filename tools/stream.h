// An encoded stream in memory: what a .drk file holds, packet by packet.
#pragma once
#include <cstdint>
#include <vector>

constexpr int kCodecRate = 48000;   // the codec works at 48 kHz only
constexpr int kFrameSamples = 960;  // 20 ms per channel
constexpr int kPacketsPerSecond = 50;
constexpr int kCopyBytes = 26;  // one redundant copy: the base layer of an older frame
constexpr int kMaxCopies = 4;
constexpr int kMinBitRate = 48000;  // per channel
constexpr int kMaxBitRate = 64000;
constexpr int kMaxPacketBytes = 2 * (kMaxBitRate / 400 + kMaxCopies * kCopyBytes);  // 528
// The decoder hands out a silent frame first and the transform lags one
// frame, so decoded audio trails the input by two frames.
constexpr int kDelayFrames = 2;

struct Packet {
    std::vector<uint8_t> bytes;
    uint8_t speech = 0;  // the encoder's speech flag for this frame, 0 or 1
    uint8_t level = 0;   // the encoder's level, 0 ... 254
};

struct Stream {
    int channels = 1;
    int bit_rate = kMaxBitRate;         // per channel, bit/s
    int copies = 0;                     // redundant copies per channel and packet
    uint32_t source_rate = kCodecRate;  // sample rate of the original audio
    uint64_t source_frames = 0;         // length of the original audio, in sample frames
    std::vector<Packet> packets;
};

// Bytes of one channel's main frame: 20 ms at the bit rate.
inline int MainFrameBytes(int bit_rate) { return bit_rate / (8 * kPacketsPerSecond); }
inline int PacketBytes(const Stream& s) { return s.channels * (MainFrameBytes(s.bit_rate) + kCopyBytes * s.copies); }
// The decoder's copy mask: bit k set means the copy of frame t - 2(k + 1) is present.
inline uint16_t CopyMask(int copies) { return static_cast<uint16_t>((1u << copies) - 1u); }
// Length of the original at 48 kHz, rounded to the nearest sample frame.
inline uint64_t CodecFrames(uint64_t frames, uint32_t rate) { return (frames * kCodecRate + rate / 2) / rate; }
// Packets for a given 48 kHz length: whole frames, plus the delay to flush.
inline uint64_t PacketsFor(uint64_t codec_frames) {
    return (codec_frames + kFrameSamples - 1) / kFrameSamples + kDelayFrames;
}
