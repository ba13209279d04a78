// player_page.js: the module player page: a playlist of XM files (chosen,
// dropped anywhere on the page, a whole folder, or named by ?url=, same
// site only), each loaded by the music library when its turn comes; play
// and pause, next and previous, loop, repeat and shuffle; the song's
// position in time and in order and row, as heard; the pattern view, the
// channels and the orders (player_views.js); volume and stereo separation;
// keys with a help overlay; and a WAV download of one pass rendered by a
// worker (render_worker.js) from the song it started with.
// Owns: window.qmPlayer, the state tests read; the playlist. The sound goes
// through the Web Audio device of player.js, which pulls the frames straight
// from the library's player. Calls: player.js's exports
// (web/player_bridge.cpp, web/player_playback.cpp).
"use strict";

var Module = (function () {
  const SEEK_STEP_SECONDS = 5;          // Shift + arrow
  const GAIN_STEP_DB = 1;               // arrow up or down
  const DOWNLOAD_URL_LIFE_MS = 60000;   // a saved download's blob is released after this
  const AUDIO_PREPARE_WAIT_MS = 1000;   // the page waits this long at most for the sound output
  const VIEW_RATE = 30;                 // view updates a second at most (the meters' fall is set for it)
  const VIEW_SLACK_MS = 4;              // an animation frame this early still updates (frames jitter)
  const byId = (id) => document.getElementById(id);
  const views = window.qmViews;
  const patternView = new views.PatternView(byId("pattern"), byId("channels"), byId("rows"));

  // What the page shows and does; tests read it.
  const page = {
    ready: false,     // the player's WebAssembly is running and its sound output prepared
    readyMs: 0,       // milliseconds from the navigation to ready
    loads: 0,         // files handed to the loader so far
    loaded: false,    // a song is loaded
    fileName: "",
    message: "",      // the loader's reason or warnings, or ""
    info: null,       // what player_describe said
    playing: false,   // a playback exists (paused or not)
    paused: false,
    position: null,   // what is heard: frame, order, row, ended
    playlist: [],     // {name, file (a File) or url}
    current: -1,      // the playlist entry loaded
    loop: false, repeat: false, shuffle: false,
    shuffled: [],     // the playlist's order while shuffling
    downloads: 0,     // WAV downloads finished
    rendering: 0,     // WAV downloads being rendered
    muted: [],        // per channel
    soloed: [],
    levels: [],       // per channel, 0..1: what the meters were last given
    ending: false,    // the end of the song was heard; the next one is on its way
    view: patternView,  // the pattern view and its meters (tests count their redraws)
    viewUpdates: 0,   // times the views followed the sound
  };
  window.qmPlayer = page;
  let rate = 44100;
  let seeking = false;    // the seek bar is being dragged: playback does not move it
  let songBytes = null;   // the loaded file, for its download
  let songToken = 0;      // counts loads: a late answer for an older one is dropped
  let lastView = -Infinity;  // the animation frame's time of the last view update

  function setMessage(text, kind) {
    page.message = text;
    const el = byId("message");
    el.textContent = text;
    el.className = "message" + (kind ? " " + kind : "");
  }

  function call(name, ...args) {
    return Module["_player_" + name](...args);
  }
  const text = (pointer) => Module.UTF8ToString(pointer);

  // ---- The playlist ----

  function showPlaylist() {
    const list = byId("playlist");
    list.textContent = "";
    page.playlist.forEach((entry, i) => {
      const item = document.createElement("li");
      const button = document.createElement("button");
      button.type = "button";
      button.textContent = entry.name;
      if (i === page.current) button.setAttribute("aria-current", "true");
      button.addEventListener("click", () => selectSong(i, true));
      item.append(button);
      list.append(item);
    });
    byId("previous").disabled = byId("next").disabled = page.playlist.length < 2;
  }

  // The order songs follow: the list's, or a shuffle of it that starts
  // with the song loaded.
  function sequence() {
    if (!page.shuffle) return page.playlist.map((_, i) => i);
    if (page.shuffled.length !== page.playlist.length) reshuffle();
    return page.shuffled;
  }

  function reshuffle() {
    const order = page.playlist.map((_, i) => i).filter((i) => i !== page.current);
    for (let i = order.length - 1; i > 0; i--) {
      const j = Math.floor(Math.random() * (i + 1));
      [order[i], order[j]] = [order[j], order[i]];
    }
    page.shuffled = page.current >= 0 ? [page.current, ...order] : order;
  }

  // The entry after (step 1) or before (-1) the one loaded; at an end of
  // the list the other end when wrap is set, else -1.
  function neighbour(step, wrap) {
    const order = sequence();
    const at = order.indexOf(page.current);
    const next = at + step;
    if (next >= 0 && next < order.length) return order[next];
    return wrap && order.length ? order[(next + order.length) % order.length] : -1;
  }

  // Adds files to the playlist; the first of them is loaded, and plays if
  // a song was playing.
  function addFiles(files) {
    if (!files.length) return;
    const first = page.playlist.length;
    for (const file of files) page.playlist.push(file.url ? file : {name: file.name, file});
    page.shuffled = [];
    selectSong(first, page.playing && !page.paused);
    setMessage(files.length === 1 ? "" : `${files.length} files added to the playlist`);
  }

  function entryBytes(entry) {
    if (entry.file) {
      return entry.file.arrayBuffer().catch((error) => {
        throw new Error(`cannot read the file (${error.message || error})`);
      });
    }
    const target = new URL(entry.url, location.href);
    if (target.origin !== location.origin) return Promise.reject(new Error("only files from this site can be played"));
    return fetch(target).then((response) => {
      if (!response.ok) throw new Error(`cannot fetch the file (${response.status} ${response.statusText})`);
      return response.arrayBuffer();
    }, (error) => {
      throw new Error(`cannot fetch the file (${error.message})`);
    });
  }

  function selectSong(index, play) {
    const entry = page.playlist[index];
    if (!entry) return;
    page.current = index;
    showPlaylist();
    const token = ++songToken;
    entryBytes(entry).then((buffer) => {
      if (token !== songToken) return;
      load(new Uint8Array(buffer), entry.name);
      if (play && page.loaded) startPlayback();
    }, (error) => {
      if (token !== songToken) return;
      unload(entry.name);
      setMessage(`${entry.name}: ${error.message}`, "refused");
      page.loads += 1;
    });
  }

  // ---- Loading ----

  function unload(name) {
    stopPlayback();
    page.loaded = false;
    page.info = null;
    page.fileName = name;
    songBytes = null;
    for (const id of ["play", "download", "seek"]) byId(id).disabled = true;
    byId("song").hidden = true;
    patternView.clear();
  }

  function showSong(info, name) {
    byId("name").textContent = info.name.trim() || "(no name)";
    byId("about").textContent = `${name} \u00b7 ${info.channels} channels, ${info.length} orders, ` +
      `${info.patterns} patterns, speed ${info.speed}, tempo ${info.bpm}` + (info.tracker ? ` \u00b7 ${info.tracker}` : "");
    byId("duration").textContent = views.formatTime(info.frames / rate, false);
    const seek = byId("seek");
    seek.max = String(Math.max(1, info.frames));
    seek.value = "0";
    byId("time").textContent = views.formatTime(0, true);
    byId("position").textContent = "stopped";
    views.showOrders(byId("orders"), info.orders);
    views.showInstruments(byId("instruments"), info.instruments);
    patternView.setChannels(info.channels);
    page.muted = new Array(info.channels).fill(false);
    page.soloed = new Array(info.channels).fill(false);
    showPattern(0, 0);
    byId("song").hidden = false;
  }

  // Hands the file's bytes to the library; a refusal shows its reason, a
  // repaired file its warnings.
  function load(bytes, name) {
    unload(name);
    const buffer = bytes.length <= call("max_file_bytes") ? call("file_buffer", bytes.length) : 0;
    page.loads += 1;
    if (!buffer) {
      const limit = call("max_file_bytes") / (1 << 20);
      setMessage(`${name}: ${bytes.length ? `too large or out of memory (at most ${limit} MB)` : "empty file"}`,
                 "refused");
      return;
    }
    Module.HEAPU8.set(bytes, buffer);
    if (call("load", bytes.length) !== 0) {
      setMessage(`${name}: ${text(call("load_error"))}`, "refused");
      return;
    }
    songBytes = bytes;
    page.info = JSON.parse(text(call("describe")));
    page.loaded = true;
    showSong(page.info, name);
    for (const id of ["play", "seek"]) byId(id).disabled = false;
    byId("download").disabled = isRendering(name);
    setMessage(page.info.warnings.length ? `${name} loaded with repairs:\n` + page.info.warnings.join("\n") : "",
               page.info.warnings.length ? "warned" : "");
  }

  // ---- Playback ----

  function showPlayButton() {
    const play = byId("play");
    const sounding = page.playing && !page.paused;
    play.setAttribute("aria-label", sounding ? "Pause" : "Play");
    document.body.classList.toggle("sounding", sounding);
  }

  function startPlayback() {
    if (!page.loaded) return false;
    if (!call("play")) {
      setMessage(`No sound: ${text(call("sound_problem"))}`, "refused");
      return false;
    }
    page.playing = true;
    page.paused = false;
    // A new playback starts with every channel sounding: the visitor's choice holds.
    page.muted.forEach((on, channel) => on && call("set_mute", channel, 1));
    page.soloed.forEach((on, channel) => on && call("set_solo", channel, 1));
    call("pause", 0);
    showPlayButton();
    return true;
  }

  function stopPlayback() {
    if (page.playing) call("stop");
    page.playing = false;
    page.paused = false;
    page.position = null;
    showPlayButton();
  }

  function onPlay() {
    if (!page.loaded) return;
    if (!page.playing) {
      startPlayback();
      return;
    }
    page.paused = !page.paused;
    call("pause", page.paused ? 1 : 0);
    showPlayButton();
    showPosition(page.position);
  }

  // The end of a song's pass: the next song of the list, or the end.
  function songEnded() {
    const next = neighbour(1, page.repeat);
    if (next < 0) {
      stopPlayback();
      byId("position").textContent = "ended";
      return;
    }
    selectSong(next, true);
  }

  function skip(step) {
    const next = neighbour(step, true);
    if (next >= 0) selectSong(next, page.playing && !page.paused);
  }

  function seekOrder(order) {
    if (!page.loaded) return;
    if (!page.playing && !startPlayback()) return;
    call("seek_order", order);
  }

  // Moves to a song frame (the seek bar, Shift + arrows): heard at once, at
  // the song's own tempo there.
  function seekTo(frame) {
    if (!page.loaded) return;
    if (!page.playing && !startPlayback()) return;
    call("seek_frame", Math.max(0, Math.min(frame, page.info.frames)));
  }

  // Where a playback frame stands within the song: a looping playback's
  // frames go on counting, and each pass after the first plays from the
  // song's loop_frame to its end again.
  function songFrame(frame) {
    const {frames, loop_frame: loop} = page.info;
    if (frame < frames || loop < 0 || loop >= frames) return frame;
    return loop + (frame - frames) % (frames - loop);
  }

  function seekBy(seconds) {
    if (page.position) seekTo(songFrame(page.position.frame) + seconds * rate);
  }

  function setToggle(name, on) {
    page[name] = on;
    byId(name).setAttribute("aria-pressed", on ? "true" : "false");
    if (name === "loop") call("set_loop", on ? 1 : 0);
    if (name === "shuffle") page.shuffled = [];
  }

  function setMix(id, value) {
    const input = byId(id);
    input.value = String(value);
    const number = Number(input.value);
    if (id === "volume") {
      call("set_gain", number);
      byId("volume-value").textContent = `${number > 0 ? "+" : ""}${number} dB`;
    } else {
      call("set_separation", number);
      byId("separation-value").textContent = `${number} %`;
    }
  }

  // ---- What is heard ----

  function showPattern(order, row) {
    const pattern = page.info.orders[order];
    if (pattern === undefined) return;
    if (pattern !== patternView.pattern) {
      const rows = call("pattern", pattern);
      if (rows < 1) return;
      const cells = Module.HEAPU8.subarray(call("cells"), call("cells") + rows * page.info.channels * 5);
      patternView.setPattern(pattern, rows, page.info.channels, cells);
    }
    patternView.setRow(row);
  }

  // Only what changed is touched: the time and the seek bar ten times a
  // second, the rest row by row, the order list when the order changes
  // from `before` (the position shown last; none: marked anew).
  function showPosition(at, before) {
    if (!at || !page.info) return;
    const within = songFrame(at.frame);
    const time = views.formatTime(within / rate, true);
    if (byId("time").textContent !== time) {
      byId("time").textContent = time;
      if (!seeking) byId("seek").value = String(within);
    }
    const pattern = page.info.orders[at.order];
    const where = `order ${at.order} / ${page.info.length} \u00b7 row ${at.row} \u00b7 pattern ${pattern}` +
      (page.paused ? " (paused)" : "");
    if (byId("position").textContent !== where) byId("position").textContent = where;
    if (!before || at.order !== before.order) views.markOrder(byId("orders"), at.order);
    showPattern(at.order, at.row);
  }

  function heard() {
    return page.playing ? JSON.parse(text(call("heard"))) : null;
  }

  // The engine's levels of the chunk being heard; none while paused or
  // stopped, so the meters fall back.
  function showLevels() {
    const sounding = page.playing && !page.paused && page.info;
    const first = sounding ? call("levels") / Float32Array.BYTES_PER_ELEMENT : 0;
    page.levels = sounding ? Array.from(Module.HEAPF32.subarray(first, first + page.info.channels)) : [];
    patternView.setLevels(page.levels);
  }

  // The views follow the sound at most VIEW_RATE times a second, whatever
  // the display's rate: each update restyles, lays out and paints a little.
  function animationFrame(now) {
    requestAnimationFrame(animationFrame);
    if (now - lastView < 1000 / VIEW_RATE - VIEW_SLACK_MS) return;
    lastView = now;
    page.viewUpdates += 1;
    showLevels();
    if (!page.playing) return;
    const at = heard();
    const before = page.position;
    const moved = !before || !at || at.frame !== before.frame || at.order !== before.order;
    page.position = at;
    if (moved) showPosition(at, before);
  }

  // After each chunk the output took (also while the page is hidden): the
  // end of what is heard ends the song.
  function afterAudio() {
    if (!page.playing || page.paused || page.ending) return;
    const at = heard();
    if (!at || !at.ended) return;
    page.ending = true;
    queueMicrotask(() => {
      page.ending = false;
      if (page.playing) songEnded();
    });
  }

  // ---- Downloads: one pass rendered by a worker from the song it began with ----

  function isRendering(name) {
    return Array.from(byId("downloads").children).some((item) => item.dataset.name === name && item.dataset.busy);
  }

  function saveDownload(name, parts) {
    const link = document.createElement("a");
    link.href = URL.createObjectURL(new Blob(parts, {type: "audio/wav"}));
    link.download = name;
    document.body.append(link);
    link.click();
    link.remove();
    setTimeout(() => URL.revokeObjectURL(link.href), DOWNLOAD_URL_LIFE_MS);
  }

  function onDownload() {
    if (!page.loaded || !songBytes || isRendering(page.fileName)) return;
    const source = page.fileName;
    const name = (source.replace(/\.[^.]*$/, "") || "song") + ".wav";
    const item = document.createElement("p");
    item.dataset.name = source;
    item.dataset.busy = "1";
    item.textContent = `Rendering ${name}\u2026`;
    byId("downloads").append(item);
    byId("download").disabled = true;
    page.rendering += 1;
    const finish = (message) => {
      delete item.dataset.busy;
      item.textContent = message;
      page.rendering -= 1;
      if (page.fileName === source) byId("download").disabled = !page.loaded;
      worker.terminate();
    };
    const worker = new Worker("render_worker.js");
    worker.onmessage = (event) => {
      const answer = event.data;
      if (answer.progress !== undefined) {
        item.textContent = `Rendering ${name}: ${answer.progress} %`;
      } else if (answer.parts) {
        saveDownload(name, answer.parts);
        page.downloads += 1;
        finish(`${name} saved`);
      } else {
        finish(`${name}: not rendered (${answer.error})`);
      }
    };
    worker.onerror = (event) => finish(`${name}: not rendered (${event.message || "the worker failed"})`);
    const copy = songBytes.slice();
    worker.postMessage({bytes: copy.buffer, interpolation: Number(byId("interpolation").value)}, [copy.buffer]);
  }

  // ---- Keys, buttons and drops ----

  function isTyping(target) {
    return target.closest && target.closest("input, select, textarea");
  }

  function toggleMute(channel, solo) {
    if (!page.info || channel >= page.info.channels) return;
    const list = solo ? page.soloed : page.muted;
    list[channel] = !list[channel];
    call(solo ? "set_solo" : "set_mute", channel, list[channel] ? 1 : 0);
    patternView.setChannelStates(page.muted, page.soloed);
  }

  function onKey(event) {
    if (event.ctrlKey || event.metaKey || event.altKey || byId("help").open || isTyping(event.target)) return;
    const onControl = event.target.closest && event.target.closest("button, a");
    const key = event.key;
    let done = true;
    if (key === " " && !onControl) onPlay();
    else if (key === "ArrowLeft" || key === "ArrowRight") {
      const step = key === "ArrowLeft" ? -1 : 1;
      if (event.shiftKey) seekBy(step * SEEK_STEP_SECONDS);
      else if (page.position) seekOrder(Math.max(0, Math.min(page.info.length - 1, page.position.order + step)));
    } else if (key === "ArrowUp" || key === "ArrowDown") {
      setMix("volume", Number(byId("volume").value) + (key === "ArrowUp" ? GAIN_STEP_DB : -GAIN_STEP_DB));
    } else if (key === "n" || key === "p") skip(key === "n" ? 1 : -1);
    else if (key === "l" || key === "r" || key === "s") {
      const name = {l: "loop", r: "repeat", s: "shuffle"}[key];
      setToggle(name, !page[name]);
    } else if (/^Digit[0-9]$/.test(event.code)) {
      const digit = Number(event.code.slice(-1));
      toggleMute(digit === 0 ? 9 : digit - 1, event.shiftKey);
    } else if (key === "?") byId("help").showModal();
    else done = false;
    if (done) event.preventDefault();
  }

  // Every file of a dropped folder with the .xm extension, in path order.
  function folderFiles(entry) {
    if (entry.isFile) {
      return /\.xm$/i.test(entry.name) ? new Promise((resolve) => entry.file((file) => resolve([file]), () => resolve([])))
        : Promise.resolve([]);
    }
    const reader = entry.createReader();
    const batches = [];
    const readAll = () => new Promise((resolve) => reader.readEntries(resolve, () => resolve([]))).then((batch) => {
      if (!batch.length) return Promise.all(batches.flat().map(folderFiles)).then((lists) => lists.flat());
      batches.push(batch);
      return readAll();
    });
    return readAll().then((files) => files.sort((a, b) => a.name.localeCompare(b.name)));
  }

  function onDrop(event) {
    event.preventDefault();
    byId("veil").hidden = true;
    const items = Array.from(event.dataTransfer.items || []);
    const entries = items.map((item) => item.webkitGetAsEntry && item.webkitGetAsEntry());
    if (entries.length && entries.some((entry) => entry && entry.isDirectory)) {
      Promise.all(entries.filter(Boolean).map((entry) => entry.isDirectory ? folderFiles(entry)
        : new Promise((resolve) => entry.file((file) => resolve([file]), () => resolve([])))))
        .then((lists) => {
          const files = lists.flat();
          if (files.length) addFiles(files);
          else setMessage("no .xm files in what was dropped", "refused");
        });
      return;
    }
    addFiles(Array.from(event.dataTransfer.files));
  }

  // Dropping anywhere on the page adds to the playlist: the browser never
  // opens or saves a dropped file instead.
  function listenForDrops() {
    let depth = 0;
    document.addEventListener("dragenter", (event) => {
      event.preventDefault();
      depth += 1;
      byId("veil").hidden = false;
    });
    document.addEventListener("dragover", (event) => {
      event.preventDefault();
      event.dataTransfer.dropEffect = "copy";
    });
    document.addEventListener("dragleave", () => {
      depth = Math.max(0, depth - 1);
      if (depth === 0) byId("veil").hidden = true;
    });
    document.addEventListener("drop", (event) => {
      depth = 0;
      onDrop(event);
    });
  }

  function listen() {
    byId("file").addEventListener("change", (event) => {
      addFiles(Array.from(event.target.files));
      event.target.value = "";
    });
    byId("folder").addEventListener("change", (event) => {
      const files = Array.from(event.target.files).filter((file) => /\.xm$/i.test(file.name))
        .sort((a, b) => a.webkitRelativePath.localeCompare(b.webkitRelativePath));
      if (files.length) addFiles(files);
      else setMessage("no .xm files in that folder", "refused");
      event.target.value = "";
    });
    byId("play").addEventListener("click", onPlay);
    byId("next").addEventListener("click", () => skip(1));
    byId("previous").addEventListener("click", () => skip(-1));
    for (const name of ["loop", "repeat", "shuffle"]) byId(name).addEventListener("click", () => setToggle(name, !page[name]));
    byId("download").addEventListener("click", onDownload);
    byId("orders").addEventListener("click", (event) => {
      const button = event.target.closest("button[data-order]");
      if (button) seekOrder(Number(button.dataset.order));
    });
    byId("channels").addEventListener("click", (event) => {
      const button = event.target.closest("button[data-channel]");
      if (button) toggleMute(Number(button.dataset.channel), event.shiftKey);
    });
    for (const id of ["volume", "separation"]) byId(id).addEventListener("input", () => setMix(id, byId(id).value));
    byId("interpolation").addEventListener("change", () => call("set_interpolation", Number(byId("interpolation").value)));
    const seek = byId("seek");
    seek.addEventListener("pointerdown", () => { seeking = true; });
    seek.addEventListener("change", () => {
      seeking = false;
      seekTo(Number(seek.value));
    });
    byId("help-button").addEventListener("click", () => byId("help").showModal());
    document.addEventListener("keydown", onKey);
    listenForDrops();
  }

  function ready() {
    rate = call("rate");
    call("prepare_audio");
    listen();
    Promise.race([Module.qmAudioPrepared, new Promise((resolve) => setTimeout(resolve, AUDIO_PREPARE_WAIT_MS))])
      .then(start);
  }

  function start() {
    page.readyMs = performance.now();
    page.ready = true;
    setMessage("Choose or drop .xm files to play them.");
    requestAnimationFrame(animationFrame);
    const url = new URLSearchParams(location.search).get("url");
    if (url) addFiles([{name: decodeURIComponent(new URL(url, location.href).pathname.split("/").pop() || url), url}]);
  }

  return {onRuntimeInitialized: ready, qmAfterAudio: afterAudio, printErr: (message) => console.warn(message)};
})();
