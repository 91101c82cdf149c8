// The listening page: picks a source, has a worker code it, plays the three
// versions (switching keeps the position) and draws what happened.
import { demoSignal, kFrame, kSampleRate } from './session.js';

const kMaxSeconds = 300;
const kMaxFileBytes = 100 * 1024 * 1024;
const $ = (id) => document.getElementById(id);

// What the page shows, and what its browser test reads.
const page = (window.dremkoDemo = { runs: 0, last: null, firstSoundMs: null, busy: false });
let source = null; // { pcm: planar Int16Array, stereo, name }
let result = null; // the last run: decoded tracks and figures
let worker = null;
let audio = null;
let playing = null; // { node, track, startedAt, offset }
let wanted = null; // the track asked for before the run was ready

function message(text) {
  $('message').textContent = text;
}

function status(text) {
  $('status').textContent = text;
}

// ---- Sources -------------------------------------------------------------

// The length the browser reads from the file's headers, or null when it
// cannot play the file, so that a file that is too long is refused before
// it is decoded into memory.
function mediaDuration(file) {
  return new Promise((resolve) => {
    const media = new Audio();
    const url = URL.createObjectURL(file);
    const done = (seconds) => {
      URL.revokeObjectURL(url);
      resolve(seconds);
    };
    media.preload = 'metadata';
    media.onloadedmetadata = () => done(media.duration);
    media.onerror = () => done(null);
    media.src = url;
  });
}

function duration(seconds) {
  const s = Math.round(seconds);
  return `${Math.floor(s / 3600)}:${String(Math.floor(s / 60) % 60).padStart(2, '0')}:${String(s % 60).padStart(2, '0')}`;
}

function checkShape(name, channels, seconds) {
  if (channels > 2) throw new Error(`“${name}” has ${channels} channels; the codec takes mono or stereo.`);
  if (seconds > kMaxSeconds) {
    throw new Error(`“${name}” lasts ${duration(seconds)}; this page takes up to ${kMaxSeconds / 60} minutes.`);
  }
}

// Planar 20 ms frames of 16-bit samples from an AudioBuffer at 48 kHz.
function planarFrames(buffer) {
  const channels = buffer.numberOfChannels;
  const frames = Math.ceil(buffer.length / kFrame);
  const pcm = new Int16Array(frames * channels * kFrame);
  for (let ch = 0; ch < channels; ++ch) {
    const data = buffer.getChannelData(ch);
    for (let i = 0; i < data.length; ++i) {
      const frame = Math.floor(i / kFrame);
      const v = Math.round(data[i] * 32768);
      pcm[(frame * channels + ch) * kFrame + (i % kFrame)] = Math.max(-32768, Math.min(32767, v));
    }
  }
  return { pcm, stereo: channels === 2 };
}

async function loadFile(file) {
  message('');
  try {
    if (file.size > kMaxFileBytes) {
      throw new Error(`“${file.name}” is ${(file.size / 1048576).toFixed(0)} MB; this page takes files up to 100 MB.`);
    }
    const seconds = await mediaDuration(file);
    if (seconds > kMaxSeconds) checkShape(file.name, 1, seconds);
    let decoded;
    try {
      decoded = await new OfflineAudioContext(1, 1, kSampleRate).decodeAudioData(await file.arrayBuffer());
    } catch {
      throw new Error(`“${file.name}” is not an audio file this browser can decode.`);
    }
    checkShape(file.name, decoded.numberOfChannels, decoded.duration);
    setSource({ ...planarFrames(decoded), name: file.name });
  } catch (error) {
    message(error.message);
  }
}

async function recordMicrophone() {
  message('');
  let stream;
  try {
    stream = await navigator.mediaDevices.getUserMedia({ audio: true });
  } catch (error) {
    const denied = error.name === 'NotAllowedError' || error.name === 'SecurityError';
    message(`The microphone is not available: ${denied ? 'permission was denied' : error.message}.`);
    return;
  }
  const context = new AudioContext({ sampleRate: kSampleRate });
  const samples = new Float32Array(5 * kSampleRate);
  try {
    await context.audioWorklet.addModule(new URL('./recorder.js', import.meta.url));
    // Connected through to the (silent) output so that every browser runs it.
    const tap = new AudioWorkletNode(context, 'recorder');
    let recorded = 0;
    status('Recording 5 s…');
    await new Promise((done) => {
      tap.port.onmessage = ({ data }) => {
        samples.set(data.subarray(0, samples.length - recorded), recorded);
        recorded = Math.min(samples.length, recorded + data.length);
        if (recorded === samples.length) done();
      };
      context.createMediaStreamSource(stream).connect(tap).connect(context.destination);
    });
  } catch (error) {
    message(`Recording failed: ${error.message}.`);
    return;
  } finally {
    stream.getTracks().forEach((t) => t.stop());
    await context.close();
  }
  const buffer = new AudioBuffer({ length: samples.length, sampleRate: kSampleRate });
  buffer.copyToChannel(samples, 0);
  setSource({ ...planarFrames(buffer), name: 'microphone, 5 s' });
}

function setSource(next) {
  source = next;
  $('source').textContent = `${next.name} (${next.stereo ? 'stereo' : 'mono'}, ${duration(next.pcm.length / kSampleRate / (next.stereo ? 2 : 1))})`;
  code();
}

// ---- Coding --------------------------------------------------------------

function settings() {
  const perChannel = Number($('rate').value);
  const lossPercent = Number($('loss').value);
  const burst = Number($('burst').value);
  if (!(lossPercent >= 0 && lossPercent <= 50)) throw new Error('Loss must be from 0 to 50 %.');
  if (!(burst >= 1 && burst <= 10)) throw new Error('Burst length must be from 1 to 10 packets.');
  const stereo = source.stereo;
  return { bitRate: perChannel * (stereo ? 2 : 1), copies: Number($('copies').value), stereo, lossPercent, burst };
}

function code() {
  if (!source) return;
  let chosen;
  try {
    chosen = settings();
  } catch (error) {
    message(error.message);
    return;
  }
  message('');
  worker?.terminate();
  worker = new Worker(new URL('./worker.js', import.meta.url), { type: 'module' });
  page.busy = true;
  status('Coding…');
  const started = performance.now();
  worker.onmessage = ({ data }) => {
    if (data.ok && !data.spectrograms) {
      showResult(data, chosen, performance.now() - started);
      return;
    }
    worker.terminate();
    worker = null;
    page.busy = false;
    if (!data.ok) {
      message(`Coding failed: ${data.message}`);
      status('');
      return;
    }
    ['original', 'withCopies', 'withoutCopies'].forEach((k, i) => drawSpectrogram($(`spectrogram-${k}`), data.spectrograms[i]));
  };
  worker.onerror = (event) => {
    worker.terminate();
    worker = null;
    page.busy = false;
    message(`Coding failed: ${event.message}`);
  };
  const pcm = source.pcm.slice();
  worker.postMessage({ pcm, settings: chosen }, [pcm.buffer]);
}

function showResult(data, chosen, ms) {
  const track = playing?.track ?? wanted;
  const position = playing ? audio.currentTime - playing.startedAt + playing.offset : 0;
  result = { ...data, original: source.pcm, stereo: chosen.stereo };
  const f = data.figures;
  const kbits = (v) => `${(v / 1000).toFixed(1)} kbit/s`;
  const db = (v) => `${v.toFixed(1)} dB`;
  $('bitrate-with').value = kbits(f.bitRateWithCopies);
  $('bitrate-without').value = kbits(f.bitRateWithoutCopies);
  $('lost').value = `${f.lost} of ${f.frames}`;
  $('rebuilt').value = String(f.rebuilt);
  $('concealed').value = String(f.concealed);
  $('concealed-without').value = String(f.concealedWithoutCopies);
  $('snr-with').value = db(f.snrWithCopies);
  $('snr-without').value = db(f.snrWithoutCopies);
  drawTimeline(data.fate);
  status(`Coded ${duration(f.frames / 50)} in ${(ms / 1000).toFixed(2)} s.`);
  page.runs += 1;
  page.last = { settings: chosen, hash: data.hash, figures: f };
  if (track) play(track, position);
}

// ---- Drawing -------------------------------------------------------------

function drawSpectrogram(canvas, { columns, bins, data }) {
  const rows = canvas.height;
  canvas.width = columns;
  const context = canvas.getContext('2d');
  const image = context.createImageData(columns, rows);
  for (let c = 0; c < columns; ++c) {
    for (let r = 0; r < rows; ++r) {
      const bin = Math.floor(((rows - 1 - r) * bins) / rows);
      const v = data[c * bins + bin] / 255;
      const at = 4 * (r * columns + c);
      image.data[at] = 255 * Math.min(1, 2 * v);
      image.data[at + 1] = 255 * Math.max(0, 2 * v - 0.8);
      image.data[at + 2] = 255 * Math.min(1, 0.4 + v) * (1 - v);
      image.data[at + 3] = 255;
    }
  }
  context.putImageData(image, 0, 0);
}

const kFateColours = { rebuilt: '#2f855a', concealed: '#dd6b20', missing: '#c53030' };

function drawTimeline(fate) {
  const canvas = $('timeline');
  const context = canvas.getContext('2d');
  context.clearRect(0, 0, canvas.width, canvas.height);
  const width = canvas.width / fate.length;
  fate.forEach((kind, i) => {
    if (!kFateColours[kind]) return;
    context.fillStyle = kFateColours[kind];
    context.fillRect(i * width, 0, Math.max(1, width), canvas.height);
  });
}

// ---- Playing -------------------------------------------------------------

function audioBuffer(pcm, stereo) {
  const channels = stereo ? 2 : 1;
  const frames = pcm.length / (channels * kFrame);
  const buffer = new AudioBuffer({ numberOfChannels: channels, length: frames * kFrame, sampleRate: kSampleRate });
  for (let ch = 0; ch < channels; ++ch) {
    const data = new Float32Array(frames * kFrame);
    for (let f = 0; f < frames; ++f) {
      for (let i = 0; i < kFrame; ++i) data[f * kFrame + i] = pcm[(f * channels + ch) * kFrame + i] / 32768;
    }
    buffer.copyToChannel(data, ch);
  }
  return buffer;
}

function stop() {
  if (playing) {
    playing.node.onended = null;
    playing.node.stop();
  }
  playing = null;
  document.querySelectorAll('[data-track]').forEach((b) => b.setAttribute('aria-pressed', 'false'));
}

function play(track, position = 0) {
  if (!result) {
    wanted = track; // played as soon as the run is ready
    status('Coding… playback starts when it is ready.');
    return;
  }
  wanted = null;
  audio ??= new AudioContext({ sampleRate: kSampleRate });
  result.buffers ??= {};
  result.buffers[track] ??= audioBuffer(result[track], result.stereo);
  const buffer = result.buffers[track];
  stop();
  const node = new AudioBufferSourceNode(audio, { buffer });
  node.connect(audio.destination);
  const offset = position % buffer.duration;
  node.start(0, offset);
  node.onended = stop;
  playing = { node, track, startedAt: audio.currentTime, offset };
  page.firstSoundMs ??= performance.now();
  document.querySelector(`[data-track=${track}]`).setAttribute('aria-pressed', 'true');
}

// ---- Wiring --------------------------------------------------------------

$('demo').onclick = () => setSource({ pcm: demoSignal(6), stereo: false, name: 'built-in demo signal' });
$('file').onchange = (event) => event.target.files[0] && loadFile(event.target.files[0]);
$('mic').onclick = recordMicrophone;
for (const id of ['rate', 'copies', 'loss', 'burst']) $(id).onchange = code;
document.querySelectorAll('[data-track]').forEach((button) => {
  button.onclick = () => {
    const position = playing ? audio.currentTime - playing.startedAt + playing.offset : 0;
    play(button.dataset.track, position);
  };
});
$('stop').onclick = stop;
const drop = $('drop');
drop.ondragover = (event) => {
  event.preventDefault();
  drop.classList.add('over');
};
drop.ondragleave = () => drop.classList.remove('over');
drop.ondrop = (event) => {
  event.preventDefault();
  drop.classList.remove('over');
  if (event.dataTransfer.files[0]) loadFile(event.dataTransfer.files[0]);
};

$('demo').click();
