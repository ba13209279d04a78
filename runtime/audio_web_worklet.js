// audio_web_worklet.js: the browser's sound output on its audio thread
// (registered as "qm-output"): plays the 16-bit stereo chunks the page posts,
// in order, as floats (sample / 32768), and tells the page how far it got.
// Loaded by audio_web.cpp into the page's AudioContext.
//
// Messages from the page:
//   {start, samples}  a chunk: start is the stream frame of its first frame
//                     (frames counted from the output's opening), samples an
//                     Int16Array of left, right, left, right ...
//   {hold: bool}      pause: silence without consuming the queue; resume
//   {flush: true}     drop what is queued (after a seek)
//   {stop: true}      the output closed: the processor ends
// Messages to the page, after each chunk played, on a flush and when the
// queue runs dry: {at, underruns, time}: at, the stream frame played next
// (every frame before it has been played or dropped); underruns, the render
// quanta so far that found the queue short while it was expected to hold;
// time, the context's time of the message.
"use strict";

const FULL_SCALE = 32768;

class QuillmereOutput extends AudioWorkletProcessor {
  constructor() {
    super();
    this.queue = [];       // chunks waiting, the one playing first
    this.offset = 0;       // frames of queue[0] already played
    this.at = 0;           // stream frame played next
    this.hold = false;
    this.stopped = false;
    this.started = false;  // a chunk has arrived: from now on a short queue is an underrun
    this.starving = false; // the last quantum was short (told once)
    this.underruns = 0;
    this.port.onmessage = (event) => this.receive(event.data);
  }

  receive(message) {
    if (message.samples) {
      if (this.queue.length === 0) this.at = message.start;
      this.queue.push(message);
      this.started = true;
    } else if ("hold" in message) {
      this.hold = message.hold;
    } else if (message.flush) {
      const last = this.queue[this.queue.length - 1];
      if (last) this.at = last.start + last.samples.length / 2;
      this.queue = [];
      this.offset = 0;
      this.tell();
    } else if (message.stop) {
      this.stopped = true;
    }
  }

  tell() {
    this.port.postMessage({at: this.at, underruns: this.underruns, time: currentTime});
  }

  process(inputs, outputs) {
    if (this.stopped) return false;
    const left = outputs[0][0];
    const right = outputs[0][1];
    const frames = left.length;
    let i = 0;
    let played = false;
    while (!this.hold && i < frames && this.queue.length > 0) {
      const samples = this.queue[0].samples;
      const available = samples.length / 2;
      while (i < frames && this.offset < available) {
        left[i] = samples[2 * this.offset] / FULL_SCALE;
        right[i] = samples[2 * this.offset + 1] / FULL_SCALE;
        i++;
        this.offset++;
      }
      this.at = this.queue[0].start + this.offset;
      if (this.offset === available) {
        this.queue.shift();
        this.offset = 0;
        played = true;
      }
    }
    left.fill(0, i);
    right.fill(0, i);
    const short = !this.hold && i < frames && this.started;
    if (short) this.underruns++;
    if (played || (short && !this.starving)) this.tell();
    this.starving = short;
    return true;
  }
}

registerProcessor("qm-output", QuillmereOutput);
