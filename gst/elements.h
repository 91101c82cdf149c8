// The plugin's four elements and what they share: the caps of encoded
// DremkoCodec audio, which carry the decoder's configuration.
#pragma once
#include <gst/gst.h>

#include "payload_format.h"

#define DREMKO_ENCODED_CAPS "audio/x-dremko, rate = (int) 48000, channels = (int) [ 1, 2 ]"

// One packet's audio: a 20 ms frame.
constexpr GstClockTime kFrameDuration = GST_SECOND * rtp::kTimestampStep / rtp::kClockRate;

GType gst_dremko_enc_get_type(void);
GType gst_dremko_dec_get_type(void);
GType gst_rtp_dremko_pay_get_type(void);
GType gst_rtp_dremko_depay_get_type(void);

// Encoded caps for a configuration.
GstCaps* EncodedCaps(const rtp::PayloadConfig& config);
// Reads encoded caps; false (with a reason) when a field is missing or out of range.
bool ConfigFromEncodedCaps(const GstCaps* caps, rtp::PayloadConfig* config, std::string* error);
