// DremkoCodec for JavaScript: the library compiled to WebAssembly, wrapped in
// an encoder and a decoder object that check every argument before it
// reaches the module's memory. One module instance serves every object of a
// page or process, as one library serves every context of a native host.

let modulePromise = null;

// The module's only system call: its console lines (the decoder's report of
// an inconsistent frame), passed on line by line.
function consoleImports(memory) {
  const decoder = new TextDecoder();
  let pending = '';
  return {
    fd_write(fd, iovs, count, written) {
      const view = new DataView(memory().buffer);
      let total = 0;
      for (let i = 0; i < count; ++i) {
        const base = view.getUint32(iovs + 8 * i, true);
        const length = view.getUint32(iovs + 8 * i + 4, true);
        pending += decoder.decode(new Uint8Array(memory().buffer, base, length));
        total += length;
      }
      const lines = pending.split('\n');
      pending = lines.pop();
      for (const line of lines) console.log(line);
      view.setUint32(written, total, true);
      return 0;
    },
    proc_exit(code) {
      throw new Error(`dremko-codec: the module stopped with code ${code}`);
    },
  };
}

async function moduleBytes() {
  const url = new URL('./dremko.wasm', import.meta.url);
  if (url.protocol === 'file:') {
    const { readFile } = await import('node:fs/promises');
    return readFile(url);
  }
  const response = await fetch(url);
  if (!response.ok) throw new Error(`dremko-codec: cannot load ${url} (${response.status})`);
  return response.arrayBuffer();
}

function loadModule() {
  modulePromise ??= (async () => {
    let exports = null;
    const imports = {
      wasi_snapshot_preview1: consoleImports(() => exports.memory),
      env: { emscripten_notify_memory_growth() {} },
    };
    const { instance } = await WebAssembly.instantiate(await moduleBytes(), imports);
    exports = instance.exports;
    exports._initialize();
    return {
      exports,
      frameSamples: exports.DremkoWeb_FrameSamples(),
      maxPacketBytes: exports.DremkoWeb_MaxPacketBytes(),
      maxDecodedFrames: exports.DremkoWeb_MaxDecodedFrames(),
      packetBytes: (s) => exports.DremkoWeb_PacketBytes(s.bitRate, s.stereo ? 1 : 0, s.copies),
    };
  })();
  return modulePromise;
}

// Settings both ends share. The per-channel rate is held to the range in
// which encoder and decoder agree on the main frame's length.
const kMinChannelRate = 48000;
const kMaxChannelRate = 64000;
const kMaxCopies = 4;

function checkSettings(settings) {
  if (settings === null || typeof settings !== 'object') {
    throw new TypeError('dremko-codec: settings must be an object { bitRate, copies, stereo }');
  }
  const { bitRate, copies = 0, stereo = false } = settings;
  if (typeof stereo !== 'boolean') throw new TypeError('dremko-codec: stereo must be true or false');
  const channels = stereo ? 2 : 1;
  if (!Number.isInteger(bitRate) || bitRate < kMinChannelRate * channels || bitRate > kMaxChannelRate * channels) {
    throw new RangeError(
      `dremko-codec: bitRate must be a whole number of bit/s from ${kMinChannelRate * channels} to ` +
        `${kMaxChannelRate * channels} (${stereo ? 'stereo, both channels' : 'mono'}), not ${bitRate}`,
    );
  }
  if (!Number.isInteger(copies) || copies < 0 || copies > kMaxCopies) {
    throw new RangeError(`dremko-codec: copies must be a whole number from 0 to ${kMaxCopies}, not ${copies}`);
  }
  return { bitRate, copies, stereo };
}

// Memory in the module that one object owns, freed together on dispose.
function allocate(m, sizes) {
  const pointers = [];
  for (const size of sizes) {
    const pointer = m.exports.malloc(size);
    if (pointer === 0) {
      pointers.forEach((p) => m.exports.free(p));
      throw new Error('dremko-codec: out of memory in the module');
    }
    pointers.push(pointer);
  }
  return pointers;
}

function owner(m, kind, pointers) {
  let live = true;
  return {
    check() {
      if (!live) throw new Error(`dremko-codec: this ${kind} has been disposed`);
    },
    dispose() {
      if (live) pointers.forEach((p) => m.exports.free(p));
      live = false;
    },
  };
}

// Checks the settings, loads the module and allocates the blocks of memory
// that `sizes(module, samples)` lists for one object.
async function open(kind, settings, sizes) {
  const s = checkSettings(settings);
  const m = await loadModule();
  const samples = (s.stereo ? 2 : 1) * m.frameSamples;
  const pointers = allocate(m, sizes(m, samples));
  return { s, e: m.exports, samples, packetBytes: m.packetBytes(s), pointers, life: owner(m, kind, pointers) };
}

export async function createEncoder(settings) {
  const { s, e, samples, packetBytes, pointers, life } = await open('encoder', settings, (m, samples) => [
    m.exports.Dremko_SizeofEncoderContext(),
    2 * samples,
    m.maxPacketBytes,
  ]);
  const [context, pcmBuffer, packetBuffer] = pointers;
  e.Dremko_InitEncoderContext(context, s.bitRate, s.stereo ? 1 : 0);
  return {
    encode(pcm) {
      life.check();
      if (!(pcm instanceof Int16Array) || pcm.length !== samples) {
        throw new TypeError(`dremko-codec: encode takes an Int16Array of ${samples} samples (one 20 ms frame)`);
      }
      new Int16Array(e.memory.buffer, pcmBuffer, samples).set(pcm);
      e.Dremko_EncodeFrame(context, pcmBuffer, packetBuffer, s.copies);
      return {
        packet: new Uint8Array(e.memory.buffer, packetBuffer, packetBytes).slice(),
        speech: e.DremkoEncoder_GetSpeechDetect(context) === 1,
        level: e.DremkoEncoder_GetEnergy(context),
      };
    },
    dispose: life.dispose,
  };
}

export async function createDecoder(settings) {
  const { s, e, samples, packetBytes, pointers, life } = await open('decoder', settings, (m, samples) => [
    m.exports.Dremko_SizeofDecoderContext(),
    m.maxPacketBytes,
    2 * samples * m.maxDecodedFrames,
    4,
  ]);
  const [context, packetBuffer, outBuffer, deliveredBuffer] = pointers;
  e.Dremko_InitDecoderContext(context, s.stereo ? 1 : 0);
  e.DremkoSetDecoderBitRate(context, s.stereo ? s.bitRate >> 1 : s.bitRate);
  e.DremkoSetDecoderRdpBits(context, (1 << s.copies) - 1);
  return {
    decode(packet, lostBefore = 0) {
      life.check();
      if (!(packet instanceof Uint8Array) || packet.length !== packetBytes) {
        throw new TypeError(`dremko-codec: decode takes a Uint8Array packet of ${packetBytes} bytes at these settings`);
      }
      if (!Number.isInteger(lostBefore) || lostBefore < 0 || lostBefore > 0x7fffffff) {
        throw new RangeError(`dremko-codec: lostBefore must be a whole number of packets, 0 or more, not ${lostBefore}`);
      }
      new Uint8Array(e.memory.buffer, packetBuffer, packetBytes).set(packet);
      e.Dremko_DecodeFrame(context, packetBuffer, outBuffer, lostBefore, deliveredBuffer);
      const delivered = new Int32Array(e.memory.buffer, deliveredBuffer, 1)[0];
      const frames = [];
      for (let i = 0; i < delivered; ++i) {
        frames.push(new Int16Array(e.memory.buffer, outBuffer + 2 * samples * i, samples).slice());
      }
      return frames;
    },
    dispose: life.dispose,
  };
}

