// The report printed after every run and written as JSON on request.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "codec.h"
#include "quality.h"
#include "stream.h"

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
    int packets = 0;
    double speech_share = 0.0;  // frames the encoder flagged as speech
    int level_min = 0;
    int level_max = 0;
    // What the decoding went through.
    bool decoded = false;
    int packets_lost = 0;
    FrameTally frames;
    std::string timeline;  // one mark per packet, see codec.h
    // Against the input (roundtrip only).
    bool measured = false;
    Quality quality;
};

Report DescribeStream(const std::string& command, const Stream& stream);
void AddDecoding(const std::vector<bool>& lost, const Decoded& decoded, Report* report);
// Measures the decoded audio against the 48 kHz 16-bit input it was coded from.
void AddQuality(const std::vector<int16_t>& input, const Decoded& decoded, Report* report);
void PrintReport(const Report& report, FILE* out);
std::string ReportJson(const Report& report);
