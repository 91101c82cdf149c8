// How the decoder filled the frames of lost packets. The library reports
// only how many frames it delivered before each packet; which of them came
// from a redundant copy follows from the copies it held, which this tells,
// for every receiver that counts them (the command-line tool, dremkodec).
#pragma once
#include <cstdint>

namespace rtp {

enum class LostFrame {
    kRebuilt,    // from a redundant copy
    kConcealed,  // made up between known neighbours
    kMuted,      // not delivered (beyond the decoder's reach): the receiver plays silence
};

// The lost frame `back` frames before packet m (1: the one just before it),
// when the decoder delivered the newest `inserted` frames of that gap on
// being handed the next packet with loss count `next_loss`, in a stream
// whose packets carry the copies of `copy_mask`.
LostFrame FillOfLostFrame(int64_t back, int64_t inserted, int64_t next_loss, uint16_t copy_mask);

}  // namespace rtp
