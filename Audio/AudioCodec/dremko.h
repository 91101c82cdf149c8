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
/* The useful rates of one channel in bit/s: the encoder codes a lower rate
 * as the lowest (120-byte main frames), and at the highest the main frame
 * is the whole core frame. */
#define DREMKO_MIN_CHANNEL_RATE 48000
#define DREMKO_MAX_CHANNEL_RATE 64000
/* Main frame bytes the encoder writes at a per-channel rate: 20 ms of bits
 * in whole bytes, at least those of DREMKO_MIN_CHANNEL_RATE and at most
 * DREMKO_CORE_FRAME_BYTES. */
#define DREMKO_MAIN_FRAME_BYTES(per_channel_rate)                                                    \
    (DREMKO_RATE_BYTES(per_channel_rate) < DREMKO_RATE_BYTES(DREMKO_MIN_CHANNEL_RATE)                \
         ? DREMKO_RATE_BYTES(DREMKO_MIN_CHANNEL_RATE)                                                \
     : DREMKO_RATE_BYTES(per_channel_rate) > DREMKO_CORE_FRAME_BYTES ? DREMKO_CORE_FRAME_BYTES      \
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

/* Calls may run at the same time only as docs/api.md ("Threads and what is
 * shared") allows: in short, Init and the size functions freely, but no two
 * Dremko_EncodeFrame or Dremko_DecodeFrame calls at once, even on different
 * contexts. Only null contexts are checked, where stated; every other
 * pointer must be valid. */

/* ---- Encoder ---- */

/* Bytes of memory an encoder context needs (40924); the host allocates them,
 * aligned for any type. */
DREMKO_API int32_t Dremko_SizeofEncoderContext(void);
/* Starts a stream in `context`, clearing all of it. bit_rate is the total
 * rate in bit/s: in stereo each channel gets bit_rate / 2 (rounded down).
 * Rates are not checked; DREMKO_MIN_CHANNEL_RATE ... DREMKO_MAX_CHANNEL_RATE
 * per channel is the useful range (see DREMKO_MAIN_FRAME_BYTES). stereo: nonzero for two channels.
 * Returns 0, or 1 for a null context. */
DREMKO_API int32_t Dremko_InitEncoderContext(void* context, int32_t bit_rate, int32_t stereo);
/* Codes one frame. pcm: DREMKO_FRAME_SAMPLES samples, or in stereo twice
 * that, channel 0's frame first and then channel 1's (planar). packet
 * receives DREMKO_PACKET_BYTES(bit_rate, stereo, copies) bytes, at most
 * DREMKO_MAX_PACKET_BYTES. redundancy: how many copies of earlier frames
 * (t - 2, t - 4, ...) to append per channel, held to 0 ... DREMKO_MAX_COPIES.
 * Returns the bytes of one channel's part (the packet is twice that in
 * stereo), or -1 for a null context. */
DREMKO_API int32_t Dremko_EncodeFrame(void* context, const int16_t* pcm, uint8_t* packet,
                                      int32_t redundancy);
/* The getters report on the last Dremko_EncodeFrame call, 0 after Init. */
/* 1 if the speech detector judged the previous call's frame to be speech
 * (the detector runs one frame behind), else 0. */
DREMKO_API int32_t DremkoEncoder_GetSpeechDetect(const void* context);
/* The level of the frame just coded, in half-decibels above a fixed floor:
 * 0 ... 254, always even. In stereo, the level of the channel that
 * dominates the 1 to 2.8 kHz range. */
DREMKO_API int32_t DremkoEncoder_GetEnergy(const void* context);
/* The redundancy used (the "RP" value): copies per channel in the last
 * packet, 0 ... DREMKO_MAX_COPIES. */
DREMKO_API int32_t DremkoEncoder_GetRP(const void* context);

/* ---- Decoder ---- */

/* Bytes of memory a decoder context needs (570240). */
DREMKO_API int32_t Dremko_SizeofDecoderContext(void);
/* Starts a stream in `context`, clearing all of it. stereo: nonzero when
 * packets carry two channels and the output is to be stereo. Returns 0, or
 * 1 for a null context. */
DREMKO_API int32_t Dremko_InitDecoderContext(void* context, int32_t stereo);
/* The rate of ONE channel in bit/s, as the encoder used it (its total rate
 * halved in stereo). It sets the main frame length, rate / 400 bytes, at
 * most DREMKO_CORE_FRAME_BYTES; the decoder does not raise low rates as
 * the encoder does. Takes effect from the next packet handed in. */
DREMKO_API void DremkoSetDecoderBitRate(void* context, int32_t bit_rate);
/* Which copies the packets carry: bit j set means the copy of frame
 * t - 2(j + 1) is present, so R copies give (1 << R) - 1; bits above 3 are
 * ignored. Takes effect from the next packet handed in. */
DREMKO_API void DremkoSetDecoderRdpBits(void* context, uint16_t rdp_bits);
/* Hands in one received packet, of the length the rate, the copy mask and
 * the stream's channels give, and loss: the number of packets lost just
 * before it (0 when none). Decodes the packet handed in by the previous
 * call (one packet of delay: the first call delivers one silent frame),
 * preceded by the frames rebuilt for the gap before that packet (the loss
 * handed in with it), at most 20.
 * out receives the frames, oldest first, each DREMKO_FRAME_SAMPLES samples
 * (twice that, planar, in stereo output); it must hold
 * DREMKO_MAX_DECODED_FRAMES frames. *delivered receives the number of
 * frames written. Always returns 0. */
DREMKO_API int32_t Dremko_DecodeFrame(void* context, const uint8_t* packet, int16_t* out,
                                      int32_t loss, int32_t* delivered);

#ifdef __cplusplus
}
#endif

#endif
