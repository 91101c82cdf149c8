#include "options.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "fail.h"
#include "stream.h"

namespace {

constexpr unsigned kLossCommands = kDecode | kRoundtrip;
constexpr unsigned kEncodeCommands = kEncode | kRoundtrip;
constexpr unsigned kOutputCommands = kDecode | kRoundtrip;

const CommandSpec kCommands[] = {
    {"encode", kEncode, "IN OUT.drk", 2, "code an audio file into a .drk packet file"},
    {"decode", kDecode, "IN.drk OUT", 2, "decode a .drk packet file to audio, optionally through packet loss"},
    {"roundtrip", kRoundtrip, "IN OUT", 2, "encode, lose packets, decode, and measure against the input"},
    {"info", kInfo, "FILE.drk", 1, "describe a .drk packet file"},
    {"demo", kDemo, "", 0, "code a built-in signal without loss, with bursty loss, and without copies"},
};

struct OptionSpec {
    const char* name;
    const char* value;  // nullptr for a flag
    unsigned commands;
    const char* help;
};

const OptionSpec kOptions[] = {
    {"--bitrate", "B", kEncodeCommands, "bit rate per channel, 48000 to 64000 bit/s (or 48k ... 64k); default 64000"},
    {"--redundancy", "R", kEncodeCommands, "redundant copies of older frames per packet, 0 to 4; default 2"},
    {"--mono", nullptr, kEncodeCommands, "code one channel; several input channels are averaged"},
    {"--stereo", nullptr, kEncodeCommands, "code two channels; a mono input is copied to both"},
    {"--loss", "P", kLossCommands | kDemo, "lose P percent of the packets at random"},
    {"--burst", "N", kLossCommands, "lose packets in bursts of mean length N (Gilbert-Elliott); needs --loss"},
    {"--seed", "S", kLossCommands | kDemo, "seed of the random loss; default 1"},
    {"--loss-pattern", "FILE", kLossCommands, "one character per packet: '.' or '0' received, 'x' or '1' lost"},
    {"--original-rate", nullptr, kOutputCommands, "write the output at the input's sample rate, not 48 kHz"},
    {"--report", "FILE.json", kEncode | kOutputCommands, "also write the report as JSON"},
    {"--out", "DIR", kDemo, "folder for the demo's files; default dremko-demo"},
    {"--input", "FILE", kDemo, "use this audio file instead of the built-in signal"},
    {"--help", nullptr, ~0u, "show this help"},
};

bool ParseInteger(const std::string& text, long long* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    *value = std::strtoll(text.c_str(), &end, 10);
    return errno == 0 && *end == '\0';
}

bool ParseNumber(const std::string& text, double* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    *value = std::strtod(text.c_str(), &end);
    return *end == '\0';
}

bool ParseBitRate(std::string text, int* bit_rate, std::string* error) {
    long long multiplier = 1;
    if (!text.empty() && (text.back() == 'k' || text.back() == 'K')) {
        text.pop_back();
        multiplier = 1000;
    }
    long long value = 0;
    if (!ParseInteger(text, &value) || value * multiplier < kMinBitRate || value * multiplier > kMaxBitRate)
        return Fail(error, "unsupported bit rate " + text + (multiplier > 1 ? "k" : "") +
                               " (use 48000 to 64000 bit/s per channel)");
    *bit_rate = static_cast<int>(value * multiplier);
    return true;
}

bool ApplyValue(const std::string& name, std::string value, Options* o, std::string* error) {
    long long n = 0;
    double x = 0.0;
    if (name == "--bitrate") return ParseBitRate(value, &o->bit_rate, error);
    if (name == "--redundancy") {
        if (!ParseInteger(value, &n) || n < 0 || n > kMaxCopies)
            return Fail(error, "--redundancy must be 0 to 4, not " + value);
        o->copies = static_cast<int>(n);
    } else if (name == "--loss") {
        if (!value.empty() && value.back() == '%') value.pop_back();
        if (!ParseNumber(value, &x) || x < 0.0 || x > 100.0)
            return Fail(error, "--loss must be a percentage from 0 to 100, not " + value);
        o->loss.percent = x;
    } else if (name == "--burst") {
        if (!ParseNumber(value, &x) || x < 1.0)
            return Fail(error, "--burst must be a mean burst length of 1 or more, not " + value);
        o->loss.burst = x;
    } else if (name == "--seed") {
        if (!ParseInteger(value, &n) || n < 0 || n > 0xffffffffLL)
            return Fail(error, "--seed must be a whole number from 0 to 4294967295, not " + value);
        o->loss.seed = static_cast<uint32_t>(n);
    } else if (name == "--loss-pattern") {
        o->loss.pattern_file = value;
    } else if (name == "--report") {
        o->report_path = value;
    } else if (name == "--out") {
        o->out_dir = value;
    } else if (name == "--input") {
        o->demo_input = value;
    }
    return true;
}

void ApplyFlag(const std::string& name, Options* o) {
    if (name == "--mono") o->channels = 1;
    if (name == "--stereo") o->channels = 2;
    if (name == "--original-rate") o->original_rate = true;
    if (name == "--help") o->help = true;
}

bool CheckCombination(const CommandSpec& command, const Options& o, bool mono, bool stereo, std::string* error) {
    if (mono && stereo) return Fail(error, "--mono and --stereo exclude each other");
    if (!o.loss.pattern_file.empty() && (o.loss.percent > 0.0 || o.loss.burst > 0.0))
        return Fail(error, "--loss-pattern excludes --loss and --burst");
    if (o.loss.burst > 0.0 && o.loss.percent <= 0.0) return Fail(error, "--burst needs --loss");
    if (o.loss.burst > 0.0 && !CheckBurstyLoss(o.loss.percent, o.loss.burst, error)) return false;
    if (static_cast<int>(o.files.size()) == command.file_count) return true;
    return Fail(error, std::string(command.name) + " takes " +
                           (command.file_count ? std::string(command.arguments) : std::string("no file names")) +
                           " (see dremko " + command.name + " --help)");
}

}  // namespace

const CommandSpec* FindCommand(const std::string& name) {
    for (const CommandSpec& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

bool ParseOptions(const CommandSpec& command, int argc, char** argv, int first, Options* o, std::string* error) {
    bool mono = false;
    bool stereo = false;
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        if (arg.size() < 2 || arg.compare(0, 2, "--") != 0 || arg == "-") {
            o->files.push_back(arg);
            continue;
        }
        std::string value;
        bool has_value = false;
        const size_t equals = arg.find('=');
        if (equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
            has_value = true;
        }
        const OptionSpec* spec = nullptr;
        for (const OptionSpec& s : kOptions)
            if (arg == s.name && (s.commands & command.bit)) spec = &s;
        if (!spec)
            return Fail(error,
                        "unknown option " + arg + " for " + command.name + " (see dremko " + command.name + " --help)");
        if (!spec->value) {
            if (has_value) return Fail(error, arg + " takes no value");
            mono |= arg == "--mono";
            stereo |= arg == "--stereo";
            ApplyFlag(arg, o);
            continue;
        }
        if (!has_value) {
            if (i + 1 >= argc) return Fail(error, arg + " needs a value " + spec->value);
            value = argv[++i];
        }
        if (!ApplyValue(arg, value, o, error)) return false;
    }
    return o->help || CheckCombination(command, *o, mono, stereo, error);
}

void PrintCommandHelp(const CommandSpec& command, FILE* out) {
    std::fprintf(out, "usage: dremko %s %s%s[options]\n\n%s.\n\noptions:\n", command.name, command.arguments,
                 command.file_count ? " " : "", command.summary);
    for (const OptionSpec& s : kOptions) {
        if (!(s.commands & command.bit)) continue;
        const std::string left = std::string(s.name) + (s.value ? std::string(" ") + s.value : "");
        std::fprintf(out, "  %-22s %s\n", left.c_str(), s.help);
    }
}

void PrintToolHelp(FILE* out) {
    std::fprintf(out,
                 "usage: dremko COMMAND [arguments] [options]\n\nDremkoCodec, full-band speech and audio "
                 "coding at 48 to 64 kbit/s per channel.\n\ncommands:\n");
    for (const CommandSpec& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out, "\n'dremko COMMAND --help' tells more; 'dremko --version' gives the version.\n");
}
