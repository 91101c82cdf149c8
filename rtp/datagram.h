// UDP datagrams inside captured link-layer frames (Ethernet, Linux cooked,
// raw IP, BSD loopback), over IPv4 or IPv6, and the frames that carry them
// when a capture is written.
#pragma once
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace rtp {

// Link-layer types of capture files that are read.
constexpr int kLinkNull = 0;
constexpr int kLinkEthernet = 1;
constexpr int kLinkRaw = 101;
constexpr int kLinkLinuxCooked = 113;
constexpr int kLinkIpv4 = 228;
constexpr int kLinkIpv6 = 229;
constexpr int kLinkLinuxCooked2 = 276;

struct Endpoint {
    uint8_t address[16] = {};  // IPv4 in the first four bytes
    bool ipv6 = false;
    uint16_t port = 0;
};
bool operator==(const Endpoint& a, const Endpoint& b);
std::string EndpointText(const Endpoint& e);

struct Datagram {
    Endpoint source, destination;
    const uint8_t* payload = nullptr;  // inside the frame
    size_t payload_size = 0;
};

enum class FrameResult { kUdp, kNotUdp, kFragment, kDamaged };

// Finds the UDP datagram in one captured frame of the given link type.
FrameResult ParseFrame(int link_type, const uint8_t* frame, size_t size, Datagram* datagram);

// A raw IPv4 (or IPv6) frame carrying `payload` in UDP between the two
// endpoints, with correct lengths and checksums (link type kLinkRaw).
void BuildIpUdpFrame(const Endpoint& source, const Endpoint& destination, const uint8_t* payload, size_t size,
                     std::vector<uint8_t>* frame);

}  // namespace rtp
