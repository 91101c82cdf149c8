// The sending side: PCM frames in, packets out.
#include <algorithm>

#include "codec.h"
#include "dremko.h"
#include "progress.h"

void EncodeStream(const std::vector<int16_t>& pcm, Stream* stream) {
    const int channels = stream->channels;
    std::vector<uint8_t> context(static_cast<size_t>(Dremko_SizeofEncoderContext()));
    // The library takes the total rate and gives each channel half in stereo.
    Dremko_InitEncoderContext(context.data(), stream->bit_rate * channels, channels == 2);

    const uint64_t frames = pcm.size() / channels;
    const uint64_t packets = PacketsFor(frames);
    std::vector<int16_t> planar(static_cast<size_t>(kFrameSamples) * channels);
    std::vector<uint8_t> packet(kMaxPacketBytes);
    stream->packets.clear();
    stream->packets.reserve(packets);
    Progress progress = StartProgress("encoding", packets);
    for (uint64_t k = 0; k < packets; ++k) {
        std::fill(planar.begin(), planar.end(), 0);
        const uint64_t first = k * kFrameSamples;
        for (uint64_t i = first; i < std::min(frames, first + kFrameSamples); ++i)
            for (int c = 0; c < channels; ++c) planar[c * kFrameSamples + (i - first)] = pcm[i * channels + c];
        const int part = Dremko_EncodeFrame(context.data(), planar.data(), packet.data(), stream->copies);
        Packet p;
        p.bytes.assign(packet.begin(), packet.begin() + part * channels);
        p.speech = static_cast<uint8_t>(DremkoEncoder_GetSpeechDetect(context.data()));
        p.level = static_cast<uint8_t>(DremkoEncoder_GetEnergy(context.data()));
        stream->packets.push_back(std::move(p));
        AdvanceProgress(&progress, k + 1);
    }
    FinishProgress(&progress);
}
