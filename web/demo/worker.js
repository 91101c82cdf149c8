// Coding off the page's thread: one worker per run, so each run starts from a
// fresh module (the decoders' shared noise fill included) and a run that is no
// longer wanted is simply terminated.
import { kFrame, runSession } from './session.js';
import { spectrogram } from './spectrogram.js';

const kColumns = 480;

// Channel 0 of planar frames.
function firstChannel(pcm, stereo) {
  if (!stereo) return pcm;
  const out = new Int16Array(pcm.length / 2);
  for (let f = 0; f < out.length / kFrame; ++f) out.set(pcm.subarray(2 * f * kFrame, (2 * f + 1) * kFrame), f * kFrame);
  return out;
}

// The decoded tracks go first so that playback can start; the spectrograms follow.
self.onmessage = async ({ data }) => {
  try {
    const result = await runSession(data.pcm, data.settings);
    const { stereo } = data.settings;
    const tracks = { withCopies: result.withCopies.slice(), withoutCopies: result.withoutCopies.slice() };
    self.postMessage({ ok: true, ...tracks, fate: result.fate, figures: result.figures, hash: result.hash },
      [tracks.withCopies.buffer, tracks.withoutCopies.buffer]);
    const spectrograms = ['original', 'withCopies', 'withoutCopies'].map((k) =>
      spectrogram(firstChannel(result[k], stereo), kColumns));
    self.postMessage({ ok: true, spectrograms }, spectrograms.map((s) => s.data.buffer));
  } catch (error) {
    self.postMessage({ ok: false, message: error.message });
  }
};
