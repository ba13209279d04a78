// player_page.js: the module player page: a file dropped, chosen or given
// as ?url= (same site only) is loaded by the music library; the page shows
// the song's name, instruments, order, row and time, plays it with pause,
// seek by order and loop, and renders one pass to a WAV download.
// Owns: window.qmPlayer, the state tests read. The sound goes through the
// Web Audio device of player.js, which pulls frames straight from the
// library's player. Calls: player.js's exports (web/player_bridge.cpp).
"use strict";

var Module = (function () {
  const RENDER_CHUNK_FRAMES = 16384;
  const RENDER_SLICE_MS = 50;       // the download's render yields to the page this often
  const byId = (id) => document.getElementById(id);

  // What the page shows and does; tests read it.
  const page = {
    ready: false,     // the player's WebAssembly is running
    loads: 0,         // files handed to the loader so far
    loaded: false,    // a song is loaded
    fileName: "",
    message: "",      // the loader's reason or warnings, or ""
    info: null,       // what player_describe said
    playing: false,   // a playback exists (paused or not)
    paused: false,
    position: null,   // the last position read
    downloads: 0,     // WAV downloads finished
    rendering: false,
  };
  window.qmPlayer = page;
  let rate = 44100;

  function setMessage(text, kind) {
    page.message = text;
    const el = byId("message");
    el.textContent = text;
    el.className = "message" + (kind ? " " + kind : "");
  }

  function setControls(enabled) {
    for (const id of ["play", "order", "download"]) byId(id).disabled = !enabled;
  }

  function stopPlayback() {
    page.playing = false;
    page.paused = false;
    page.position = null;
    byId("play").textContent = "play";
    byId("position").textContent = "stopped";
  }

  function showSong(info) {
    byId("name").textContent = info.name || "(no name)";
    byId("about").textContent = `${info.channels} channels, ${info.length} orders, ` +
        `${info.patterns} patterns, speed ${info.speed}, tempo ${info.bpm}` + (info.tracker ? `, ${info.tracker}` : "");
    const orders = byId("order");
    orders.textContent = "";
    for (let i = 0; i < info.length; i++) orders.add(new Option(String(i), String(i)));
    const list = byId("instruments");
    list.textContent = "";
    for (const instrument of info.instruments) {
      const item = document.createElement("li");
      item.textContent = `${instrument.name || "\u2014"} (${instrument.samples} sample${instrument.samples === 1 ? "" : "s"})`;
      list.append(item);
    }
    byId("song").hidden = false;
  }

  // Hands the file's bytes to the library; a refusal shows its reason, a
  // repaired file its warnings.
  function load(bytes, name) {
    stopPlayback();
    page.loaded = false;
    page.info = null;
    page.fileName = name;
    setControls(false);
    byId("song").hidden = true;
    const buffer = bytes.length <= Module._player_max_file_bytes() ? Module._player_file_buffer(bytes.length) : 0;
    if (!buffer) {
      const limit = Module._player_max_file_bytes() / (1 << 20);
      setMessage(`${name}: ${bytes.length ? `too large or out of memory (at most ${limit} MB)` : "empty file"}`,
                 "refused");
      page.loads += 1;
      return;
    }
    Module.HEAPU8.set(bytes, buffer);
    const status = Module._player_load(bytes.length);
    if (status !== 0) {
      setMessage(`${name}: ${Module.UTF8ToString(Module._player_load_error())}`, "refused");
      page.loads += 1;
      return;
    }
    page.info = JSON.parse(Module.UTF8ToString(Module._player_describe()));
    page.loaded = true;
    showSong(page.info);
    setControls(true);
    if (page.info.warnings.length) {
      setMessage(`${name} loaded with repairs:\n` + page.info.warnings.join("\n"), "warned");
    } else {
      setMessage("");
    }
    page.loads += 1;
  }

  function loadFile(file) {
    if (!file) return;
    file.arrayBuffer().then((buffer) => load(new Uint8Array(buffer), file.name),
                            (error) => setMessage(`${file.name}: cannot read the file (${error})`, "refused"));
  }

  function loadUrl(url) {
    const target = new URL(url, location.href);
    if (target.origin !== location.origin) {
      setMessage(`${url}: only files from this site can be played`, "refused");
      return;
    }
    const name = decodeURIComponent(target.pathname.split("/").pop() || url);
    fetch(target).then((response) => {
      if (!response.ok) throw new Error(`${response.status} ${response.statusText}`);
      return response.arrayBuffer();
    }).then((buffer) => load(new Uint8Array(buffer), name),
            (error) => setMessage(`${name}: cannot fetch the file (${error.message})`, "refused"));
  }

  // After every audio callback: the end of the song's pass stops the playback.
  function afterAudio() {
    if (page.playing && !page.paused && Module._player_finished()) {
      Module._player_audio_pause(1);
      stopPlayback();
    }
  }

  function onPlay() {
    if (!page.loaded) return;
    if (!page.playing) {
      if (!Module._player_play(byId("loop").checked ? 1 : 0)) return;
      page.playing = true;
      page.paused = false;
      Module._player_audio_pause(0);
    } else if (page.paused) {
      page.paused = false;
      Module._player_audio_pause(0);
    } else {
      page.paused = true;
      Module._player_audio_pause(1);
    }
    byId("play").textContent = page.paused ? "play" : "pause";
  }

  function onSeek() {
    const order = parseInt(byId("order").value, 10);
    if (!page.playing) onPlay();
    Module._player_seek(order);
  }

  function showPosition() {
    if (!page.playing) return;
    const at = JSON.parse(Module.UTF8ToString(Module._player_position()));
    if (!at) return;
    page.position = at;
    const seconds = at.frame / rate;
    const minutes = Math.floor(seconds / 60);
    byId("position").textContent = `order ${at.order} / ${page.info.length}, row ${at.row}, ` +
        `${minutes}:${(seconds - 60 * minutes).toFixed(1).padStart(4, "0")}` + (page.paused ? " (paused)" : "");
  }

  // The WAV header for frames frames, written by the WebAssembly side (the
  // same code as xmrender's).
  function wavHeader(frames) {
    const size = Module._player_wav_header(frames);
    const at = Module._player_wav_header_bytes();
    return Module.HEAPU8.slice(at, at + size);
  }

  // Renders one pass with a fresh player in slices, so the page stays
  // responsive, and offers it as a download named after the file.
  async function onDownload() {
    if (!page.loaded || page.rendering) return;
    const total = Module._player_render_begin();
    if (total < 0) return;
    page.rendering = true;
    byId("download").disabled = true;
    const parts = [];
    let frames = 0;
    for (;;) {
      const sliceEnd = performance.now() + RENDER_SLICE_MS;
      let got = 0;
      do {
        got = Module._player_render_next(RENDER_CHUNK_FRAMES);
        const at = Module._player_frames() >> 1;
        parts.push(Module.HEAP16.slice(at, at + 2 * got));
        frames += got;
      } while (got > 0 && performance.now() < sliceEnd);
      if (got === 0) break;
      byId("progress").textContent = `rendering ${total ? Math.min(100, Math.floor(100 * frames / total)) : 0} %`;
      await new Promise((resolve) => setTimeout(resolve, 0));
    }
    Module._player_render_end();
    const blob = new Blob([wavHeader(frames), ...parts], {type: "audio/wav"});
    const link = document.createElement("a");
    link.href = URL.createObjectURL(blob);
    link.download = (page.fileName.replace(/\.[^.]*$/, "") || "song") + ".wav";
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), 60000);
    byId("progress").textContent = "";
    byId("download").disabled = !page.loaded;
    page.rendering = false;
    page.downloads += 1;
  }

  function ready() {
    rate = Module._player_rate();
    page.ready = true;
    setMessage("");
    byId("file").addEventListener("change", (event) => loadFile(event.target.files[0]));
    const drop = byId("drop");
    drop.addEventListener("dragover", (event) => { event.preventDefault(); drop.classList.add("over"); });
    drop.addEventListener("dragleave", () => drop.classList.remove("over"));
    drop.addEventListener("drop", (event) => {
      event.preventDefault();
      drop.classList.remove("over");
      loadFile(event.dataTransfer.files[0]);
    });
    byId("play").addEventListener("click", onPlay);
    byId("order").addEventListener("change", onSeek);
    byId("loop").addEventListener("change", () => Module._player_set_loop(byId("loop").checked ? 1 : 0));
    byId("download").addEventListener("click", onDownload);
    setInterval(showPosition, 100);
    const url = new URLSearchParams(location.search).get("url");
    if (url) loadUrl(url);
  }

  return {onRuntimeInitialized: ready, qmAfterAudio: afterAudio, printErr: (text) => console.warn(text)};
})();
