#include "payload_format.h"

#include <algorithm>

#include "interface/packet_layout.h"

namespace rtp {

namespace {

constexpr int kMinMainBytes = EncoderMainBytes(0);
// The encoder's level is 1 dB per unit of level / 2; a full-scale square
// wave measures 94 (a full-scale sine 91, 3 dB below it), so 0 dBov is 94.
constexpr int kFullScaleLevel = 94;
constexpr uint8_t kSilenceDbov = 127;

bool ParseInt(const std::string& text, long min, long max, long* value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos) return false;
    *value = std::stol(text);
    return *value >= min && *value <= max;
}

// How many of the copies in `packets` (consecutive packets) match the main
// frames they repeat; -1 when one does not.
int CheckCopies(const std::vector<std::vector<uint8_t>>& packets, const PayloadConfig& c) {
    const size_t part = PayloadBytes(c) / c.channels;
    const size_t main = part - kCopyBytes * CopyCount(c.copy_mask);
    int matched = 0;
    for (size_t t = 0; t < packets.size(); ++t)
        for (int ch = 0; ch < c.channels; ++ch) {
            size_t at = ch * part + main;
            for (int k = 0; k < kMaxCopies; ++k) {
                if (!(c.copy_mask >> k & 1)) continue;
                const size_t back = 2 * (k + 1);
                if (t >= back) {
                    const uint8_t* expected = packets[t - back].data() + ch * part;
                    if (!std::equal(expected, expected + kCopyBytes, packets[t].data() + at)) return -1;
                    ++matched;
                }
                at += kCopyBytes;
            }
        }
    return matched;
}

}  // namespace

int ChannelBitRate(const PayloadConfig& c) { return c.channels == 2 ? c.bit_rate >> 1 : c.bit_rate; }

size_t PayloadBytes(const PayloadConfig& c) {
    const int32_t part = PartBytes(DecoderMainBytes(static_cast<uint32_t>(ChannelBitRate(c))), CopyCount(c.copy_mask));
    return static_cast<size_t>(PacketBytes(part, c.channels == 2));
}

bool PayloadLengthPossible(size_t bytes) {
    const size_t mono_max = PartBytes(kCoreFrameBytes, kMaxCopies);
    return (bytes >= kMinMainBytes && bytes <= mono_max) || (bytes % 2 == 0 && bytes / 2 >= kMinMainBytes && bytes / 2 <= mono_max);
}

bool CheckConfig(const PayloadConfig& c, std::string* error) {
    if (c.channels != 1 && c.channels != 2) {
        *error = "channels must be 1 or 2";
        return false;
    }
    const int rate = ChannelBitRate(c);
    if (rate < DREMKO_MIN_CHANNEL_RATE || rate > DREMKO_MAX_CHANNEL_RATE) {
        *error = "bit rate " + std::to_string(c.bit_rate) + " gives " + std::to_string(rate) +
                 " bit/s per channel, outside 48000 ... 64000";
        return false;
    }
    if (c.copy_mask > 15) {
        *error = "copy mask " + std::to_string(c.copy_mask) + " is outside 0 ... 15";
        return false;
    }
    return true;
}

std::string FormatFmtp(const PayloadConfig& c) {
    return "bitrate=" + std::to_string(c.bit_rate) + ";copy-mask=" + std::to_string(c.copy_mask) +
           ";stereo=" + (c.channels == 2 ? "1" : "0");
}

bool SetFmtpParameter(const std::string& name, const std::string& value, PayloadConfig* c) {
    long v = 0;
    if (name == "bitrate") {
        if (!ParseInt(value, 1, 1000000, &v)) return false;
        c->bit_rate = static_cast<int>(v);
    } else if (name == "copy-mask") {
        if (!ParseInt(value, 0, 15, &v)) return false;
        c->copy_mask = static_cast<uint16_t>(v);
    } else if (name == "stereo") {
        if (!ParseInt(value, 0, 1, &v)) return false;
        c->channels = v ? 2 : 1;
    }
    return true;
}

bool ParseFmtp(const std::string& text, PayloadConfig* config, std::string* error) {
    *config = PayloadConfig{};
    std::vector<std::string> seen;
    for (size_t at = 0; at <= text.size();) {
        const size_t end = std::min(text.find(';', at), text.size());
        const std::string item = text.substr(at, end - at);
        const size_t equals = item.find('=');
        const std::string name = item.substr(0, equals);
        at = end + 1;
        if (name != "bitrate" && name != "copy-mask" && name != "stereo") {
            *error = "unknown parameter \"" + item + "\" (bitrate, copy-mask and stereo are known)";
            return false;
        }
        if (std::find(seen.begin(), seen.end(), name) != seen.end() || equals == std::string::npos ||
            !SetFmtpParameter(name, item.substr(equals + 1), config)) {
            *error = "bad or repeated parameter \"" + item + "\"";
            return false;
        }
        seen.push_back(name);
    }
    if (seen.size() != 3) {
        *error = "bitrate, copy-mask and stereo are all needed";
        return false;
    }
    return CheckConfig(*config, error);
}

bool InferConfig(const std::vector<std::vector<uint8_t>>& packets, PayloadConfig* config, std::string* error) {
    if (packets.empty()) {
        *error = "no packets to find the configuration from";
        return false;
    }
    const size_t bytes = packets[0].size();
    for (const auto& p : packets)
        if (p.size() != bytes) {
            *error = "packets of " + std::to_string(bytes) + " and " + std::to_string(p.size()) + " bytes in one stream";
            return false;
        }
    int best = -1;
    // Ties (packets too few or too alike to tell) go to fewer copies, then mono.
    for (int copies = 0; copies <= kMaxCopies; ++copies)
        for (int channels = 1; channels <= 2; ++channels)
            for (int main = kMinMainBytes; main <= kCoreFrameBytes; ++main) {
                const PayloadConfig c{channels, main * 400 * channels, CopyMask(copies)};
                if (PayloadBytes(c) != bytes) continue;
                const int matched = CheckCopies(packets, c);
                if (matched > best) {
                    best = matched;
                    *config = c;
                }
            }
    if (best < 0) *error = "packets of " + std::to_string(bytes) + " bytes fit no configuration";
    return best >= 0;
}

uint8_t LevelToMinusDbov(int level) {
    if (level <= 0) return kSilenceDbov;
    return static_cast<uint8_t>(std::clamp(kFullScaleLevel - level / 2, 0, 126));
}

int MinusDbovToLevel(uint8_t minus_dbov) {
    if (minus_dbov >= kSilenceDbov) return 0;
    return 2 * std::clamp(kFullScaleLevel - minus_dbov, 0, 127);
}

}  // namespace rtp
