// The runs. Audio in, packets out (encode), packets in, audio out (decode),
// or both at once with the decoded audio measured against the input
// (roundtrip). Everything streams frame by frame, so memory stays the same
// however long the input.
#pragma once
#include <string>

#include "options.h"
#include "report.h"

struct RunFiles {
    std::string input;    // audio (encode, roundtrip) or packets (decode, info); `-` is the standard input
    std::string packets;  // packets written, or empty
    std::string audio;    // audio written, or empty
};

// Encodes the input audio; writes the packets and, when `files.audio` is
// given, decodes them through the loss and measures the result.
bool RunFromAudio(const Options& options, const std::string& command, const std::string& channel_hint,
                  const RunFiles& files, Report* report, std::string* error);
// Decodes a packet file through the loss into audio.
bool RunFromPackets(const Options& options, const RunFiles& files, Report* report, std::string* error);
// Reads a packet file, with one line per packet on `out` for --verbose.
bool DescribePackets(const Options& options, const std::string& input, FILE* out, Report* report, std::string* error);
