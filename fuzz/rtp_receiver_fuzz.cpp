// RTP receiver fuzz target: what the depayloader does with every arriving
// packet (header checks, payload length, sequence numbers to loss counts),
// on any stream of packets. A packet passed on must have the configured
// length, lie inside what arrived, be newer than every packet before it and,
// written again, read back the same.
//
// Input layout: level extension element (byte, low four bits), the stream's
// payload length (u16 LE, 0: not checked); then records until the input
// ends: length (u16 LE) and that many bytes of RTP (fewer at the end).
#include <algorithm>
#include <cstdlib>
#include <vector>

#include "fuzz_input.h"
#include "receiver.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FuzzInput in{data, size};
    rtp::Receiver receiver;
    receiver.level_id = TakeByte(&in) & 15;
    receiver.payload_bytes = TakeLittleEndian(&in, 2);
    int64_t passed = 0, newest = 0;
    while (!FuzzInputEmpty(in)) {
        // Each packet in a block of its own size, so that any read past it shows.
        std::vector<uint8_t> bytes(std::min<size_t>(TakeLittleEndian(&in, 2), in.size));
        TakeBytes(&in, bytes.data(), bytes.size());
        const rtp::Reception r = rtp::Receive(&receiver, bytes.data(), bytes.size());
        if (r.verdict != rtp::Verdict::kPass) {
            Check(r.dropped > 0);
            continue;
        }
        const rtp::Packet& p = r.packet;
        Check(p.payload >= bytes.data() && p.payload + p.payload_size <= bytes.data() + bytes.size());
        Check(receiver.payload_bytes == 0 || p.payload_size == receiver.payload_bytes);
        Check(r.lost_before >= 0);
        // Older than the newest only when the sender restarted, which loses nothing.
        const int64_t extended = receiver.sequence.highest;
        Check(passed == 0 || extended > newest || r.lost_before == 0);
        newest = extended;
        ++passed;
        std::vector<uint8_t> rebuilt, again;
        rtp::Build(p, receiver.level_id, &rebuilt);
        rtp::Packet parsed;
        Check(rtp::Parse(rebuilt.data(), rebuilt.size(), receiver.level_id, &parsed) == rtp::ParseError::kNone);
        rtp::Build(parsed, receiver.level_id, &again);
        Check(again == rebuilt);
    }
    Check(receiver.sequence.taken == passed);
    return 0;
}
