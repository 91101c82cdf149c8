#include <gtest/gtest.h>

#include <cstdio>
#include <set>

#include "capture_reader.h"
#include "capture_stream.h"
#include "capture_writer.h"
#include "codec_session.h"
#include "test_signals.h"

namespace {

rtp::CaptureSender Sender(bool ipv6, uint16_t port, uint32_t ssrc) {
    rtp::CaptureSender s;
    s.source.ipv6 = s.destination.ipv6 = ipv6;
    s.source.port = port;
    s.destination.port = port + 2;
    s.ssrc = ssrc;
    s.first_sequence = 65520;  // wraps around within the stream
    s.level_id = 1;
    return s;
}

// A capture as a network delivers it: the stream's packets late, twice, lost
// and one cut short, beside another stream of the codec's packets. Reading
// it back, the stream chosen by port is found to be what the encoder made,
// and each packet comes once, in order, with the packets lost before it.
TEST(Capture, ChosenStreamComesBackInOrderWithItsLosses) {
    EncoderSession encoder = MakeEncoder(96000, true);
    const auto packets = EncodeAll(encoder, test_signals::Planar(test_signals::SpeechLike(24), test_signals::Chords(24)),
                                   true, 2);
    const std::set<size_t> lost = {14, 15, 17, 20};
    const size_t cut = 20;  // arrives one byte short
    std::vector<size_t> order;
    std::vector<std::pair<std::vector<uint8_t>, int64_t>> expected;  // with the count lost before each
    int64_t run = 0;
    for (size_t k = 0; k < packets.size(); ++k) {
        if (!lost.count(k) || k == cut) order.push_back(k);
        if (lost.count(k)) {
            ++run;
            continue;
        }
        expected.push_back({packets[k], run});
        run = 0;
    }
    std::swap(order[5], order[6]);
    order.insert(order.begin() + 10, 10);
    for (bool ipv6 : {false, true}) {
        const rtp::CaptureSender chosen = Sender(ipv6, 5004, 0x1234), other = Sender(ipv6, 6000, 0x9876);
        std::vector<uint8_t> file;
        rtp::AppendCaptureHeader(&file);
        for (size_t k : order) {
            const auto& p = packets[k];
            rtp::AppendPacketRecord(chosen, k, p.data(), p.size() - (k == cut), false, 40, &file);
            rtp::AppendPacketRecord(other, k, p.data(), p.size(), true, 80, &file);
        }
        rtp::Capture capture;
        std::string error;
        ASSERT_TRUE(rtp::ReadCapture(fmemopen(file.data(), file.size(), "rb"), &capture, &error)) << error;
        rtp::LoadedStream stream;
        EXPECT_FALSE(rtp::LoadStream(capture.datagrams, rtp::StreamChoice{}, nullptr, &stream, &error));
        rtp::StreamChoice choice;
        choice.port = 5006;
        ASSERT_TRUE(rtp::LoadStream(capture.datagrams, choice, nullptr, &stream, &error)) << error;

        EXPECT_EQ(stream.config.channels, 2);
        EXPECT_EQ(stream.config.bit_rate, 96000);
        EXPECT_EQ(stream.config.copy_mask, 3);
        EXPECT_EQ(stream.report.ssrc, 0x1234u);
        EXPECT_EQ(stream.report.duplicates, 1);
        EXPECT_EQ(stream.report.reordered, 1);
        EXPECT_EQ(stream.report.lost, 3);
        EXPECT_EQ(stream.wrong_length, 1);
        std::vector<std::pair<std::vector<uint8_t>, int64_t>> got;
        for (const rtp::CapturedPacket& p : stream.packets) got.push_back({p.payload, p.lost_before});
        EXPECT_TRUE(got == expected);
        const rtp::CapturedPacket& first = stream.packets[0];
        EXPECT_TRUE(first.has_audio_level && !first.voice && first.minus_dbov == rtp::LevelToMinusDbov(40));
    }
}

}  // namespace

// A sender that restarts its numbering far ahead (here ten minutes' worth)
// lost nothing there: every packet comes through, and only the real loss
// before the jump is counted.
TEST(Capture, JumpFarAheadStartsANewRunWithoutLoss) {
    const rtp::PayloadConfig config{1, 64000, 0};
    const std::vector<uint8_t> payload(rtp::PayloadBytes(config), 0x55);
    std::vector<uint8_t> file;
    rtp::AppendCaptureHeader(&file);
    for (int64_t k = 0; k < 20; ++k)
        if (k != 5)
            rtp::AppendPacketRecord(Sender(false, 5004, 0x1234), k < 10 ? k : k + 30000, payload.data(), payload.size(),
                                    false, 0, &file);
    rtp::Capture capture;
    std::string error;
    ASSERT_TRUE(rtp::ReadCapture(fmemopen(file.data(), file.size(), "rb"), &capture, &error)) << error;
    rtp::LoadedStream stream;
    ASSERT_TRUE(rtp::LoadStream(capture.datagrams, rtp::StreamChoice{}, &config, &stream, &error)) << error;
    EXPECT_EQ(stream.report.lost, 1);
    ASSERT_EQ(stream.packets.size(), 19u);
    for (size_t i = 0; i < stream.packets.size(); ++i) EXPECT_EQ(stream.packets[i].lost_before, i == 5) << i;
}
