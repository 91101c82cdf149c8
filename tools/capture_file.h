// Captures as packet files: an RTP stream of DremkoCodec packets in a pcap
// or pcapng file. A capture is read whole, since its packets are put in
// sequence order before the losses are counted (the capture is the jitter
// buffer); one is written packet by packet.
#pragma once
#include <string>
#include <vector>

#include "capture_stream.h"
#include "capture_writer.h"
#include "output_file.h"
#include "stream.h"

// Names ending in .pcap or .pcapng are captures; anything else is a .drk file.
bool IsCaptureName(const std::string& name);

// Which stream of a capture to decode, and its configuration when the
// packets should not be trusted to show it.
struct CaptureChoice {
    rtp::StreamChoice stream;
    bool configured = false;
    rtp::PayloadConfig config;
};

struct CaptureInput {
    StreamInfo info;
    rtp::LoadedStream stream;
    int64_t fragments = 0;  // IP fragments and damaged frames, which are left out
    int64_t damaged = 0;
    bool cut_short = false;  // the file ends inside a packet's record
};

// `-` reads the standard input. A capture without a stream of the codec's
// packets, or with several and no choice, gives one line in `error`.
bool ReadCaptureInput(const std::string& name, const CaptureChoice& choice, CaptureInput* input, std::string* error);
// The packet as the tool holds it, with the speech flag and level the sender put beside it.
Packet ToolPacket(const rtp::CapturedPacket& captured);

struct CaptureWriter {
    OutputFile out;
    rtp::CaptureSender sender;
    int64_t written = 0;
};

// The stream goes from 127.0.0.1:5004 to 127.0.0.1:5006 with payload type 96,
// the speech flag and level in header extension element 1.
bool CreateCapture(const std::string& name, CaptureWriter* writer, std::string* error);
bool WriteCapturePacket(CaptureWriter* writer, const Packet& packet, std::string* error);
bool FinishCapture(CaptureWriter* writer, std::string* error);
void AbandonCapture(CaptureWriter* writer);
// The SDP lines that describe the stream written.
std::string CaptureSdp(const StreamInfo& info);
