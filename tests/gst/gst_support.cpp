#include "gst_support.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

#include "dremko.h"

std::vector<int16_t> TwoTones(int channels, int frames) {
    std::vector<int16_t> pcm(static_cast<size_t>(frames) * kFrameSamples * channels);
    for (size_t i = 0; i < pcm.size() / channels; ++i)
        for (int c = 0; c < channels; ++c) {
            const double t = static_cast<double>(i) / rtp::kClockRate;
            pcm[i * channels + c] = static_cast<int16_t>((c ? 3000 : 12000) * std::sin(2 * M_PI * (c ? 1900 : 440) * t));
        }
    return pcm;
}

std::vector<EncodedFrame> EncodeDirect(const std::vector<int16_t>& pcm, const rtp::PayloadConfig& config, int copies) {
    std::vector<uint8_t> context(Dremko_SizeofEncoderContext());
    Dremko_InitEncoderContext(context.data(), config.bit_rate, config.channels == 2);
    const size_t frames = (pcm.size() / config.channels + kFrameSamples - 1) / kFrameSamples;
    std::vector<EncodedFrame> out;
    for (size_t f = 0; f < frames; ++f) {
        std::vector<int16_t> planar(2 * kFrameSamples, 0);
        for (int i = 0; i < kFrameSamples; ++i)
            for (int c = 0; c < config.channels; ++c) {
                const size_t at = (f * kFrameSamples + i) * config.channels + c;
                if (at < pcm.size()) planar[c * kFrameSamples + i] = pcm[at];
            }
        EncodedFrame e;
        e.packet.resize(DREMKO_MAX_PACKET_BYTES);
        e.packet.resize(Dremko_EncodeFrame(context.data(), planar.data(), e.packet.data(), copies) * config.channels);
        e.speech = DremkoEncoder_GetSpeechDetect(context.data());
        e.level = DremkoEncoder_GetEnergy(context.data());
        out.push_back(std::move(e));
    }
    return out;
}

std::vector<int16_t> DecodeDirect(const std::vector<Received>& packets, const rtp::PayloadConfig& config) {
    std::vector<uint8_t> context(Dremko_SizeofDecoderContext());
    Dremko_InitDecoderContext(context.data(), config.channels == 2);
    DremkoSetDecoderBitRate(context.data(), rtp::ChannelBitRate(config));
    DremkoSetDecoderRdpBits(context.data(), config.copy_mask);
    std::vector<int16_t> planar(DREMKO_MAX_DECODED_FRAMES * 2 * kFrameSamples), out;
    int expected = 1;  // frames the call should put out
    auto call = [&](const std::vector<uint8_t>& packet, int loss) {
        int32_t delivered = 0;
        Dremko_DecodeFrame(context.data(), packet.data(), planar.data(), loss, &delivered);
        out.resize(out.size() + std::max(expected - delivered, 0) * kFrameSamples * config.channels, 0);
        for (int f = 0; f < delivered; ++f)
            for (int i = 0; i < kFrameSamples; ++i)
                for (int c = 0; c < config.channels; ++c)
                    out.push_back(planar[(f * config.channels + c) * kFrameSamples + i]);
    };
    for (const Received& r : packets) {
        call(*r.packet, r.lost_before);
        expected = r.lost_before + 1;
    }
    if (!packets.empty()) call(*packets.back().packet, 1);
    return out;
}

std::vector<int16_t> Samples(const std::vector<GstBuffer*>& buffers) {
    std::vector<int16_t> out;
    for (GstBuffer* b : buffers) {
        GstMapInfo map;
        gst_buffer_map(b, &map, GST_MAP_READ);
        const int16_t* s = reinterpret_cast<const int16_t*>(map.data);
        out.insert(out.end(), s, s + map.size / 2);
        gst_buffer_unmap(b, &map);
    }
    return out;
}

namespace {

// Loads the plugin as built, whatever GStreamer's registry holds.
class GstEnvironment : public testing::Environment {
    void SetUp() override {
        gst_init(nullptr, nullptr);
        GError* error = nullptr;
        GstPlugin* plugin = gst_plugin_load_file(DREMKO_GST_PLUGIN, &error);
        ASSERT_NE(plugin, nullptr) << (error ? error->message : "");
        gst_object_unref(plugin);
    }
};

const auto* const environment = testing::AddGlobalTestEnvironment(new GstEnvironment);

}  // namespace
