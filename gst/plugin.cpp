// The GStreamer plugin "dremko": encoder, decoder, RTP payloader and depayloader.
#include "elements.h"

static gboolean plugin_init(GstPlugin* plugin) {
    return gst_element_register(plugin, "dremkoenc", GST_RANK_PRIMARY, gst_dremko_enc_get_type()) &&
           gst_element_register(plugin, "dremkodec", GST_RANK_PRIMARY, gst_dremko_dec_get_type()) &&
           gst_element_register(plugin, "rtpdremkopay", GST_RANK_SECONDARY, gst_rtp_dremko_pay_get_type()) &&
           gst_element_register(plugin, "rtpdremkodepay", GST_RANK_SECONDARY, gst_rtp_dremko_depay_get_type());
}

#define PACKAGE "dremko"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, dremko,
                  "DremkoCodec speech and audio codec, and its RTP payload format", plugin_init, DREMKO_VERSION,
                  "Proprietary", "DremkoCodec", "DremkoCodec source tree")
