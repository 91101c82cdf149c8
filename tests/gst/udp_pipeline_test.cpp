// A sender and a receiver pipeline over UDP on 127.0.0.1, with packets
// dropped by sequence number between the payloader and the network: the
// receiver plays exactly what the library decodes from the packets that
// arrived, with the same losses.
#include <gio/gio.h>
#include <gst/app/gstappsink.h>
#include <gst/gst.h>
#include <gst/rtp/rtp.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <set>
#include <string>

#include "dremko.h"
#include "gst_support.h"

namespace {

constexpr int kPackets = 150;
constexpr uint16_t kFirstSequence = 65500;  // the numbers wrap early in the stream

struct Sent {
    std::set<int> drop;  // packet indices lost on the way
    std::vector<std::vector<uint8_t>> payloads;
    std::vector<int> index;
};

GstPadProbeReturn DropByIndex(GstPad*, GstPadProbeInfo* info, gpointer data) {
    Sent* sent = static_cast<Sent*>(data);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    gst_rtp_buffer_map(GST_PAD_PROBE_INFO_BUFFER(info), GST_MAP_READ, &rtp);
    const int index = static_cast<uint16_t>(gst_rtp_buffer_get_seq(&rtp) - kFirstSequence);
    const guint8* payload = static_cast<const guint8*>(gst_rtp_buffer_get_payload(&rtp));
    const bool drop = sent->drop.count(index) != 0;
    if (!drop) {
        sent->payloads.emplace_back(payload, payload + gst_rtp_buffer_get_payload_len(&rtp));
        sent->index.push_back(index);
    }
    gst_rtp_buffer_unmap(&rtp);
    return drop ? GST_PAD_PROBE_DROP : GST_PAD_PROBE_OK;
}

// How the decoder fills the dropped frames: one whose copy (2(c + 1)
// packets later, for each copy c) is in one of the two packets that arrive
// after its gap is rebuilt, the others it inserts (the newest 20 of a gap)
// are concealed, and older ones are silence.
struct Fill {
    guint64 rebuilt = 0, concealed = 0;
};
Fill ExpectedFill(const std::vector<int>& arrived, uint16_t copy_mask) {
    Fill fill;
    for (size_t k = 1; k < arrived.size(); ++k) {
        const int m = arrived[k], next = k + 1 < arrived.size() ? arrived[k + 1] : -1;
        for (int f = std::max(arrived[k - 1] + 1, m - (DREMKO_MAX_DECODED_FRAMES - 1)); f < m; ++f) {
            bool copy = false;
            for (int c = 0; c < DREMKO_MAX_COPIES; ++c)
                copy |= (copy_mask >> c & 1) && (f + 2 * (c + 1) == m || f + 2 * (c + 1) == next);
            ++(copy ? fill.rebuilt : fill.concealed);
        }
    }
    return fill;
}

GstElement* Launch(const std::string& description) {
    GError* error = nullptr;
    GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
    EXPECT_EQ(error, nullptr) << error->message;
    return pipeline;
}

bool WaitFor(GstElement* pipeline, GstMessageType type) {
    GstBus* bus = gst_element_get_bus(pipeline);
    GstMessage* m = gst_bus_timed_pop_filtered(bus, 20 * GST_SECOND,
                                               static_cast<GstMessageType>(type | GST_MESSAGE_ERROR));
    const bool ok = m && GST_MESSAGE_TYPE(m) == type;
    if (m && !ok) {
        GError* error = nullptr;
        gst_message_parse_error(m, &error, nullptr);
        ADD_FAILURE() << error->message;
        g_error_free(error);
    }
    if (m) gst_message_unref(m);
    gst_object_unref(bus);
    return ok;
}

GstStructure* Stats(GstElement* pipeline, const char* name) {
    GstElement* e = gst_bin_get_by_name(GST_BIN(pipeline), name);
    GstStructure* s = nullptr;
    g_object_get(e, "stats", &s, nullptr);
    gst_object_unref(e);
    return s;
}

gint64 DepayedPackets(GstElement* receiver) {
    GstStructure* s = Stats(receiver, "depay");
    gint64 packets = 0;
    gst_structure_get_int64(s, "packets", &packets);
    gst_structure_free(s);
    return packets;
}

TEST(UdpPipelineTest, ReceiverPlaysTheDirectDecodeOfWhatArrived) {
    const rtp::PayloadConfig config{2, 112000, 3};
    Sent sent;
    for (int i : {7, 20, 21, 40, 41, 42, 43, 100, 120, 121, 122}) sent.drop.insert(i);
    for (int i = 60; i < 85; ++i) sent.drop.insert(i);  // longer than the library rebuilds

    const std::string caps = "application/x-rtp, media=audio, clock-rate=48000, encoding-name=DREMKO, payload=96, "
                             "encoding-params=(string)2, bitrate=(string)112000, copy-mask=(string)3, stereo=(string)1";
    // A socket of the test's own on a free port.
    GSocket* socket = g_socket_new(G_SOCKET_FAMILY_IPV4, G_SOCKET_TYPE_DATAGRAM, G_SOCKET_PROTOCOL_UDP, nullptr);
    GInetAddress* loopback = g_inet_address_new_loopback(G_SOCKET_FAMILY_IPV4);
    GSocketAddress* any_port = g_inet_socket_address_new(loopback, 0);
    ASSERT_TRUE(g_socket_bind(socket, any_port, TRUE, nullptr));
    GSocketAddress* bound = g_socket_get_local_address(socket, nullptr);
    const int port = g_inet_socket_address_get_port(G_INET_SOCKET_ADDRESS(bound));
    for (GObject* o : {G_OBJECT(loopback), G_OBJECT(any_port), G_OBJECT(bound)}) g_object_unref(o);
    GstElement* receiver = Launch("udpsrc name=src caps=\"" + caps +
                                  "\" ! rtpjitterbuffer latency=200 ! rtpdremkodepay name=depay ! dremkodec name=dec "
                                  "! appsink name=sink sync=false wait-on-eos=false");
    GstElement* src = gst_bin_get_by_name(GST_BIN(receiver), "src");
    g_object_set(src, "socket", socket, nullptr);
    gst_element_set_state(receiver, GST_STATE_PLAYING);

    GstElement* sender = Launch(
        "audiotestsrc is-live=true wave=sine num-buffers=" + std::to_string(kPackets) +
        " samplesperbuffer=960 ! audio/x-raw, rate=48000, channels=2 ! dremkoenc bitrate=112000 copies=2 "
        "! rtpdremkopay name=pay pt=96 audio-level-id=1 seqnum-offset=" + std::to_string(kFirstSequence) +
        " ! udpsink host=127.0.0.1 sync=false port=" + std::to_string(port));
    GstElement* pay = gst_bin_get_by_name(GST_BIN(sender), "pay");
    GstPad* pay_src = gst_element_get_static_pad(pay, "src");
    gst_pad_add_probe(pay_src, GST_PAD_PROBE_TYPE_BUFFER, DropByIndex, &sent, nullptr);
    gst_element_set_state(sender, GST_STATE_PLAYING);
    ASSERT_TRUE(WaitFor(sender, GST_MESSAGE_EOS));
    // The last packets through the jitter buffer, however busy the host.
    const gint64 sent_packets = kPackets - static_cast<gint64>(sent.drop.size());
    for (int wait = 0; wait < 400 && DepayedPackets(receiver) < sent_packets; ++wait) g_usleep(50 * 1000);
    gst_element_send_event(receiver, gst_event_new_eos());
    ASSERT_TRUE(WaitFor(receiver, GST_MESSAGE_EOS));

    GstElement* sink = gst_bin_get_by_name(GST_BIN(receiver), "sink");
    std::vector<GstBuffer*> buffers;
    while (GstSample* sample = gst_app_sink_try_pull_sample(GST_APP_SINK(sink), 0)) {
        buffers.push_back(gst_buffer_ref(gst_sample_get_buffer(sample)));
        gst_sample_unref(sample);
    }
    const std::vector<int16_t> played = Samples(buffers);
    for (GstBuffer* b : buffers) gst_buffer_unref(b);

    ASSERT_EQ(sent.payloads.size(), kPackets - sent.drop.size());
    std::vector<Received> received;
    for (size_t k = 0; k < sent.payloads.size(); ++k)
        received.push_back({&sent.payloads[k], sent.index[k] - (k ? sent.index[k - 1] + 1 : 0)});
    const std::vector<int16_t> direct = DecodeDirect(received, config);
    EXPECT_EQ(played.size(), (kPackets + 1) * kFrameSamples * 2u) << "a silent frame, then one per packet sent";
    EXPECT_TRUE(played == direct) << "the receiver's audio differs from the direct decode";

    GstStructure* depay = Stats(receiver, "depay");
    GstStructure* dec = Stats(receiver, "dec");
    gint64 lost = 0;
    guint64 inserted = 0;
    Fill fill;
    gst_structure_get_int64(depay, "lost", &lost);
    gst_structure_get_uint64(dec, "inserted-frames", &inserted);
    gst_structure_get_uint64(dec, "rebuilt", &fill.rebuilt);
    gst_structure_get_uint64(dec, "concealed", &fill.concealed);
    EXPECT_EQ(lost, static_cast<gint64>(sent.drop.size()));
    const Fill expected = ExpectedFill(sent.index, config.copy_mask);
    EXPECT_EQ(fill.rebuilt, expected.rebuilt);
    EXPECT_EQ(fill.concealed, expected.concealed);
    EXPECT_EQ(fill.rebuilt + fill.concealed, inserted);
    std::printf("sent %d packets, dropped %zu; frames rebuilt %" G_GUINT64_FORMAT ", concealed %" G_GUINT64_FORMAT
                "; identical to the direct decode: %s\n",
                kPackets, sent.drop.size(), fill.rebuilt, fill.concealed, played == direct ? "yes" : "no");
    gst_structure_free(depay);
    gst_structure_free(dec);

    gst_element_set_state(sender, GST_STATE_NULL);
    gst_element_set_state(receiver, GST_STATE_NULL);
    for (GstObject* o : {GST_OBJECT(pay_src), GST_OBJECT(pay), GST_OBJECT(src), GST_OBJECT(sink),
                         GST_OBJECT(sender), GST_OBJECT(receiver)})
        gst_object_unref(o);
    g_object_unref(socket);
}

}  // namespace
