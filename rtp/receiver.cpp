#include "receiver.h"

namespace rtp {

Reception Receive(Receiver* receiver, const uint8_t* data, size_t size) {
    Reception r;
    r.error = Parse(data, size, receiver->level_id, &r.packet);
    if (r.error != ParseError::kNone) {
        r.verdict = Verdict::kMalformed;
        r.dropped = ++receiver->malformed;
        return r;
    }
    // Checked before the sequence number, so that a packet of the wrong
    // length shows as a loss rather than advancing the stream.
    if (receiver->payload_bytes && r.packet.payload_size != receiver->payload_bytes) {
        r.verdict = Verdict::kWrongLength;
        r.dropped = ++receiver->wrong_length;
        return r;
    }
    const ArrivalResult arrival = TrackArrival(&receiver->sequence, r.packet.sequence);
    switch (arrival.kind) {
        case Arrival::kFirst:
        case Arrival::kNext:
            r.lost_before = arrival.lost;
            r.starts_run = arrival.kind == Arrival::kFirst;
            break;
        case Arrival::kDuplicate:
            r.verdict = Verdict::kDuplicate;
            r.dropped = receiver->sequence.duplicates;
            break;
        case Arrival::kLate:
            r.verdict = Verdict::kLate;
            r.dropped = receiver->sequence.late;
            break;
    }
    return r;
}

const char* DropText(Verdict verdict) {
    switch (verdict) {
        case Verdict::kPass: return "nothing";
        case Verdict::kMalformed: return "malformed RTP";
        case Verdict::kWrongLength: return "a packet of the wrong length";
        case Verdict::kDuplicate: return "a duplicate";
        case Verdict::kLate: return "a late packet";
    }
    return "a packet";
}

}  // namespace rtp
