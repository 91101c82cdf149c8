// The public header as a C++ host uses it (the C example host compiles it
// as C99): the size macros are constants, and the getters take a const
// context.
#include <gtest/gtest.h>

#include <vector>

#include "dremko.h"

namespace {

static_assert(DREMKO_MAX_PACKET_BYTES == 528, "two parts of a full main frame and four copies");

// Packet lengths a host can work out by hand: rate / 400 bytes per channel,
// held to 120 ... 160, plus 26 bytes per copy, per channel.
TEST(PublicHeader, PacketSizeMacroMatchesWhatTheEncoderWrites) {
    struct Case { int32_t total_rate; int32_t stereo; int32_t copies; int32_t bytes; };
    for (const Case& c : {Case{48000, 0, 0, 120}, Case{48000, 0, 2, 172}, Case{24000, 0, 1, 146},
                          Case{100000, 1, 2, 354}, Case{200000, 1, 4, 528}}) {
        EXPECT_EQ(DREMKO_PACKET_BYTES(c.total_rate, c.stereo, c.copies), c.bytes) << c.total_rate;
        std::vector<uint8_t> encoder(static_cast<size_t>(Dremko_SizeofEncoderContext()));
        std::vector<int16_t> pcm(2 * DREMKO_FRAME_SAMPLES, 100);
        std::vector<uint8_t> packet(static_cast<size_t>(c.bytes));
        ASSERT_EQ(Dremko_InitEncoderContext(encoder.data(), c.total_rate, c.stereo), 0);
        const int32_t part = Dremko_EncodeFrame(encoder.data(), pcm.data(), packet.data(), c.copies);
        EXPECT_EQ(part * (c.stereo ? 2 : 1), c.bytes);
        const void* finished = encoder.data();
        EXPECT_EQ(DremkoEncoder_GetRP(finished), c.copies);
    }
}

}  // namespace
