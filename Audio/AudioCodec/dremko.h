/* DremkoCodec: full-band speech and audio codec, 20 ms frames at 48 kHz.
 *
 * The host owns all memory: it asks for a context size, allocates and
 * initialises the context once, then calls the library once per frame.
 * Usable from C and C++. */
#ifndef DREMKO_H
#define DREMKO_H

#include <stdint.h>

#if defined(_WIN32)
#if defined(DREMKO_BUILDING_LIBRARY)
#define DREMKO_API __declspec(dllexport)
#elif defined(DREMKO_STATIC) /* define when linking the static library */
#define DREMKO_API
#else
#define DREMKO_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define DREMKO_API __attribute__((visibility("default")))
#else
#define DREMKO_API
#endif

/* Library version; the build takes its own version from these lines. */
#define DREMKO_VERSION_MAJOR 1
#define DREMKO_VERSION_MINOR 0
#define DREMKO_VERSION_PATCH 0
/* The same as one string, "1.0.0". */
#define DREMKO_STRINGIFY_(x) #x
#define DREMKO_VERSION_STRING_(a, b, c) DREMKO_STRINGIFY_(a) "." DREMKO_STRINGIFY_(b) "." DREMKO_STRINGIFY_(c)
#define DREMKO_VERSION DREMKO_VERSION_STRING_(DREMKO_VERSION_MAJOR, DREMKO_VERSION_MINOR, DREMKO_VERSION_PATCH)

/* Sizes a host needs. They are compile-time constants and add no exports.
 * Rates are in bit/s; "per channel" is half the encoder's total in stereo. */

/* Samples per second and per channel, and samples per channel in one frame
 * (20 ms). */
#define DREMKO_SAMPLE_RATE 48000
#define DREMKO_FRAME_SAMPLES 960
/* The most frames one Dremko_DecodeFrame call writes: the frame it decodes
 * and up to 20 rebuilt lost frames before it. */
#define DREMKO_MAX_DECODED_FRAMES 21
/* A redundant copy: the first 26 bytes of an earlier frame's coding; at most
 * four follow each channel's main frame. */
#define DREMKO_COPY_BYTES 26
#define DREMKO_MAX_COPIES 4
/* A frame's full coding; a main frame is its first bytes. */
#define DREMKO_CORE_FRAME_BYTES 160
/* Main frame bytes the encoder writes at a per-channel rate: 20 ms of bits
 * in whole bytes, at least 120 (the encoder raises lower rates) and at most
 * DREMKO_CORE_FRAME_BYTES. */
#define DREMKO_MAIN_FRAME_BYTES(per_channel_rate)                                           \
    (DREMKO_RATE_BYTES(per_channel_rate) < 120 ? 120                                        \
     : DREMKO_RATE_BYTES(per_channel_rate) > DREMKO_CORE_FRAME_BYTES ? DREMKO_CORE_FRAME_BYTES \
                                                                     : DREMKO_RATE_BYTES(per_channel_rate))
/* Whole bytes of one frame's 20 ms at a rate (rate / 400). */
#define DREMKO_RATE_BYTES(rate) ((rate) / (8 * (DREMKO_SAMPLE_RATE / DREMKO_FRAME_SAMPLES)))
/* Bytes of one packet for the encoder's settings: the total rate given to
 * Dremko_InitEncoderContext, stereo 0 or 1, and copies 0 ... 4. */
#define DREMKO_PACKET_BYTES(total_rate, stereo, copies) \
    (((stereo) ? 2 : 1) *                               \
     (DREMKO_MAIN_FRAME_BYTES((stereo) ? (total_rate) / 2 : (total_rate)) + DREMKO_COPY_BYTES * (copies)))
/* The largest packet at any settings (528 bytes). */
#define DREMKO_MAX_PACKET_BYTES (2 * (DREMKO_CORE_FRAME_BYTES + DREMKO_COPY_BYTES * DREMKO_MAX_COPIES))

#ifdef __cplusplus
extern "C" {
#endif

/* Encoder. */
DREMKO_API int32_t Dremko_SizeofEncoderContext(void);
/* bit_rate is the total rate in bit/s (halved per channel in stereo).
 * Returns 0, or 1 for a null context. */
DREMKO_API int32_t Dremko_InitEncoderContext(void* context, int32_t bit_rate, int32_t stereo);
/* pcm: 960 samples (mono) or 1920 (stereo, channel 0's 960 then channel 1's).
 * Writes one packet; returns the length of one channel part in bytes
 * (the packet is twice that in stereo), or -1 for a null context. */
DREMKO_API int32_t Dremko_EncodeFrame(void* context, const int16_t* pcm, uint8_t* packet,
                                      int32_t redundancy);
DREMKO_API int32_t DremkoEncoder_GetSpeechDetect(void* context);
DREMKO_API int32_t DremkoEncoder_GetEnergy(void* context);
DREMKO_API int32_t DremkoEncoder_GetRP(void* context);

/* Decoder. */
DREMKO_API int32_t Dremko_SizeofDecoderContext(void);
DREMKO_API int32_t Dremko_InitDecoderContext(void* context, int32_t stereo);
DREMKO_API void DremkoSetDecoderBitRate(void* context, int32_t bit_rate);
DREMKO_API void DremkoSetDecoderRdpBits(void* context, uint16_t rdp_bits);
/* Decodes the packet stored by the previous call (one packet of delay) and
 * stores this one. out must hold 21 frames (21 x 960 samples, twice that in
 * stereo output). loss is the number of packets lost just before this one.
 * Always returns 0; *delivered receives the number of frames written. */
DREMKO_API int32_t Dremko_DecodeFrame(void* context, const uint8_t* packet, int16_t* out,
                                      int32_t loss, int32_t* delivered);

#ifdef __cplusplus
}
#endif

#endif
