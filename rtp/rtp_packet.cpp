#include "rtp_packet.h"

#include "network_order.h"

namespace rtp {

namespace {

constexpr uint16_t kOneByteProfile = 0xBEDE;

// Walks the elements of a one-byte extension block for the audio level.
void FindAudioLevel(const uint8_t* block, size_t size, int level_id, Packet* packet) {
    size_t at = 0;
    while (at < size) {
        const int id = block[at] >> 4;
        if (id == 0) {  // padding byte
            ++at;
            continue;
        }
        if (id == 15) return;  // reserved: stop reading the block
        const size_t length = (block[at] & 0x0f) + 1u;
        if (size - at - 1 < length) return;
        if (id == level_id && length == 1) {
            packet->has_audio_level = true;
            packet->voice = (block[at + 1] & 0x80) != 0;
            packet->minus_dbov = block[at + 1] & 0x7f;
        }
        at += 1 + length;
    }
}

}  // namespace

const char* ParseErrorText(ParseError error) {
    switch (error) {
        case ParseError::kNone: return "valid";
        case ParseError::kTooShort: return "shorter than an RTP header";
        case ParseError::kBadVersion: return "not RTP version 2";
        case ParseError::kCsrcPastEnd: return "CSRC list runs past the end";
        case ParseError::kExtensionPastEnd: return "header extension runs past the end";
        case ParseError::kPaddingPastEnd: return "padding runs past the payload";
    }
    return "unknown";
}

ParseError Parse(const uint8_t* data, size_t size, int level_id, Packet* packet) {
    *packet = Packet{};
    if (size < kHeaderBytes) return ParseError::kTooShort;
    if (data[0] >> 6 != 2) return ParseError::kBadVersion;
    const bool padding = (data[0] & 0x20) != 0;
    const bool extension = (data[0] & 0x10) != 0;
    const size_t csrc_count = data[0] & 0x0f;
    packet->marker = (data[1] & 0x80) != 0;
    packet->payload_type = data[1] & 0x7f;
    packet->sequence = static_cast<uint16_t>(ReadNetworkOrder(data + 2, 2));
    packet->timestamp = ReadNetworkOrder(data + 4, 4);
    packet->ssrc = ReadNetworkOrder(data + 8, 4);
    size_t at = kHeaderBytes + 4 * csrc_count;
    if (at > size) return ParseError::kCsrcPastEnd;
    if (extension) {
        if (size - at < 4) return ParseError::kExtensionPastEnd;
        const uint32_t profile = ReadNetworkOrder(data + at, 2);
        const size_t words = ReadNetworkOrder(data + at + 2, 2);
        at += 4;
        if ((size - at) / 4 < words) return ParseError::kExtensionPastEnd;
        if (profile == kOneByteProfile && level_id >= 1 && level_id <= 14)
            FindAudioLevel(data + at, 4 * words, level_id, packet);
        at += 4 * words;
    }
    size_t end = size;
    if (padding) {
        const size_t count = data[size - 1];
        if (count == 0 || count > size - at) return ParseError::kPaddingPastEnd;
        end -= count;
    }
    packet->payload = data + at;
    packet->payload_size = end - at;
    return ParseError::kNone;
}

void Build(const Packet& packet, int level_id, std::vector<uint8_t>* out) {
    const bool level = packet.has_audio_level && level_id >= 1 && level_id <= 14;
    out->push_back(static_cast<uint8_t>(0x80 | (level ? 0x10 : 0)));
    out->push_back(static_cast<uint8_t>((packet.marker ? 0x80 : 0) | (packet.payload_type & 0x7f)));
    AppendNetworkOrder(out, packet.sequence, 2);
    AppendNetworkOrder(out, packet.timestamp, 4);
    AppendNetworkOrder(out, packet.ssrc, 4);
    if (level) {
        // One element of one byte, padded to a whole word.
        AppendNetworkOrder(out, kOneByteProfile, 2);
        AppendNetworkOrder(out, 1, 2);
        out->push_back(static_cast<uint8_t>(level_id << 4));
        out->push_back(static_cast<uint8_t>((packet.voice ? 0x80 : 0) | (packet.minus_dbov & 0x7f)));
        AppendNetworkOrder(out, 0, 2);
    }
    out->insert(out->end(), packet.payload, packet.payload + packet.payload_size);
}

}  // namespace rtp
