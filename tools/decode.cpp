// The receiving side: packets and loss counts in, PCM out.
#include <algorithm>

#include "codec.h"
#include "dremko.h"
#include "progress.h"

namespace {

// The decoder's reach after a gap: at most this many frames are inserted,
// and only the newest few can come from redundant copies.
constexpr int64_t kMaxInsertedFrames = 20;
constexpr int64_t kFramesFromCopies = 8;
constexpr int kMaxDelivered = kMaxInsertedFrames + 1;

// Whether the decoder holds a copy of frame m - 1 - k when it rebuilds the
// gap before packet m: odd k come from packet m's own copies (frames m - 2,
// m - 4, ...), even k from the next packet's, which line up only when an
// even number of packets is lost between the two.
bool CopyInHand(int64_t k, int64_t next_loss, int copies) {
    if (k % 2 == 1) return (k - 1) / 2 < copies;
    if (next_loss % 2 != 0 || next_loss > 6) return false;
    return k / 2 + next_loss / 2 < copies;
}

// Marks the `gap` lost frames before packet m as the decoder fills them.
void TallyGap(int64_t m, int64_t gap, int64_t next_loss, int copies, Decoded* out) {
    for (int64_t d = 1; d <= gap; ++d) {
        char& mark = out->timeline[m - d];
        if (d > kMaxInsertedFrames) {
            mark = kMarkMuted;
            ++out->tally.muted;
        } else if (d <= kFramesFromCopies && CopyInHand(d - 1, next_loss, copies)) {
            mark = kMarkRebuilt;
            ++out->tally.rebuilt;
        } else {
            mark = kMarkConcealed;
            ++out->tally.concealed;
        }
    }
}

// Appends delivered frames (planar per frame) to the interleaved output.
void AppendFrames(const std::vector<int16_t>& planar, int frames, int channels, std::vector<int16_t>* pcm) {
    for (int f = 0; f < frames; ++f)
        for (int i = 0; i < kFrameSamples; ++i)
            for (int c = 0; c < channels; ++c)
                pcm->push_back(planar[(static_cast<size_t>(f) * channels + c) * kFrameSamples + i]);
}

}  // namespace

void DecodeStream(const Stream& stream, const std::vector<bool>& lost, Decoded* out) {
    const int channels = stream.channels;
    std::vector<uint8_t> context(static_cast<size_t>(Dremko_SizeofDecoderContext()));
    Dremko_InitDecoderContext(context.data(), channels == 2);
    DremkoSetDecoderBitRate(context.data(), stream.bit_rate);
    DremkoSetDecoderRdpBits(context.data(), CopyMask(stream.copies));

    const int64_t packets = static_cast<int64_t>(stream.packets.size());
    const size_t frame_values = static_cast<size_t>(kFrameSamples) * channels;
    std::vector<int16_t> delivered_pcm(kMaxDelivered * frame_values);
    std::vector<int16_t> pcm;
    out->timeline.assign(packets, kMarkReceived);
    out->tally = FrameTally{};
    int64_t stored = -1;     // the packet the decoder holds back
    int64_t stored_gap = 0;  // packets lost just before it
    int64_t run = 0;         // packets lost since it
    Progress progress = StartProgress("decoding", packets);
    for (int64_t k = 0; k < packets; ++k) {
        AdvanceProgress(&progress, k + 1);
        if (lost[k]) {
            ++run;
            continue;
        }
        int32_t delivered = 0;
        Dremko_DecodeFrame(context.data(), stream.packets[k].bytes.data(), delivered_pcm.data(),
                           static_cast<int32_t>(run), &delivered);
        if (stored >= 0 && stored_gap > 0) TallyGap(stored, stored_gap, run, stream.copies, out);
        // The first call gives one silent frame, each later one ends with the
        // stored packet's frame; frames the decoder skipped become silence.
        const int64_t expected = stored < 0 ? 1 : stored + 2;
        const int64_t skipped = expected - static_cast<int64_t>(pcm.size() / frame_values) - delivered;
        pcm.resize(pcm.size() + std::max<int64_t>(skipped, 0) * frame_values, 0);
        AppendFrames(delivered_pcm, delivered, channels, &pcm);
        stored = k;
        stored_gap = run;
        run = 0;
    }
    FinishProgress(&progress);
    // Nothing arrives after the last received packet to rebuild the gap before it.
    for (int64_t k = std::max<int64_t>(stored - stored_gap, 0); k < packets; ++k)
        if (lost[k]) {
            out->timeline[k] = kMarkMuted;
            ++out->tally.muted;
        }

    const uint64_t frames = CodecFrames(stream.source_frames, stream.source_rate);
    const size_t delay = static_cast<size_t>(kDelayFrames) * frame_values;
    pcm.resize(delay + frames * channels, 0);
    out->pcm.assign(pcm.begin() + delay, pcm.end());
}
