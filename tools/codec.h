// Runs the codec library over whole streams, as a sending and a receiving
// host would: one packet per 20 ms frame, lost packets counted for the decoder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "stream.h"

// Encodes interleaved 48 kHz 16-bit audio of `stream->channels` channels
// into `stream->packets` at the stream's bit rate and copy count, with the
// trailing frames that flush the codec's delay.
void EncodeStream(const std::vector<int16_t>& pcm, Stream* stream);

// How the decoder filled the frames of lost packets.
struct FrameTally {
    int rebuilt = 0;    // from a redundant copy
    int concealed = 0;  // made up between known neighbours
    int muted = 0;      // never delivered (gaps beyond the decoder's reach, losses at the end): silence
};

// Timeline marks, one per packet.
constexpr char kMarkReceived = '.';
constexpr char kMarkRebuilt = 'r';
constexpr char kMarkConcealed = 'c';
constexpr char kMarkMuted = 'm';

struct Decoded {
    std::vector<int16_t> pcm;  // interleaved 48 kHz, aligned with the encoded input and as long
    FrameTally tally;
    std::string timeline;
};

// Decodes the packets that `lost` does not drop, each with the number lost just before it.
void DecodeStream(const Stream& stream, const std::vector<bool>& lost, Decoded* out);
