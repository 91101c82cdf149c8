// One listening session: a signal coded at one setting, sent through one loss
// pattern, decoded with the copies and again coded and decoded without them
// under the same losses. The page's worker and the browser test's reference
// in node both run this, so both play the same samples.
import { createDecoder, createEncoder } from '../index.js';

export const kSampleRate = 48000;
export const kFrame = 960;
const kLatencyFrames = 2; // the decoder's one packet of delay and the transform's overlap
const kRebuildReach = 8; // gap frames, newest first, that the copies in hand can reach

// A small integer generator, the same in every engine.
export function generator(seed) {
  let state = seed >>> 0;
  return () => {
    state = (Math.imul(state, 1664525) + 1013904223) >>> 0;
    return state / 4294967296;
  };
}

// Six seconds of a voice-like buzz in syllables, a chord and a rising sweep
// over noise: speech and music, quiet and loud, low and high.
export function demoSignal(seconds = 6) {
  const n = seconds * kSampleRate;
  const out = new Int16Array(n);
  const random = generator(7);
  let phase = 0;
  for (let i = 0; i < n; ++i) {
    const t = i / kSampleRate;
    const part = Math.floor((3 * i) / n);
    let v = 0;
    if (part === 0) {
      const syllable = t % 0.3;
      const env = syllable < 0.22 ? Math.sin((Math.PI * syllable) / 0.22) : 0;
      phase += (2 * Math.PI * (120 + 30 * Math.sin(2 * Math.PI * 0.7 * t))) / kSampleRate;
      // sin(h x) by the recurrence sin(h x) = 2 cos(x) sin((h - 1) x) - sin((h - 2) x).
      const twoCos = 2 * Math.cos(phase);
      let [older, previous] = [0, Math.sin(phase)];
      for (let h = 1; h <= 24; ++h) {
        v += (env * 5000 * previous) / (1 + 0.03 * h * h);
        [older, previous] = [previous, twoCos * previous - older];
      }
    } else if (part === 1) {
      for (const f of [220, 277.18, 329.63, 440]) v += 2500 * Math.sin(2 * Math.PI * f * t) * (1 + 0.3 * Math.sin(2 * Math.PI * 3 * f * t));
    } else {
      const local = t - (2 * seconds) / 3;
      v = 6000 * Math.sin(2 * Math.PI * (150 + 3000 * local) * local) + 1500 * (random() - 0.5);
    }
    out[i] = Math.max(-32768, Math.min(32767, Math.round(v)));
  }
  return out;
}

// Which packets arrive: bursts of mean length `burst` entered so that about
// `lossPercent` of the packets are lost. The first packet always arrives.
export function lossPattern(packets, lossPercent, burst, seed = 1) {
  const p = lossPercent / 100;
  const enter = p <= 0 ? 0 : Math.min(1, p / (burst * (1 - p)));
  const stay = 1 - 1 / burst;
  const random = generator(seed);
  const received = new Array(packets).fill(true);
  let lost = false;
  for (let i = 1; i < packets; ++i) {
    lost = random() < (lost ? stay : enter);
    received[i] = !lost;
  }
  return received;
}

// What became of a gap of `gap` packets lost before a packet that arrived,
// oldest first, when the decoder inserted `inserted` frames for it (the
// newest of the gap): 'missing' (not delivered), 'concealed' or 'rebuilt'.
// The decoder inserts at most 20, and none for the gap right after a stereo
// stream's first packet. The newest frames of the gap are rebuilt where a
// copy of them is in hand: the arrived packet carries its copies of frames
// 2, 4, ... before it; the packet after it (`nextGap` lost in between) carries
// the odd distances when an even number, at most 6, was lost in between.
export function gapFrames(gap, inserted, copies, nextGap) {
  const reach = Math.min(inserted, kRebuildReach);
  const kinds = new Array(gap - inserted).fill('missing');
  for (let i = 0; i < inserted - reach; ++i) kinds.push('concealed');
  for (let back = reach - 1; back >= 0; --back) {
    const fromArrived = back % 2 === 1 && (back - 1) / 2 < copies;
    const fromNext = back % 2 === 0 && nextGap % 2 === 0 && nextGap <= 6 && back / 2 + nextGap / 2 < copies;
    kinds.push(fromArrived || fromNext ? 'rebuilt' : 'concealed');
  }
  return kinds;
}

// Codes `pcm` (planar frames) and decodes it under `received`; returns the
// decoded signal lined up with the input and each packet's fate. Output slot
// k + 1 holds packet k's frame (slot 0 is the first call's silence), and the
// decoded audio trails the input by two slots.
export async function codeAndDecode(pcm, settings, received) {
  const frameSamples = (settings.stereo ? 2 : 1) * kFrame;
  const frames = pcm.length / frameSamples;
  const encoder = await createEncoder(settings);
  const decoder = await createDecoder(settings);
  try {
    // Two silent frames after the input bring its end out of the decoder.
    const silence = new Int16Array(frameSamples);
    const packets = [];
    for (let f = 0; f < frames + kLatencyFrames; ++f) {
      const input = f < frames ? pcm.subarray(f * frameSamples, (f + 1) * frameSamples) : silence;
      packets.push(encoder.encode(input).packet);
    }
    const out = new Int16Array((packets.length + 1) * frameSamples);
    const fate = received.map((arrived) => (arrived ? 'received' : 'missing'));
    let written = 0;
    let previous = -1; // the packet the decoder holds
    let gap = 0;
    for (let f = 0; f < packets.length; ++f) {
      if (!received[f]) {
        ++gap;
        continue;
      }
      const delivered = decoder.decode(packets[f], gap);
      if (previous >= 0) {
        // This call brings out the frames it inserts for the held packet's
        // gap, then that packet's frame; the gap's older frames stay silent.
        const gapStart = previous - gapBefore(received, previous);
        const kinds = gapFrames(previous - gapStart, delivered.length - 1, settings.copies, gap);
        kinds.forEach((kind, i) => (fate[gapStart + i] = kind));
        written += kinds.filter((kind) => kind === 'missing').length * frameSamples;
      }
      for (const frame of delivered) {
        out.set(frame, written);
        written += frame.length;
      }
      previous = f;
      gap = 0;
    }
    return {
      decoded: out.slice(kLatencyFrames * frameSamples, (frames + kLatencyFrames) * frameSamples),
      fate: fate.slice(0, frames),
      packetBytes: packets[0].length,
    };
  } finally {
    encoder.dispose();
    decoder.dispose();
  }
}

// The first packet of the run lost just before packet `f`.
function gapBefore(received, f) {
  let start = f;
  while (start > 0 && !received[start - 1]) --start;
  return f - start;
}

export function snrDb(reference, test) {
  let signal = 0;
  let noise = 0;
  for (let i = 0; i < reference.length; ++i) {
    signal += reference[i] * reference[i];
    noise += (reference[i] - test[i]) ** 2;
  }
  return 10 * Math.log10((signal + 1) / (noise + 1));
}

async function sha256Hex(arrays) {
  const bytes = new Uint8Array(arrays.reduce((n, a) => n + a.byteLength, 0));
  let at = 0;
  for (const a of arrays) {
    bytes.set(new Uint8Array(a.buffer, a.byteOffset, a.byteLength), at);
    at += a.byteLength;
  }
  const digest = await globalThis.crypto.subtle.digest('SHA-256', bytes);
  return [...new Uint8Array(digest)].map((b) => b.toString(16).padStart(2, '0')).join('');
}

const count = (fate, kind) => fate.filter((k) => k === kind).length;

// settings: { bitRate, copies, stereo, lossPercent, burst }; pcm: planar
// frames at 48 kHz. Decoding with the copies comes first, then without:
// the decoders' noise fill is shared by the module, so the order is part
// of what is played.
export async function runSession(pcm, settings) {
  const { bitRate, copies, stereo, lossPercent, burst } = settings;
  const frameSamples = (stereo ? 2 : 1) * kFrame;
  const whole = pcm.subarray(0, pcm.length - (pcm.length % frameSamples));
  const received = lossPattern(whole.length / frameSamples + kLatencyFrames, lossPercent, burst);
  const withCopies = await codeAndDecode(whole, { bitRate, copies, stereo }, received);
  const withoutCopies = await codeAndDecode(whole, { bitRate, copies: 0, stereo }, received);
  return {
    original: whole,
    withCopies: withCopies.decoded,
    withoutCopies: withoutCopies.decoded,
    fate: withCopies.fate,
    figures: {
      bitRateWithCopies: (withCopies.packetBytes * 8 * kSampleRate) / kFrame,
      bitRateWithoutCopies: (withoutCopies.packetBytes * 8 * kSampleRate) / kFrame,
      frames: withCopies.fate.length,
      lost: withCopies.fate.filter((k) => k !== 'received').length,
      rebuilt: count(withCopies.fate, 'rebuilt'),
      concealed: count(withCopies.fate, 'concealed'),
      concealedWithoutCopies: count(withoutCopies.fate, 'concealed'),
      snrWithCopies: snrDb(whole, withCopies.decoded),
      snrWithoutCopies: snrDb(whole, withoutCopies.decoded),
    },
    hash: await sha256Hex([withCopies.decoded, withoutCopies.decoded]),
  };
}
