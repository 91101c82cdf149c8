// Command-line commands, their options and the parsing of both.
#pragma once
#include <cstdio>
#include <string>
#include <vector>

#include "audio.h"
#include "audio_input.h"
#include "capture_file.h"
#include "loss.h"

enum CommandBit : unsigned { kEncode = 1, kDecode = 2, kRoundtrip = 4, kInfo = 8, kDemo = 16 };

struct CommandInfo {
    const char* name;
    unsigned bit;
    const char* arguments;  // the file names it takes, for the usage line
    int file_count;
    const char* summary;
};

struct Options {
    std::vector<std::string> files;
    int bit_rate = 64000;  // per channel
    int copies = 2;
    ChannelChoice channels;
    RawLayout raw;
    LossSettings loss;
    CaptureChoice capture;
    std::string report_path;
    bool original_rate = false;
    std::string type;  // output audio type; empty: from the file name
    SampleFormat bits = SampleFormat::kS16;
    bool quiet = false;
    bool verbose = false;
    std::string out_dir = "dremko-demo";
    std::string demo_input;
    bool help = false;
    bool version = false;
};

const CommandInfo* FindCommand(const std::string& name);
// Parses argv[first ...] for the command; on a mistake fills `error`.
bool ParseOptions(const CommandInfo& command, int argc, char** argv, int first, Options* options, std::string* error);
void PrintCommandHelp(const CommandInfo& command, FILE* out);
void PrintToolHelp(FILE* out);
