// dremkoenc: 48 kHz 16-bit mono or stereo in, one DremkoCodec packet per
// 20 ms frame out, each carrying the frame's speech flag and level as
// GstAudioLevelMeta (level in -dBov, speech as voice activity).
#include <algorithm>

#include <gst/audio/audio.h>
#include <gst/audio/gstaudioencoder.h>

#include "dremko.h"
#include "elements.h"

namespace {

constexpr int kFrameSamples = DREMKO_FRAME_SAMPLES;

}  // namespace

struct GstDremkoEnc {
    GstAudioEncoder parent;
    int bitrate;  // properties
    int copies;
    uint8_t* context;
    int channels;
    int active_copies;  // as the caps were set
    int16_t planar[2 * kFrameSamples];
};
struct GstDremkoEncClass {
    GstAudioEncoderClass parent;
};

G_DEFINE_TYPE(GstDremkoEnc, gst_dremko_enc, GST_TYPE_AUDIO_ENCODER)

enum { PROP_0, PROP_BITRATE, PROP_COPIES };

static GstStaticPadTemplate enc_sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("audio/x-raw, format = (string) " GST_AUDIO_NE(S16) ", layout = (string) interleaved, "
                    "rate = (int) 48000, channels = (int) [ 1, 2 ]"));
static GstStaticPadTemplate enc_src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(DREMKO_ENCODED_CAPS));

static gboolean gst_dremko_enc_set_format(GstAudioEncoder* encoder, GstAudioInfo* info) {
    GstDremkoEnc* self = reinterpret_cast<GstDremkoEnc*>(encoder);
    self->channels = GST_AUDIO_INFO_CHANNELS(info);
    GST_OBJECT_LOCK(self);
    // Each channel gets its share of the total, held to the rates the codec has.
    const int channel_rate = std::clamp(self->bitrate / self->channels, DREMKO_MIN_CHANNEL_RATE, DREMKO_MAX_CHANNEL_RATE);
    const rtp::PayloadConfig config{self->channels, channel_rate * self->channels,
                                    static_cast<uint16_t>((1 << self->copies) - 1)};
    self->active_copies = self->copies;
    if (config.bit_rate != self->bitrate)
        GST_WARNING_OBJECT(self, "bit rate %d held to %d for %d channels", self->bitrate, config.bit_rate, config.channels);
    GST_OBJECT_UNLOCK(self);
    if (!self->context) self->context = static_cast<uint8_t*>(g_malloc(Dremko_SizeofEncoderContext()));
    Dremko_InitEncoderContext(self->context, config.bit_rate, config.channels == 2);
    gst_audio_encoder_set_frame_samples_min(encoder, kFrameSamples);
    gst_audio_encoder_set_frame_samples_max(encoder, kFrameSamples);
    gst_audio_encoder_set_frame_max(encoder, 1);
    GstCaps* caps = EncodedCaps(config);
    const gboolean ok = gst_audio_encoder_set_output_format(encoder, caps);
    gst_caps_unref(caps);
    return ok;
}

static GstFlowReturn gst_dremko_enc_handle_frame(GstAudioEncoder* encoder, GstBuffer* buffer) {
    GstDremkoEnc* self = reinterpret_cast<GstDremkoEnc*>(encoder);
    if (!buffer) return GST_FLOW_OK;  // nothing is held back
    GstMapInfo in;
    if (!gst_buffer_map(buffer, &in, GST_MAP_READ)) return GST_FLOW_ERROR;
    // GStreamer interleaves the channels; the library takes one plane per channel.
    const int channels = self->channels;
    const size_t samples = in.size / (sizeof(int16_t) * channels);
    const int16_t* pcm = reinterpret_cast<const int16_t*>(in.data);
    std::fill(self->planar, self->planar + 2 * kFrameSamples, 0);  // a short last frame ends in silence
    for (size_t i = 0; i < samples && i < static_cast<size_t>(kFrameSamples); ++i)
        for (int c = 0; c < channels; ++c) self->planar[c * kFrameSamples + i] = pcm[i * channels + c];
    gst_buffer_unmap(buffer, &in);

    GstBuffer* out = gst_audio_encoder_allocate_output_buffer(encoder, DREMKO_MAX_PACKET_BYTES);
    GstMapInfo map;
    gst_buffer_map(out, &map, GST_MAP_WRITE);
    const int part = Dremko_EncodeFrame(self->context, self->planar, map.data, self->active_copies);
    gst_buffer_unmap(out, &map);
    gst_buffer_set_size(out, static_cast<gsize>(part) * channels);
    gst_buffer_add_audio_level_meta(out, rtp::LevelToMinusDbov(DremkoEncoder_GetEnergy(self->context)),
                                    DremkoEncoder_GetSpeechDetect(self->context) != 0);
    return gst_audio_encoder_finish_frame(encoder, out, static_cast<gint>(samples));
}

static gboolean gst_dremko_enc_stop(GstAudioEncoder* encoder) {
    GstDremkoEnc* self = reinterpret_cast<GstDremkoEnc*>(encoder);
    g_free(self->context);
    self->context = nullptr;
    return TRUE;
}

static void gst_dremko_enc_set_property(GObject* object, guint id, const GValue* value, GParamSpec* pspec) {
    GstDremkoEnc* self = reinterpret_cast<GstDremkoEnc*>(object);
    GST_OBJECT_LOCK(self);
    if (id == PROP_BITRATE) self->bitrate = g_value_get_int(value);
    else if (id == PROP_COPIES) self->copies = g_value_get_int(value);
    else G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    GST_OBJECT_UNLOCK(self);
}

static void gst_dremko_enc_get_property(GObject* object, guint id, GValue* value, GParamSpec* pspec) {
    GstDremkoEnc* self = reinterpret_cast<GstDremkoEnc*>(object);
    GST_OBJECT_LOCK(self);
    if (id == PROP_BITRATE) g_value_set_int(value, self->bitrate);
    else if (id == PROP_COPIES) g_value_set_int(value, self->copies);
    else G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
    GST_OBJECT_UNLOCK(self);
}

static void gst_dremko_enc_class_init(GstDremkoEncClass* klass) {
    GObjectClass* object_class = G_OBJECT_CLASS(klass);
    GstElementClass* element_class = GST_ELEMENT_CLASS(klass);
    GstAudioEncoderClass* encoder_class = GST_AUDIO_ENCODER_CLASS(klass);
    object_class->set_property = gst_dremko_enc_set_property;
    object_class->get_property = gst_dremko_enc_get_property;
    const auto flags = static_cast<GParamFlags>(G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_READY);
    g_object_class_install_property(
        object_class, PROP_BITRATE,
        g_param_spec_int("bitrate", "Bit rate",
                         "Total bit rate in bit/s over all channels; each channel's share is held to "
                         "48000 ... 64000. Redundant copies come on top",
                         DREMKO_MIN_CHANNEL_RATE, 2 * DREMKO_MAX_CHANNEL_RATE, DREMKO_MAX_CHANNEL_RATE, flags));
    g_object_class_install_property(
        object_class, PROP_COPIES,
        g_param_spec_int("copies", "Redundant copies",
                         "Copies of earlier frames (2, 4, 6, 8 packets back) in each packet, 26 bytes per copy "
                         "and channel, from which the receiver rebuilds lost packets",
                         0, 4, 2, flags));
    gst_element_class_add_static_pad_template(element_class, &enc_sink_template);
    gst_element_class_add_static_pad_template(element_class, &enc_src_template);
    gst_element_class_set_static_metadata(
        element_class, "DremkoCodec audio encoder", "Codec/Encoder/Audio",
        "Encodes 48 kHz audio into DremkoCodec packets with redundant copies; each packet carries the "
        "frame's speech flag and level as audio level meta",
        "DremkoCodec developers");
    encoder_class->set_format = gst_dremko_enc_set_format;
    encoder_class->handle_frame = gst_dremko_enc_handle_frame;
    encoder_class->stop = gst_dremko_enc_stop;
}

static void gst_dremko_enc_init(GstDremkoEnc* self) {
    self->bitrate = DREMKO_MAX_CHANNEL_RATE;
    self->copies = 2;
}
