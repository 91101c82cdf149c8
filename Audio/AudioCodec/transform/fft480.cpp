// The 480-point FFT: the kernel for this processor's instruction set, and the
// form on (re, im) pairs.
#include "simd/lanes.h"
#include "transform/fft480.inc"
#include "transform/transform.h"

void Fft480Split(float* work, float* spectrum) {
    DREMKO_KERNEL(Fft480Split, work, spectrum);
}

void Fft480(float* data, float* output) {
    float spectrum[2 * kFftPoints];
    for (int k = 0; k < kFftPoints; k += 4) {
        StoreFloat4(spectrum + k, LoadEven(data + 2 * k));
        StoreFloat4(spectrum + kFftPoints + k, LoadOdd(data + 2 * k));
    }
    // The pairs split into real and imaginary parts become the work space.
    for (int k = 0; k < 2 * kFftPoints; k += 4) StoreFloat4(data + k, LoadFloat4(spectrum + k));
    Fft480Split(data, spectrum);
    for (int k = 0; k < kFftPoints; k += 4)
        StoreInterleaved(output + 2 * k, LoadFloat4(spectrum + k), LoadFloat4(spectrum + kFftPoints + k));
}
