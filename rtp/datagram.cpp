#include "datagram.h"

#include <cstdio>

#include "network_order.h"

namespace rtp {

namespace {

constexpr uint16_t kEtherIpv4 = 0x0800;
constexpr uint16_t kEtherIpv6 = 0x86DD;
constexpr uint16_t kEtherVlan = 0x8100;
constexpr uint16_t kEtherQinQ = 0x88A8;
constexpr uint8_t kProtocolUdp = 17;
constexpr size_t kUdpHeaderBytes = 8;

FrameResult ParseUdp(const uint8_t* p, size_t size, Datagram* d) {
    if (size < kUdpHeaderBytes) return FrameResult::kDamaged;
    const size_t length = ReadNetworkOrder(p + 4, 2);
    // A length of 0 comes from captures of oversized (jumbo IPv6) datagrams: take the rest.
    if (length != 0 && (length < kUdpHeaderBytes || length > size)) return FrameResult::kDamaged;
    d->source.port = static_cast<uint16_t>(ReadNetworkOrder(p, 2));
    d->destination.port = static_cast<uint16_t>(ReadNetworkOrder(p + 2, 2));
    d->payload = p + kUdpHeaderBytes;
    d->payload_size = (length == 0 ? size : length) - kUdpHeaderBytes;
    return FrameResult::kUdp;
}

FrameResult ParseIpv4(const uint8_t* p, size_t size, Datagram* d) {
    if (size < 20) return FrameResult::kDamaged;
    const size_t header = (p[0] & 0x0f) * 4u;
    const size_t total = ReadNetworkOrder(p + 2, 2);
    if (header < 20 || total < header || total > size) return FrameResult::kDamaged;
    if (p[9] != kProtocolUdp) return FrameResult::kNotUdp;
    if ((ReadNetworkOrder(p + 6, 2) & 0x3fff) != 0) return FrameResult::kFragment;  // more fragments, or an offset
    d->source = d->destination = Endpoint{};
    std::copy(p + 12, p + 16, d->source.address);
    std::copy(p + 16, p + 20, d->destination.address);
    return ParseUdp(p + header, total - header, d);
}

FrameResult ParseIpv6(const uint8_t* p, size_t size, Datagram* d) {
    if (size < 40) return FrameResult::kDamaged;
    const size_t length = ReadNetworkOrder(p + 4, 2);
    if (length > size - 40) return FrameResult::kDamaged;
    d->source = d->destination = Endpoint{};
    d->source.ipv6 = d->destination.ipv6 = true;
    std::copy(p + 8, p + 24, d->source.address);
    std::copy(p + 24, p + 40, d->destination.address);
    uint8_t next = p[6];
    size_t at = 40;
    const size_t end = 40 + (length == 0 ? size - 40 : length);
    // Hop-by-hop, routing and destination options headers are skipped; a
    // fragment header means the datagram is in pieces.
    while (next == 0 || next == 43 || next == 60 || next == 44) {
        if (next == 44) return FrameResult::kFragment;
        if (end - at < 8) return FrameResult::kDamaged;
        const size_t bytes = (p[at + 1] + 1u) * 8u;
        if (end - at < bytes) return FrameResult::kDamaged;
        next = p[at];
        at += bytes;
    }
    if (next != kProtocolUdp) return FrameResult::kNotUdp;
    return ParseUdp(p + at, end - at, d);
}

FrameResult ParseIp(uint32_t ether_type, const uint8_t* p, size_t size, Datagram* d) {
    if (ether_type == kEtherIpv4) return ParseIpv4(p, size, d);
    if (ether_type == kEtherIpv6) return ParseIpv6(p, size, d);
    return FrameResult::kNotUdp;
}

uint16_t Checksum(const std::vector<uint8_t>& bytes, size_t from, uint32_t sum) {
    for (size_t i = from; i < bytes.size(); i += 2)
        sum += (bytes[i] << 8) | (i + 1 < bytes.size() ? bytes[i + 1] : 0);
    while (sum >> 16) sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<uint16_t>(~sum);
}

}  // namespace

bool operator==(const Endpoint& a, const Endpoint& b) {
    return a.ipv6 == b.ipv6 && a.port == b.port && std::equal(a.address, a.address + 16, b.address);
}

std::string EndpointText(const Endpoint& e) {
    char text[64];
    if (!e.ipv6) {
        std::snprintf(text, sizeof text, "%u.%u.%u.%u:%u", e.address[0], e.address[1], e.address[2], e.address[3],
                      e.port);
        return text;
    }
    std::string out = "[";
    for (int i = 0; i < 16; i += 2) {
        std::snprintf(text, sizeof text, "%s%x", i ? ":" : "", (e.address[i] << 8) | e.address[i + 1]);
        out += text;
    }
    return out + "]:" + std::to_string(e.port);
}

FrameResult ParseFrame(int link_type, const uint8_t* p, size_t size, Datagram* d) {
    switch (link_type) {
        case kLinkRaw:
            if (size < 1) return FrameResult::kDamaged;
            return ParseIp(p[0] >> 4 == 6 ? kEtherIpv6 : kEtherIpv4, p, size, d);
        case kLinkIpv4: return ParseIpv4(p, size, d);
        case kLinkIpv6: return ParseIpv6(p, size, d);
        case kLinkNull: {
            if (size < 4) return FrameResult::kDamaged;
            // The address family in the capturing host's byte order: 2 is IPv4, larger values IPv6.
            const uint32_t family = p[0] | p[3];
            return ParseIp(family == 2 ? kEtherIpv4 : kEtherIpv6, p + 4, size - 4, d);
        }
        case kLinkLinuxCooked:
            if (size < 16) return FrameResult::kDamaged;
            return ParseIp(ReadNetworkOrder(p + 14, 2), p + 16, size - 16, d);
        case kLinkLinuxCooked2:
            if (size < 20) return FrameResult::kDamaged;
            return ParseIp(ReadNetworkOrder(p, 2), p + 20, size - 20, d);
        case kLinkEthernet: {
            size_t at = 12;
            for (;;) {
                if (size < at + 2) return FrameResult::kDamaged;
                const uint32_t type = ReadNetworkOrder(p + at, 2);
                if (type != kEtherVlan && type != kEtherQinQ) return ParseIp(type, p + at + 2, size - at - 2, d);
                at += 4;
            }
        }
    }
    return FrameResult::kNotUdp;
}

void BuildIpUdpFrame(const Endpoint& src, const Endpoint& dst, const uint8_t* payload, size_t size,
                     std::vector<uint8_t>* out) {
    out->clear();
    const size_t udp_length = kUdpHeaderBytes + size;
    // The UDP checksum covers a pseudo-header of both addresses, the protocol and the length.
    const int address_bytes = src.ipv6 ? 16 : 4;
    uint32_t pseudo = kProtocolUdp + static_cast<uint32_t>(udp_length);
    for (int i = 0; i < address_bytes; i += 2)
        pseudo += ((src.address[i] << 8) | src.address[i + 1]) + ((dst.address[i] << 8) | dst.address[i + 1]);
    if (src.ipv6) {
        AppendNetworkOrder(out, 0x60000000, 4);
        AppendNetworkOrder(out, static_cast<uint32_t>(udp_length), 2);
        out->push_back(kProtocolUdp);
        out->push_back(64);
        out->insert(out->end(), src.address, src.address + 16);
        out->insert(out->end(), dst.address, dst.address + 16);
    } else {
        AppendNetworkOrder(out, 0x4500, 2);
        AppendNetworkOrder(out, static_cast<uint32_t>(20 + udp_length), 2);
        AppendNetworkOrder(out, 0, 2);
        AppendNetworkOrder(out, 0x4000, 2);  // do not fragment
        out->push_back(64);
        out->push_back(kProtocolUdp);
        AppendNetworkOrder(out, 0, 2);
        out->insert(out->end(), src.address, src.address + 4);
        out->insert(out->end(), dst.address, dst.address + 4);
        const uint16_t sum = Checksum(*out, 0, 0);
        (*out)[10] = static_cast<uint8_t>(sum >> 8);
        (*out)[11] = static_cast<uint8_t>(sum);
    }
    const size_t udp = out->size();
    AppendNetworkOrder(out, src.port, 2);
    AppendNetworkOrder(out, dst.port, 2);
    AppendNetworkOrder(out, static_cast<uint32_t>(udp_length), 2);
    AppendNetworkOrder(out, 0, 2);
    out->insert(out->end(), payload, payload + size);
    uint16_t sum = Checksum(*out, udp, pseudo);
    if (sum == 0) sum = 0xffff;  // 0 would mean "no checksum"
    (*out)[udp + 6] = static_cast<uint8_t>(sum >> 8);
    (*out)[udp + 7] = static_cast<uint8_t>(sum);
}

}  // namespace rtp
