// What a receiver does with each arriving RTP packet before the decoder sees
// it: malformed RTP, payloads of a length the stream's configuration does not
// give, duplicates and packets arriving after newer ones are dropped and
// counted; the rest go on with the number of packets lost just before them.
#pragma once
#include <cstddef>
#include <cstdint>

#include "rtp_packet.h"
#include "sequence.h"

namespace rtp {

enum class Verdict { kPass, kMalformed, kWrongLength, kDuplicate, kLate };

struct Receiver {
    size_t payload_bytes = 0;  // of the stream's configuration; 0 takes any length
    int level_id = 0;          // header extension element of the audio level, 0: none
    SequenceTracker sequence;
    int64_t malformed = 0;
    int64_t wrong_length = 0;
};

struct Reception {
    Verdict verdict = Verdict::kPass;
    ParseError error = ParseError::kNone;  // why a packet is malformed
    Packet packet;                         // its payload points into the bytes received
    int64_t lost_before = 0;               // packets missing just before it (kPass)
    bool starts_run = false;               // the first packet, or the first after a restart (kPass)
    int64_t dropped = 0;                   // drops of this verdict so far
};

Reception Receive(Receiver* receiver, const uint8_t* data, size_t size);

// What was dropped, in a few words ("malformed RTP", "a duplicate", ...).
const char* DropText(Verdict verdict);

}  // namespace rtp
