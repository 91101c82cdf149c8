// Runs the codec library frame by frame, as a sending and a receiving host
// would: one packet per 20 ms frame, lost packets counted for the decoder.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "stream.h"

struct FrameEncoder {
    StreamInfo info;
    std::vector<uint8_t> context;
    std::vector<int16_t> planar;
    std::vector<uint8_t> packet;
};

void StartEncoder(const StreamInfo& info, FrameEncoder* encoder);
// One frame of interleaved 48 kHz 16-bit samples in, one packet out.
void EncodeFrame(FrameEncoder* encoder, const int16_t* frame, Packet* packet);

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
constexpr char kMarkPending = 'x';  // lost, not yet known how it will be filled

struct FrameDecoder {
    StreamInfo info;
    std::vector<uint8_t> context;
    std::vector<int16_t> delivered;
    int64_t stored = -1;     // the packet the decoder holds back
    int64_t stored_gap = 0;  // packets lost just before it
    int64_t run = 0;         // packets lost since it
    int64_t frames_out = 0;  // frames handed out, the decoder's first silent one included
    FrameTally tally;
    std::string timeline;
    int64_t silent_before = 0;  // frames the last call skipped, to be heard as silence before its output
    int damaged = 0;       // frames the decoder found inconsistent
    int last_damaged = 0;  // of those, found in the last call
};

void StartDecoder(const StreamInfo& info, FrameDecoder* decoder);
// Hands the next packet to the decoder (nullptr when it was lost) and
// appends to `out` the frames it delivers, as interleaved floats starting
// with the decoder's silent frame; frames it skipped, which come before
// them as silence, are counted in `silent_before`.
void DecodePacket(FrameDecoder* decoder, const Packet* packet, std::vector<float>* out);
// Marks the losses at the end, which nothing arrived to rebuild.
void FinishDecoding(FrameDecoder* decoder);
