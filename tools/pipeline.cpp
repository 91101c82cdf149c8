#include "pipeline.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <deque>

#include "audio.h"
#include "audio_output.h"
#include "capture_file.h"
#include "codec.h"
#include "drk_file.h"
#include "fail.h"
#include "progress.h"
#include "resample.h"

namespace {

constexpr int64_t kReadFrames = 4096;
constexpr double kFrameSeconds = 1.0 / kFramesPerSecond;

// Passes samples up to a length that may be known only at the end. Until
// it is, the last frame's worth is held back: a rate converter's output
// overshoots the exact length by a few samples, and the decoder's by less
// than a frame.
struct Trimmer {
    int channels = 1;
    bool known = false;
    uint64_t limit = 0;
    uint64_t passed = 0;
    std::vector<float> held;
};

void TrimPass(Trimmer* t, const float* in, size_t frames, std::vector<float>* out) {
    if (t->known) {
        const uint64_t take = std::min<uint64_t>(frames, t->limit - std::min(t->limit, t->passed));
        out->insert(out->end(), in, in + take * t->channels);
        t->passed += take;
        return;
    }
    t->held.insert(t->held.end(), in, in + frames * t->channels);
    const size_t held_frames = t->held.size() / t->channels;
    if (held_frames <= static_cast<size_t>(kFrameSamples)) return;
    const size_t pass = (held_frames - kFrameSamples) * t->channels;
    out->insert(out->end(), t->held.begin(), t->held.begin() + pass);
    t->held.erase(t->held.begin(), t->held.begin() + pass);
    t->passed += pass / t->channels;
}

// Learns the length: cuts what is beyond it.
void TrimEnd(Trimmer* t, uint64_t limit, std::vector<float>* out) {
    if (t->known) return;
    t->known = true;
    t->limit = limit;
    std::vector<float> held;
    held.swap(t->held);
    TrimPass(t, held.data(), held.size() / t->channels, out);
}

// Fills silence up to the length, at most `frames` sample frames of it;
// false when there is no more to fill.
bool TrimFill(Trimmer* t, uint64_t frames, std::vector<float>* out) {
    const uint64_t fill = std::min(frames, t->limit - std::min(t->limit, t->passed));
    out->insert(out->end(), fill * t->channels, 0.0f);
    t->passed += fill;
    return fill > 0;
}

void TrimFinish(Trimmer* t, uint64_t limit, std::vector<float>* out) {
    TrimEnd(t, limit, out);
    TrimFill(t, UINT64_MAX, out);
}

// Audio input brought to the frames the encoder takes: 48 kHz, one or two
// channels, 16 bits.
struct FrameSource {
    AudioInput input;
    ChannelChoice choice;
    int channels = 0;
    Resampler resampler;
    Trimmer trim;
    std::vector<float> read, mapped, converted, ready;
    size_t ready_at = 0;  // sample frames of `ready` already framed
    bool input_done = false;
    uint64_t codec_frames = 0;  // the input's length at 48 kHz, known when input_done
    uint64_t frames_out = 0;
    uint64_t clipped = 0;
    double peak = 0.0;  // largest clipped magnitude
};

size_t ReadyFrames(const FrameSource& s) { return s.ready.size() / s.channels - s.ready_at; }

bool OpenSource(const Options& o, const std::string& name, const std::string& hint, FrameSource* s, StreamInfo* info,
                std::string* error) {
    if (!OpenAudioInput(name, o.raw, &s->input, error)) return false;
    s->choice = o.channels;
    if (!CodedChannels(o.channels, s->input.channels, s->input.name, hint, &s->channels, error)) return false;
    info->channels = s->channels;
    info->bit_rate = o.bit_rate;
    info->copies = o.copies;
    info->source_rate = static_cast<uint32_t>(s->input.rate);
    s->trim.channels = s->channels;
    return StartResampler(s->input.rate, kSampleRate, s->channels, &s->resampler, error);
}

// Reads until a whole frame is ready or the input ends.
bool Fill(FrameSource* s, std::string* error) {
    while (!s->input_done && ReadyFrames(*s) < static_cast<size_t>(kFrameSamples)) {
        s->ready.erase(s->ready.begin(), s->ready.begin() + s->ready_at * s->channels);
        s->ready_at = 0;
        s->read.resize(kReadFrames * s->input.channels);
        const int64_t got = ReadAudioBlock(&s->input, s->read.data(), kReadFrames, error);
        if (got < 0) return false;
        s->converted.clear();
        s->input_done = got == 0;
        if (s->input_done && s->input.frames_read == 0) return Fail(error, "cannot read " + s->input.name + ": it holds no audio");
        MapChannels(s->choice, s->input.channels, s->channels, s->read.data(), got, &s->mapped);
        if (!Resample(&s->resampler, s->mapped.data(), got, s->input_done, &s->converted, error)) return false;
        TrimPass(&s->trim, s->converted.data(), s->converted.size() / s->channels, &s->ready);
        if (!s->input_done) continue;
        s->codec_frames = CodecFrames(s->input.frames_read, s->input.rate);
        TrimFinish(&s->trim, s->codec_frames, &s->ready);
    }
    return true;
}

int16_t ToSample(float x, FrameSource* s) {
    const double v = ScaledRound(x, 32768.0);
    if (v >= -32768.0 && v <= 32767.0) return static_cast<int16_t>(v);
    ++s->clipped;
    s->peak = std::max(s->peak, std::fabs(static_cast<double>(x)));
    return v < 0.0 ? -32768 : 32767;
}

// The next frame the encoder takes, and in `reference` the input samples it
// holds as coded (less than a frame at the end, none in the frames that
// flush the codec's delay). False after the last frame, or with `error` set.
bool NextFrame(FrameSource* s, int16_t* frame, std::vector<float>* reference, std::string* error) {
    error->clear();
    if (!Fill(s, error)) return false;
    if (s->input_done && s->frames_out >= PacketsFor(s->codec_frames)) return false;
    const size_t values = std::min<size_t>(ReadyFrames(*s), kFrameSamples) * s->channels;
    const float* from = s->ready.data() + s->ready_at * s->channels;
    reference->resize(values);
    for (size_t i = 0; i < values; ++i) {
        frame[i] = ToSample(from[i], s);
        (*reference)[i] = frame[i] / 32768.0f;
    }
    std::fill(frame + values, frame + static_cast<size_t>(kFrameSamples) * s->channels, 0);
    s->ready_at += values / s->channels;
    ++s->frames_out;
    return true;
}

// Decoded audio on its way out: the decoder's delay dropped, cut to the
// original's length, measured against the input, brought back to the
// original's rate if asked, and written.
struct FrameSink {
    FrameDecoder decoder;
    int channels = 0;
    std::vector<float> decoded, accepted, restored;
    uint64_t delay_left = 0;  // sample frames still to drop
    Trimmer codec_trim;
    bool writing = false;
    AudioOutput output;
    bool restoring = false;
    Resampler back;
    Trimmer source_trim;
    bool measuring = false;
    QualityMeter meter;
    std::vector<float> reference, unmeasured;
    std::vector<float> silence;  // one frame
    uint64_t measured = 0;       // output sample frames measured or passed over
    // Runs of output frames measured early against silence (first, count),
    // to be passed over when their silence arrives.
    std::deque<std::pair<uint64_t, uint64_t>> measured_early;
};

bool OpenSink(const Options& o, const std::string& audio, const StreamInfo& info, bool length_known, bool measuring,
              FrameSink* k, std::string* error) {
    StartDecoder(info, &k->decoder);
    k->channels = info.channels;
    k->delay_left = static_cast<uint64_t>(kDelayFrames) * kFrameSamples;
    const uint64_t codec_frames = CodecFrames(info.source_frames, info.source_rate);
    k->codec_trim.channels = k->source_trim.channels = info.channels;
    k->codec_trim.known = k->source_trim.known = length_known;
    k->codec_trim.limit = codec_frames;
    k->source_trim.limit = info.source_frames;
    k->measuring = measuring;
    k->silence.assign(static_cast<size_t>(kFrameSamples) * info.channels, 0.0f);
    if (measuring) StartQuality(info.channels, &k->meter);
    k->restoring = o.original_rate;
    const int rate = k->restoring ? static_cast<int>(info.source_rate) : kSampleRate;
    if (!StartResampler(kSampleRate, rate, info.channels, &k->back, error)) return false;
    if (audio.empty()) return true;
    AudioType type;
    if (!ChooseAudioType(audio, o.type, &type, error)) return false;
    const int64_t expected = !length_known ? -1 : static_cast<int64_t>(k->restoring ? info.source_frames : codec_frames);
    k->writing = OpenAudioOutput(audio, type, o.bits, rate, info.channels, expected, &k->output, error);
    return k->writing;
}

void Measure(FrameSink* k) {
    const size_t channels = k->channels;
    for (;;) {
        const bool any_early = !k->measured_early.empty();
        const uint64_t early = any_early ? k->measured_early.front().first * kFrameSamples : 0;
        const size_t before_early = any_early ? static_cast<size_t>(early - k->measured) * channels : SIZE_MAX;
        const size_t values = std::min({k->reference.size(), k->unmeasured.size(), before_early});
        if (values) {
            MeasureBlock(&k->meter, k->reference.data(), k->unmeasured.data(), values / channels);
            k->reference.erase(k->reference.begin(), k->reference.begin() + values);
            k->measured += values / channels;
        }
        const size_t frame = kFrameSamples * channels;
        const bool pass_over = any_early && k->measured == early && k->unmeasured.size() >= values + frame;
        k->unmeasured.erase(k->unmeasured.begin(), k->unmeasured.begin() + values + (pass_over ? frame : 0));
        if (!pass_over) return;
        k->measured += kFrameSamples;
        auto& run = k->measured_early.front();
        if (--run.second == 0) k->measured_early.pop_front();
        else ++run.first;
    }
}

// A run of losses beyond the decoder's reach leaves its oldest frames silent
// for certain. Each is measured against silence as soon as that is sure, out
// of order, so that the input of a long run need not wait for the next
// packet. Called after each lost packet whose input frame was whole.
void MeasureMutedEarly(FrameSink* k) {
    constexpr int64_t kReach = DREMKO_MAX_DECODED_FRAMES - 1;  // frames a decoder call inserts at most
    const FrameDecoder& d = k->decoder;
    const size_t frame = kFrameSamples * k->channels;
    // The packet kReach before the newest lost one is muted; its frame is
    // the output's (packet - 1), whose input came kReach + 1 frames ago.
    const int64_t output_frame = d.stored + d.run - kReach - 1;
    if (d.run <= kReach || output_frame < 0 || k->reference.size() < (kReach + 2) * frame) return;
    const size_t from = k->reference.size() - (kReach + 2) * frame;
    MeasureBlock(&k->meter, k->reference.data() + from, k->silence.data(), kFrameSamples);
    k->reference.erase(k->reference.begin() + from, k->reference.begin() + from + frame);
    const uint64_t index = static_cast<uint64_t>(output_frame);
    if (!k->measured_early.empty() && k->measured_early.back().first + k->measured_early.back().second == index)
        ++k->measured_early.back().second;
    else
        k->measured_early.emplace_back(index, 1);
}

// Measures and writes the samples in `accepted`; `last` at the end of the stream.
bool Use(FrameSink* k, bool last, uint64_t source_frames, std::string* error) {
    if (k->measuring) {
        k->unmeasured.insert(k->unmeasured.end(), k->accepted.begin(), k->accepted.end());
        Measure(k);
    }
    if (!k->writing) return true;
    const std::vector<float>* out = &k->accepted;
    if (k->restoring) {
        std::vector<float> converted;
        if (!Resample(&k->back, k->accepted.data(), k->accepted.size() / k->channels, last, &converted, error))
            return false;
        k->restored.clear();
        TrimPass(&k->source_trim, converted.data(), converted.size() / k->channels, &k->restored);
        if (last) TrimFinish(&k->source_trim, source_frames, &k->restored);
        out = &k->restored;
    }
    return WriteAudioBlock(&k->output, out->data(), out->size() / k->channels, error);
}

// Takes `frames` decoded sample frames, dropping the decoder's delay.
bool Feed(FrameSink* k, const float* samples, size_t frames, std::string* error) {
    const size_t drop = static_cast<size_t>(std::min<uint64_t>(k->delay_left, frames));
    k->delay_left -= drop;
    k->accepted.clear();
    TrimPass(&k->codec_trim, samples + drop * k->channels, frames - drop, &k->accepted);
    return Use(k, false, 0, error);
}

// Takes what the decoder delivered for the last packet, after the silence
// of the frames it skipped (a frame at a time, however long the gap).
bool Pass(FrameSink* k, std::string* error) {
    for (int64_t f = 0; f < k->decoder.silent_before; ++f)
        if (!Feed(k, k->silence.data(), kFrameSamples, error)) return false;
    const bool fed = Feed(k, k->decoded.data(), k->decoded.size() / k->channels, error);
    k->decoded.clear();
    return fed;
}

bool FinishSink(FrameSink* k, const StreamInfo& info, std::string* error) {
    FinishDecoding(&k->decoder);
    k->accepted.clear();
    TrimEnd(&k->codec_trim, CodecFrames(info.source_frames, info.source_rate), &k->accepted);
    // Frames never delivered are silence up to the length, a frame at a time.
    while (TrimFill(&k->codec_trim, kFrameSamples, &k->accepted)) {
        if (!Use(k, false, 0, error)) return false;
        k->accepted.clear();
    }
    if (!Use(k, true, info.source_frames, error)) return false;
    StopResampler(&k->back);
    return !k->writing || CloseAudioOutput(&k->output, error);
}

void AbandonSink(FrameSink* k) {
    StopResampler(&k->back);
    if (k->writing) AbandonAudioOutput(&k->output);
}

std::string Note(const FrameDecoder& d, bool lost) {
    if (lost) return "lost";
    return d.last_damaged ? std::to_string(d.last_damaged) + " damaged frame(s)" : "";
}

// Packets written as a .drk file or, for a capture's name, as RTP in a capture.
struct PacketOutput {
    bool capture = false;
    DrkWriter drk;
    CaptureWriter rtp;
};

bool CreatePackets(const std::string& name, const StreamInfo& info, PacketOutput* p, std::string* error) {
    p->capture = IsCaptureName(name);
    return p->capture ? CreateCapture(name, &p->rtp, error) : CreateDrk(name, info, false, &p->drk, error);
}

bool WritePackets(PacketOutput* p, const Packet& packet, std::string* error) {
    return p->capture ? WriteCapturePacket(&p->rtp, packet, error) : WriteDrkPacket(&p->drk, packet, error);
}

bool FinishPackets(PacketOutput* p, uint64_t source_frames, std::string* error) {
    return p->capture ? FinishCapture(&p->rtp, error) : FinishDrk(&p->drk, source_frames, error);
}

void AbandonPackets(PacketOutput* p) {
    if (p->capture) AbandonCapture(&p->rtp);
    else AbandonDrk(&p->drk);
}

// Warnings about the input, once on stderr and in the report.
void WarnAboutInput(const FrameSource& s, const std::string& command, Report* report) {
    if (s.input.shorter_than_header)
        report->warnings.push_back(s.input.name + " is shorter than its header says; coded the " +
                                   std::to_string(s.input.frames_read) + " sample frames it holds");
    if (s.clipped) {
        char text[160];
        std::snprintf(text, sizeof text, "%llu samples clipped to 16 bits (peak %.3f, %+.1f dB of full scale)",
                      static_cast<unsigned long long>(s.clipped), s.peak, 20.0 * std::log10(s.peak));
        report->warnings.push_back(text);
    }
    for (const std::string& w : report->warnings) std::fprintf(stderr, "dremko %s: warning: %s\n", command.c_str(), w.c_str());
}

}  // namespace

bool RunFromAudio(const Options& o, const std::string& command, const std::string& hint, const RunFiles& f,
                  Report* report, std::string* error) {
    FrameSource source;
    StreamInfo info;
    if (!OpenSource(o, f.input, hint, &source, &info, error)) {
        CloseAudioInput(&source.input);
        return false;
    }
    const bool writing_packets = !f.packets.empty();
    const bool decoding = !f.audio.empty();
    PacketOutput packets;
    FrameSink sink;
    LossModel loss;
    bool ok = (!writing_packets || CreatePackets(f.packets, info, &packets, error)) &&
              (!decoding || (StartLoss(o.loss, &loss, error) && OpenSink(o, f.audio, info, false, true, &sink, error)));
    FrameEncoder encoder;
    StartEncoder(info, &encoder);
    std::vector<int16_t> frame(static_cast<size_t>(kFrameSamples) * info.channels);
    std::vector<float> reference;
    Packet packet;
    PacketStats stats;
    const double seconds = source.input.declared_frames > 0 ? double(source.input.declared_frames) / source.input.rate : 0.0;
    Progress progress = StartProgress(command.c_str(), seconds, o.quiet);
    while (ok && NextFrame(&source, frame.data(), &reference, error)) {
        EncodeFrame(&encoder, frame.data(), &packet);
        CountPacket(packet, &stats);
        std::string note;
        if (writing_packets) ok = WritePackets(&packets, packet, error);
        if (decoding) {
            const bool lost = NextLost(&loss);
            sink.reference.insert(sink.reference.end(), reference.begin(), reference.end());
            DecodePacket(&sink.decoder, lost ? nullptr : &packet, &sink.decoded);
            if (lost && reference.size() == frame.size()) MeasureMutedEarly(&sink);
            ok = ok && Pass(&sink, error);
            note = Note(sink.decoder, lost);
        }
        if (o.verbose) PrintPacket(stderr, stats.packets - 1, packet, note);
        ShowProgress(&progress, std::min(double(stats.packets) * kFrameSeconds, double(source.input.frames_read) / source.input.rate));
    }
    ok = ok && error->empty();
    info.source_frames = source.input.frames_read;
    CloseAudioInput(&source.input);
    StopResampler(&source.resampler);
    ok = ok && (!writing_packets || FinishPackets(&packets, info.source_frames, error)) &&
         (!decoding || FinishSink(&sink, info, error));
    EndProgress(&progress);
    if (!ok) {
        if (writing_packets) AbandonPackets(&packets);
        AbandonSink(&sink);
        return false;
    }
    *report = DescribeStream(command, info, stats);
    report->input = f.input;
    report->output = decoding ? f.audio : f.packets;
    if (packets.capture) report->sdp = CaptureSdp(info);
    WarnAboutInput(source, command, report);
    if (decoding) {
        AddDecoding(sink.decoder, report);
        report->measured = true;
        report->quality = FinishQuality(sink.meter);
    }
    return true;
}

namespace {

// The packets to decode, from a .drk file or a capture; a capture's stream
// also has the packets the network lost, each handed out as missing.
struct PacketSource {
    bool capture = false;
    DrkReader drk;
    CaptureInput rtp;
    size_t next = 0;      // the captured packet handed out next
    int64_t missing = 0;  // packets lost before it still to hand out
};

bool OpenPacketSource(const Options& o, const std::string& name, PacketSource* s, std::string* error) {
    s->capture = IsCaptureName(name);
    if (!s->capture) return OpenDrk(name, &s->drk, error);
    if (!ReadCaptureInput(name, o.capture, &s->rtp, error)) return false;
    s->missing = s->rtp.stream.packets[0].lost_before;
    return true;
}

const StreamInfo& SourceInfo(const PacketSource& s) { return s.capture ? s.rtp.info : s.drk.info; }

// The next packet, or with `missing` set one the network lost. False at the
// end of the stream (with `error` empty) or on a fault (with `error` set).
bool NextPacket(PacketSource* s, Packet* p, bool* missing, std::string* error) {
    *missing = false;
    if (!s->capture) return ReadDrkPacket(&s->drk, p, error);
    error->clear();
    const std::vector<rtp::CapturedPacket>& packets = s->rtp.stream.packets;
    if (s->next == packets.size()) return false;
    if (s->missing > 0) {
        --s->missing;
        *missing = true;
        *p = Packet{};
        return true;
    }
    *p = ToolPacket(packets[s->next++]);
    if (s->next < packets.size()) s->missing = packets[s->next].lost_before;
    return true;
}

void ClosePacketSource(PacketSource* s) {
    if (!s->capture) CloseDrk(&s->drk);
}

// The stream's length in seconds, for the progress bar; 0 when not known.
double SourceSeconds(const PacketSource& s) {
    if (s.capture) return double(SourceInfo(s).source_frames) / kSampleRate;
    return s.drk.length_at_end ? 0.0 : s.drk.packets * kFrameSeconds;
}

}  // namespace

bool RunFromPackets(const Options& o, const RunFiles& f, Report* report, std::string* error) {
    PacketSource source;
    if (!OpenPacketSource(o, f.input, &source, error)) return false;
    LossModel loss;
    FrameSink sink;
    const bool length_known = !source.capture && !source.drk.length_at_end;
    bool ok = StartLoss(o.loss, &loss, error) && OpenSink(o, f.audio, SourceInfo(source), length_known, false, &sink, error);
    Packet packet;
    bool missing = false;
    PacketStats stats;
    Progress progress = StartProgress("decode", SourceSeconds(source), o.quiet);
    while (ok && NextPacket(&source, &packet, &missing, error)) {
        if (missing) ++stats.packets;
        else CountPacket(packet, &stats);
        const bool lost = NextLost(&loss) || missing;
        DecodePacket(&sink.decoder, lost ? nullptr : &packet, &sink.decoded);
        ok = Pass(&sink, error);
        if (o.verbose) PrintPacket(stderr, stats.packets - 1, packet, missing ? "missing" : Note(sink.decoder, lost));
        ShowProgress(&progress, stats.packets * kFrameSeconds);
    }
    ok = ok && error->empty();
    ClosePacketSource(&source);
    ok = ok && FinishSink(&sink, SourceInfo(source), error);
    EndProgress(&progress);
    if (!ok) {
        AbandonSink(&sink);
        return false;
    }
    *report = DescribeStream("decode", SourceInfo(source), stats);
    report->input = f.input;
    report->output = f.audio;
    AddDecoding(sink.decoder, report);
    if (source.capture) AddCapture(source.rtp, report);
    return true;
}

bool DescribePackets(const Options& o, const std::string& input, FILE* out, Report* report, std::string* error) {
    PacketSource source;
    if (!OpenPacketSource(o, input, &source, error)) return false;
    Packet packet;
    bool missing = false;
    PacketStats stats;
    while (NextPacket(&source, &packet, &missing, error)) {
        if (missing) continue;
        CountPacket(packet, &stats);
        if (o.verbose) PrintPacket(out, stats.packets - 1, packet, "");
    }
    ClosePacketSource(&source);
    if (!error->empty()) return false;
    *report = DescribeStream("info", SourceInfo(source), stats);
    report->input = input;
    if (source.capture) AddCapture(source.rtp, report);
    return true;
}
