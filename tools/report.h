// The report printed after every run and written as JSON on request.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "capture_file.h"
#include "codec.h"
#include "quality.h"
#include "stream.h"

// What the encoder said about the packets, counted as they pass.
struct PacketStats {
    int64_t packets = 0;
    int64_t speech = 0;  // frames the encoder's speech detector flagged
    int level_min = 254;
    int level_max = 0;
};

void CountPacket(const Packet& packet, PacketStats* stats);

struct Report {
    std::string command;
    std::string input;
    std::string output;
    // What the stream is.
    int channels = 0;
    int bit_rate = 0;  // per channel
    int copies = 0;
    int packet_bytes = 0;
    double total_kbps = 0.0;  // main frames and copies of all channels
    unsigned source_rate = 0;
    double duration_s = 0.0;
    PacketStats stats;
    // What the decoding went through.
    bool decoded = false;
    int packets_lost = 0;
    FrameTally frames;
    int damaged_frames = 0;  // frames the decoder found inconsistent
    std::string timeline;    // one mark per packet, see codec.h
    // Read from a capture: the stream and what the network did to it.
    std::string capture_stream;  // empty for a .drk file
    bool config_found = false;   // from the packets, not given
    int64_t gaps = 0, duplicates = 0, reordered = 0, malformed = 0, wrong_length = 0, fragments = 0;
    std::vector<std::string> other_streams;
    std::string sdp;  // of a capture written
    // Against the input (roundtrip only).
    bool measured = false;
    Quality quality;
    std::vector<std::string> warnings;  // also printed on stderr when they arise
};

Report DescribeStream(const std::string& command, const StreamInfo& stream, const PacketStats& stats);
void AddDecoding(const FrameDecoder& decoder, Report* report);
void AddCapture(const CaptureInput& input, Report* report);
void PrintReport(const Report& report, FILE* out);
std::string ReportJson(const Report& report);
// Writes the report as JSON when a path is given.
bool SaveReport(const Report& report, const std::string& path, std::string* error);
// One line per packet for --verbose; `note` tells what happened to it.
void PrintPacket(FILE* out, int64_t index, const Packet& packet, const std::string& note);
