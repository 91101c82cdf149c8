// The receiving side: packets and loss counts in, PCM out.
#include <algorithm>

#include "codec.h"
#include "console.h"
#include "dremko.h"
#include "gap_fill.h"

namespace {

// Marks the `gap` lost frames before packet m as the decoder filled them:
// the newest `inserted` it delivered, the older ones it left out (a gap
// beyond its reach, or one it does not rebuild, such as the one after the
// first packet of a stereo stream).
void TallyGap(int64_t m, int64_t gap, int64_t inserted, int64_t next_loss, int copies, FrameDecoder* d) {
    for (int64_t back = 1; back <= gap; ++back) {
        char& mark = d->timeline[m - back];
        switch (rtp::FillOfLostFrame(back, inserted, next_loss, CopyMask(copies))) {
            case rtp::LostFrame::kRebuilt:
                mark = kMarkRebuilt;
                ++d->tally.rebuilt;
                break;
            case rtp::LostFrame::kConcealed:
                mark = kMarkConcealed;
                ++d->tally.concealed;
                break;
            case rtp::LostFrame::kMuted:
                mark = kMarkMuted;
                ++d->tally.muted;
                break;
        }
    }
}

}  // namespace

void StartDecoder(const StreamInfo& info, FrameDecoder* d) {
    *d = FrameDecoder{};
    d->info = info;
    d->context.assign(static_cast<size_t>(Dremko_SizeofDecoderContext()), 0);
    Dremko_InitDecoderContext(d->context.data(), info.channels == 2);
    DremkoSetDecoderBitRate(d->context.data(), info.bit_rate);
    DremkoSetDecoderRdpBits(d->context.data(), CopyMask(info.copies));
    d->delivered.resize(static_cast<size_t>(DREMKO_MAX_DECODED_FRAMES) * kFrameSamples * info.channels);
}

void DecodePacket(FrameDecoder* d, const Packet* packet, std::vector<float>* out) {
    const int64_t k = static_cast<int64_t>(d->timeline.size());
    d->last_damaged = 0;
    d->silent_before = 0;
    if (!packet) {
        d->timeline.push_back(kMarkPending);
        ++d->run;
        return;
    }
    d->timeline.push_back(kMarkReceived);
    const int channels = d->info.channels;
    int32_t delivered = 0;
    Dremko_DecodeFrame(d->context.data(), packet->bytes.data(), d->delivered.data(), static_cast<int32_t>(d->run),
                       &delivered);
    d->last_damaged = TakeLibraryLines();
    d->damaged += d->last_damaged;
    if (d->stored >= 0 && d->stored_gap > 0) TallyGap(d->stored, d->stored_gap, delivered - 1, d->run, d->info.copies, d);
    // The first call gives one silent frame, each later one ends with the
    // stored packet's frame; frames the decoder skipped are silence.
    const int64_t expected = d->stored < 0 ? 1 : d->stored + 2;
    const int64_t skipped = std::max<int64_t>(expected - d->frames_out - delivered, 0);
    d->silent_before = skipped;
    // Delivered frames are planar per frame; the output is interleaved.
    for (int32_t f = 0; f < delivered; ++f)
        for (int i = 0; i < kFrameSamples; ++i)
            for (int c = 0; c < channels; ++c)
                out->push_back(d->delivered[(static_cast<size_t>(f) * channels + c) * kFrameSamples + i] / 32768.0f);
    d->frames_out += skipped + delivered;
    d->stored = k;
    d->stored_gap = d->run;
    d->run = 0;
}

void FinishDecoding(FrameDecoder* d) {
    // Nothing arrives after the last received packet to rebuild the gap before it.
    const size_t from = static_cast<size_t>(std::max<int64_t>(d->stored - d->stored_gap, 0));
    for (size_t k = from; k < d->timeline.size(); ++k)
        if (d->timeline[k] == kMarkPending) {
            d->timeline[k] = kMarkMuted;
            ++d->tally.muted;
        }
}
