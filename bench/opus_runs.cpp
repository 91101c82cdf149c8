#include "opus_runs.h"

#include <opus.h>

#include <cstdio>
#include <cstdlib>

#include "timing.h"

namespace {

constexpr int kMaxOpusPacket = 1500;

void Require(int error, const char* what) {
    if (error == OPUS_OK) return;
    std::fprintf(stderr, "libopus: %s: %s\n", what, opus_strerror(error));
    std::exit(1);
}

}  // namespace

double OpusEncode(const BenchAudio& audio, bool stereo, int32_t bit_rate, std::vector<OpusPacket>* packets) {
    const int channels = stereo ? 2 : 1;
    int error = OPUS_OK;
    OpusEncoder* enc = opus_encoder_create(kSampleRate, channels, OPUS_APPLICATION_RESTRICTED_LOWDELAY, &error);
    Require(error, "encoder");
    Require(opus_encoder_ctl(enc, OPUS_SET_BITRATE(channels * bit_rate)), "bit rate");
    Require(opus_encoder_ctl(enc, OPUS_SET_COMPLEXITY(10)), "complexity");
    Require(opus_encoder_ctl(enc, OPUS_SET_VBR(0)), "constant bit rate");
    const int16_t* pcm = stereo ? audio.interleaved.data() : audio.mono.data();
    std::vector<unsigned char> out(static_cast<size_t>(audio.frames) * kMaxOpusPacket);
    std::vector<int32_t> lengths(static_cast<size_t>(audio.frames));

    const auto start = CpuNow();
    for (int f = 0; f < audio.frames; ++f)
        lengths[f] = opus_encode(enc, pcm + f * channels * kFrameSamples, kFrameSamples,
                                 &out[static_cast<size_t>(f) * kMaxOpusPacket], kMaxOpusPacket);
    const double micros = MicrosSince(start);

    opus_encoder_destroy(enc);
    packets->clear();
    for (int f = 0; f < audio.frames; ++f) {
        Require(lengths[f] < 0 ? lengths[f] : OPUS_OK, "encode");
        const unsigned char* p = &out[static_cast<size_t>(f) * kMaxOpusPacket];
        packets->emplace_back(p, p + lengths[f]);
    }
    return micros / audio.frames;
}

double OpusDecode(const std::vector<OpusPacket>& packets, const std::vector<bool>& received, bool stereo) {
    const int channels = stereo ? 2 : 1;
    int error = OPUS_OK;
    OpusDecoder* dec = opus_decoder_create(kSampleRate, channels, &error);
    Require(error, "decoder");
    std::vector<int16_t> pcm(packets.size() * channels * kFrameSamples);
    int decoded = 0;

    const auto start = CpuNow();
    for (size_t i = 0; i < packets.size(); ++i) {
        int16_t* out = &pcm[i * channels * kFrameSamples];
        decoded += received[i] ? opus_decode(dec, packets[i].data(), static_cast<int32_t>(packets[i].size()), out,
                                             kFrameSamples, 0)
                               : opus_decode(dec, nullptr, 0, out, kFrameSamples, 0);
    }
    const double micros = MicrosSince(start);

    opus_decoder_destroy(dec);
    Require(decoded == static_cast<int>(packets.size()) * kFrameSamples ? OPUS_OK : OPUS_INTERNAL_ERROR, "decode");
    return micros / static_cast<double>(packets.size());
}
