// The packet, as the encoder writes it and the decoder, the tools and the
// tests read it, around the frame of frame.h. The numbers a host also needs
// come from the public header; everything here is built from them.
//
// A packet has no header. Per channel it holds the main frame (the first
// bytes of that frame's 160-byte coding) and then up to four copies, the
// first 26 bytes of the codings of frames t - 2, t - 4, ...; a stereo packet
// is channel 0's part followed by channel 1's.
#pragma once
#include <cstdint>

#include "dremko.h"
#include "frame.h"

constexpr int kCopyBytes = DREMKO_COPY_BYTES;
constexpr int kCopyBits = 8 * kCopyBytes;
constexpr int kMaxCopies = DREMKO_MAX_COPIES;
constexpr int kMaxPacketBytes = DREMKO_MAX_PACKET_BYTES;

// Main frame bytes the encoder writes at a per-channel rate (never fewer than
// 120, so any rate gives a decodable frame).
constexpr int32_t EncoderMainBytes(int32_t per_channel_rate) { return DREMKO_MAIN_FRAME_BYTES(per_channel_rate); }
// Main frame bytes the decoder reads at the rate the host set: the same
// 20 ms of bits without the encoder's floor, so the host must give the rate
// the encoder used. The rate is taken as unsigned, as it is stored.
constexpr int32_t DecoderMainBytes(uint32_t per_channel_rate) {
    return DREMKO_RATE_BYTES(per_channel_rate) < static_cast<uint32_t>(kCoreFrameBytes)
               ? static_cast<int32_t>(DREMKO_RATE_BYTES(per_channel_rate))
               : kCoreFrameBytes;
}

// The decoder learns which copies a packet carries from a mask: bit j set
// means the copy of frame t - 2(j + 1) is present. An encoder sending
// `copies` copies sends the newest ones, the low bits.
constexpr uint16_t CopyMask(int copies) { return static_cast<uint16_t>((1u << copies) - 1u); }
constexpr int CopyCount(uint16_t mask) {
    int count = 0;
    for (int j = 0; j < kMaxCopies; ++j) count += (mask >> j) & 1;
    return count;
}
// One channel's part, and where its i-th copy present (from 0) starts.
constexpr int32_t PartBytes(int32_t main_bytes, int copies) { return main_bytes + kCopyBytes * copies; }
constexpr int32_t CopyOffset(int32_t main_bytes, int i) { return main_bytes + kCopyBytes * i; }
// A packet: one part per channel of the stream, channel 1's right behind.
constexpr int32_t PacketBytes(int32_t part_bytes, bool stereo) { return stereo ? 2 * part_bytes : part_bytes; }
