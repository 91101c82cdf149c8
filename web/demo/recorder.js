// Runs on the audio thread: hands each block of the microphone's first
// channel to the page, which keeps five seconds of them.
registerProcessor('recorder', class extends AudioWorkletProcessor {
  process(inputs) {
    if (inputs[0][0]) this.port.postMessage(inputs[0][0].slice());
    return true;
  }
});
