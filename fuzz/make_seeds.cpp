// Writes the seed corpora of the fuzz targets: streams that the codec really
// produces, in each target's input layout (see the targets' own comments).
// Usage: fuzz_seeds CORPUS_DIR (it fills CORPUS_DIR/decoder, /encoder,
// /drk_reader, /rtp_receiver and /capture_reader, which must exist).
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "capture_writer.h"
#include "dremko.h"
#include "drk_file.h"
#include "payload_format.h"
#include "test_signals.h"

namespace {

using Bytes = std::vector<uint8_t>;

void PutLittleEndian(Bytes* out, uint32_t value, int bytes) {
    for (int i = 0; i < bytes; ++i) out->push_back(static_cast<uint8_t>(value >> (8 * i)));
}

void WriteSeed(const std::string& path, const Bytes& bytes) {
    FILE* f = std::fopen(path.c_str(), "wb");
    if (!f || std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::perror(path.c_str());
    if (f) std::fclose(f);
}

// Codes `frames` frames of speech-like sound (planar in stereo).
Stream Encode(int channels, int channel_rate, int copies, int frames) {
    std::vector<int16_t> pcm = test_signals::SpeechLike(frames, 3);
    if (channels == 2) pcm = test_signals::Planar(pcm, test_signals::Chords(frames));
    std::vector<uint8_t> context(static_cast<size_t>(Dremko_SizeofEncoderContext()));
    Dremko_InitEncoderContext(context.data(), channel_rate * channels, channels == 2);
    Stream s;
    s.channels = channels;
    s.bit_rate = channel_rate;
    s.copies = copies;
    s.source_frames = static_cast<uint64_t>(frames - kDelayFrames) * kFrameSamples;
    for (int t = 0; t < frames; ++t) {
        Packet p;
        p.bytes.resize(kMaxPacketBytes);
        const int32_t part = Dremko_EncodeFrame(context.data(), &pcm[static_cast<size_t>(t * channels * kFrameSamples)],
                                                p.bytes.data(), copies);
        p.bytes.resize(static_cast<size_t>(part * channels));
        p.speech = static_cast<uint8_t>(DremkoEncoder_GetSpeechDetect(context.data()));
        p.level = static_cast<uint8_t>(DremkoEncoder_GetEnergy(context.data()));
        s.packets.push_back(p);
    }
    return s;
}

// Decoder input: every packet of the stream except the lost ones; the
// packet after a run of losses carries its length (loss kind 2, an int8).
Bytes DecoderSeed(const Stream& s, bool stereo_out, const std::vector<bool>& lost) {
    Bytes out;
    out.push_back(static_cast<uint8_t>((stereo_out ? 1 : 0) | (s.channels == 2 ? 2 : 0)));
    PutLittleEndian(&out, static_cast<uint32_t>(s.bit_rate), 4);
    PutLittleEndian(&out, CopyMask(s.copies), 2);
    int run = 0;
    for (size_t t = 0; t < s.packets.size(); ++t) {
        if (t < lost.size() && lost[t]) {
            ++run;
            continue;
        }
        out.push_back(run ? 0x20 : 0x00);
        if (run) out.push_back(static_cast<uint8_t>(run));
        out.insert(out.end(), s.packets[t].bytes.begin(), s.packets[t].bytes.end());
        run = 0;
    }
    return out;
}

// Encoder input: frames of a repeated 255-sample stretch of speech-like
// sound, with the given redundancy requests and stereo flips.
Bytes EncoderSeed(bool stereo, int32_t total_rate, const std::vector<int8_t>& requests, uint8_t flip_every) {
    const std::vector<int16_t> speech = test_signals::SpeechLike(8, 5);
    Bytes out;
    out.push_back(stereo ? 1 : 0);
    PutLittleEndian(&out, static_cast<uint32_t>(total_rate), 4);
    for (size_t t = 0; t < requests.size(); ++t) {
        out.push_back(flip_every && t % flip_every == flip_every - 1 ? 1 : 0);
        out.push_back(static_cast<uint8_t>(requests[t]));
        out.push_back(255);
        for (int i = 0; i < 255; ++i) PutLittleEndian(&out, static_cast<uint16_t>(speech[t * kFrameSamples + 2 * i]), 2);
    }
    return out;
}

// The packets of a stream in the order sent, with some arriving twice or late.
std::vector<size_t> ArrivalOrder(size_t packets) {
    std::vector<size_t> order = {0, 1, 2, 4, 3, 5, 5, 6};  // then 7 is lost
    for (size_t k = 8; k < packets; ++k) order.push_back(k);
    return order;
}

// Packets from port 5004 to 5006, numbered across a wrap-around, with the level extension.
rtp::CaptureSender SeedSender(bool ipv6) {
    rtp::CaptureSender sender;
    sender.source.ipv6 = sender.destination.ipv6 = ipv6;
    sender.source.port = 5004;
    sender.destination.port = 5006;
    sender.ssrc = 0xcafe;
    sender.first_sequence = 65533;
    sender.payload_type = 101;
    sender.level_id = 1;
    return sender;
}

// RTP receiver input: the stream's packets in ArrivalOrder.
Bytes ReceiverSeed(const Stream& s) {
    const rtp::PayloadConfig config{s.channels, s.bit_rate * s.channels, CopyMask(s.copies)};
    Bytes out{static_cast<uint8_t>(SeedSender(false).level_id)};
    PutLittleEndian(&out, static_cast<uint32_t>(rtp::PayloadBytes(config)), 2);
    for (size_t k : ArrivalOrder(s.packets.size())) {
        Bytes packet;
        rtp::BuildStreamPacket(SeedSender(false), static_cast<int64_t>(k), s.packets[k].bytes.data(),
                               s.packets[k].bytes.size(), s.packets[k].speech, s.packets[k].level, &packet);
        PutLittleEndian(&out, static_cast<uint32_t>(packet.size()), 2);
        out.insert(out.end(), packet.begin(), packet.end());
    }
    return out;
}

// A capture of the stream sent over UDP, in ArrivalOrder.
Bytes CaptureSeed(const Stream& s, bool ipv6) {
    Bytes out;
    rtp::AppendCaptureHeader(&out);
    for (size_t k : ArrivalOrder(s.packets.size())) {
        const Packet& p = s.packets[k];
        rtp::AppendPacketRecord(SeedSender(ipv6), static_cast<int64_t>(k), p.bytes.data(), p.bytes.size(), p.speech,
                                p.level, &out);
    }
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: fuzz_seeds CORPUS_DIR\n");
        return 2;
    }
    const std::string dir = argv[1];
    const Stream mono = Encode(1, 48000, 0, 6);
    const Stream mono_copies = Encode(1, 64000, 4, 12);
    const Stream stereo = Encode(2, 50000, 2, 8);
    WriteSeed(dir + "/decoder/mono_48k", DecoderSeed(mono, false, {}));
    WriteSeed(dir + "/decoder/mono_64k_four_copies_lossy",
              DecoderSeed(mono_copies, false, {false, false, true, false, true, true, false, true, true, true}));
    WriteSeed(dir + "/decoder/stereo_50k_two_copies_lossy",
              DecoderSeed(stereo, true, {false, false, false, true, true, false}));
    WriteSeed(dir + "/decoder/stereo_stream_to_mono_output", DecoderSeed(stereo, false, {false, true}));
    // A stereo stream that turns mono: a settings change (control bit 7,
    // stream mode bit 6 clear) before the first mono packet.
    Bytes change = DecoderSeed(stereo, true, {});
    for (size_t t = 0; t < mono.packets.size(); ++t) {
        change.push_back(t == 0 ? 0x80 : 0x00);
        if (t == 0) {
            PutLittleEndian(&change, static_cast<uint32_t>(mono.bit_rate), 4);
            PutLittleEndian(&change, 0, 2);
        }
        change.insert(change.end(), mono.packets[t].bytes.begin(), mono.packets[t].bytes.end());
    }
    WriteSeed(dir + "/decoder/stereo_then_mono_stream", change);

    WriteSeed(dir + "/encoder/mono_48k", EncoderSeed(false, 48000, {0, 1, 2, 3}, 0));
    WriteSeed(dir + "/encoder/stereo_128k_flips", EncoderSeed(true, 128000, {4, 9, -3, 2}, 2));

    WriteSeed(dir + "/rtp_receiver/mono_64k_two_copies", ReceiverSeed(Encode(1, 64000, 2, 10)));
    WriteSeed(dir + "/capture_reader/ipv4_mono_48k", CaptureSeed(Encode(1, 48000, 0, 12), false));
    WriteSeed(dir + "/capture_reader/ipv6_stereo_one_copy", CaptureSeed(Encode(2, 50000, 1, 9), true));

    // As written to a pipe: the length after the packets.
    Stream piped = Encode(2, 50000, 2, 3);
    piped.length_at_end = true;
    std::string error;
    if (!WriteDrk(dir + "/drk_reader/mono.drk", Encode(1, 56000, 1, 4), &error) ||
        !WriteDrk(dir + "/drk_reader/stereo_copies.drk", Encode(2, 64000, 3, 3), &error) ||
        !WriteDrk(dir + "/drk_reader/stereo_piped.drk", piped, &error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    return 0;
}
