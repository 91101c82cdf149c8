#include "report.h"

#include <algorithm>

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

Report DescribeStream(const std::string& command, const Stream& s) {
    Report r;
    r.command = command;
    r.channels = s.channels;
    r.bit_rate = s.bit_rate;
    r.copies = s.copies;
    r.packet_bytes = PacketBytes(s);
    r.total_kbps = r.packet_bytes * 8.0 * kFramesPerSecond / 1000.0;
    r.source_rate = s.source_rate;
    r.duration_s = static_cast<double>(s.source_frames) / s.source_rate;
    r.packets = static_cast<int>(s.packets.size());
    int speech = 0;
    r.level_min = 254;
    for (const Packet& p : s.packets) {
        speech += p.speech;
        r.level_min = std::min<int>(r.level_min, p.level);
        r.level_max = std::max<int>(r.level_max, p.level);
    }
    r.speech_share = r.packets ? static_cast<double>(speech) / r.packets : 0.0;
    return r;
}

void AddDecoding(const std::vector<bool>& lost, const Decoded& decoded, Report* r) {
    r->decoded = true;
    r->packets_lost = static_cast<int>(std::count(lost.begin(), lost.end(), true));
    r->frames = decoded.tally;
    r->timeline = decoded.timeline;
}

void AddQuality(const std::vector<int16_t>& input, const Decoded& decoded, Report* r) {
    r->measured = true;
    r->quality = MeasureQuality(input, decoded.pcm, r->channels);
}

void PrintReport(const Report& r, FILE* out) {
    if (!r.input.empty()) std::fprintf(out, "input        %s\n", r.input.c_str());
    if (!r.output.empty()) std::fprintf(out, "output       %s\n", r.output.c_str());
    std::fprintf(out, "audio        %.2f s, %u Hz original, %s\n", r.duration_s, r.source_rate,
                 r.channels == 2 ? "stereo" : "mono");
    std::fprintf(out, "bit rate     %d bit/s per channel, %d %s, %d-byte packets: %.1f kbit/s in all\n", r.bit_rate,
                 r.copies, r.copies == 1 ? "copy" : "copies", r.packet_bytes, r.total_kbps);
    std::fprintf(out, "encoder      speech in %.0f %% of frames, level %d to %d\n", 100.0 * r.speech_share, r.level_min,
                 r.level_max);
    if (r.decoded) {
        std::fprintf(out, "packets      %d sent, %d lost (%.1f %%)\n", r.packets, r.packets_lost,
                     r.packets ? 100.0 * r.packets_lost / r.packets : 0.0);
        std::fprintf(out, "lost frames  %d rebuilt from copies, %d concealed, %d muted\n", r.frames.rebuilt,
                     r.frames.concealed, r.frames.muted);
    } else {
        std::fprintf(out, "packets      %d\n", r.packets);
    }
    if (r.measured) {
        std::fprintf(out, "quality      SNR %.2f dB, segmental SNR %.2f dB\n", r.quality.snr_db,
                     r.quality.segmental_snr_db);
        std::fprintf(out, "spectral distance (dB)");
        for (const BandDistance& b : r.quality.bands) std::fprintf(out, "  %s %.2f", BandName(b).c_str(), b.db);
        std::fprintf(out, "\n");
    }
}

std::string ReportJson(const Report& r) {
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
    j += "  \"speech_share\": " + Format("%.4f", r.speech_share) + ",\n";
    j += "  \"level_min\": " + std::to_string(r.level_min) + ",\n";
    j += "  \"level_max\": " + std::to_string(r.level_max) + ",\n";
    j += "  \"packets_sent\": " + std::to_string(r.packets);
    if (r.decoded) {
        j += ",\n  \"packets_lost\": " + std::to_string(r.packets_lost) + ",\n";
        j += "  \"frames_rebuilt\": " + std::to_string(r.frames.rebuilt) + ",\n";
        j += "  \"frames_concealed\": " + std::to_string(r.frames.concealed) + ",\n";
        j += "  \"frames_muted\": " + std::to_string(r.frames.muted) + ",\n";
        // Packet k's frame is heard from (k - kDelayFrames + 1) frames into the output.
        j += "  \"timeline_start_s\": " + Format("%.3f", (1.0 - kDelayFrames) / kFramesPerSecond) + ",\n";
        j += "  \"timeline\": " + Quoted(r.timeline);
    }
    if (r.measured) {
        j += ",\n  \"snr_db\": " + Format("%.3f", r.quality.snr_db) + ",\n";
        j += "  \"segmental_snr_db\": " + Format("%.3f", r.quality.segmental_snr_db) + ",\n";
        j += "  \"log_spectral_distance_db\": {";
        for (size_t b = 0; b < r.quality.bands.size(); ++b)
            j += std::string(b ? ", " : "") + Quoted(BandName(r.quality.bands[b])) + ": " +
                 Format("%.3f", r.quality.bands[b].db);
        j += "}";
    }
    return j + "\n}\n";
}
