// The listening page in headless Chromium: the built-in signal at two
// settings plays the samples node computes for the same settings and losses,
// the figures appear, and bad input gives a message and leaves the page working.
import assert from 'node:assert/strict';
import { execFileSync } from 'node:child_process';
import { mkdtempSync, rmSync, writeFileSync } from 'node:fs';
import { tmpdir } from 'node:os';
import { join } from 'node:path';
import { after, before, test } from 'node:test';

import puppeteer from 'puppeteer-core';

import { serve } from '../demo/serve.js';

const screenshot = process.env.DREMKO_PAGE_SCREENSHOT ?? new URL('../../build-wasm/listening_page.png', import.meta.url).pathname;
const profile = mkdtempSync(join(tmpdir(), 'dremko-chromium-'));
let server;
let browser;
let page;

// Each run in a fresh process, as the page runs each in a fresh worker.
function nodeHash(settings) {
  const script = `import { demoSignal, runSession } from ${JSON.stringify(new URL('../demo/session.js', import.meta.url).href)};
    console.log((await runSession(demoSignal(6), ${JSON.stringify(settings)})).hash);`;
  return execFileSync(process.execPath, ['--input-type=module', '-e', script], { encoding: 'utf8' }).trim();
}

// A silent WAV file of 8-bit samples: the 3-hour one at the lowest rate the
// browser plays is 32 MB.
function wav(channels, rate, seconds) {
  const bytes = channels * Math.round(rate * seconds);
  const file = Buffer.alloc(44 + bytes, 128);
  file.write('RIFF', 0);
  file.writeUInt32LE(36 + bytes, 4);
  file.write('WAVEfmt ', 8);
  file.writeUInt32LE(16, 16);
  file.writeUInt16LE(1, 20);
  file.writeUInt16LE(channels, 22);
  file.writeUInt32LE(rate, 24);
  file.writeUInt32LE(rate * channels, 28);
  file.writeUInt16LE(channels, 32);
  file.writeUInt16LE(8, 34);
  file.write('data', 36);
  file.writeUInt32LE(bytes, 40);
  return file;
}

before(async () => {
  server = await serve(0);
  browser = await puppeteer.launch({
    executablePath: process.env.CHROMIUM ?? '/usr/bin/chromium',
    args: ['--headless', '--no-sandbox', '--disable-gpu', '--disable-quic', '--no-first-run',
      '--disable-background-networking', '--disable-component-update', '--disable-sync', `--user-data-dir=${profile}`,
      // A microphone to be refused: without one the page would report that none was found.
      '--use-fake-device-for-media-stream'],
  });
  page = await browser.newPage();
  await page.setViewport({ width: 1100, height: 1400 });
});

after(async () => {
  await browser?.close();
  server?.close();
  rmSync(profile, { recursive: true, force: true });
});

const runs = () => page.evaluate(() => window.dremkoDemo.runs);
const waitRuns = (n) => page.waitForFunction((k) => window.dremkoDemo.runs >= k && !window.dremkoDemo.busy, { timeout: 60000 }, n);

test('the built-in signal at two settings plays what node decodes', async () => {
  await page.goto(`http://127.0.0.1:${server.address().port}/demo/`, { waitUntil: 'domcontentloaded' });
  // Asked for at once, the decoded sound starts as soon as the first run is ready.
  await page.click('#play-with');
  await waitRuns(1);
  const first = await page.evaluate(() => window.dremkoDemo.last);
  const firstSound = await page.evaluate(() => window.dremkoDemo.firstSoundMs);
  assert.ok(firstSound > 0, 'the page played');
  console.log(`time to first sound: ${firstSound.toFixed(0)} ms`);

  await page.select('#rate', '48000');
  await page.select('#copies', '4');
  await page.$eval('#loss', (e) => (e.value = '20'));
  await page.$eval('#burst', (e) => (e.value = '3'));
  await page.$eval('#burst', (e) => e.dispatchEvent(new Event('change')));
  await page.waitForFunction((k) => window.dremkoDemo.last.settings.copies === 4 && !window.dremkoDemo.busy, { timeout: 60000 });
  const second = await page.evaluate(() => window.dremkoDemo.last);
  assert.deepEqual(second.settings, { bitRate: 48000, copies: 4, stereo: false, lossPercent: 20, burst: 3 });

  for (const run of [first, second]) {
    const { lossPercent, burst, ...codec } = run.settings;
    assert.equal(run.hash, nodeHash({ ...codec, lossPercent, burst }), JSON.stringify(run.settings));
    assert.ok(run.figures.lost > 0 && run.figures.rebuilt > 0);
  }
  const shown = await page.$$eval('.figures output', (outputs) => outputs.map((o) => o.value));
  assert.equal(shown.length, 8);
  assert.ok(shown.every((text) => /\d/.test(text)), shown.join(' | '));
  await page.screenshot({ path: screenshot, fullPage: true });
});

test('bad input gives a clear message and leaves the page usable', async () => {
  const folder = mkdtempSync(join(tmpdir(), 'dremko-files-'));
  const input = await page.$('#file');
  for (const [name, bytes, expected] of [
    ['notes.txt', Buffer.from('not audio at all\n'), /not an audio file/],
    ['surround.wav', wav(6, 48000, 1), /6 channels/],
    ['long.wav', wav(1, 3000, 3 * 3600), /lasts 3:00:00/],
  ]) {
    writeFileSync(join(folder, name), bytes);
    await input.uploadFile(join(folder, name));
    await page.waitForFunction(() => document.getElementById('message').textContent !== '', { timeout: 20000 });
    assert.match(await page.$eval('#message', (e) => e.textContent), expected);
    await page.$eval('#message', (e) => (e.textContent = ''));
  }
  rmSync(folder, { recursive: true, force: true });

  const origin = `http://127.0.0.1:${server.address().port}`;
  await browser.defaultBrowserContext().overridePermissions(origin, []);
  await page.click('#mic');
  await page.waitForFunction(() => document.getElementById('message').textContent !== '', { timeout: 20000 });
  assert.match(await page.$eval('#message', (e) => e.textContent), /microphone is not available: permission was denied/);

  // Still usable: the demo signal codes again at the settings shown.
  const before = await runs();
  await page.click('#demo');
  await waitRuns(before + 1);
  assert.equal((await page.evaluate(() => window.dremkoDemo.last.settings)).copies, 4);
});
