// Writing an RTP stream as a capture file: pcap format with microsecond
// timestamps, little-endian whatever the host, one raw IPv4 or IPv6 frame
// per packet (link type 101), which Wireshark and libpcap read.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "datagram.h"

namespace rtp {

// Where the packets go and how the RTP headers are numbered.
struct CaptureSender {
    Endpoint source, destination;
    uint32_t ssrc = 0;
    uint16_t first_sequence = 0;
    uint32_t first_timestamp = 0;
    uint8_t payload_type = 0;
    int level_id = 0;  // header extension element for the speech flag and level; 0: none
    int64_t start_microseconds = 0;
};

// The file header.
void AppendCaptureHeader(std::vector<uint8_t>* out);

// The RTP packet of the stream's packet number `index` (from 0), carrying
// `payload` with the encoder's speech flag and level.
void BuildStreamPacket(const CaptureSender& sender, int64_t index, const uint8_t* payload, size_t size, bool speech,
                       int level, std::vector<uint8_t>* out);

// That packet's record, sent at its place in time.
void AppendPacketRecord(const CaptureSender& sender, int64_t index, const uint8_t* payload, size_t size, bool speech,
                        int level, std::vector<uint8_t>* out);

}  // namespace rtp
