// The package's speed under node on the speech fixture (the audio the native
// benchmark measures with --frames 162): microseconds per 20 ms frame,
// best of the passes, for encoding and decoding at 64 kbit/s per channel with
// two copies, mono and stereo. Prints one line per case as JSON.
//   node bench/speed.js FIXTURE [passes]
import { readFileSync } from 'node:fs';

import { createDecoder, createEncoder } from '../index.js';

const [fixture, passesArg = '7'] = process.argv.slice(2);
const passes = Number(passesArg);
const bytes = readFileSync(fixture);
const frames = Math.floor(bytes.length / 1920);
const mono = new Int16Array(bytes.buffer.slice(bytes.byteOffset, bytes.byteOffset + frames * 1920));
// Channel 1 plays the same program half of it later, a little quieter.
const shift = Math.floor(frames / 2) * 960;
const right = mono.map((_, i) => Math.trunc((mono[(i + shift) % mono.length] * 3) / 4));
const planar = new Int16Array(2 * mono.length);
for (let f = 0; f < frames; ++f) {
  planar.set(mono.subarray(960 * f, 960 * (f + 1)), 1920 * f);
  planar.set(right.subarray(960 * f, 960 * (f + 1)), 1920 * f + 960);
}

// Each pass codes the whole fixture with a fresh object, made before timing.
async function best(make, run) {
  let fastest = Infinity;
  for (let p = 0; p < passes; ++p) {
    const coder = await make();
    const start = performance.now();
    run(coder);
    fastest = Math.min(fastest, performance.now() - start);
    coder.dispose();
  }
  return (fastest * 1000) / frames;
}

for (const stereo of [false, true]) {
  const settings = { bitRate: stereo ? 128000 : 64000, copies: 2, stereo };
  const pcm = stereo ? planar : mono;
  const size = stereo ? 1920 : 960;
  const input = Array.from({ length: frames }, (_, f) => pcm.subarray(size * f, size * (f + 1)));
  let packets = [];
  const encodeUs = await best(() => createEncoder(settings), (enc) => {
    packets = input.map((frame) => enc.encode(frame).packet);
  });
  const decodeUs = await best(() => createDecoder(settings), (dec) => {
    for (const packet of packets) dec.decode(packet, 0);
  });
  console.log(JSON.stringify({ stereo, encodeUs, decodeUs }));
}
