// page_units_test.js: the pages' pure parts under node, without a browser:
// the sound output's worklet (what it plays of the chunks it is sent, its
// pause, flush and stop, what it tells the page) and the player's text for
// times and pattern cells, as trackers write them.
// Run: node --test tests/web/page_units_test.js
"use strict";
const test = require("node:test");
const assert = require("node:assert");
const path = require("node:path");

const QUANTUM = 128;  // frames per render quantum

// The worklet's scope: a processor base class with a message port, the
// registry, and the context's time.
const registered = {};
globalThis.AudioWorkletProcessor = class {
  constructor() {
    this.port = {told: [], postMessage(message) { this.told.push(message); }};
  }
};
globalThis.registerProcessor = (name, processor) => { registered[name] = processor; };
globalThis.currentTime = 0;
require(path.join(__dirname, "..", "..", "runtime", "audio_web_worklet.js"));

function output() {
  const processor = new registered["qm-output"]();
  processor.send = (message) => processor.port.onmessage({data: message});
  processor.quantum = () => {
    const left = new Float32Array(QUANTUM).fill(9);
    const right = new Float32Array(QUANTUM).fill(9);
    const alive = processor.process([], [[left, right]]);
    return {left, right, alive};
  };
  return processor;
}

// A chunk of `frames` stereo frames from stream frame `start`, its samples
// counting up from offset - frames (so negative and positive values).
function chunk(start, frames, offset = 0) {
  const samples = new Int16Array(2 * frames);
  for (let i = 0; i < samples.length; i++) samples[i] = i + offset - frames;
  return {start, samples};
}

test("the worklet plays each chunk in order as sample / 32768 and tells how far it got", () => {
  const p = output();
  const sent = chunk(1000, 200);
  p.send(sent);
  const first = p.quantum();
  for (let i = 0; i < QUANTUM; i++) {
    assert.strictEqual(first.left[i], sent.samples[2 * i] / 32768);
    assert.strictEqual(first.right[i], sent.samples[2 * i + 1] / 32768);
  }
  assert.deepStrictEqual(p.port.told, []);  // the chunk is not done yet
  const second = p.quantum();                // 72 frames left: the rest is silence, one short quantum
  assert.strictEqual(second.left[71], sent.samples[2 * 199] / 32768);
  assert.deepStrictEqual(Array.from(second.left.slice(72)), new Array(QUANTUM - 72).fill(0));
  assert.deepStrictEqual(p.port.told, [{at: 1200, underruns: 1, time: 0}]);
  p.quantum();                               // still dry: counted, told only once
  assert.strictEqual(p.port.told.length, 1);
  p.send(chunk(1200, 64));
  p.send(chunk(1264, 64));
  const third = p.quantum();                 // two chunks fill one quantum, told once
  assert.strictEqual(third.left[64], chunk(1264, 64).samples[0] / 32768);
  assert.deepStrictEqual(p.port.told.at(-1), {at: 1328, underruns: 2, time: 0});
  assert.strictEqual(third.alive, true);
});

test("the worklet is silent and keeps its queue while held, drops it on a flush, ends on stop", () => {
  const p = output();
  assert.deepStrictEqual(Array.from(p.quantum().left), new Array(QUANTUM).fill(0));
  p.send(chunk(0, 256));
  p.send({hold: true});
  const held = p.quantum();
  assert.deepStrictEqual(Array.from(held.left), new Array(QUANTUM).fill(0));
  p.send({hold: false});
  assert.strictEqual(p.quantum().left[0], chunk(0, 256).samples[0] / 32768);  // from where it was
  p.send(chunk(256, 256));
  p.send({flush: true});
  assert.deepStrictEqual(p.port.told.at(-1), {at: 512, underruns: 0, time: 0});
  p.send(chunk(512, 128, 7));
  assert.strictEqual(p.quantum().left[0], chunk(512, 128, 7).samples[0] / 32768);
  p.send({stop: true});
  assert.strictEqual(p.quantum().alive, false);
});

test("times and pattern cells read as trackers write them", () => {
  globalThis.window = {};
  require(path.join(__dirname, "..", "..", "web", "player_views.js"));
  const views = globalThis.window.qmViews;
  assert.strictEqual(views.formatTime(65.34, true), "1:05.3");
  assert.strictEqual(views.formatTime(65.34, false), "1:05");
  assert.strictEqual(views.formatTime(-1, false), "0:00");
  const notes = {1: "C-0", 2: "C#0", 12: "B-0", 13: "C-1", 49: "C-4", 96: "B-7", 97: "OFF", 98: "???"};
  for (const [note, text] of Object.entries(notes)) assert.strictEqual(views.noteText(Number(note)), text);
  assert.strictEqual(views.noteText(0), null);
  const volumes = {0x10: "00", 0x30: "20", 0x50: "40", 0x51: "??", 0x6A: "-A", 0x7F: "+F", 0x83: "D3",
                   0x90: "U0", 0xA4: "S4", 0xB2: "V2", 0xC8: "P8", 0xD1: "L1", 0xE2: "R2", 0xF9: "M9"};
  for (const [volume, text] of Object.entries(volumes)) assert.strictEqual(views.volumeText(Number(volume)), text);
  assert.strictEqual(views.volumeText(0), null);
  assert.strictEqual(views.effectText(0x0F, 0x06), "F06");
  assert.strictEqual(views.effectText(0x14, 0x03), "K03");
  assert.strictEqual(views.effectText(0x00, 0x37), "037");
  assert.strictEqual(views.effectText(0x23, 0xFF), "ZFF");
  assert.strictEqual(views.effectText(0, 0), null);
});

// The inks' strings laid over one another, as the page shows them.
function overlay(lines) {
  const width = Math.max(...Object.values(lines).map((line) => line.length));
  let shown = "";
  for (let i = 0; i < width; i++) {
    const inks = Object.keys(lines).filter((ink) => (lines[ink][i] || " ") !== " ");
    assert.ok(inks.length <= 1, `column ${i} is written by ${inks}`);
    shown += inks.length ? lines[inks[0]][i] : " ";
  }
  return {shown, inkAt: (i) => Object.keys(lines).find((ink) => (lines[ink][i] || " ") !== " ")};
}

test("a pattern row is written a character a column, each field in its ink", () => {
  const views = globalThis.window.qmViews;
  // Row 4 (a beat) of two channels: C-4 instrument 1 volume 0x30 effect F06, then an empty cell.
  const cells = new Uint8Array(6 * 2 * 5);  // rows 0 to 5
  cells.set([49, 1, 0x30, 0x0F, 0x06], 4 * 2 * 5);
  const row = overlay(views.rowInks(cells, 4, 2));
  const dots = "\u00b7";
  assert.strictEqual(row.shown.trimEnd(), `04  C-4 01 20 F06 ${dots.repeat(3)} ${dots.repeat(2)} ${dots.repeat(2)} ` +
    dots.repeat(3));
  assert.strictEqual(row.shown.trimEnd().length, 3 + 2 * views.CELL_CHARS);
  assert.deepStrictEqual([0, 4, 8, 11, 14, 18].map(row.inkAt), ["beat", "note", "instrument", "volume", "effect",
                                                                "empty"]);
  assert.strictEqual(overlay(views.rowInks(cells, 5, 2)).inkAt(0), "number");
});
