// render_worker.js: the module player's WAV download, off the page's main
// thread: loads its own copy of player.js, loads the song from the bytes the
// page sends, renders one pass with the library's player (the same bytes as
// xmrender song.xm -o song.wav) and sends the WAV back in parts, so the page's
// playback never waits for it. One worker per download; the page ends it.
// Messages: in {bytes: ArrayBuffer, interpolation: 0 linear, 1 cubic, 2 sinc8
// (as xmrender --interpolation)}; out {progress: percent} now and then,
// then {parts: [header, frames...]} (ArrayBuffers, transferred) or {error}.
"use strict";

const RENDER_CHUNK_FRAMES = 16384;
const PROGRESS_EVERY_MS = 100;
let song = null;  // the bytes, until the runtime is ready
let interpolation = 0;

function render() {
  const frames = Module._player_file_buffer(song.byteLength);
  if (!frames) {
    postMessage({error: "too large or out of memory"});
    return;
  }
  Module.HEAPU8.set(new Uint8Array(song), frames);
  if (Module._player_load(song.byteLength) !== 0) {
    postMessage({error: Module.UTF8ToString(Module._player_load_error())});
    return;
  }
  const total = Module._player_render_begin(interpolation);
  if (total < 0) {
    postMessage({error: "cannot render with this interpolation"});
    return;
  }
  const parts = [];
  let rendered = 0;
  let told = performance.now();
  for (;;) {
    const got = Module._player_render_next(RENDER_CHUNK_FRAMES);
    if (got === 0) break;
    const at = Module._player_frames() >> 1;
    parts.push(Module.HEAP16.slice(at, at + 2 * got).buffer);
    rendered += got;
    if (performance.now() - told >= PROGRESS_EVERY_MS) {
      told = performance.now();
      postMessage({progress: total > 0 ? Math.min(100, Math.floor(100 * rendered / total)) : 0});
    }
  }
  Module._player_render_end();
  const size = Module._player_wav_header(rendered);
  const header = Module.HEAPU8.slice(Module._player_wav_header_bytes(), Module._player_wav_header_bytes() + size).buffer;
  postMessage({parts: [header, ...parts]}, [header, ...parts]);
}

var Module = {
  onRuntimeInitialized: () => {
    Module.qmReady = true;
    if (song) render();
  },
  printErr: (text) => console.warn(text),
};

onmessage = (event) => {
  song = event.data.bytes;
  interpolation = event.data.interpolation || 0;
  if (Module.qmReady) render();
};

importScripts("player.js");
