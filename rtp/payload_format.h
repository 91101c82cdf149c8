// The RTP payload format of DremkoCodec (docs/rtp.md): what a receiver must
// know to decode, how it travels in SDP and caps, and the audio level.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "dremko.h"

namespace rtp {

constexpr int kClockRate = DREMKO_SAMPLE_RATE;
constexpr uint32_t kTimestampStep = DREMKO_FRAME_SAMPLES;  // one 20 ms frame per packet
constexpr const char* kEncodingName = "DREMKO";
constexpr const char* kAudioLevelUri = "urn:ietf:params:rtp-hdrext:ssrc-audio-level";

struct PayloadConfig {
    int channels = 1;
    int bit_rate = 64000;    // total over the channels, bit/s, as the sender's encoder was given it
    uint16_t copy_mask = 0;  // bit k: packets carry the copy of frame t - 2(k + 1)
};

// The per-channel rate the decoder is told: the encoder gives each channel half in stereo.
int ChannelBitRate(const PayloadConfig& config);
// Bytes of every packet of a stream so configured.
size_t PayloadBytes(const PayloadConfig& config);
// Whether any configuration at all gives packets of this length.
bool PayloadLengthPossible(size_t bytes);
// Checks channels, rate and mask; on a mistake says which in `error`.
bool CheckConfig(const PayloadConfig& config, std::string* error);

// The fmtp parameters: "bitrate=128000;copy-mask=3;stereo=1".
std::string FormatFmtp(const PayloadConfig& config);
// Reads one named fmtp parameter (bitrate, copy-mask, stereo) into `config`;
// unknown names are ignored, bad values give false.
bool SetFmtpParameter(const std::string& name, const std::string& value, PayloadConfig* config);

// Reads a whole fmtp value, as FormatFmtp writes it: every parameter named
// once, none unknown, and the configuration checked; false with the reason.
bool ParseFmtp(const std::string& text, PayloadConfig* config, std::string* error);

// Finds the configuration from consecutive packets of a stream: their
// common length, and the copies, which repeat the first bytes of the main
// frames 2, 4, 6 and 8 packets earlier. Among configurations the packets
// fit, the one whose copies all check out and that has the most checked
// copies wins. False when the packets fit none.
bool InferConfig(const std::vector<std::vector<uint8_t>>& first_packets, PayloadConfig* config, std::string* error);

// The encoder's level (0 ... 254, even, 1 dB per step of 2) as RFC 6464's
// -dBov (0 ... 127, 127 for silence), and back.
uint8_t LevelToMinusDbov(int level);
int MinusDbovToLevel(uint8_t minus_dbov);

}  // namespace rtp
