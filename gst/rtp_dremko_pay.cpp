// rtpdremkopay: one DremkoCodec packet per RTP packet (docs/rtp.md). With
// audio-level-id set, each packet carries the frame's speech flag and level
// (from the encoder's audio level meta) in RFC 6464's header extension.
#include <gst/rtp/rtp.h>

#include "elements.h"

struct GstRtpDremkoPay {
    GstRTPBasePayload parent;
    int level_id;  // property: 0 for no extension
    gboolean level_added;
    size_t packet_bytes;
    guint64 dropped;
};
struct GstRtpDremkoPayClass {
    GstRTPBasePayloadClass parent;
};

G_DEFINE_TYPE(GstRtpDremkoPay, gst_rtp_dremko_pay, GST_TYPE_RTP_BASE_PAYLOAD)

enum { PROP_0, PROP_LEVEL_ID };

static GstStaticPadTemplate pay_sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(DREMKO_ENCODED_CAPS));
static GstStaticPadTemplate pay_src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("application/x-rtp, media = (string) audio, payload = (int) " GST_RTP_PAYLOAD_DYNAMIC_STRING
                    ", clock-rate = (int) 48000, encoding-name = (string) DREMKO"));

static gboolean gst_rtp_dremko_pay_set_caps(GstRTPBasePayload* payload, GstCaps* caps) {
    GstRtpDremkoPay* self = reinterpret_cast<GstRtpDremkoPay*>(payload);
    rtp::PayloadConfig config;
    std::string error;
    if (!ConfigFromEncodedCaps(caps, &config, &error)) {
        GST_ELEMENT_ERROR(self, STREAM, FORMAT, ("cannot send this stream"), ("%s", error.c_str()));
        return FALSE;
    }
    self->packet_bytes = rtp::PayloadBytes(config);
    gst_rtp_base_payload_set_options(payload, "audio", TRUE, rtp::kEncodingName, rtp::kClockRate);
    const std::string channels = std::to_string(config.channels), bit_rate = std::to_string(config.bit_rate),
                      mask = std::to_string(config.copy_mask);
    const char* stereo = config.channels == 2 ? "1" : "0";
    GST_OBJECT_LOCK(self);
    const int level_id = self->level_id;
    GST_OBJECT_UNLOCK(self);
    if (level_id != 0 && !self->level_added) {
        // GStreamer's RFC 6464 extension writes the encoder's audio level meta
        // into each packet and puts its extmap into the caps.
        GstRTPHeaderExtension* extension = gst_rtp_header_extension_create_from_uri(rtp::kAudioLevelUri);
        if (!extension) {
            GST_ELEMENT_ERROR(self, CORE, MISSING_PLUGIN, ("no RTP header extension for the audio level"),
                              ("install GStreamer's good plugins (rtpmanager)"));
            return FALSE;
        }
        gst_rtp_header_extension_set_id(extension, static_cast<guint>(level_id));
        g_signal_emit_by_name(payload, "add-extension", extension);
        gst_object_unref(extension);
        self->level_added = TRUE;
    }
    return gst_rtp_base_payload_set_outcaps(payload, "encoding-params", G_TYPE_STRING, channels.c_str(), "bitrate",
                                            G_TYPE_STRING, bit_rate.c_str(), "copy-mask", G_TYPE_STRING, mask.c_str(),
                                            "stereo", G_TYPE_STRING, stereo, nullptr);
}

static GstFlowReturn gst_rtp_dremko_pay_handle_buffer(GstRTPBasePayload* payload, GstBuffer* buffer) {
    GstRtpDremkoPay* self = reinterpret_cast<GstRtpDremkoPay*>(payload);
    if (gst_buffer_get_size(buffer) != self->packet_bytes) {
        ++self->dropped;
        GST_ELEMENT_WARNING(self, STREAM, FORMAT, ("dropped a packet of the wrong length"),
                            ("%" G_GSIZE_FORMAT " bytes, the stream's packets have %" G_GSIZE_FORMAT,
                             gst_buffer_get_size(buffer), self->packet_bytes));
        gst_buffer_unref(buffer);
        return GST_FLOW_OK;
    }
    GstBuffer* out = gst_rtp_base_payload_allocate_output_buffer(payload, 0, 0, 0);
    GST_BUFFER_PTS(out) = GST_BUFFER_PTS(buffer);
    GST_BUFFER_DURATION(out) = GST_BUFFER_DURATION(buffer);
    out = gst_buffer_append(out, buffer);
    return gst_rtp_base_payload_push(payload, out);
}

static void gst_rtp_dremko_pay_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstRtpDremkoPay* self = reinterpret_cast<GstRtpDremkoPay*>(object);
    if (id != PROP_LEVEL_ID) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    GST_OBJECT_LOCK(self);
    self->level_id = g_value_get_int(value);
    GST_OBJECT_UNLOCK(self);
}

static void gst_rtp_dremko_pay_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstRtpDremkoPay* self = reinterpret_cast<GstRtpDremkoPay*>(object);
    if (id != PROP_LEVEL_ID) {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
        return;
    }
    GST_OBJECT_LOCK(self);
    g_value_set_int(value, self->level_id);
    GST_OBJECT_UNLOCK(self);
}

static void gst_rtp_dremko_pay_class_init(GstRtpDremkoPayClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstRTPBasePayloadClass* payload_class = GST_RTP_BASE_PAYLOAD_CLASS(klass);
    object_class->set_property = gst_rtp_dremko_pay_set_property;
    object_class->get_property = gst_rtp_dremko_pay_get_property;
    g_object_class_install_property(
        object_class, PROP_LEVEL_ID,
        g_param_spec_int("audio-level-id", "Audio level extension ID",
                         "One-byte header extension ID (1 ... 14) for the speech flag and level of each frame "
                         "(RFC 6464, urn:ietf:params:rtp-hdrext:ssrc-audio-level); 0 sends no extension",
                         0, 14, 0,
                         static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY)));
    gst_element_class_add_static_pad_template(element_class, &pay_sink_template);
    gst_element_class_add_static_pad_template(element_class, &pay_src_template);
    gst_element_class_set_static_metadata(element_class, "RTP DremkoCodec payloader", "Codec/Payloader/Network/RTP",
                                          "Puts DremkoCodec packets into RTP packets, one per packet",
                                          "DremkoCodec developers");
    payload_class->set_caps = gst_rtp_dremko_pay_set_caps;
    payload_class->handle_buffer = gst_rtp_dremko_pay_handle_buffer;
}

static void gst_rtp_dremko_pay_init(GstRtpDremkoPay*) {}
