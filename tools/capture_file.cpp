#include "capture_file.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "capture_reader.h"
#include "fail.h"

namespace {

constexpr uint8_t kPayloadType = 96;
constexpr uint16_t kSourcePort = 5004;
constexpr uint16_t kDestinationPort = 5006;
constexpr int kLevelId = 1;
constexpr uint32_t kSsrc = 0x44524b4f;  // "DRKO": a fixed one keeps the file the same from run to run

bool EndsWith(const std::string& s, const std::string& end) {
    return s.size() >= end.size() && s.compare(s.size() - end.size(), end.size(), end) == 0;
}

// The tool decodes the streams its encoder makes: copies of the frames 2,
// 4, ... 2R before, whose mask is 2^R - 1.
bool ToStreamInfo(const rtp::PayloadConfig& c, StreamInfo* info, std::string* error) {
    info->channels = c.channels;
    info->bit_rate = rtp::ChannelBitRate(c);
    info->source_rate = kSampleRate;
    for (int r = 0; r <= kMaxCopies; ++r)
        if (c.copy_mask == CopyMask(r)) {
            info->copies = r;
            return true;
        }
    return Fail(error, "copy mask " + std::to_string(c.copy_mask) + " is not one of 0, 1, 3, 7 and 15");
}

bool Put(CaptureWriter* w, const std::vector<uint8_t>& bytes, std::string* error) {
    if (std::fwrite(bytes.data(), 1, bytes.size(), w->out.file) == bytes.size()) return true;
    Fail(error, "cannot write " + w->out.name + ": " + std::strerror(errno));
    AbandonCapture(w);
    return false;
}

}  // namespace

bool IsCaptureName(const std::string& name) { return EndsWith(name, ".pcap") || EndsWith(name, ".pcapng"); }

bool ReadCaptureInput(const std::string& name, const CaptureChoice& choice, CaptureInput* in, std::string* error) {
    *in = CaptureInput{};
    struct stat info;
    if (name != "-" && stat(name.c_str(), &info) == 0 && S_ISDIR(info.st_mode))
        return Fail(error, "cannot read " + name + ": it is a folder");
    FILE* file = name == "-" ? stdin : std::fopen(name.c_str(), "rb");
    if (!file) return Fail(error, "cannot read " + name + ": " + std::strerror(errno));
    const std::string shown = name == "-" ? "standard input" : name;
    rtp::Capture capture;
    std::string why;
    if (!rtp::ReadCapture(file, &capture, &why) ||
        !rtp::LoadStream(capture.datagrams, choice.stream, choice.configured ? &choice.config : nullptr, &in->stream,
                         &why) ||
        !ToStreamInfo(in->stream.config, &in->info, &why))
        return Fail(error, shown + ": " + why);
    // Whole frames: the original's length is not in a capture.
    int64_t sent = 0;
    for (const rtp::CapturedPacket& p : in->stream.packets) sent += p.lost_before + 1;
    in->info.source_frames = static_cast<uint64_t>(std::max<int64_t>(sent - kDelayFrames, 0)) * kFrameSamples;
    in->fragments = capture.fragments;
    in->damaged = capture.damaged;
    in->cut_short = !capture.cut_short.empty();
    return true;
}

Packet ToolPacket(const rtp::CapturedPacket& c) {
    Packet p;
    p.bytes = c.payload;
    p.speech = c.voice;
    p.level = static_cast<uint8_t>(c.has_audio_level ? rtp::MinusDbovToLevel(c.minus_dbov) : 0);
    return p;
}

bool CreateCapture(const std::string& name, CaptureWriter* w, std::string* error) {
    w->written = 0;
    w->sender = rtp::CaptureSender{};
    for (rtp::Endpoint* e : {&w->sender.source, &w->sender.destination}) {
        e->address[0] = 127;
        e->address[3] = 1;
    }
    w->sender.source.port = kSourcePort;
    w->sender.destination.port = kDestinationPort;
    w->sender.ssrc = kSsrc;
    w->sender.payload_type = kPayloadType;
    w->sender.level_id = kLevelId;
    if (!OpenOutput(name, &w->out, error)) return false;
    std::vector<uint8_t> header;
    rtp::AppendCaptureHeader(&header);
    return Put(w, header, error);
}

bool WriteCapturePacket(CaptureWriter* w, const Packet& p, std::string* error) {
    std::vector<uint8_t> record;
    rtp::AppendPacketRecord(w->sender, w->written++, p.bytes.data(), p.bytes.size(), p.speech != 0, p.level, &record);
    return Put(w, record, error);
}

bool FinishCapture(CaptureWriter* w, std::string* error) { return CommitOutput(&w->out, error); }

void AbandonCapture(CaptureWriter* w) { AbandonOutput(&w->out); }

std::string CaptureSdp(const StreamInfo& info) {
    const rtp::PayloadConfig config{info.channels, info.bit_rate * info.channels, CopyMask(info.copies)};
    const std::string pt = std::to_string(kPayloadType);
    return "a=rtpmap:" + pt + " " + rtp::kEncodingName + "/" + std::to_string(rtp::kClockRate) + "/" +
           std::to_string(info.channels) + ", a=fmtp:" + pt + " " + rtp::FormatFmtp(config) + ", a=extmap:" +
           std::to_string(kLevelId) + " " + rtp::kAudioLevelUri;
}
