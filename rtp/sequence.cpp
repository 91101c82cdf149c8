#include "sequence.h"

namespace rtp {

namespace {

// Packets further back than this are not late but a new run (RFC 3550's
// misorder limit); 100 packets are two seconds of audio.
constexpr int64_t kMaxMisorder = 100;
// Nor are packets further ahead than this a gap (RFC 3550's dropout limit):
// a minute of audio lost at once is a restarted sender or a stray packet.
constexpr int64_t kMaxDropout = 3000;
constexpr int64_t kRecentPackets = 64;

bool FarOff(int64_t behind) { return behind > kMaxMisorder || -behind > kMaxDropout; }

}  // namespace

int64_t ExtendSequence(uint16_t sequence, int64_t reference) {
    const int64_t delta = static_cast<int16_t>(static_cast<uint16_t>(sequence - static_cast<uint16_t>(reference)));
    return reference + delta;
}

ArrivalResult TrackArrival(SequenceTracker* t, uint16_t sequence) {
    const int64_t extended = t->started ? ExtendSequence(sequence, t->highest) : sequence;
    const int64_t behind = t->highest - extended;
    const bool far_off = t->started && FarOff(behind);
    const bool restart = far_off && t->restart_pending && extended == t->restart_from + 1;
    if (!t->started || restart) {
        t->started = true;
        t->highest = extended;
        t->recent = 1;
        t->restart_pending = false;
        ++t->taken;
        return {Arrival::kFirst, 0, extended};
    }
    if (far_off) {
        t->restart_pending = true;
        t->restart_from = extended;
        ++t->late;
        return {Arrival::kLate, 0, extended};
    }
    if (behind < 0) {
        const int64_t lost = -behind - 1;
        t->recent = -behind >= kRecentPackets ? 1 : (t->recent << -behind) | 1;
        t->highest = extended;
        t->restart_pending = false;
        ++t->taken;
        t->lost += lost;
        t->gaps += lost > 0;
        return {Arrival::kNext, lost, extended};
    }
    if (behind < kRecentPackets && (t->recent >> behind) & 1) {
        ++t->duplicates;
        return {Arrival::kDuplicate, 0, extended};
    }
    if (behind < kRecentPackets) t->recent |= uint64_t{1} << behind;
    ++t->late;
    return {Arrival::kLate, 0, extended};
}

}  // namespace rtp
