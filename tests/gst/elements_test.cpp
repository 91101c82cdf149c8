// Each element on its own in a harness: caps, properties, timestamps,
// draining, gaps, and what the network may send.
#include <gst/audio/audio.h>
#include <gst/check/gstharness.h>
#include <gst/rtp/rtp.h>
#include <gst/sdp/sdp.h>
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "elements.h"
#include "gst_support.h"

namespace {

GstBuffer* BufferOf(const void* data, size_t bytes, GstClockTime pts) {
    GstBuffer* b = gst_buffer_new_memdup(data, bytes);
    GST_BUFFER_PTS(b) = pts;
    return b;
}

std::vector<GstBuffer*> PullAll(GstHarness* h) {
    std::vector<GstBuffer*> out;
    while (GstBuffer* b = gst_harness_try_pull(h)) out.push_back(b);
    return out;
}

void Release(std::vector<GstBuffer*>* buffers) {
    for (GstBuffer* b : *buffers) gst_buffer_unref(b);
    buffers->clear();
}

int CapsInt(GstCaps* caps, const char* field) {
    int v = -1;
    gst_structure_get_int(gst_caps_get_structure(caps, 0), field, &v);
    return v;
}

struct EncoderCase {
    int channels, bitrate, copies;
    int expected_total_rate;  // each channel's share held to 48000 ... 64000
};

class EncoderTest : public testing::TestWithParam<EncoderCase> {};

// Audio pushed in pieces of odd sizes comes out one packet per 20 ms,
// byte for byte the library's packets, stamped with the frame's time and
// carrying the frame's speech flag and level.
TEST_P(EncoderTest, PacketsCapsTimestampsAndLevels) {
    const EncoderCase& c = GetParam();
    const std::string launch = "dremkoenc bitrate=" + std::to_string(c.bitrate) + " copies=" + std::to_string(c.copies);
    GstHarness* h = gst_harness_new_parse(launch.c_str());
    gst_harness_set_src_caps_str(h, ("audio/x-raw, format=" GST_AUDIO_NE(S16) ", layout=interleaved, rate=48000, channels=" +
                                     std::to_string(c.channels)).c_str());
    const int frames = 11;
    std::vector<int16_t> pcm = TwoTones(c.channels, frames);
    pcm.resize(pcm.size() - 300 * c.channels);  // the last frame is short
    const size_t piece = 700 * c.channels;
    for (size_t at = 0; at < pcm.size(); at += piece) {
        const size_t n = std::min(piece, pcm.size() - at);
        gst_harness_push(h, BufferOf(pcm.data() + at, n * 2, at / c.channels * GST_SECOND / 48000));
    }
    gst_harness_push_event(h, gst_event_new_eos());
    std::vector<GstBuffer*> out = PullAll(h);

    GstCaps* caps = gst_pad_get_current_caps(h->sinkpad);
    EXPECT_EQ(CapsInt(caps, "channels"), c.channels);
    EXPECT_EQ(CapsInt(caps, "bitrate"), c.expected_total_rate);
    EXPECT_EQ(CapsInt(caps, "copy-mask"), (1 << c.copies) - 1);
    gst_caps_unref(caps);

    const rtp::PayloadConfig config{c.channels, c.expected_total_rate, static_cast<uint16_t>((1 << c.copies) - 1)};
    const std::vector<EncodedFrame> direct = EncodeDirect(pcm, config, c.copies);
    ASSERT_EQ(out.size(), direct.size());
    for (size_t k = 0; k < out.size(); ++k) {
        EXPECT_EQ(GST_BUFFER_PTS(out[k]), k * kFrame);
        GstMapInfo map;
        gst_buffer_map(out[k], &map, GST_MAP_READ);
        EXPECT_EQ(std::vector<uint8_t>(map.data, map.data + map.size), direct[k].packet) << "packet " << k;
        gst_buffer_unmap(out[k], &map);
        const GstAudioLevelMeta* meta = gst_buffer_get_audio_level_meta(out[k]);
        ASSERT_NE(meta, nullptr);
        EXPECT_EQ(meta->voice_activity, direct[k].speech != 0);
        EXPECT_EQ(meta->level, rtp::LevelToMinusDbov(direct[k].level));
    }
    Release(&out);
    gst_harness_teardown(h);
}

INSTANTIATE_TEST_SUITE_P(Settings, EncoderTest,
                         testing::Values(EncoderCase{1, 64000, 2, 64000}, EncoderCase{2, 100000, 4, 100000},
                                         EncoderCase{1, 128000, 0, 64000}, EncoderCase{2, 64000, 1, 96000}));

// Packets with gaps of one, two and 25 packets (beyond the 20 frames the
// library inserts) and one damaged packet come out as one unbroken stretch
// of audio, every frame stamped in turn, sample for sample what the library
// gives for the same losses, and the held-back frame at end of stream.
TEST(DecoderTest, GapsGiveUnbrokenAudioEqualToTheLibrary) {
    for (int channels : {1, 2}) {
        const rtp::PayloadConfig config{channels, 56000 * channels, 3};
        const int frames = 60;
        const std::vector<EncodedFrame> packets = EncodeDirect(TwoTones(channels, frames), config, 2);
        const std::set<int> lost = {3, 10, 11, 30, 31, 32, 33, 34, 35, 36, 37, 38, 39, 40, 41, 42, 43, 44,
                                    45, 46, 47, 48, 49, 50, 51, 52, 53, 54};
        const int damaged = 20;
        GstHarness* h = gst_harness_new("dremkodec");
        GstCaps* caps = EncodedCaps(config);
        gst_harness_set_src_caps(h, caps);
        std::vector<Received> received;
        int run = 0;
        for (int k = 0; k < frames; ++k) {
            const std::vector<uint8_t>& p = packets[k].packet;
            if (lost.count(k)) {
                ++run;
                continue;
            }
            gst_harness_push(h, BufferOf(p.data(), k == damaged ? p.size() - 1 : p.size(), k * kFrame));
            if (k == damaged) {
                ++run;
                continue;
            }
            received.push_back({&p, run});
            run = 0;
        }
        gst_harness_push_event(h, gst_event_new_eos());
        std::vector<GstBuffer*> out = PullAll(h);
        GstClockTime next = 0;
        for (GstBuffer* b : out) {
            EXPECT_EQ(GST_BUFFER_PTS(b), next);
            next += GST_BUFFER_DURATION(b);
        }
        EXPECT_EQ(next, (frames + 1) * kFrame) << "the first, silent frame and one per packet";
        const std::vector<int16_t> samples = Samples(out);
        EXPECT_TRUE(samples == DecodeDirect(received, config)) << channels << " channels";
        GstStructure* stats = nullptr;
        g_object_get(h->element, "stats", &stats, nullptr);
        guint64 lost_count = 0, bad = 0;
        gst_structure_get_uint64(stats, "lost", &lost_count);
        gst_structure_get_uint64(stats, "wrong-length", &bad);
        EXPECT_EQ(lost_count, lost.size() + 1);
        EXPECT_EQ(bad, 1u);
        gst_structure_free(stats);
        Release(&out);
        gst_harness_teardown(h);
    }
}

// The payloader's caps carry what the decoder needs (and become the SDP's
// rtpmap and fmtp); RTP timestamps step by 960 across a sequence number
// wrap; the depayloader turns those caps back into the encoder's and the
// packets, speech flags and levels back into what went in, and refuses caps
// that lack a parameter or whose stereo flag disagrees.
TEST(RtpTest, PayloadAndBackThroughCaps) {
    const rtp::PayloadConfig config{2, 112000, 5};
    const std::vector<EncodedFrame> packets = EncodeDirect(TwoTones(2, 12), config, 0);
    GstHarness* pay = gst_harness_new_parse("rtpdremkopay audio-level-id=3 seqnum-offset=65530 pt=101");
    GstCaps* caps = EncodedCaps(config);
    gst_harness_set_src_caps(pay, gst_caps_copy(caps));
    // Real packets of this configuration: the copies' bytes are whatever follows the main frame.
    std::vector<std::vector<uint8_t>> payloads;
    for (size_t k = 0; k < packets.size(); ++k) {
        std::vector<uint8_t> p = packets[k].packet;
        p.resize(rtp::PayloadBytes(config), static_cast<uint8_t>(k));
        payloads.push_back(p);
        GstBuffer* b = BufferOf(p.data(), p.size(), k * kFrame);
        gst_buffer_add_audio_level_meta(b, static_cast<guint8>(10 + k), k % 2 == 0);
        gst_harness_push(pay, b);
    }
    std::vector<GstBuffer*> rtp_out = PullAll(pay);
    ASSERT_EQ(rtp_out.size(), packets.size());
    GstCaps* rtp_caps = gst_pad_get_current_caps(pay->sinkpad);
    const GstStructure* s = gst_caps_get_structure(rtp_caps, 0);
    EXPECT_STREQ(gst_structure_get_string(s, "encoding-name"), "DREMKO");
    EXPECT_STREQ(gst_structure_get_string(s, "encoding-params"), "2");
    EXPECT_STREQ(gst_structure_get_string(s, "bitrate"), "112000");
    EXPECT_STREQ(gst_structure_get_string(s, "copy-mask"), "5");
    EXPECT_STREQ(gst_structure_get_string(s, "stereo"), "1");
    GstSDPMedia* media = nullptr;
    gst_sdp_media_new(&media);
    ASSERT_EQ(gst_sdp_media_set_media_from_caps(rtp_caps, media), GST_SDP_OK);
    gchar* sdp = gst_sdp_media_as_text(media);
    EXPECT_NE(std::string(sdp).find("a=rtpmap:101 DREMKO/48000/2"), std::string::npos) << sdp;
    EXPECT_NE(std::string(sdp).find("bitrate=112000;copy-mask=5;stereo=1"), std::string::npos) << sdp;
    EXPECT_NE(std::string(sdp).find(std::string("a=extmap:3 ") + rtp::kAudioLevelUri), std::string::npos) << sdp;
    g_free(sdp);
    gst_sdp_media_free(media);

    for (size_t k = 0; k < rtp_out.size(); ++k) {
        GstRTPBuffer r = GST_RTP_BUFFER_INIT;
        gst_rtp_buffer_map(rtp_out[k], GST_MAP_READ, &r);
        EXPECT_EQ(gst_rtp_buffer_get_seq(&r), static_cast<uint16_t>(65530 + k));
        static guint32 first = 0;
        if (k == 0) first = gst_rtp_buffer_get_timestamp(&r);
        EXPECT_EQ(gst_rtp_buffer_get_timestamp(&r) - first, 960 * k);
        gst_rtp_buffer_unmap(&r);
    }

    GstHarness* depay = gst_harness_new("rtpdremkodepay");
    gst_harness_set_src_caps(depay, rtp_caps);
    for (GstBuffer* b : rtp_out) gst_harness_push(depay, b);
    std::vector<GstBuffer*> out = PullAll(depay);
    GstCaps* out_caps = gst_pad_get_current_caps(depay->sinkpad);
    EXPECT_TRUE(gst_caps_is_equal(out_caps, caps));
    ASSERT_EQ(out.size(), payloads.size());
    for (size_t k = 0; k < out.size(); ++k) {
        GstMapInfo map;
        gst_buffer_map(out[k], &map, GST_MAP_READ);
        EXPECT_EQ(std::vector<uint8_t>(map.data, map.data + map.size), payloads[k]);
        gst_buffer_unmap(out[k], &map);
        const GstAudioLevelMeta* meta = gst_buffer_get_audio_level_meta(out[k]);
        ASSERT_NE(meta, nullptr);
        EXPECT_EQ(meta->level, 10 + k);
        EXPECT_EQ(meta->voice_activity, k % 2 == 0);
    }
    Release(&out);
    gst_caps_unref(out_caps);
    gst_caps_unref(caps);
    gst_harness_teardown(depay);
    gst_harness_teardown(pay);

    // Without copy-mask no packet length can be checked; stereo must agree with the channel count.
    const std::pair<const char*, bool> fmtps[] = {
        {"bitrate=(string)112000, copy-mask=(string)5, stereo=(string)1", true},
        {"bitrate=(string)112000, stereo=(string)1", false},
        {"bitrate=(string)64000, copy-mask=(string)5, stereo=(string)0", false},  // a valid mono stream
    };
    for (const auto& [fmtp, accepted] : fmtps) {
        GstHarness* h = gst_harness_new("rtpdremkodepay");
        gst_harness_set_src_caps_str(h, (std::string("application/x-rtp, media=audio, clock-rate=48000, "
                                                     "encoding-name=DREMKO, encoding-params=(string)2, ") + fmtp).c_str());
        GstCaps* decoder_caps = gst_pad_get_current_caps(h->sinkpad);
        EXPECT_EQ(decoder_caps != nullptr, accepted) << fmtp;
        if (decoder_caps) gst_caps_unref(decoder_caps);
        gst_harness_teardown(h);
    }
}

std::vector<uint8_t> RtpBytes(uint16_t seq, size_t payload, uint8_t first = 0x80) {
    std::vector<uint8_t> b = {first, 101, static_cast<uint8_t>(seq >> 8), static_cast<uint8_t>(seq), 0, 0, 3, 0xc0,
                              1, 2, 3, 4};
    b.resize(12 + payload, 0x55);
    return b;
}

// What the network may send: each bad packet is dropped and counted, and
// good packets still come through after them.
TEST(RtpTest, MalformedPacketsAreDroppedAndCounted) {
    const rtp::PayloadConfig config{1, 64000, 1};  // 186-byte payloads
    const size_t good = rtp::PayloadBytes(config);
    std::vector<uint8_t> padded = RtpBytes(3, good, 0xa0);
    padded.back() = 250;  // padding longer than the packet
    std::vector<uint8_t> extension = RtpBytes(4, 4, 0x90);
    extension[14] = 0x40;  // 64 words of extension in 4 bytes
    const struct {
        const char* what;
        std::vector<uint8_t> bytes;
        const char* counter;
    } cases[] = {
        {"short header", std::vector<uint8_t>(7, 0x80), "malformed"},
        {"version 1", RtpBytes(1, good, 0x40), "malformed"},
        {"CSRC count past the end", RtpBytes(2, 8, 0x8f), "malformed"},
        {"padding past the end", padded, "malformed"},
        {"extension past the end", extension, "malformed"},
        {"payload of no setting", RtpBytes(5, 119), "wrong-length"},
        {"payload of another setting", RtpBytes(6, good + 26), "wrong-length"},
        {"duplicate", RtpBytes(9, good), "duplicates"},
    };
    GstHarness* h = gst_harness_new("rtpdremkodepay");
    gst_harness_set_src_caps_str(h, "application/x-rtp, media=audio, clock-rate=48000, encoding-name=DREMKO, "
                                    "payload=101, bitrate=(string)64000, copy-mask=(string)1, stereo=(string)0");
    const std::vector<uint8_t> first = RtpBytes(9, good);
    gst_harness_push(h, BufferOf(first.data(), first.size(), 0));
    for (const auto& c : cases) gst_harness_push(h, BufferOf(c.bytes.data(), c.bytes.size(), 0));
    const std::vector<uint8_t> next = RtpBytes(10, good);
    gst_harness_push(h, BufferOf(next.data(), next.size(), kFrame));
    std::vector<GstBuffer*> out = PullAll(h);
    EXPECT_EQ(out.size(), 2u);
    GstStructure* stats = nullptr;
    g_object_get(h->element, "stats", &stats, nullptr);
    for (const char* counter : {"malformed", "wrong-length", "duplicates"}) {
        int expected = 0;
        for (const auto& c : cases) expected += std::string(c.counter) == counter;
        guint64 u = 0;
        gint64 i = 0;
        const bool is_u = gst_structure_get_uint64(stats, counter, &u);
        if (!is_u) gst_structure_get_int64(stats, counter, &i);
        EXPECT_EQ(is_u ? static_cast<gint64>(u) : i, expected) << counter;
    }
    gst_structure_free(stats);
    Release(&out);
    gst_harness_teardown(h);
}

// Packets stamped near their arrival, as a jitter buffer does, with jitter
// of more than half a packet, a stall and its burst, and a clock running
// 1.5 % fast: the depayloader's timestamps round to the sequence numbers'
// gaps, so the decoder plays exactly the library's decode with the real
// losses, and they end on the incoming clock.
TEST(RtpTest, ArrivalJitterNeverShowsAsLoss) {
    const rtp::PayloadConfig config{1, 64000, 3};
    const int frames = 80;
    const std::vector<EncodedFrame> packets = EncodeDirect(TwoTones(1, frames), config, 2);
    const std::set<int> lost = {5, 17, 18, 50};
    auto arrival = [](int k) {
        const int at = k >= 30 && k < 40 ? 40 : k;  // a stall, then a burst
        GstClockTime t = at * (kFrame + 300 * GST_USECOND) + k * GST_USECOND;
        if (k % 7 == 3) t += 14 * GST_MSECOND;
        if (k % 11 == 5) t -= 12 * GST_MSECOND;
        return t;
    };
    GstHarness* depay = gst_harness_new("rtpdremkodepay");
    gst_harness_set_src_caps_str(depay, "application/x-rtp, media=audio, clock-rate=48000, encoding-name=DREMKO, "
                                        "payload=101, bitrate=(string)64000, copy-mask=(string)3, stereo=(string)0");
    std::vector<Received> received;
    int run = 0;
    for (int k = 0; k < frames; ++k) {
        if (lost.count(k)) {
            ++run;
            continue;
        }
        std::vector<uint8_t> bytes = RtpBytes(static_cast<uint16_t>(k), packets[k].packet.size());
        std::copy(packets[k].packet.begin(), packets[k].packet.end(), bytes.begin() + 12);
        gst_harness_push(depay, BufferOf(bytes.data(), bytes.size(), arrival(k)));
        received.push_back({&packets[k].packet, run});
        run = 0;
    }
    std::vector<GstBuffer*> stamped = PullAll(depay);
    ASSERT_EQ(stamped.size(), received.size());
    EXPECT_EQ(GST_BUFFER_PTS(stamped.back()), arrival(frames - 1)) << "back on the incoming clock";

    GstHarness* dec = gst_harness_new("dremkodec");
    gst_harness_set_src_caps(dec, EncodedCaps(config));
    for (GstBuffer* b : stamped) gst_harness_push(dec, b);
    gst_harness_push_event(dec, gst_event_new_eos());
    std::vector<GstBuffer*> out = PullAll(dec);
    EXPECT_TRUE(Samples(out) == DecodeDirect(received, config));
    GstStructure* stats = nullptr;
    g_object_get(dec->element, "stats", &stats, nullptr);
    guint64 lost_count = 0;
    gst_structure_get_uint64(stats, "lost", &lost_count);
    EXPECT_EQ(lost_count, lost.size());
    gst_structure_free(stats);
    Release(&out);
    gst_harness_teardown(dec);
    gst_harness_teardown(depay);
}

}  // namespace
