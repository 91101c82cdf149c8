// Reading capture files (pcap or pcapng, through libpcap): the UDP datagrams
// of every frame, over IPv4 or IPv6, on the link types of datagram.h.
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "datagram.h"

namespace rtp {

struct Capture {
    std::vector<std::vector<uint8_t>> frames;  // the frames that carry a whole UDP datagram
    std::vector<Datagram> datagrams;           // one per frame, pointing into it
    int64_t records = 0;                       // frames in the file
    int64_t fragments = 0;                     // IP fragments, which are not put together
    int64_t damaged = 0;                       // frames cut short or with lengths past their end
    std::string cut_short;                     // when the file ends inside a record: libpcap's words
};

// Reads the whole capture from `file` and closes it. False, with the reason,
// when libpcap cannot read it or its link type is none of those known.
bool ReadCapture(FILE* file, Capture* capture, std::string* error);

}  // namespace rtp
