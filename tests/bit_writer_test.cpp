// Core frame bit writer: fields of every length, in the frame's word and
// bit order, never touching bytes past the pair of words being filled.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <random>
#include <vector>

#include "core/bit_writer.h"
#include "core/core_tables.h"

namespace {

// Bit k of a frame: 16-bit little-endian words, most significant bit first.
int FrameBit(const uint8_t* frame, int k) { return (frame[2 * (k / 16) + (k % 16 < 8)] >> (7 - k % 8)) & 1; }

constexpr uint8_t kUntouched = 0xa5;

// Writes random fields of 1 ... 32 bits up to the frame's end, checking
// after each that every completed pair of words is in the frame and that no
// byte past the pair being filled has been touched; at the end, every bit.
TEST(BitWriter, FieldsOfEveryLengthLandInWordOrder) {
    std::mt19937 random(7);
    for (int trial = 0; trial < 50; ++trial) {
        uint8_t frame[kCoreFrameBytes];
        std::memset(frame, kUntouched, sizeof frame);
        std::vector<int> want;
        BitWriter writer;
        StartBitWriter(&writer, frame);
        while (writer.position < kCoreFrameBits) {
            const int length = std::min<int>(1 + random() % 32, kCoreFrameBits - writer.position);
            const uint32_t value = static_cast<uint32_t>(random()) >> (32 - length);
            for (int b = length - 1; b >= 0; --b) want.push_back((value >> b) & 1);
            WriteBits(&writer, value, length);
            ASSERT_EQ(writer.position, static_cast<int>(want.size()));
            for (int k = 0; k < (writer.position & ~31); ++k) ASSERT_EQ(FrameBit(frame, k), want[k]) << "bit " << k;
            for (int byte = 4 * ((writer.position + 31) / 32); byte < kCoreFrameBytes; ++byte)
                ASSERT_EQ(frame[byte], kUntouched) << "byte " << byte << " at bit " << writer.position;
        }
        for (int k = 0; k < kCoreFrameBits; ++k) ASSERT_EQ(FrameBit(frame, k), want[k]) << "bit " << k;
    }
}

// Fills end at word boundaries that are not pair boundaries too (a base
// layer may end at an odd word), with their last ones in the pair before or
// after the fill's last write; writing goes on from there.
TEST(BitWriter, FillsEndAtAnyWordAndWritingContinues) {
    for (const int lead : {3, 20}) {
        for (int end = 32; end < kCoreFrameBits; end += 16) {
            uint8_t frame[kCoreFrameBytes];
            std::memset(frame, 0, sizeof frame);
            BitWriter writer;
            StartBitWriter(&writer, frame);
            WriteBits(&writer, 0, lead);
            FillOnes(&writer, end);
            ASSERT_EQ(writer.position, end);
            for (int k = 0; k < end; ++k) ASSERT_EQ(FrameBit(frame, k), k < lead ? 0 : 1) << "bit " << k;
            WriteBits(&writer, 0x5, 3);  // 101
            FillOnes(&writer, kCoreFrameBits);
            for (int k = 0; k < kCoreFrameBits; ++k) {
                const int want = k < lead || k == end + 1 ? 0 : 1;
                ASSERT_EQ(FrameBit(frame, k), want) << "bit " << k << " with a fill to " << end;
            }
        }
    }
}

}  // namespace
