#include "gap_fill.h"

#include "interface/packet_layout.h"

namespace rtp {

namespace {

// After a gap, the two packets in hand hold copies of frames up to this far
// back; older lost frames can only be concealed.
constexpr int64_t kFramesFromCopies = 2 * kMaxCopies;

bool HasCopy(uint16_t copy_mask, int64_t index) { return index < kMaxCopies && (copy_mask >> index) & 1; }

// Whether the decoder holds a copy of frame m - 1 - k when it rebuilds the
// gap before packet m: odd k come from packet m's own copies (frames m - 2,
// m - 4, ...), even k from the next packet's, which line up only when an
// even number of packets is lost between the two.
bool CopyInHand(int64_t k, int64_t next_loss, uint16_t copy_mask) {
    if (k % 2 == 1) return HasCopy(copy_mask, (k - 1) / 2);
    if (next_loss % 2 != 0 || next_loss > 6) return false;
    return HasCopy(copy_mask, k / 2 + next_loss / 2);
}

}  // namespace

LostFrame FillOfLostFrame(int64_t back, int64_t inserted, int64_t next_loss, uint16_t copy_mask) {
    if (back > inserted) return LostFrame::kMuted;
    if (back <= kFramesFromCopies && CopyInHand(back - 1, next_loss, copy_mask)) return LostFrame::kRebuilt;
    return LostFrame::kConcealed;
}

}  // namespace rtp
