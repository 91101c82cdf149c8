// Encoder and decoder contexts in host-owned memory, as an engine holds them.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "dremko.h"

struct EncoderSession {
    std::vector<uint8_t> memory;
    void* ctx() { return memory.data(); }
};

struct DecoderSession {
    std::vector<uint8_t> memory;
    void* ctx() { return memory.data(); }
};

EncoderSession MakeEncoder(int32_t total_bit_rate, bool stereo);
// bit_rate is per channel; copies is the number of redundant copies per packet.
DecoderSession MakeDecoder(int32_t bit_rate, int copies, bool stereo_output);

// Encodes every frame of a mono or planar-stereo signal; one packet per frame.
std::vector<std::vector<uint8_t>> EncodeAll(EncoderSession& enc, const std::vector<int16_t>& pcm, bool stereo,
                                            int copies);

// Feeds packets to the decoder; losses[i] is the loss count handed with
// packet i. Returns all delivered PCM (mono or planar stereo frames) and the
// delivered count of every call.
struct DecodeResult {
    std::vector<int16_t> pcm;
    std::vector<int32_t> delivered;
};
DecodeResult DecodeAll(DecoderSession& dec, const std::vector<std::vector<uint8_t>>& packets,
                       const std::vector<int32_t>& losses, bool stereo_output);
