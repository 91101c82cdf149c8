// RTP packets as the network carries them: the fixed header, CSRCs, the
// one-byte header extension (used for the speech flag and level) and padding.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

namespace rtp {

constexpr size_t kHeaderBytes = 12;

enum class ParseError {
    kNone,
    kTooShort,            // fewer bytes than the fixed header
    kBadVersion,          // not RTP version 2
    kCsrcPastEnd,         // the CSRC count names more entries than there are bytes
    kExtensionPastEnd,    // the header extension's length runs past the end
    kPaddingPastEnd,      // the padding count is 0 or covers more than the payload
};

// One line for each error, for warnings and the tool's report.
const char* ParseErrorText(ParseError error);

struct Packet {
    bool marker = false;
    uint8_t payload_type = 0;
    uint16_t sequence = 0;
    uint32_t timestamp = 0;
    uint32_t ssrc = 0;
    // The speech flag and level from the header extension, when present.
    bool has_audio_level = false;
    bool voice = false;
    uint8_t minus_dbov = 127;
    const uint8_t* payload = nullptr;  // inside the parsed bytes
    size_t payload_size = 0;
};

// Splits `size` bytes into header and payload. `level_id` is the one-byte
// extension element (1 ... 14) that carries the audio level, 0 for none;
// other elements and extension formats are skipped.
ParseError Parse(const uint8_t* data, size_t size, int level_id, Packet* packet);

// Appends the packet (header, the audio level element when `level_id` is
// 1 ... 14 and the packet has one, then the payload) to `out`.
void Build(const Packet& packet, int level_id, std::vector<uint8_t>* out);

}  // namespace rtp
