#include "capture_stream.h"

#include <algorithm>
#include <map>
#include <set>

#include "payload_format.h"
#include "rtp_packet.h"
#include "sequence.h"

namespace rtp {

namespace {

struct StreamKey {
    uint32_t ssrc;
    Endpoint source, destination;
    int64_t datagrams = 0;
    int64_t fitting = 0;  // datagrams whose payload length some configuration allows
};

std::string Describe(const StreamKey& k) {
    char ssrc[16];
    std::snprintf(ssrc, sizeof ssrc, "0x%08x", k.ssrc);
    return std::string("SSRC ") + ssrc + " " + EndpointText(k.source) + " -> " + EndpointText(k.destination) + ", " +
           std::to_string(k.datagrams) + " packets";
}

bool Matches(const StreamKey& k, const StreamChoice& c) {
    if (c.by_ssrc && k.ssrc != c.ssrc) return false;
    return c.port == 0 || k.source.port == c.port || k.destination.port == c.port;
}

struct Arrived {
    int64_t extended;
    size_t datagram;
};

}  // namespace

bool CollectStream(const std::vector<Datagram>& datagrams, const StreamChoice& choice,
                   std::vector<CapturedPacket>* packets, StreamReport* report, std::string* error) {
    std::vector<StreamKey> streams;
    Packet rtp;
    for (const Datagram& d : datagrams) {
        if (Parse(d.payload, d.payload_size, choice.level_id, &rtp) != ParseError::kNone) continue;
        auto it = std::find_if(streams.begin(), streams.end(), [&](const StreamKey& k) {
            return k.ssrc == rtp.ssrc && k.source == d.source && k.destination == d.destination;
        });
        if (it == streams.end()) it = streams.insert(streams.end(), StreamKey{rtp.ssrc, d.source, d.destination});
        ++it->datagrams;
        it->fitting += PayloadLengthPossible(rtp.payload_size);
    }
    // Any UDP datagram may look like RTP; streams of this codec have the lengths it makes.
    std::vector<const StreamKey*> candidates;
    for (const StreamKey& k : streams)
        if (k.fitting * 2 > k.datagrams && Matches(k, choice)) candidates.push_back(&k);
    if (candidates.size() != 1) {
        *error = candidates.empty() ? "no RTP stream of DremkoCodec packets found"
                                    : "several RTP streams found; choose one with --ssrc or --port:";
        for (size_t i = 0; i < candidates.size(); ++i) *error += (i ? "; " : " ") + Describe(*candidates[i]);
        return false;
    }
    const StreamKey chosen = *candidates[0];
    *report = StreamReport{};
    report->ssrc = chosen.ssrc;
    report->source = chosen.source;
    report->destination = chosen.destination;
    for (const StreamKey& k : streams)
        if (&k != candidates[0]) report->others.push_back(Describe(k));

    // Arrival order, with sequence numbers extended across wrap-arounds.
    std::vector<Arrived> arrived;
    std::set<int64_t> seen;
    int64_t newest = 0;
    for (size_t i = 0; i < datagrams.size(); ++i) {
        const Datagram& d = datagrams[i];
        if (!(d.source == chosen.source && d.destination == chosen.destination)) continue;
        if (Parse(d.payload, d.payload_size, choice.level_id, &rtp) != ParseError::kNone) {
            ++report->malformed;
            continue;
        }
        if (rtp.ssrc != chosen.ssrc) continue;
        ++report->datagrams;
        const int64_t extended = arrived.empty() ? rtp.sequence : ExtendSequence(rtp.sequence, arrived.back().extended);
        if (!arrived.empty() && extended < newest && !seen.count(extended)) ++report->reordered;
        newest = arrived.empty() ? extended : std::max(newest, extended);
        seen.insert(extended);
        arrived.push_back({extended, i});
    }
    std::stable_sort(arrived.begin(), arrived.end(),
                     [](const Arrived& a, const Arrived& b) { return a.extended < b.extended; });

    SequenceTracker tracker;
    packets->clear();
    for (const Arrived& a : arrived) {
        const Datagram& d = datagrams[a.datagram];
        Parse(d.payload, d.payload_size, choice.level_id, &rtp);
        // In sequence order a packet is late only when far ahead of the one
        // before, the first of a new run: it is kept, with no loss before it.
        const ArrivalResult r = TrackArrival(&tracker, static_cast<uint16_t>(a.extended));
        if (r.kind == Arrival::kDuplicate) continue;
        CapturedPacket p;
        p.payload.assign(rtp.payload, rtp.payload + rtp.payload_size);
        p.lost_before = r.lost;
        p.payload_type = rtp.payload_type;
        p.has_audio_level = rtp.has_audio_level;
        p.voice = rtp.voice;
        p.minus_dbov = rtp.minus_dbov;
        packets->push_back(std::move(p));
    }
    report->packets = static_cast<int64_t>(packets->size());
    report->lost = tracker.lost;
    report->gaps = tracker.gaps;
    report->duplicates = tracker.duplicates;
    return true;
}

namespace {

// Packets enough for every copy to be checked against a main frame at least once.
constexpr size_t kConfigPackets = 2 * 8 + 1;

// Drops the packets whose length is not `bytes` (damaged, or of another
// configuration) and counts each as lost before the next one kept.
int64_t DropPacketsNotOf(size_t bytes, std::vector<CapturedPacket>* packets) {
    int64_t dropped = 0, carried = 0;
    std::vector<CapturedPacket> kept;
    for (CapturedPacket& p : *packets) {
        if (p.payload.size() != bytes) {
            ++dropped;
            carried += p.lost_before + 1;
            continue;
        }
        p.lost_before += carried;
        carried = 0;
        kept.push_back(std::move(p));
    }
    *packets = std::move(kept);
    return dropped;
}

// The longest run of consecutive packets of the most common length, cut at kConfigPackets.
std::vector<std::vector<uint8_t>> ConfigPackets(const std::vector<CapturedPacket>& packets) {
    if (packets.empty()) return {};
    std::map<size_t, size_t> lengths;
    for (const CapturedPacket& p : packets) ++lengths[p.payload.size()];
    const size_t common = std::max_element(lengths.begin(), lengths.end(), [](const auto& a, const auto& b) {
                              return a.second < b.second;
                          })->first;
    std::vector<std::vector<uint8_t>> best, run;
    for (const CapturedPacket& p : packets) {
        if (p.payload.size() != common || p.lost_before != 0) run.clear();
        if (p.payload.size() == common) run.push_back(p.payload);
        if (run.size() > best.size()) best = run;
        if (best.size() == kConfigPackets) break;
    }
    return best;
}

}  // namespace

bool LoadStream(const std::vector<Datagram>& datagrams, const StreamChoice& choice, const PayloadConfig* given,
                LoadedStream* stream, std::string* error) {
    *stream = LoadedStream{};
    if (!CollectStream(datagrams, choice, &stream->packets, &stream->report, error)) return false;
    if (given) {
        stream->config = *given;
    } else {
        if (!InferConfig(ConfigPackets(stream->packets), &stream->config, error)) return false;
        stream->config_found = true;
    }
    stream->wrong_length = DropPacketsNotOf(PayloadBytes(stream->config), &stream->packets);
    if (stream->packets.empty()) {
        *error = "no packet of the stream has the length its configuration gives";
        return false;
    }
    return true;
}

}  // namespace rtp
