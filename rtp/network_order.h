// Fields in network byte order (most significant byte first), as RTP, UDP
// and IP write them whatever the host's order.
#pragma once
#include <cstdint>
#include <vector>

namespace rtp {

inline uint32_t ReadNetworkOrder(const uint8_t* p, int bytes) {
    uint32_t value = 0;
    for (int i = 0; i < bytes; ++i) value = (value << 8) | p[i];
    return value;
}

inline void AppendNetworkOrder(std::vector<uint8_t>* out, uint32_t value, int bytes) {
    for (int i = bytes - 1; i >= 0; --i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace rtp
