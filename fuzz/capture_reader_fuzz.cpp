// Capture reader fuzz target: any bytes as a capture file, read as
// `dremko decode` reads one: libpcap, the UDP datagram in each frame, then
// the RTP stream's choice, configuration and loss counts. Every datagram
// must lie inside its frame; every packet handed on must have the length of
// a configuration the codec has, and every packet of the stream must be
// handed on or counted.
#include <cstdio>
#include <cstdlib>

#include "capture_reader.h"
#include "capture_stream.h"

namespace {

void Check(bool condition) {
    if (!condition) std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;  // no stream over no bytes
    rtp::Capture capture;
    std::string error;
    if (!rtp::ReadCapture(file, &capture, &error)) {
        Check(!error.empty());
        return 0;
    }
    Check(capture.datagrams.size() == capture.frames.size());
    for (size_t i = 0; i < capture.frames.size(); ++i) {
        const std::vector<uint8_t>& f = capture.frames[i];
        const rtp::Datagram& d = capture.datagrams[i];
        Check(d.payload >= f.data() && d.payload + d.payload_size <= f.data() + f.size());
    }
    rtp::LoadedStream stream;
    if (!rtp::LoadStream(capture.datagrams, rtp::StreamChoice{}, nullptr, &stream, &error)) {
        Check(!error.empty());
        return 0;
    }
    Check(rtp::CheckConfig(stream.config, &error));
    for (const rtp::CapturedPacket& p : stream.packets)
        Check(p.payload.size() == rtp::PayloadBytes(stream.config) && p.lost_before >= 0);
    Check(stream.report.packets == static_cast<int64_t>(stream.packets.size()) + stream.wrong_length);
    return 0;
}
