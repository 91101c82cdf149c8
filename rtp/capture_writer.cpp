#include "capture_writer.h"

#include "payload_format.h"
#include "rtp_packet.h"

namespace rtp {

namespace {

constexpr uint32_t kPcapMagic = 0xa1b2c3d4;  // microsecond timestamps
constexpr uint32_t kSnapLength = 65535;
constexpr int64_t kFrameMicroseconds = int64_t{kTimestampStep} * 1000000 / kClockRate;

void PutLittleEndian(std::vector<uint8_t>* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace

void AppendCaptureHeader(std::vector<uint8_t>* out) {
    PutLittleEndian(out, kPcapMagic, 4);
    PutLittleEndian(out, 2, 2);  // format version 2.4
    PutLittleEndian(out, 4, 2);
    PutLittleEndian(out, 0, 4);  // time zone and accuracy, unused
    PutLittleEndian(out, 0, 4);
    PutLittleEndian(out, kSnapLength, 4);
    PutLittleEndian(out, kLinkRaw, 4);
}

void BuildStreamPacket(const CaptureSender& sender, int64_t index, const uint8_t* payload, size_t size, bool speech,
                       int level, std::vector<uint8_t>* out) {
    Packet packet;
    packet.payload_type = sender.payload_type;
    packet.sequence = static_cast<uint16_t>(sender.first_sequence + index);
    packet.timestamp = static_cast<uint32_t>(sender.first_timestamp + kTimestampStep * static_cast<uint64_t>(index));
    packet.ssrc = sender.ssrc;
    packet.has_audio_level = true;
    packet.voice = speech;
    packet.minus_dbov = LevelToMinusDbov(level);
    packet.payload = payload;
    packet.payload_size = size;
    Build(packet, sender.level_id, out);
}

void AppendPacketRecord(const CaptureSender& sender, int64_t index, const uint8_t* payload, size_t size, bool speech,
                        int level, std::vector<uint8_t>* out) {
    std::vector<uint8_t> rtp, frame;
    BuildStreamPacket(sender, index, payload, size, speech, level, &rtp);
    BuildIpUdpFrame(sender.source, sender.destination, rtp.data(), rtp.size(), &frame);
    const int64_t time = sender.start_microseconds + index * kFrameMicroseconds;
    PutLittleEndian(out, static_cast<uint32_t>(time / 1000000), 4);
    PutLittleEndian(out, static_cast<uint32_t>(time % 1000000), 4);
    PutLittleEndian(out, static_cast<uint32_t>(frame.size()), 4);
    PutLittleEndian(out, static_cast<uint32_t>(frame.size()), 4);
    out->insert(out->end(), frame.begin(), frame.end());
}

}  // namespace rtp
