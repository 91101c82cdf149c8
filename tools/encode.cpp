// The sending side: PCM frames in, packets out.
#include "codec.h"
#include "dremko.h"

void StartEncoder(const StreamInfo& info, FrameEncoder* e) {
    e->info = info;
    e->context.assign(static_cast<size_t>(Dremko_SizeofEncoderContext()), 0);
    // The library takes the total rate and gives each channel half in stereo.
    Dremko_InitEncoderContext(e->context.data(), info.bit_rate * info.channels, info.channels == 2);
    e->planar.resize(static_cast<size_t>(kFrameSamples) * info.channels);
    e->packet.resize(kMaxPacketBytes);
}

void EncodeFrame(FrameEncoder* e, const int16_t* frame, Packet* p) {
    const int channels = e->info.channels;
    for (int i = 0; i < kFrameSamples; ++i)
        for (int c = 0; c < channels; ++c) e->planar[c * kFrameSamples + i] = frame[i * channels + c];
    const int part = Dremko_EncodeFrame(e->context.data(), e->planar.data(), e->packet.data(), e->info.copies);
    p->bytes.assign(e->packet.begin(), e->packet.begin() + part * channels);
    p->speech = static_cast<uint8_t>(DremkoEncoder_GetSpeechDetect(e->context.data()));
    p->level = static_cast<uint8_t>(DremkoEncoder_GetEnergy(e->context.data()));
}
