#include "options.h"

#include <cctype>
#include <cstdlib>
#include <cstring>

#include "fail.h"
#include "stream.h"

namespace {

constexpr unsigned kLossCommands = kDecode | kRoundtrip;
constexpr unsigned kEncodeCommands = kEncode | kRoundtrip;
constexpr unsigned kOutputCommands = kDecode | kRoundtrip;
constexpr unsigned kRunCommands = kEncode | kDecode | kRoundtrip;
constexpr unsigned kAll = ~0u;

const CommandInfo kCommands[] = {
    {"encode", kEncode, "IN OUT.drk", 2, "code audio into a .drk packet file, or into RTP packets in a capture (OUT.pcap)"},
    {"decode", kDecode, "IN.drk OUT", 2,
     "decode a .drk packet file, or the RTP stream in a capture (IN.pcap, IN.pcapng), to audio, optionally through "
     "packet loss"},
    {"roundtrip", kRoundtrip, "IN OUT", 2, "encode, lose packets, decode, and measure against the input"},
    {"info", kInfo, "FILE.drk", 1, "describe a .drk packet file, or the RTP stream in a capture"},
    {"demo", kDemo, "", 0, "code a built-in signal without loss, with bursty loss, and without copies"},
};

struct OptionInfo {
    const char* name;
    const char* short_name;  // nullptr when there is none
    const char* value;       // nullptr for a flag
    unsigned commands;
    const char* help;
};

const OptionInfo kOptions[] = {
    {"--bitrate", nullptr, "B", kEncodeCommands, "bit rate per channel, 48000 to 64000 bit/s (or 48k ... 64k); default 64000"},
    {"--redundancy", nullptr, "R", kEncodeCommands, "redundant copies of older frames per packet, 0 to 4; default 2"},
    {"--mono", nullptr, nullptr, kEncodeCommands, "code one channel; several input channels are averaged"},
    {"--stereo", nullptr, nullptr, kEncodeCommands, "code two channels; a mono input is copied to both"},
    {"--downmix", nullptr, nullptr, kEncodeCommands,
     "mix more than two channels to stereo (channels 3 on shared by both sides), or to mono with --mono"},
    {"--channels", nullptr, "A[,B]", kEncodeCommands, "code only these input channels, counted from 1"},
    {"--raw-rate", nullptr, "HZ", kEncodeCommands, "the input is headerless PCM at this rate; default 48000"},
    {"--raw-channels", nullptr, "N", kEncodeCommands, "the input is headerless PCM of N channels; default 2"},
    {"--raw-format", nullptr, "F", kEncodeCommands, "the input is headerless little-endian s16, s24 or f32; default s16"},
    {"--ssrc", nullptr, "N", kDecode | kInfo, "decode the capture's stream of this SSRC (decimal or 0x hexadecimal)"},
    {"--port", nullptr, "N", kDecode | kInfo, "decode the capture's stream to or from this UDP port"},
    {"--fmtp", nullptr, "P", kDecode | kInfo,
     "the capture's stream as its SDP describes it, such as \"bitrate=64000;copy-mask=3;stereo=0\"; "
     "default: found from its packets"},
    {"--loss", nullptr, "P", kLossCommands | kDemo, "lose P percent of the packets at random"},
    {"--burst", nullptr, "N", kLossCommands, "lose packets in bursts of mean length N (Gilbert-Elliott); needs --loss"},
    {"--seed", nullptr, "S", kLossCommands | kDemo, "seed of the random loss; default 1"},
    {"--loss-pattern", nullptr, "FILE", kLossCommands, "one character per packet: '.' or '0' received, 'x' or '1' lost"},
    {"--original-rate", nullptr, nullptr, kOutputCommands, "write the output at the input's sample rate, not 48 kHz"},
    {"--type", "-t", "T", kOutputCommands,
     "output audio type: wav, flac, ogg, aiff or raw (16-bit little-endian unless --bits); default from the name, wav for -"},
    {"--bits", nullptr, "B", kOutputCommands, "output samples: 16, 24 or float; default 16"},
    {"--report", nullptr, "FILE.json", kRunCommands, "also write the report as JSON"},
    {"--out", nullptr, "DIR", kDemo, "folder for the demo's files; default dremko-demo"},
    {"--input", nullptr, "FILE", kDemo, "use this audio file (mono or stereo) instead of the built-in signal"},
    {"--quiet", "-q", nullptr, kRunCommands | kDemo, "no progress bar and no summary"},
    {"--verbose", "-v", nullptr, kRunCommands | kInfo, "one line per packet: size, speech flag, level (and loss)"},
    {"--help", "-h", nullptr, kAll, "show this help"},
    {"--version", "-V", nullptr, kAll, "show the version"},
};

// Digits only: no sign, no spaces, no suffix; false beyond `high`.
bool ParseWhole(const std::string& text, unsigned long long high, unsigned long long* value) {
    if (text.empty() || text.size() > 20) return false;
    unsigned long long v = 0;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c))) return false;
        const unsigned digit = static_cast<unsigned>(c - '0');
        if (digit > high || v > (high - digit) / 10) return false;
        v = v * 10 + digit;
    }
    *value = v;
    return true;
}

// A decimal fraction in [low, high]: digits with at most one point, so no
// sign, exponent, hexadecimal, NaN or infinity as strtod would take them.
bool ParseReal(const std::string& text, double low, double high, double* value) {
    const size_t point = text.find('.');
    const bool decimal = text.find_first_not_of("0123456789.") == std::string::npos &&
                         text.find_first_of("0123456789") != std::string::npos &&
                         (point == std::string::npos || text.find('.', point + 1) == std::string::npos);
    if (!decimal) return false;
    const double v = std::strtod(text.c_str(), nullptr);  // too many digits give infinity, above `high`
    if (v < low || v > high) return false;
    *value = v;
    return true;
}

bool ParseBitRate(const std::string& text, int* bit_rate, std::string* error) {
    std::string digits = text;
    unsigned long long multiplier = 1;
    if (!digits.empty() && (digits.back() == 'k' || digits.back() == 'K')) {
        digits.pop_back();
        multiplier = 1000;
    }
    unsigned long long value = 0;
    if (!ParseWhole(digits, DREMKO_MAX_CHANNEL_RATE / multiplier, &value) || value * multiplier < DREMKO_MIN_CHANNEL_RATE)
        return Fail(error, "unsupported bit rate " + text + " (use 48000 to 64000 bit/s per channel, or 48k to 64k)");
    *bit_rate = static_cast<int>(value * multiplier);
    return true;
}

bool ParseChannels(const std::string& text, ChannelChoice* choice, std::string* error) {
    const size_t comma = text.find(',');
    unsigned long long first = 0;
    unsigned long long second = 0;
    const bool valid = ParseWhole(text.substr(0, comma), 1024, &first) && first > 0 &&
                       (comma == std::string::npos || (ParseWhole(text.substr(comma + 1), 1024, &second) && second > 0));
    if (!valid) return Fail(error, "--channels takes one or two channel numbers from 1, such as 1,2; not " + text);
    choice->picks[0] = static_cast<int>(first);
    choice->picks[1] = static_cast<int>(second);
    return true;
}

bool ApplyValue(const std::string& name, const std::string& value, Options* o, std::string* error) {
    unsigned long long n = 0;
    double x = 0.0;
    if (name == "--bitrate") return ParseBitRate(value, &o->bit_rate, error);
    if (name == "--channels") return ParseChannels(value, &o->channels, error);
    if (name == "--ssrc") {
        const bool hex = value.compare(0, 2, "0x") == 0 && value.size() > 2 &&
                         value.find_first_not_of("0123456789abcdefABCDEF", 2) == std::string::npos && value.size() <= 10;
        if (!hex && !ParseWhole(value, 0xffffffffULL, &n))
            return Fail(error, "--ssrc must be a number from 0 to 4294967295 or 0x0 to 0xffffffff, not " + value);
        o->capture.stream.by_ssrc = true;
        o->capture.stream.ssrc = static_cast<uint32_t>(hex ? std::stoul(value.substr(2), nullptr, 16) : n);
    } else if (name == "--port") {
        if (!ParseWhole(value, 65535, &n) || n == 0) return Fail(error, "--port must be 1 to 65535, not " + value);
        o->capture.stream.port = static_cast<int>(n);
    } else if (name == "--fmtp") {
        std::string why;
        if (!rtp::ParseFmtp(value, &o->capture.config, &why)) return Fail(error, "--fmtp: " + why);
        o->capture.configured = true;
    } else if (name == "--redundancy") {
        if (!ParseWhole(value, kMaxCopies, &n)) return Fail(error, "--redundancy must be 0 to 4, not " + value);
        o->copies = static_cast<int>(n);
    } else if (name == "--loss") {
        const std::string number = !value.empty() && value.back() == '%' ? value.substr(0, value.size() - 1) : value;
        if (!ParseReal(number, 0.0, 100.0, &x))
            return Fail(error, "--loss must be a percentage from 0 to 100, not " + value);
        o->loss.percent = x;
    } else if (name == "--burst") {
        if (!ParseReal(value, 1.0, 1e6, &x))
            return Fail(error, "--burst must be a mean burst length from 1 to 1000000, not " + value);
        o->loss.burst = x;
    } else if (name == "--seed") {
        if (!ParseWhole(value, 0xffffffffULL, &n))
            return Fail(error, "--seed must be a whole number from 0 to 4294967295, not " + value);
        o->loss.seed = static_cast<uint32_t>(n);
    } else if (name == "--raw-rate") {
        if (!ParseWhole(value, 768000, &n) || n < 1000)
            return Fail(error, "--raw-rate must be a sample rate from 1000 to 768000 Hz, not " + value);
        o->raw.rate = static_cast<int>(n);
        o->raw.used = true;
    } else if (name == "--raw-channels") {
        if (!ParseWhole(value, 64, &n) || n < 1) return Fail(error, "--raw-channels must be 1 to 64, not " + value);
        o->raw.channels = static_cast<int>(n);
        o->raw.used = true;
    } else if (name == "--raw-format") {
        if (value == "s16") o->raw.format = SampleFormat::kS16;
        else if (value == "s24") o->raw.format = SampleFormat::kS24;
        else if (value == "f32") o->raw.format = SampleFormat::kF32;
        else return Fail(error, "--raw-format must be s16, s24 or f32, not " + value);
        o->raw.used = true;
    } else if (name == "--bits") {
        if (value == "16") o->bits = SampleFormat::kS16;
        else if (value == "24") o->bits = SampleFormat::kS24;
        else if (value == "float") o->bits = SampleFormat::kF32;
        else return Fail(error, "--bits must be 16, 24 or float, not " + value);
    } else if (name == "--type") {
        if (value != "wav" && value != "flac" && value != "ogg" && value != "aiff" && value != "raw")
            return Fail(error, "--type must be wav, flac, ogg, aiff or raw, not " + value);
        o->type = value;
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
    if (name == "--mono") o->channels.count = 1;
    if (name == "--stereo") o->channels.count = 2;
    if (name == "--downmix") o->channels.downmix = true;
    if (name == "--original-rate") o->original_rate = true;
    if (name == "--quiet") o->quiet = true;
    if (name == "--verbose") o->verbose = true;
    if (name == "--help") o->help = true;
    if (name == "--version") o->version = true;
}

bool CheckCombination(const CommandInfo& command, const Options& o, bool mono, bool stereo, std::string* error) {
    if (mono && stereo) return Fail(error, "--mono and --stereo exclude each other");
    if (o.channels.downmix && o.channels.picks[0]) return Fail(error, "--downmix and --channels exclude each other");
    if (o.quiet && o.verbose) return Fail(error, "--quiet and --verbose exclude each other");
    if (!o.loss.pattern_file.empty() && (o.loss.percent > 0.0 || o.loss.burst > 0.0))
        return Fail(error, "--loss-pattern excludes --loss and --burst");
    if (o.loss.burst > 0.0 && o.loss.percent <= 0.0) return Fail(error, "--burst needs --loss");
    if (o.loss.burst > 0.0 && !CheckBurstyLoss(o.loss.percent, o.loss.burst, error)) return false;
    const bool capture_options = o.capture.stream.by_ssrc || o.capture.stream.port || o.capture.configured;
    if (capture_options && !o.files.empty() && !IsCaptureName(o.files[0]))
        return Fail(error, "--ssrc, --port and --fmtp are for a capture (.pcap, .pcapng) input");
    if (static_cast<int>(o.files.size()) == command.file_count) return true;
    return Fail(error, std::string(command.name) + " takes " +
                           (command.file_count ? std::string(command.arguments) : std::string("no file names")) +
                           ", not " + std::to_string(o.files.size()) + " (see dremko " + command.name + " --help)");
}

const OptionInfo* FindOption(const std::string& arg) {
    for (const OptionInfo& s : kOptions)
        if (arg == s.name || (s.short_name && arg == s.short_name)) return &s;
    return nullptr;
}

}  // namespace

const CommandInfo* FindCommand(const std::string& name) {
    for (const CommandInfo& c : kCommands)
        if (name == c.name) return &c;
    return nullptr;
}

bool ParseOptions(const CommandInfo& command, int argc, char** argv, int first, Options* o, std::string* error) {
    bool mono = false;
    bool stereo = false;
    bool files_only = false;
    for (int i = first; i < argc; ++i) {
        std::string arg = argv[i];
        if (files_only || arg.size() < 2 || arg[0] != '-') {
            o->files.push_back(arg);
            continue;
        }
        if (arg == "--") {
            files_only = true;
            continue;
        }
        std::string value;
        bool has_value = false;
        const size_t equals = arg.find('=');
        if (arg.compare(0, 2, "--") == 0 && equals != std::string::npos) {
            value = arg.substr(equals + 1);
            arg.resize(equals);
            has_value = true;
        }
        const OptionInfo* option = FindOption(arg);
        if (!option || !(option->commands & command.bit))
            return Fail(error, (option ? "option " + arg + " is not for " + std::string(command.name)
                                     : "unknown option " + arg + " for " + command.name) +
                                   " (see dremko " + command.name + " --help)");
        const std::string name = option->name;
        if (!option->value) {
            if (has_value) return Fail(error, name + " takes no value");
            mono |= name == "--mono";
            stereo |= name == "--stereo";
            ApplyFlag(name, o);
            continue;
        }
        if (!has_value) {
            if (i + 1 >= argc) return Fail(error, name + " needs a value " + option->value);
            value = argv[++i];
        }
        if (!ApplyValue(name, value, o, error)) return false;
    }
    return o->help || o->version || CheckCombination(command, *o, mono, stereo, error);
}

void PrintCommandHelp(const CommandInfo& command, FILE* out) {
    std::fprintf(out, "usage: dremko %s %s%s[options]\n\n%s.\n", command.name, command.arguments,
                 command.file_count ? " " : "", command.summary);
    if (command.bit & kRunCommands) std::fprintf(out, "A file name of - means the standard input or output.\n");
    std::fprintf(out, "\noptions:\n");
    for (const OptionInfo& s : kOptions) {
        if (!(s.commands & command.bit)) continue;
        const std::string left = (s.short_name ? std::string(s.short_name) + ", " : std::string("    ")) + s.name +
                                 (s.value ? std::string(" ") + s.value : "");
        std::fprintf(out, "  %-26s %s\n", left.c_str(), s.help);
    }
    std::fprintf(out, "\nexit status: 0 success, 1 the run failed, 2 wrong usage.\n");
}

void PrintToolHelp(FILE* out) {
    std::fprintf(out,
                 "usage: dremko COMMAND [arguments] [options]\n\nDremkoCodec, full-band speech and audio "
                 "coding at 48 to 64 kbit/s per channel.\n\ncommands:\n");
    for (const CommandInfo& c : kCommands) std::fprintf(out, "  %-10s %s\n", c.name, c.summary);
    std::fprintf(out,
                 "\n'dremko COMMAND --help' tells more; 'dremko --version' gives the version;\n'man dremko' has "
                 "the whole story.\n");
}
