#include "dremko_runs.h"

#include <algorithm>

#include "dremko.h"
#include "timing.h"

namespace {

constexpr int kGap = 20;

std::vector<uint8_t> NewEncoder(const DremkoStream& stream) {
    std::vector<uint8_t> ctx(static_cast<size_t>(Dremko_SizeofEncoderContext()));
    Dremko_InitEncoderContext(ctx.data(), stream.stereo ? 2 * stream.rate : stream.rate, stream.stereo);
    return ctx;
}

std::vector<uint8_t> NewDecoder(const DremkoStream& stream) {
    std::vector<uint8_t> ctx(static_cast<size_t>(Dremko_SizeofDecoderContext()));
    Dremko_InitDecoderContext(ctx.data(), stream.stereo);
    DremkoSetDecoderBitRate(ctx.data(), stream.rate);
    DremkoSetDecoderRdpBits(ctx.data(), static_cast<uint16_t>((1 << stream.copies) - 1));
    return ctx;
}

}  // namespace

double DremkoEncode(const BenchAudio& audio, const DremkoStream& stream, DremkoEncoded* encoded) {
    std::vector<uint8_t> ctx = NewEncoder(stream);
    const int channels = stream.stereo ? 2 : 1;
    const int16_t* pcm = stream.stereo ? audio.planar.data() : audio.mono.data();
    std::vector<uint8_t> out(static_cast<size_t>(audio.frames) * kMaxPacketBytes);
    std::vector<int32_t> lengths(static_cast<size_t>(audio.frames));
    std::vector<int32_t>& flags = encoded->flags_levels;
    flags.assign(2 * static_cast<size_t>(audio.frames), 0);

    const auto start = CpuNow();
    for (int f = 0; f < audio.frames; ++f) {
        lengths[f] = channels * Dremko_EncodeFrame(ctx.data(), pcm + f * channels * kFrameSamples,
                                                   &out[static_cast<size_t>(f) * kMaxPacketBytes], stream.copies);
        flags[2 * f] = DremkoEncoder_GetSpeechDetect(ctx.data());
        flags[2 * f + 1] = DremkoEncoder_GetEnergy(ctx.data());
    }
    const double micros = MicrosSince(start);

    encoded->packets.clear();
    for (int f = 0; f < audio.frames; ++f) {
        const uint8_t* p = &out[static_cast<size_t>(f) * kMaxPacketBytes];
        encoded->packets.emplace_back(p, p + lengths[f]);
    }
    return micros / audio.frames;
}

double DremkoDecode(const std::vector<Packet>& packets, const std::vector<bool>& received, const DremkoStream& stream,
                    std::vector<int16_t>* pcm) {
    std::vector<uint8_t> ctx = NewDecoder(stream);
    const size_t frame = (stream.stereo ? 2 : 1) * kFrameSamples;
    // Room for every frame sent and for the largest single delivery.
    pcm->assign((packets.size() + kGap + 1) * frame, 0);
    size_t written = 0;
    int32_t lost = 0;

    const auto start = CpuNow();
    for (size_t i = 0; i < packets.size(); ++i) {
        if (!received[i]) {
            ++lost;
            continue;
        }
        int32_t delivered = 0;
        Dremko_DecodeFrame(ctx.data(), packets[i].data(), pcm->data() + written, lost, &delivered);
        written += static_cast<size_t>(delivered) * frame;
        lost = 0;
    }
    const double micros = MicrosSince(start);
    pcm->resize(written);
    return micros / static_cast<double>(packets.size());
}

double DremkoGapCall(const std::vector<Packet>& packets, const DremkoStream& stream, int repeats) {
    // Packets 0 ... 9 arrive, 10 ... 29 are lost, 30 reports them; the call
    // with packet 31 rebuilds the gap.
    constexpr int kLastBefore = 9;
    const size_t frame = (stream.stereo ? 2 : 1) * kFrameSamples;
    std::vector<int16_t> out((kGap + 1) * frame);
    std::vector<uint8_t> ctx = NewDecoder(stream);
    int32_t delivered = 0;
    for (int i = 0; i <= kLastBefore; ++i) Dremko_DecodeFrame(ctx.data(), packets[i].data(), out.data(), 0, &delivered);
    Dremko_DecodeFrame(ctx.data(), packets[kLastBefore + kGap + 1].data(), out.data(), kGap, &delivered);
    const std::vector<uint8_t> before = ctx;
    const Packet& next = packets[kLastBefore + kGap + 2];

    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        ctx = before;
        const auto start = CpuNow();
        Dremko_DecodeFrame(ctx.data(), next.data(), out.data(), 0, &delivered);
        best = std::min(best, MicrosSince(start));
    }
    return delivered == kGap + 1 ? best : -1.0;
}

double DremkoEncoderInit(int repeats) {
    std::vector<uint8_t> ctx(static_cast<size_t>(Dremko_SizeofEncoderContext()));
    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        const auto start = CpuNow();
        Dremko_InitEncoderContext(ctx.data(), 64000, 1);
        best = std::min(best, MicrosSince(start));
    }
    return best;
}

double DremkoDecoderInit(int repeats) {
    std::vector<uint8_t> ctx(static_cast<size_t>(Dremko_SizeofDecoderContext()));
    double best = 1e30;
    for (int r = 0; r < repeats; ++r) {
        const auto start = CpuNow();
        Dremko_InitDecoderContext(ctx.data(), 1);
        best = std::min(best, MicrosSince(start));
    }
    return best;
}

double DremkoFirstInit() {
    std::vector<uint8_t> ctx(static_cast<size_t>(Dremko_SizeofEncoderContext()));
    const auto start = CpuNow();
    Dremko_InitEncoderContext(ctx.data(), 64000, 0);
    return MicrosSince(start);
}
