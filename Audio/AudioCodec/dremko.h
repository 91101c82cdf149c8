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
