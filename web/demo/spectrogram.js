// Spectrograms for the page: magnitudes of a Hann-windowed FFT at evenly
// spaced places, in dB, scaled to bytes (0 is -100 dB or below, 255 is full scale).
const kSize = 512;

const kCos = Float64Array.from({ length: kSize / 2 }, (_, k) => Math.cos((2 * Math.PI * k) / kSize));
const kSin = Float64Array.from({ length: kSize / 2 }, (_, k) => -Math.sin((2 * Math.PI * k) / kSize));

function fftInPlace(re, im) {
  const n = re.length;
  for (let i = 1, j = 0; i < n; ++i) {
    let bit = n >> 1;
    for (; j & bit; bit >>= 1) j ^= bit;
    j ^= bit;
    if (i < j) {
      [re[i], re[j]] = [re[j], re[i]];
      [im[i], im[j]] = [im[j], im[i]];
    }
  }
  for (let len = 2; len <= n; len <<= 1) {
    const stride = n / len;
    for (let start = 0; start < n; start += len) {
      for (let k = 0; k < len / 2; ++k) {
        const wr = kCos[k * stride];
        const wi = kSin[k * stride];
        const a = start + k;
        const b = a + len / 2;
        const tr = re[b] * wr - im[b] * wi;
        const ti = re[b] * wi + im[b] * wr;
        re[b] = re[a] - tr;
        im[b] = im[a] - ti;
        re[a] += tr;
        im[a] += ti;
      }
    }
  }
}

// samples: one channel. Returns { columns, bins, data } with data[column * bins + bin].
export function spectrogram(samples, columns) {
  const bins = kSize / 2;
  const data = new Uint8Array(columns * bins);
  const window = Float64Array.from({ length: kSize }, (_, i) => 0.5 - 0.5 * Math.cos((2 * Math.PI * i) / kSize));
  const scale = 32768 * (kSize / 4); // a full-scale sine's peak
  const re = new Float64Array(kSize);
  const im = new Float64Array(kSize);
  const step = Math.max(1, (samples.length - kSize) / columns);
  for (let c = 0; c < columns; ++c) {
    const start = Math.floor(c * step);
    for (let i = 0; i < kSize; ++i) {
      re[i] = (samples[start + i] ?? 0) * window[i];
      im[i] = 0;
    }
    fftInPlace(re, im);
    for (let b = 0; b < bins; ++b) {
      const db = 20 * Math.log10(Math.hypot(re[b], im[b]) / scale + 1e-10);
      data[c * bins + b] = Math.max(0, Math.min(255, Math.round(((db + 100) * 255) / 100)));
    }
  }
  return { columns, bins, data };
}
