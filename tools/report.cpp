#include "report.h"

#include <algorithm>

#include "core/core_tables.h"
#include "output_file.h"

namespace {

std::string Format(const char* format, double value) {
    char text[64];
    std::snprintf(text, sizeof text, format, value);
    return text;
}

std::string Quoted(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
        if (c == '"' || c == '\\') {
            out += '\\';
            out += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            out += escape;
        } else {
            out += c;
        }
    }
    return out + "\"";
}

std::string BandName(const BandDistance& b) {
    return Format("%g", b.low_hz / 1000.0) + "-" + Format("%g", b.high_hz / 1000.0) + " kHz";
}

}  // namespace

void CountPacket(const Packet& p, PacketStats* s) {
    ++s->packets;
    s->speech += p.speech;
    s->level_min = std::min<int>(s->level_min, p.level);
    s->level_max = std::max<int>(s->level_max, p.level);
}

Report DescribeStream(const std::string& command, const StreamInfo& s, const PacketStats& stats) {
    Report r;
    r.command = command;
    r.channels = s.channels;
    r.bit_rate = s.bit_rate;
    r.copies = s.copies;
    r.packet_bytes = PacketBytes(s);
    r.total_kbps = r.packet_bytes * 8.0 * kFramesPerSecond / 1000.0;
    r.source_rate = s.source_rate;
    r.duration_s = static_cast<double>(s.source_frames) / s.source_rate;
    r.stats = stats;
    return r;
}

void AddDecoding(const FrameDecoder& d, Report* r) {
    r->decoded = true;
    r->packets_lost = static_cast<int>(d.tally.rebuilt + d.tally.concealed + d.tally.muted);
    r->frames = d.tally;
    r->damaged_frames = d.damaged;
    r->timeline = d.timeline;
}

void AddCapture(const CaptureInput& in, Report* r) {
    const rtp::StreamReport& s = in.stream.report;
    char ssrc[16];
    std::snprintf(ssrc, sizeof ssrc, "0x%08x", s.ssrc);
    r->capture_stream = std::string("SSRC ") + ssrc + " " + rtp::EndpointText(s.source) + " -> " +
                        rtp::EndpointText(s.destination);
    r->config_found = in.stream.config_found;
    r->gaps = s.gaps;
    r->duplicates = s.duplicates;
    r->reordered = s.reordered;
    r->malformed = s.malformed;
    r->wrong_length = in.stream.wrong_length;
    r->fragments = in.fragments;
    r->other_streams = s.others;
    if (in.damaged || in.cut_short)
        r->warnings.push_back(std::to_string(in.damaged) + " damaged frames in the capture" +
                              (in.cut_short ? ", and it ends inside a packet" : ""));
}

void PrintReport(const Report& r, FILE* out) {
    const PacketStats& s = r.stats;
    if (!r.input.empty()) std::fprintf(out, "input        %s\n", r.input.c_str());
    if (!r.output.empty()) std::fprintf(out, "output       %s\n", r.output.c_str());
    std::fprintf(out, "audio        %.2f s, %u Hz original, %s\n", r.duration_s, r.source_rate,
                 r.channels == 2 ? "stereo" : "mono");
    std::fprintf(out, "bit rate     %d bit/s per channel, %d %s, %d-byte packets: %.1f kbit/s in all\n", r.bit_rate,
                 r.copies, r.copies == 1 ? "copy" : "copies", r.packet_bytes, r.total_kbps);
    if (r.bit_rate > DREMKO_MIN_CHANNEL_RATE) {
        // Every main frame holds the whole base layer; a higher rate only lets more of the extension through.
        constexpr double kCoefficientHz = kSampleRate / 2.0 / kFrameSamples;
        const double low = kBaseRegions * kRegionSize * kCoefficientHz / 1000.0;
        const double high = kRegions * kRegionSize * kCoefficientHz / 1000.0;
        std::fprintf(out, "             the %d bit/s above %d per channel code only %g to %g kHz; below %g kHz any rate "
                          "gives the same\n", r.bit_rate - DREMKO_MIN_CHANNEL_RATE, DREMKO_MIN_CHANNEL_RATE, low, high, low);
    }
    std::fprintf(out, "encoder      speech flag set in %lld of %lld frames, level %d to %d\n",
                 static_cast<long long>(s.speech), static_cast<long long>(s.packets), s.packets ? s.level_min : 0,
                 s.level_max);
    if (r.decoded) {
        std::fprintf(out, "packets      %lld sent, %d lost (%.1f %%)\n", static_cast<long long>(s.packets), r.packets_lost,
                     s.packets ? 100.0 * r.packets_lost / s.packets : 0.0);
        std::fprintf(out, "lost frames  %d rebuilt from copies, %d concealed, %d muted\n", r.frames.rebuilt,
                     r.frames.concealed, r.frames.muted);
        if (r.damaged_frames) std::fprintf(out, "damaged      %d frames found inconsistent by the decoder\n", r.damaged_frames);
    } else {
        std::fprintf(out, "packets      %lld\n", static_cast<long long>(s.packets));
    }
    if (r.measured) {
        std::fprintf(out, "quality      SNR %.2f dB, segmental SNR %.2f dB\n", r.quality.snr_db,
                     r.quality.segmental_snr_db);
        std::fprintf(out, "spectral distance (dB)");
        for (const BandDistance& b : r.quality.bands)
            std::fprintf(out, b.blocks ? "  %s %.2f" : "  %s n/a", BandName(b).c_str(), b.db);
        std::fprintf(out, "\n");
    }
    if (!r.capture_stream.empty()) {
        std::fprintf(out, "stream       %s, configuration %s\n", r.capture_stream.c_str(),
                     r.config_found ? "found from the packets" : "given");
        std::fprintf(out,
                     "network      %lld gaps, %lld duplicates, %lld reordered; dropped %lld malformed, %lld of another "
                     "length, %lld IP fragments\n",
                     static_cast<long long>(r.gaps), static_cast<long long>(r.duplicates),
                     static_cast<long long>(r.reordered), static_cast<long long>(r.malformed),
                     static_cast<long long>(r.wrong_length), static_cast<long long>(r.fragments));
        for (const std::string& s : r.other_streams) std::fprintf(out, "other        %s\n", s.c_str());
    }
    if (!r.sdp.empty()) std::fprintf(out, "sdp          %s\n", r.sdp.c_str());
    for (const std::string& w : r.warnings) std::fprintf(out, "warning      %s\n", w.c_str());
}

std::string ReportJson(const Report& r) {
    const PacketStats& s = r.stats;
    std::string j = "{\n";
    j += "  \"command\": " + Quoted(r.command) + ",\n";
    j += "  \"input\": " + Quoted(r.input) + ",\n";
    j += "  \"output\": " + Quoted(r.output) + ",\n";
    j += "  \"channels\": " + std::to_string(r.channels) + ",\n";
    j += "  \"source_rate\": " + std::to_string(r.source_rate) + ",\n";
    j += "  \"duration_s\": " + Format("%.3f", r.duration_s) + ",\n";
    j += "  \"bit_rate_per_channel\": " + std::to_string(r.bit_rate) + ",\n";
    j += "  \"copies\": " + std::to_string(r.copies) + ",\n";
    j += "  \"packet_bytes\": " + std::to_string(r.packet_bytes) + ",\n";
    j += "  \"total_kbps\": " + Format("%.2f", r.total_kbps) + ",\n";
    j += "  \"speech_flag_share\": " + Format("%.4f", s.packets ? double(s.speech) / s.packets : 0.0) + ",\n";
    j += "  \"level_min\": " + std::to_string(s.packets ? s.level_min : 0) + ",\n";
    j += "  \"level_max\": " + std::to_string(s.level_max) + ",\n";
    j += "  \"packets_sent\": " + std::to_string(s.packets);
    if (r.decoded) {
        j += ",\n  \"packets_lost\": " + std::to_string(r.packets_lost) + ",\n";
        j += "  \"frames_rebuilt\": " + std::to_string(r.frames.rebuilt) + ",\n";
        j += "  \"frames_concealed\": " + std::to_string(r.frames.concealed) + ",\n";
        j += "  \"frames_muted\": " + std::to_string(r.frames.muted) + ",\n";
        j += "  \"frames_damaged\": " + std::to_string(r.damaged_frames) + ",\n";
        // Packet k's frame is heard from (k - kDelayFrames + 1) frames into the output.
        j += "  \"timeline_start_s\": " + Format("%.3f", (1.0 - kDelayFrames) / kFramesPerSecond) + ",\n";
        j += "  \"timeline\": " + Quoted(r.timeline);
    }
    if (r.measured) {
        j += ",\n  \"snr_db\": " + Format("%.3f", r.quality.snr_db) + ",\n";
        j += "  \"segmental_snr_db\": " + Format("%.3f", r.quality.segmental_snr_db) + ",\n";
        j += "  \"log_spectral_distance_db\": {";
        for (size_t b = 0; b < r.quality.bands.size(); ++b) {
            const BandDistance& band = r.quality.bands[b];
            j += std::string(b ? ", " : "") + Quoted(BandName(band)) + ": " +
                 (band.blocks ? Format("%.3f", band.db) : "null");
        }
        j += "}";
    }
    if (!r.capture_stream.empty()) {
        j += ",\n  \"capture_stream\": " + Quoted(r.capture_stream) + ",\n";
        j += "  \"configuration_found\": " + std::string(r.config_found ? "true" : "false") + ",\n";
        j += "  \"gaps\": " + std::to_string(r.gaps) + ",\n";
        j += "  \"duplicates\": " + std::to_string(r.duplicates) + ",\n";
        j += "  \"reordered\": " + std::to_string(r.reordered) + ",\n";
        j += "  \"malformed\": " + std::to_string(r.malformed) + ",\n";
        j += "  \"wrong_length\": " + std::to_string(r.wrong_length) + ",\n";
        j += "  \"ip_fragments\": " + std::to_string(r.fragments);
    }
    if (!r.sdp.empty()) j += ",\n  \"sdp\": " + Quoted(r.sdp);
    j += ",\n  \"warnings\": [";
    for (size_t i = 0; i < r.warnings.size(); ++i) j += (i ? ", " : "") + Quoted(r.warnings[i]);
    return j + "]\n}\n";
}

void PrintPacket(FILE* out, int64_t index, const Packet& p, const std::string& note) {
    std::fprintf(out, "packet %7lld  %3zu bytes  speech %d  level %3d%s%s\n", static_cast<long long>(index), p.bytes.size(),
                 p.speech, p.level, note.empty() ? "" : "  ", note.c_str());
}

bool SaveReport(const Report& report, const std::string& path, std::string* error) {
    return path.empty() || WriteWholeFile(path, ReportJson(report), error);
}
