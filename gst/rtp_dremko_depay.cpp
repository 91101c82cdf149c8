// rtpdremkodepay: DremkoCodec packets out of RTP packets (docs/rtp.md).
// Every arriving packet is checked first: malformed RTP, payloads of a
// length the stream's configuration does not give, duplicates and packets
// arriving after newer ones are dropped and counted, with a warning, so
// nothing the network sends reaches the decoder unchecked. GStreamer's own
// RFC 6464 extension, enabled by an extmap in the caps, turns the speech flag
// and level into audio level meta.
#include <gst/rtp/rtp.h>

#include "elements.h"
#include "receiver.h"

namespace {

// Warnings for the first drops of each kind, then one per this many.
constexpr gint64 kWarnEvery = 100;
// How far a packet's timestamp may move toward the incoming one, away from
// where the packets before it put it (see SteadyTime).
constexpr GstClockTime kMaxPull = 5 * GST_MSECOND;

}  // namespace

struct GstRtpDremkoDepay {
    GstRTPBaseDepayload parent;
    GstPadChainFunction base_chain;
    rtp::Receiver* receiver;
    GstClockTime last_pts;  // the timestamp given to the last packet passed on
};
struct GstRtpDremkoDepayClass {
    GstRTPBaseDepayloadClass parent;
};

G_DEFINE_TYPE(GstRtpDremkoDepay, gst_rtp_dremko_depay, GST_TYPE_RTP_BASE_DEPAYLOAD)

enum { PROP_0, PROP_STATS };

static GstStaticPadTemplate depay_sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("application/x-rtp, media = (string) audio, clock-rate = (int) 48000, "
                    "encoding-name = (string) DREMKO"));
static GstStaticPadTemplate depay_src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(DREMKO_ENCODED_CAPS));

static void Warn(GstRtpDremkoDepay* self, const rtp::Reception& r, size_t payload_bytes) {
    if (r.dropped > 10 && r.dropped % kWarnEvery != 0) return;
    std::string detail;
    switch (r.verdict) {
        case rtp::Verdict::kMalformed: detail = rtp::ParseErrorText(r.error); break;
        case rtp::Verdict::kWrongLength:
            detail = std::to_string(r.packet.payload_size) + " bytes, the stream's packets have " +
                     std::to_string(payload_bytes);
            break;
        case rtp::Verdict::kDuplicate: detail = "sequence number already received"; break;
        default: detail = "its frame was already played, or its number is far off the stream's"; break;
    }
    GST_ELEMENT_WARNING(self, STREAM, DECODE, ("dropped %s", rtp::DropText(r.verdict)),
                        ("%s (%" G_GINT64_FORMAT " so far)", detail.c_str(), r.dropped));
}

// Reads the stream's configuration from the caps' fmtp fields: all three
// are required, and `stereo` must agree with the channel count in
// `encoding-params` (one channel when absent): without copy-mask the packets'
// length cannot be checked.
static bool ConfigFromRtpCaps(const GstStructure* s, rtp::PayloadConfig* config, std::string* error) {
    for (const char* name : {"bitrate", "copy-mask", "stereo"}) {
        const char* value = gst_structure_get_string(s, name);
        if (!value) {
            *error = std::string("caps lack ") + name + " (bitrate, copy-mask and stereo are all needed)";
            return false;
        }
        if (!rtp::SetFmtpParameter(name, value, config)) {
            *error = std::string("caps have a malformed ") + name + " \"" + value + "\"";
            return false;
        }
    }
    const char* params = gst_structure_get_string(s, "encoding-params");
    const std::string channels = params ? params : "1";
    if (channels != std::to_string(config->channels)) {
        *error = "stereo=" + std::to_string(config->channels - 1) + " disagrees with encoding-params " + channels;
        return false;
    }
    return rtp::CheckConfig(*config, error);
}

static gboolean gst_rtp_dremko_depay_set_caps(GstRTPBaseDepayload* depayload, GstCaps* caps) {
    GstRtpDremkoDepay* self = reinterpret_cast<GstRtpDremkoDepay*>(depayload);
    rtp::PayloadConfig config;
    std::string error;
    if (!ConfigFromRtpCaps(gst_caps_get_structure(caps, 0), &config, &error)) {
        GST_ELEMENT_ERROR(self, STREAM, FORMAT, ("cannot receive this stream"), ("%s", error.c_str()));
        return FALSE;
    }
    GST_OBJECT_LOCK(self);
    self->receiver->payload_bytes = rtp::PayloadBytes(config);
    GST_OBJECT_UNLOCK(self);
    GstCaps* out = EncodedCaps(config);
    const gboolean set = gst_pad_set_caps(GST_RTP_BASE_DEPAYLOAD_SRCPAD(depayload), out);
    gst_caps_unref(out);
    return set;
}

// The decoder counts the packets lost before each one from the gap in
// timestamps, 20 ms a packet. A jitter buffer stamps packets near their
// arrival, which on a busy host strays by more than half a packet and would
// show as losses that never happened. So a packet is stamped where its
// predecessor's timestamp and the sequence numbers put it, pulled toward the
// incoming timestamp by at most kMaxPull: the gaps always round to the
// packets' own count, and the timestamps still follow the receiver's clock.
static GstClockTime SteadyTime(GstRtpDremkoDepay* self, GstClockTime incoming, const rtp::Reception& r) {
    if (r.starts_run || !GST_CLOCK_TIME_IS_VALID(self->last_pts)) return incoming;
    const GstClockTime steady = self->last_pts + (r.lost_before + 1) * kFrameDuration;
    return CLAMP(incoming, steady - kMaxPull, steady + kMaxPull);
}

// Checks each packet with the project's own RTP reading before the base
// class sees it, and stamps the ones passed on (SteadyTime).
static GstFlowReturn gst_rtp_dremko_depay_chain(GstPad* pad, GstObject* parent, GstBuffer* buffer) {
    GstRtpDremkoDepay* self = reinterpret_cast<GstRtpDremkoDepay*>(parent);
    GstMapInfo map;
    if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
        gst_buffer_unref(buffer);
        return GST_FLOW_OK;
    }
    GST_OBJECT_LOCK(self);
    const rtp::Reception r = rtp::Receive(self->receiver, map.data, map.size);
    const size_t payload_bytes = self->receiver->payload_bytes;
    GST_OBJECT_UNLOCK(self);
    gst_buffer_unmap(buffer, &map);
    if (r.verdict != rtp::Verdict::kPass) {
        // Posting the warning takes the element's lock.
        Warn(self, r, payload_bytes);
        gst_buffer_unref(buffer);
        return GST_FLOW_OK;
    }
    if (GST_BUFFER_PTS_IS_VALID(buffer)) {
        buffer = gst_buffer_make_writable(buffer);
        GST_BUFFER_PTS(buffer) = self->last_pts = SteadyTime(self, GST_BUFFER_PTS(buffer), r);
    }
    return self->base_chain(pad, parent, buffer);
}

static GstBuffer* gst_rtp_dremko_depay_process(GstRTPBaseDepayload*, GstRTPBuffer* rtp_buffer) {
    return gst_rtp_buffer_get_payload_buffer(rtp_buffer);
}

static GstStateChangeReturn gst_rtp_dremko_depay_change_state(GstElement* element, GstStateChange transition) {
    GstRtpDremkoDepay* self = reinterpret_cast<GstRtpDremkoDepay*>(element);
    if (transition == GST_STATE_CHANGE_READY_TO_PAUSED) {
        GST_OBJECT_LOCK(self);
        const size_t payload_bytes = self->receiver->payload_bytes;
        *self->receiver = rtp::Receiver{};
        self->receiver->payload_bytes = payload_bytes;
        self->last_pts = GST_CLOCK_TIME_NONE;
        GST_OBJECT_UNLOCK(self);
    }
    return GST_ELEMENT_CLASS(gst_rtp_dremko_depay_parent_class)->change_state(element, transition);
}

static void gst_rtp_dremko_depay_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstRtpDremkoDepay* self = reinterpret_cast<GstRtpDremkoDepay*>(object);
    GST_OBJECT_LOCK(self);
    if (id == PROP_STATS) {
        const rtp::SequenceTracker& t = self->receiver->sequence;
        g_value_take_boxed(
            value, gst_structure_new("rtpdremkodepay-stats", "packets", G_TYPE_INT64, t.taken, "lost", G_TYPE_INT64,
                                     t.lost, "gaps", G_TYPE_INT64, t.gaps, "duplicates", G_TYPE_INT64, t.duplicates,
                                     "late", G_TYPE_INT64, t.late, "malformed", G_TYPE_INT64, self->receiver->malformed,
                                     "wrong-length", G_TYPE_INT64, self->receiver->wrong_length, nullptr));
    } else {
        G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    }
    GST_OBJECT_UNLOCK(self);
}

static void gst_rtp_dremko_depay_finalize(GObject* object) {
    delete reinterpret_cast<GstRtpDremkoDepay*>(object)->receiver;
    G_OBJECT_CLASS(gst_rtp_dremko_depay_parent_class)->finalize(object);
}

static void gst_rtp_dremko_depay_class_init(GstRtpDremkoDepayClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstRTPBaseDepayloadClass* depayload_class = GST_RTP_BASE_DEPAYLOAD_CLASS(klass);
    object_class->get_property = gst_rtp_dremko_depay_get_property;
    object_class->finalize = gst_rtp_dremko_depay_finalize;
    g_object_class_install_property(
        object_class, PROP_STATS,
        g_param_spec_boxed("stats", "Statistics",
                           "Packets passed on, packets lost (from sequence numbers) and the gaps they form, and the "
                           "packets dropped: duplicates, late, malformed RTP, wrong payload length",
                           GST_TYPE_STRUCTURE, static_cast<GParamFlags>(G_PARAM_READABLE | G_PARAM_STATIC_STRINGS)));
    gst_element_class_add_static_pad_template(element_class, &depay_sink_template);
    gst_element_class_add_static_pad_template(element_class, &depay_src_template);
    gst_element_class_set_static_metadata(element_class, "RTP DremkoCodec depayloader", "Codec/Depayloader/Network/RTP",
                                          "Takes DremkoCodec packets out of RTP packets, dropping malformed ones",
                                          "DremkoCodec developers");
    element_class->change_state = gst_rtp_dremko_depay_change_state;
    depayload_class->set_caps = gst_rtp_dremko_depay_set_caps;
    depayload_class->process_rtp_packet = gst_rtp_dremko_depay_process;
}

static void gst_rtp_dremko_depay_init(GstRtpDremkoDepay* self) {
    self->receiver = new rtp::Receiver();
    self->last_pts = GST_CLOCK_TIME_NONE;
    GstPad* sink = GST_RTP_BASE_DEPAYLOAD_SINKPAD(self);
    self->base_chain = GST_PAD_CHAINFUNC(sink);
    gst_pad_set_chain_function(sink, gst_rtp_dremko_depay_chain);
}
