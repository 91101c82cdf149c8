// One RTP stream out of the UDP datagrams of a capture: which stream, its
// packets in sequence order, and the losses, duplicates and reordering.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "datagram.h"
#include "payload_format.h"

namespace rtp {

struct CapturedPacket {
    std::vector<uint8_t> payload;
    int64_t lost_before = 0;  // packets missing just before this one
    uint8_t payload_type = 0;
    bool has_audio_level = false;
    bool voice = false;
    uint8_t minus_dbov = 127;
};

struct StreamChoice {
    bool by_ssrc = false;
    uint32_t ssrc = 0;
    int port = 0;  // source or destination port; 0: any
    int level_id = 1;
};

struct StreamReport {
    uint32_t ssrc = 0;
    Endpoint source, destination;
    int64_t datagrams = 0;  // datagrams of this stream in the capture
    int64_t packets = 0;    // distinct packets handed on
    int64_t lost = 0;
    int64_t gaps = 0;
    int64_t duplicates = 0;
    int64_t reordered = 0;  // arrived after a newer packet, yet in time to be used
    int64_t malformed = 0;  // of the chosen stream's endpoints, not valid RTP
    std::vector<std::string> others;  // the streams not chosen, one line each
};

// Collects one stream from the datagrams in capture order. With no choice
// given, a capture with one RTP stream gives it and one with several is an
// error that lists them. Packets are put in sequence order (the whole
// capture is the jitter buffer), duplicates dropped, losses counted.
bool CollectStream(const std::vector<Datagram>& datagrams, const StreamChoice& choice,
                   std::vector<CapturedPacket>* packets, StreamReport* report, std::string* error);

// One stream of a capture, ready for the decoder.
struct LoadedStream {
    PayloadConfig config;
    bool config_found = false;  // from the packets themselves, not given
    std::vector<CapturedPacket> packets;
    StreamReport report;
    int64_t wrong_length = 0;  // packets dropped for a length the configuration does not give
};

// Collects the chosen stream, configures it (as `given`, or else as its
// packets show: InferConfig on the first run of consecutive packets of its
// most common length), and drops the packets of other lengths, each counted
// as lost before the next one kept.
bool LoadStream(const std::vector<Datagram>& datagrams, const StreamChoice& choice, const PayloadConfig* given,
                LoadedStream* stream, std::string* error);

}  // namespace rtp
