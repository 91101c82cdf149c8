// The transform's twiddle tables and window widened to double, built once
// from the float tables.
#include "transform/transform.h"

namespace {

// Entries 0, step, 2 step, ... of FftTwiddle, count of them, in split form.
void WidenFftTwiddles(int count, int step, double* split) {
    for (int j = 0; j < count; ++j) {
        split[j] = FftTwiddle[2 * step * j];
        split[count + j] = FftTwiddle[2 * step * j + 1];
    }
}

FftWideTwiddles BuildFftStageTwiddles() {
    FftWideTwiddles t;
    WidenFftTwiddles(240, 1, t.radix2);
    for (int r = 1; r <= 2; ++r) WidenFftTwiddles(80, 2 * r, t.radix3[r - 1]);
    for (int r = 1; r <= 4; ++r) WidenFftTwiddles(16, 6 * r, t.radix5[r - 1]);
    return t;
}

// InitDct4Tables writes the same values every time it runs.
Dct4WideTwiddles BuildDct4Twiddles() {
    InitDct4Tables();
    Dct4WideTwiddles t;
    for (int k = 0; k < kFrameSamples; ++k) {
        t.pre[k] = Dct4PreTwiddle[k];
        t.post[k] = Dct4PostTwiddle[k];
    }
    return t;
}

WideSineWindow BuildWideSineWindow() {
    WideSineWindow w;
    for (int n = 0; n < kFrameSamples; ++n) {
        w.rising[n] = SineWindow[n];
        w.falling[n] = SineWindow[kFrameSamples - 1 - n];
    }
    return w;
}

}  // namespace

const WideSineWindow& SineWindowInDouble() {
    static const WideSineWindow window = BuildWideSineWindow();
    return window;
}

const FftWideTwiddles& FftStageTwiddles() {
    static const FftWideTwiddles twiddles = BuildFftStageTwiddles();
    return twiddles;
}

const Dct4WideTwiddles& Dct4Twiddles() {
    static const Dct4WideTwiddles twiddles = BuildDct4Twiddles();
    return twiddles;
}
