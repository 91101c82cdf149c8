#include "codec_session.h"

#include "interface/packet_layout.h"

EncoderSession MakeEncoder(int32_t total_bit_rate, bool stereo) {
    EncoderSession s{std::vector<uint8_t>(static_cast<size_t>(Dremko_SizeofEncoderContext()), 0xA5)};
    Dremko_InitEncoderContext(s.ctx(), total_bit_rate, stereo ? 1 : 0);
    return s;
}

DecoderSession MakeDecoder(int32_t bit_rate, int copies, bool stereo_output) {
    DecoderSession s{std::vector<uint8_t>(static_cast<size_t>(Dremko_SizeofDecoderContext()), 0xA5)};
    Dremko_InitDecoderContext(s.ctx(), stereo_output ? 1 : 0);
    DremkoSetDecoderBitRate(s.ctx(), bit_rate);
    DremkoSetDecoderRdpBits(s.ctx(), static_cast<uint16_t>((1 << copies) - 1));
    return s;
}

std::vector<std::vector<uint8_t>> EncodeAll(EncoderSession& enc, const std::vector<int16_t>& pcm, bool stereo,
                                            int copies) {
    const size_t frame = stereo ? 2 * kFrameSamples : kFrameSamples;
    std::vector<std::vector<uint8_t>> packets;
    for (size_t at = 0; at + frame <= pcm.size(); at += frame) {
        std::vector<uint8_t> packet(kMaxPacketBytes);
        const int32_t part = Dremko_EncodeFrame(enc.ctx(), pcm.data() + at, packet.data(), copies);
        packet.resize(static_cast<size_t>(stereo ? 2 * part : part));
        packets.push_back(std::move(packet));
    }
    return packets;
}

DecodeResult DecodeAll(DecoderSession& dec, const std::vector<std::vector<uint8_t>>& packets,
                       const std::vector<int32_t>& losses, bool stereo_output) {
    const size_t frame = stereo_output ? 2 * kFrameSamples : kFrameSamples;
    DecodeResult result;
    std::vector<int16_t> out(DREMKO_MAX_DECODED_FRAMES * frame);
    for (size_t i = 0; i < packets.size(); ++i) {
        int32_t delivered = -1;
        Dremko_DecodeFrame(dec.ctx(), packets[i].data(), out.data(), i < losses.size() ? losses[i] : 0, &delivered);
        result.delivered.push_back(delivered);
        result.pcm.insert(result.pcm.end(), out.begin(), out.begin() + delivered * static_cast<long>(frame));
    }
    return result;
}
