// dremkodec: DremkoCodec packets in (configured by their caps), 48 kHz
// 16-bit interleaved audio out. The number of packets lost before each one
// comes from the gap in timestamps (20 ms per packet). Every frame the
// library returns is pushed: rebuilt and concealed frames after a loss, and
// at end of stream the frame still held back.
#include <gst/audio/audio.h>
#include <gst/audio/gstaudiodecoder.h>

#include <vector>

#include "dremko.h"
#include "elements.h"
#include "gap_fill.h"

namespace {

constexpr int kFrameSamples = DREMKO_FRAME_SAMPLES;
constexpr int kMaxDeliveredFrames = DREMKO_MAX_DECODED_FRAMES;
// Gaps up to this many packets are bridged (the library inserts at most 20
// frames, silence fills the rest); longer ones start the stream afresh.
constexpr gint64 kMaxLossCount = 1000;
// The loss count given with the last packet when it is decoded again to
// drain: an odd count keeps the packet's copies, which are of other frames,
// out of the rebuilding.
constexpr int32_t kDrainLoss = 1;

}  // namespace

struct GstDremkoDec {
    GstAudioDecoder parent;
    GstPadChainFunction base_chain;
    uint8_t* context;
    int channels;
    size_t packet_bytes;
    uint16_t copy_mask;
    int16_t* planar;         // what one call delivers, per frame one plane per channel
    GstBuffer* last_packet;  // for draining
    GstClockTime next_pts;   // expected timestamp of the next packet
    GstClockTime out_pts;    // where the next call's output begins
    gint64 held_loss;        // packets lost before the packet the library holds back
    gint64 loss;             // packets lost before the packet being decoded
    gboolean draining;
    // Statistics.
    guint64 packets, lost, inserted, rebuilt, concealed, bad;
};
struct GstDremkoDecClass {
    GstAudioDecoderClass parent;
};

G_DEFINE_TYPE(GstDremkoDec, gst_dremko_dec, GST_TYPE_AUDIO_DECODER)

enum { PROP_0, PROP_STATS };

static GstStaticPadTemplate dec_sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(DREMKO_ENCODED_CAPS));
static GstStaticPadTemplate dec_src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(S16) ", layout = (string) interleaved, "
                    "rate = (int) 48000, channels = (int) [ 1, 2 ]"));

static void gst_dremko_dec_reset(GstDremkoDec* self) {
    if (self->context) Dremko_InitDecoderContext(self->context, self->channels == 2);
    gst_clear_buffer(&self->last_packet);
    self->next_pts = self->out_pts = GST_CLOCK_TIME_NONE;
    self->held_loss = 0;
}

static gboolean gst_dremko_dec_set_format(GstAudioDecoder* decoder, GstCaps* caps) {
    GstDremkoDec* self = reinterpret_cast<GstDremkoDec*>(decoder);
    rtp::PayloadConfig config;
    std::string error;
    if (!ConfigFromEncodedCaps(caps, &config, &error)) {
        GST_ELEMENT_ERROR(self, STREAM, FORMAT, ("cannot decode this stream"), ("%s", error.c_str()));
        return FALSE;
    }
    if (!self->context) {
        self->context = static_cast<uint8_t*>(g_malloc(Dremko_SizeofDecoderContext()));
        self->planar = static_cast<int16_t*>(g_malloc(sizeof(int16_t) * 2 * kFrameSamples * kMaxDeliveredFrames));
    }
    self->channels = config.channels;
    self->packet_bytes = rtp::PayloadBytes(config);
    self->copy_mask = config.copy_mask;
    gst_dremko_dec_reset(self);
    DremkoSetDecoderBitRate(self->context, rtp::ChannelBitRate(config));
    DremkoSetDecoderRdpBits(self->context, config.copy_mask);

    GstAudioInfo info;
    gst_audio_info_init(&info);
    gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16, rtp::kClockRate, config.channels, nullptr);
    // The library holds each packet back until the next one arrives.
    gst_audio_decoder_set_latency(decoder, kFrameDuration, kFrameDuration);
    return gst_audio_decoder_set_output_format(decoder, &info);
}

// Frames the next call puts out: the gap before the held-back packet and
// that packet's frame, or the silent frame of the first call.
static gint64 FramesOfNextCall(const GstDremkoDec* self) { return self->last_packet ? self->held_loss + 1 : 1; }

// Hands a packet to the base class stamped with where its output begins: the
// base class stamps the output with its input's timestamp, while the library
// delivers the frames of the packet before, and those lost before that.
static GstFlowReturn gst_dremko_dec_push_packet(GstDremkoDec* self, GstPad* pad, GstObject* parent,
                                                GstBuffer* buffer) {
    buffer = gst_buffer_make_writable(buffer);
    GST_BUFFER_PTS(buffer) = self->out_pts;
    GST_BUFFER_DURATION(buffer) = FramesOfNextCall(self) * kFrameDuration;
    if (GST_CLOCK_TIME_IS_VALID(self->out_pts)) self->out_pts += GST_BUFFER_DURATION(buffer);
    return self->base_chain(pad, parent, buffer);
}

// Checks each packet and finds the packets lost before it before the base class sees it.
static GstFlowReturn gst_dremko_dec_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
    GstDremkoDec* self = reinterpret_cast<GstDremkoDec*>(parent);
    if (self->packet_bytes && gst_buffer_get_size(buffer) != self->packet_bytes) {
        // The gap in timestamps before the next packet counts it as lost.
        ++self->bad;
        GST_ELEMENT_WARNING(self, STREAM, DECODE, ("dropped a packet of the wrong length"),
                            ("%" G_GSIZE_FORMAT " bytes, the stream's packets have %" G_GSIZE_FORMAT,
                             gst_buffer_get_size(buffer), self->packet_bytes));
        gst_buffer_unref(buffer);
        return GST_FLOW_OK;
    }
    const GstClockTime pts = GST_BUFFER_PTS(buffer);
    gint64 loss = 0;
    if (GST_CLOCK_TIME_IS_VALID(pts) && GST_CLOCK_TIME_IS_VALID(self->next_pts) && pts > self->next_pts)
        loss = (pts - self->next_pts + kFrameDuration / 2) / kFrameDuration;
    if (loss > kMaxLossCount) {
        // Too long a break to bridge: start again from this packet.
        GST_INFO_OBJECT(self, "%" G_GINT64_FORMAT " packets missing: starting afresh", loss);
        gst_dremko_dec_reset(self);
        loss = 0;
    }
    if (GST_CLOCK_TIME_IS_VALID(pts)) {
        self->next_pts = pts + kFrameDuration;
        if (!GST_CLOCK_TIME_IS_VALID(self->out_pts)) self->out_pts = pts;
    }
    self->loss = loss;
    return gst_dremko_dec_push_packet(self, pad, parent, buffer);
}

// Counts how the library filled the gap before the packet it held back,
// having delivered `delivered` frames on the next packet with loss count `next_loss`.
static void gst_dremko_dec_count_fill(GstDremkoDec* self, int32_t delivered, int32_t next_loss) {
    if (!self->last_packet) return;  // the first call: a silent frame, no gap
    for (gint64 back = 1; back <= self->held_loss; ++back) {
        const rtp::LostFrame fill = rtp::FillOfLostFrame(back, delivered - 1, next_loss, self->copy_mask);
        self->rebuilt += fill == rtp::LostFrame::kRebuilt;
        self->concealed += fill == rtp::LostFrame::kConcealed;
    }
}

// Decodes one packet with its loss count and finishes one input frame with
// what the library delivers, after silence for frames beyond its reach.
static GstFlowReturn gst_dremko_dec_handle_frame(GstAudioDecoder* decoder, GstBuffer* buffer) {
    GstDremkoDec* self = reinterpret_cast<GstDremkoDec*>(decoder);
    if (!buffer) return GST_FLOW_OK;  // the held-back packet waits for the next one or the end of stream
    const int32_t loss = self->draining ? kDrainLoss : static_cast<int32_t>(self->loss);
    const gint64 expected = FramesOfNextCall(self);
    GstMapInfo in;
    if (!gst_buffer_map(buffer, &in, GST_MAP_READ)) return GST_FLOW_ERROR;
    int32_t delivered = 0;
    Dremko_DecodeFrame(self->context, in.data, self->planar, loss, &delivered);
    gst_buffer_unmap(buffer, &in);
    gst_dremko_dec_count_fill(self, delivered, loss);
    if (!self->draining) {
        gst_buffer_replace(&self->last_packet, buffer);
        self->held_loss = self->loss;
        ++self->packets;
        self->lost += self->loss;
    }
    const int channels = self->channels;
    const gint64 silent = std::max<gint64>(expected - delivered, 0);
    const gsize frame_bytes = sizeof(int16_t) * kFrameSamples * channels;
    GstBuffer* out = gst_buffer_new_allocate(nullptr, frame_bytes * (silent + delivered), nullptr);
    GstMapInfo map;
    gst_buffer_map(out, &map, GST_MAP_WRITE);
    std::fill(map.data, map.data + frame_bytes * silent, 0);
    int16_t* pcm = reinterpret_cast<int16_t*>(map.data + frame_bytes * silent);
    // The library's frames are one plane per channel; GStreamer's audio is interleaved.
    for (int f = 0; f < delivered; ++f)
        for (int i = 0; i < kFrameSamples; ++i)
            for (int c = 0; c < channels; ++c) *pcm++ = self->planar[(f * channels + c) * kFrameSamples + i];
    gst_buffer_unmap(out, &map);
    if (delivered > 1) self->inserted += delivered - 1;
    return gst_audio_decoder_finish_frame(decoder, out, 1);
}

static gboolean gst_dremko_dec_sink_event(GstAudioDecoder* decoder, GstEvent* event) {
    GstDremkoDec* self = reinterpret_cast<GstDremkoDec*>(decoder);
    switch (GST_EVENT_TYPE(event)) {
        case GST_EVENT_EOS:
            // The held-back packet's frame comes out by decoding the packet once more.
            if (self->last_packet) {
                self->draining = TRUE;
                gst_dremko_dec_push_packet(self, GST_AUDIO_DECODER_SINK_PAD(decoder), GST_OBJECT(decoder),
                                           gst_buffer_ref(self->last_packet));
                self->draining = FALSE;
                gst_clear_buffer(&self->last_packet);
            }
            break;
        case GST_EVENT_GAP:
            // Lost packets show as a gap in timestamps once the next one arrives;
            // until then nothing can be played for them.
            gst_event_unref(event);
            return TRUE;
        default:
            break;
    }
    return GST_AUDIO_DECODER_CLASS(gst_dremko_dec_parent_class)->sink_event(decoder, event);
}

static void gst_dremko_dec_flush(GstAudioDecoder* decoder, gboolean hard) {
    // A soft flush comes with every discontinuity, which the loss count handles.
    if (hard) gst_dremko_dec_reset(reinterpret_cast<GstDremkoDec*>(decoder));
}

static gboolean gst_dremko_dec_stop(GstAudioDecoder* decoder) {
    GstDremkoDec* self = reinterpret_cast<GstDremkoDec*>(decoder);
    gst_clear_buffer(&self->last_packet);
    g_free(self->context);
    g_free(self->planar);
    self->context = nullptr;
    self->planar = nullptr;
    return TRUE;
}

static void gst_dremko_dec_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstDremkoDec* self = reinterpret_cast<GstDremkoDec*>(object);
    if (id != PROP_STATS) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    GST_OBJECT_LOCK(self);
    g_value_take_boxed(value, gst_structure_new("dremkodec-stats", "packets", G_TYPE_UINT64, self->packets, "lost",
                                                G_TYPE_UINT64, self->lost, "inserted-frames", G_TYPE_UINT64,
                                                self->inserted, "rebuilt", G_TYPE_UINT64, self->rebuilt, "concealed",
                                                G_TYPE_UINT64, self->concealed, "wrong-length", G_TYPE_UINT64,
                                                self->bad, nullptr));
    GST_OBJECT_UNLOCK(self);
}

static void gst_dremko_dec_class_init(GstDremkoDecClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstAudioDecoderClass* decoder_class = GST_AUDIO_DECODER_CLASS(klass);
    object_class->get_property = gst_dremko_dec_get_property;
    g_object_class_install_property(
        object_class, PROP_STATS,
        g_param_spec_boxed("stats", "Statistics",
                           "Packets decoded, packets lost before them (from the timestamps), frames inserted for "
                           "them, of those rebuilt from copies and concealed, packets of the wrong length dropped",
                           GST_TYPE_STRUCTURE, static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    gst_element_class_add_static_pad_template(element_class, &dec_sink_template);
    gst_element_class_add_static_pad_template(element_class, &dec_src_template);
    gst_element_class_set_static_metadata(
        element_class, "DremkoCodec audio decoder", "Codec/Decoder/Audio",
        "Decodes DremkoCodec packets to 48 kHz audio, rebuilding lost packets from the copies in later ones "
        "and concealing the rest; output lags input by one packet",
        "DremkoCodec developers");
    decoder_class->set_format = gst_dremko_dec_set_format;
    decoder_class->handle_frame = gst_dremko_dec_handle_frame;
    decoder_class->sink_event = gst_dremko_dec_sink_event;
    decoder_class->flush = gst_dremko_dec_flush;
    decoder_class->stop = gst_dremko_dec_stop;
}

static void gst_dremko_dec_init(GstDremkoDec* self) {
    self->next_pts = self->out_pts = GST_CLOCK_TIME_NONE;
    GstPad* sink = GST_AUDIO_DECODER_SINK_PAD(self);
    self->base_chain = GST_PAD_CHAINFUNC(sink);
    gst_pad_set_chain_function(sink, gst_dremko_dec_chain);
    gst_audio_decoder_set_drainable(GST_AUDIO_DECODER(self), TRUE);
    gst_audio_decoder_set_needs_format(GST_AUDIO_DECODER(self), TRUE);
}
