// A receiver's view of RTP sequence numbers: which packets to hand to the
// decoder, and how many packets were lost just before each one.
#pragma once
#include <cstdint>

namespace rtp {

enum class Arrival {
    kFirst,      // the first packet, or the first after the sender restarted
    kNext,       // newer than any before it; `lost` packets are missing before it
    kDuplicate,  // a packet already received
    kLate,       // older than one already decoded (it was counted lost), or far off: drop it
};

struct SequenceTracker {
    bool started = false;
    int64_t highest = 0;         // extended sequence number of the newest packet taken
    uint64_t recent = 0;         // bit k: packet highest - k was received
    bool restart_pending = false;  // a far-off packet arrived: its successor begins a new run
    int64_t restart_from = 0;
    // Counts since the first packet.
    int64_t taken = 0;
    int64_t lost = 0;
    int64_t gaps = 0;
    int64_t duplicates = 0;
    int64_t late = 0;
};

struct ArrivalResult {
    Arrival kind;
    int64_t lost;      // packets missing just before this one (kNext only)
    int64_t extended;  // the sequence number with its wrap-arounds counted
};

// The extended sequence number nearest to `reference` whose low 16 bits are `sequence`.
int64_t ExtendSequence(uint16_t sequence, int64_t reference);

// Takes one arriving packet. A packet far off the newest (more than two
// seconds of audio behind it or a minute ahead) that is followed by its
// successor starts a new run, as after a sender restart, with no loss.
ArrivalResult TrackArrival(SequenceTracker* tracker, uint16_t sequence);

}  // namespace rtp
