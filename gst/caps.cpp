#include "elements.h"

GstCaps* EncodedCaps(const rtp::PayloadConfig& config) {
    return gst_caps_new_simple("audio/x-dremko", "rate", G_TYPE_INT, rtp::kClockRate, "channels", G_TYPE_INT,
                               config.channels, "bitrate", G_TYPE_INT, config.bit_rate, "copy-mask", G_TYPE_INT,
                               static_cast<int>(config.copy_mask), nullptr);
}

bool ConfigFromEncodedCaps(const GstCaps* caps, rtp::PayloadConfig* config, std::string* error) {
    const GstStructure* s = gst_caps_get_structure(caps, 0);
    int channels = 0, bit_rate = 0, mask = 0;
    if (!gst_structure_get_int(s, "channels", &channels) || !gst_structure_get_int(s, "bitrate", &bit_rate) ||
        !gst_structure_get_int(s, "copy-mask", &mask)) {
        *error = "caps lack channels, bitrate or copy-mask";
        return false;
    }
    if (mask < 0 || mask > 15) {
        *error = "copy-mask " + std::to_string(mask) + " is outside 0 ... 15";
        return false;
    }
    *config = rtp::PayloadConfig{channels, bit_rate, static_cast<uint16_t>(mask)};
    return rtp::CheckConfig(*config, error);
}
