import assert from 'node:assert/strict';
import { test } from 'node:test';

import { createDecoder, createEncoder } from '../index.js';
import { codeAndDecode, demoSignal, gapFrames, runSession, snrDb } from '../demo/session.js';

const speech = demoSignal(2);
const frame = (f) => speech.subarray(960 * f, 960 * (f + 1));
const planar = (f) => Int16Array.of(...frame(f), ...frame(f).map((v) => v >> 1));

async function encodeAll(settings, frames, input) {
  const enc = await createEncoder(settings);
  const packets = [];
  for (let f = 0; f < frames; ++f) packets.push(enc.encode(input(f)).packet);
  enc.dispose();
  return packets;
}

test('packets have the documented lengths and decode to the input', async () => {
  // Lengths: main frame of rate / 400 bytes per channel plus 26 per copy.
  for (const [settings, bytes] of [
    [{ bitRate: 48000, copies: 0 }, 120],
    [{ bitRate: 48000, copies: 2 }, 172],
    [{ bitRate: 64000, copies: 4 }, 264],
    [{ bitRate: 100000, copies: 2, stereo: true }, 354],
    [{ bitRate: 128000, copies: 4, stereo: true }, 528],
  ]) {
    const input = settings.stereo ? planar : frame;
    const packets = await encodeAll(settings, 100, input);
    assert.ok(packets.every((p) => p instanceof Uint8Array && p.length === bytes), JSON.stringify(settings));
    const dec = await createDecoder(settings);
    const out = packets.flatMap((p) => dec.decode(p, 0));
    dec.dispose();
    assert.equal(out.length, 100);
    // Two frames of latency; the coding is close to the input.
    const joined = (frames) => Int16Array.from(frames.flatMap((f) => [...f.subarray(0, 960)]));
    const snr = snrDb(joined([...Array(97).keys()].map(input)), joined(out.slice(2, 99)));
    assert.ok(snr > 12, `${JSON.stringify(settings)}: SNR ${snr}`);
  }
});

test('bad settings and arguments throw and leave the module intact', async () => {
  const settings = { bitRate: 56000, copies: 3 };
  const before = await encodeAll(settings, 20, frame);
  for (const bad of [undefined, null, 64000, { bitRate: 47999 }, { bitRate: 64001 }, { bitRate: 56000.5 },
    { bitRate: '56000' }, { bitRate: 64000, stereo: true }, { bitRate: 56000, copies: 5 },
    { bitRate: 56000, copies: -1 }, { bitRate: 56000, stereo: 1 }]) {
    await assert.rejects(createEncoder(bad), /dremko-codec: /, JSON.stringify(bad));
    await assert.rejects(createDecoder(bad), /dremko-codec: /, JSON.stringify(bad));
  }
  const enc = await createEncoder(settings);
  const dec = await createDecoder(settings);
  for (const pcm of [new Int16Array(959), new Int16Array(1920), new Float32Array(960), [...frame(0)], null]) {
    assert.throws(() => enc.encode(pcm), /dremko-codec: encode takes an Int16Array of 960/);
  }
  for (const [packet, lost] of [[new Uint8Array(before[0].length - 1), 0], [new Uint8Array(2000), 0],
    [[...before[0]], 0], [before[0].buffer, 0], [before[0], -1], [before[0], 0.5], [before[0], 2 ** 31]]) {
    assert.throws(() => dec.decode(packet, lost), /dremko-codec: /);
  }
  enc.dispose();
  dec.dispose();
  enc.dispose();
  assert.throws(() => enc.encode(frame(0)), /disposed/);
  assert.throws(() => dec.decode(before[0]), /disposed/);
  assert.deepEqual(await encodeAll(settings, 20, frame), before);
});

test('disposed objects give their memory back', async () => {
  // Leaked contexts and buffers (about 0.7 MB a pair) would exhaust the
  // module's 256 MB long before the last round.
  const packet = (await encodeAll({ bitRate: 128000, copies: 4, stereo: true }, 1, planar))[0];
  for (let round = 0; round < 500; ++round) {
    const enc = await createEncoder({ bitRate: 128000, copies: 4, stereo: true });
    const dec = await createDecoder({ bitRate: 128000, copies: 4, stereo: true });
    enc.encode(planar(round % 50));
    dec.decode(packet, 0);
    dec.decode(packet, 30);
    enc.dispose();
    dec.dispose();
  }
});

test('lost frames are rebuilt where copies reach them and concealed elsewhere', async () => {
  for (let copies = 0; copies <= 4; ++copies) {
    for (let gap = 1; gap <= 12; ++gap) {
      const kinds = gapFrames(gap, gap, copies, 0);
      // Up to twice as many lost packets as copies come back from the two packets after them.
      const expected = gap <= 2 * copies ? 'rebuilt' : null;
      if (expected) assert.deepEqual(kinds, new Array(gap).fill('rebuilt'), `copies ${copies}, gap ${gap}`);
      if (copies === 0) assert.deepEqual(kinds, new Array(gap).fill('concealed'));
    }
  }
  const result = await runSession(demoSignal(4), { bitRate: 64000, copies: 2, lossPercent: 15, burst: 2 });
  const f = result.figures;
  assert.equal(f.rebuilt + f.concealed, f.lost);
  assert.ok(f.rebuilt > f.concealed && f.concealedWithoutCopies === f.lost);
  assert.ok(f.snrWithCopies > f.snrWithoutCopies + 3, `${f.snrWithCopies} vs ${f.snrWithoutCopies}`);
});

test('the decoded tracks follow the frames the decoder delivers', async () => {
  // Packet 1 lost: mono rebuilds it; a stereo decoder inserts nothing for
  // the gap after the first packet, so the page plays silence there.
  for (const [stereo, fate1] of [[false, 'rebuilt'], [true, 'missing']]) {
    const settings = { bitRate: stereo ? 128000 : 64000, copies: 2, stereo };
    const pcm = Int16Array.from([...Array(50).keys()].flatMap((f) => [...(stereo ? planar(f) : frame(f))]));
    const received = new Array(52).fill(true);
    const clean = await codeAndDecode(pcm, settings, received);
    received[1] = false;
    const lossy = await codeAndDecode(pcm, settings, received);
    assert.deepEqual(lossy.fate, clean.fate.map((k, i) => (i === 1 ? fate1 : k)));
    // After the gap both play in time with the input.
    const after = (track) => track.subarray(pcm.length / 10);
    const [snrClean, snrLossy] = [clean, lossy].map((r) => snrDb(after(pcm), after(r.decoded)));
    assert.ok(Math.abs(snrLossy - snrClean) < 1, `stereo ${stereo}: ${snrLossy} dB, ${snrClean} dB without loss`);
  }
});
