/* A minimal DremkoCodec host in plain C.
 *
 * One second of a built-in vowel-like signal is encoded, sent through a
 * channel that drops two packets in a row, and decoded; once in mono and once
 * in stereo. The contexts live in memory the host allocates. The program
 * checks what a host can rely on (packet lengths, the decoder's one-packet
 * delay and silent first frame, the rebuilt frames after the loss), prints
 * what happened, and exits with status 0 when every check holds. */
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "dremko.h"

enum {
    FRAME_SAMPLES = DREMKO_FRAME_SAMPLES, /* 20 ms at 48 kHz, per channel */
    FRAMES = 50,                          /* one second */
    RATE_PER_CHANNEL = 48000,
    COPIES = 2,                           /* redundant copies of frames t-2 and t-4 in each packet */
    FIRST_LOST = 20,                      /* packets 20 and 21 never arrive */
    LOST = 2
};

static int failures = 0;

static void check(int ok, const char* what, int frame) {
    if (ok) return;
    fprintf(stderr, "FAILED at frame %d: %s\n", frame, what);
    ++failures;
}

/* Frame t: a 150 Hz sawtooth (every harmonic, falling as 1/h, much like a
 * voice) that swells four times a second; the second channel is a fifth
 * higher and quieter. */
static void make_frame(int t, int channels, int16_t* pcm) {
    int ch, i;
    for (ch = 0; ch < channels; ++ch) {
        const long f0 = ch == 0 ? 150 : 225;
        const double peak = ch == 0 ? 12000.0 : 6000.0;
        for (i = 0; i < FRAME_SAMPLES; ++i) {
            const long n = (long)t * FRAME_SAMPLES + i;
            const double saw = (double)(n * f0 % 48000) / 48000.0 - 0.5;
            const double swell = (double)(n * 4 % 48000) / 48000.0;
            const double envelope = 0.2 + 1.6 * (swell < 0.5 ? swell : 1.0 - swell);
            pcm[ch * FRAME_SAMPLES + i] = (int16_t)(2.0 * peak * envelope * saw);
        }
    }
}

/* Encodes and decodes one stream; returns the number of frames delivered. */
static int run_session(int channels) {
    const int stereo = channels == 2;
    /* The encoder takes the total rate, the decoder the rate of one channel. */
    const int32_t total_rate = RATE_PER_CHANNEL * channels;
    /* A packet carrying copies t-2 ... t-2R needs copy mask 2^R - 1. */
    const uint16_t rdp_bits = (uint16_t)((1u << COPIES) - 1u);
    const int32_t part_bytes = DREMKO_PACKET_BYTES(total_rate, stereo, COPIES) / channels;

    static int16_t pcm[2 * FRAME_SAMPLES];
    static uint8_t packet[DREMKO_MAX_PACKET_BYTES];
    static int16_t out[DREMKO_MAX_DECODED_FRAMES * 2 * FRAME_SAMPLES];

    void* encoder = malloc((size_t)Dremko_SizeofEncoderContext());
    void* decoder = malloc((size_t)Dremko_SizeofDecoderContext());
    int32_t loss = 0, held_loss = 0, delivered = 0;
    int t, i, calls = 0, total = 0, speech_frames = 0, peak_energy = 0, peak_output = 0;

    if (!encoder || !decoder) {
        fprintf(stderr, "out of memory\n");
        exit(1);
    }
    check(Dremko_InitEncoderContext(encoder, total_rate, stereo) == 0, "encoder init", 0);
    check(Dremko_InitDecoderContext(decoder, stereo) == 0, "decoder init", 0);
    DremkoSetDecoderBitRate(decoder, RATE_PER_CHANNEL);
    DremkoSetDecoderRdpBits(decoder, rdp_bits);

    for (t = 0; t < FRAMES; ++t) {
        int32_t bytes;
        int energy;
        make_frame(t, channels, pcm);
        bytes = Dremko_EncodeFrame(encoder, pcm, packet, COPIES);
        check(bytes == part_bytes, "encoder returns one channel part", t);
        check(DremkoEncoder_GetRP(encoder) == COPIES, "copies reported", t);
        energy = DremkoEncoder_GetEnergy(encoder);
        check(energy >= 0 && energy <= 254 && energy % 2 == 0, "energy is even, 0 to 254", t);
        check((DremkoEncoder_GetSpeechDetect(encoder) & ~1) == 0, "speech flag is 0 or 1", t);
        speech_frames += DremkoEncoder_GetSpeechDetect(encoder);
        if (energy > peak_energy) peak_energy = energy;

        if (t >= FIRST_LOST && t < FIRST_LOST + LOST) {
            ++loss; /* the network ate it: the next packet reports the gap */
            continue;
        }

        check(Dremko_DecodeFrame(decoder, packet, out, loss, &delivered) == 0, "decode returns 0", t);
        /* One packet of delay: this call delivers the previous packet's frame,
         * preceded by the frames lost just before that packet. The first call
         * delivers one frame of silence. */
        check(delivered == 1 + held_loss, "frames delivered", t);
        for (i = 0; i < delivered * channels * FRAME_SAMPLES; ++i) {
            if (calls == 0) check(out[i] == 0, "first frame is silent", t);
            if (abs(out[i]) > peak_output) peak_output = abs(out[i]);
        }
        held_loss = loss;
        loss = 0;
        total += delivered;
        ++calls;
    }

    printf("%s: %d frames at %d bit/s, packets of %d bytes (%d per channel part, %d copies)\n",
           stereo ? "stereo" : "mono", FRAMES, (int)total_rate, (int)(part_bytes * channels), (int)part_bytes,
           COPIES);
    printf("  encoder: speech in %d frames, peak energy %d\n", speech_frames, peak_energy);
    printf("  decoder: %d packets lost, %d calls, %d frames delivered (silence, then the frames of packets "
           "0 to %d; packet %d is still held), peak output %d\n",
           LOST, calls, total, total - 2, FRAMES - 1, peak_output);
    free(encoder);
    free(decoder);
    return total;
}

int main(void) {
    printf("context sizes: encoder %d bytes, decoder %d bytes\n", (int)Dremko_SizeofEncoderContext(),
           (int)Dremko_SizeofDecoderContext());
    /* The silent first frame plus every sent frame but the last, which the
     * decoder still holds: as many frames as were sent. */
    check(run_session(1) == FRAMES, "mono: every frame accounted for", FRAMES);
    check(run_session(2) == FRAMES, "stereo: every frame accounted for", FRAMES);
    if (failures) {
        printf("%d checks FAILED\n", failures);
        return 1;
    }
    printf("all checks passed\n");
    return 0;
}
