// show_page.js: the show page: loading (every failure shown with its reason),
// the start screen (sound may start only after a gesture: a click, a tap,
// Enter or Space), full screen with the cursor hidden, the frame loop on
// requestAnimationFrame, the end (at 30.72 s, on Esc or on leaving full
// screen) and the replay control, which sits below the picture, never on it.
// A page hidden during the show keeps its clock; if the browser left full
// screen meanwhile, the show goes on and offers to go back.
// Owns: the page's clock (requestAnimationFrame's time from the start of the
// music), the screens and window.qmShow, the state tests and measurements
// read. Calls: show.js's exports (app/web_main.cpp), which this script loads
// after the ten data files are on their way.
// Test hooks: index.html?at=MS draws the frame at MS and stops;
// index.html?record=S starts without a gesture and, after S seconds of
// audio, writes the 16-bit stereo samples the output took so far, base64,
// into <pre id="record">.
"use strict";

var Module = (function () {
  const FRAME_WIDTH = 512;
  const FRAME_HEIGHT = 384;
  const MIX_RATE = 44100;
  const BYTES_PER_FRAME = 4;           // 16-bit stereo
  const AUDIO_PREPARE_WAIT_MS = 3000;  // the start screen waits this long at most for the sound output
  const SOUND_CHECK_MS = 1000;
  const MIN_FACTOR = 0.05;             // the smallest scale a tiny window shows the frame at
  const FULL_SCREEN_GRACE_MS = 300;    // a page hidden this soon after leaving full screen did not end the show         // after this the output must be running, or the show is silent
  const DATA_FILES = ["kanji-rgb.tga", "kana-rgb.tga", "qv-rgb.tga", "brell-rgb.tga", "itsadot.tga",
                      "bluedot.tga", "fin.tga", "proudly.tga", "vessa.tga", "typing.xm"];
  const params = new URLSearchParams(location.search);
  const byId = (id) => document.getElementById(id);
  const canvas = byId("show");

  // What the page is doing; tests and measurements read it.
  const show = {
    screen: "loading",   // loading, failed, start, running, again, or frame (?at=)
    failure: "",         // why the page cannot show the show
    ready: false,        // pictures and music loaded
    drawn: false,        // ?at=: the frame is on the canvas
    running: false,      // between the start and the end of a show
    started: 0,          // performance.now() when the music started
    soundless: "",       // why the show runs silent; "" with sound
    soundProblem: "",    // why no sound can play, known before the start
    gestureAt: 0,        // the start gesture's time stamp
    firstFrameMs: -1,    // gesture to the first frame drawn
    firstPaintMs: -1,    // gesture to the animation frame after it (the frame on screen)
    frameTimes: [],      // ms between successive animation frames of the last show
    lastFrameAt: 0,
    fullScreen: false,   // the show is full screen
    hiddenInFullScreen: false, // the page was hidden since it went full screen
    fullScreenLost: false,     // the browser left full screen while the page was hidden
    leaving: 0,                // the timer that tells Esc from a hidden tab after full screen ends
    ends: 0,             // shows ended so far
  };
  window.qmShow = show;

  // ---- Status and screens ----

  function announce(text) {
    byId("status").textContent = text;
  }

  // Shows one screen and the bar's controls that belong to it, then fits
  // the picture into the room the bar leaves.
  function setScreen(name) {
    show.screen = name;
    for (const id of ["start", "loading", "failed"]) byId(id).hidden = id !== name;
    const offer = name === "running" && show.fullScreenLost && !document.hidden;
    const note = name === "again" ? show.soundless : "";
    byId("replay").hidden = name !== "again";
    byId("bar-player").hidden = name !== "again";
    byId("fullscreen").hidden = !offer;
    byId("bar-note").hidden = !note;
    byId("bar-note").textContent = note ? "Played without sound: " + note : "";
    byId("bar").hidden = name !== "again" && !offer;
    document.body.classList.toggle("running", name === "running" && !offer);
    fitCanvas();
  }

  function fail(reason, help) {
    if (show.screen === "failed") return;
    show.failure = reason;
    byId("failure").textContent = reason;
    byId("failure-help").hidden = !help;
    byId("failure-help").textContent = help || "";
    setScreen("failed");
    announce("The show cannot start: " + reason);
  }

  // The largest whole factor of device pixels that fits the stage (square
  // pixels, sharp edges); a stage smaller than the frame scales it down to
  // fit, smoothly.
  function fitCanvas() {
    const stage = byId("stage");
    const ratio = window.devicePixelRatio || 1;
    const fit = Math.min(stage.clientWidth * ratio / FRAME_WIDTH, stage.clientHeight * ratio / FRAME_HEIGHT);
    const factor = fit >= 1 ? Math.floor(fit) : Math.max(fit, MIN_FACTOR);
    canvas.style.width = (Math.floor(FRAME_WIDTH * factor) / ratio) + "px";
    canvas.style.height = (Math.floor(FRAME_HEIGHT * factor) / ratio) + "px";
    canvas.classList.toggle("reduced", factor < 1);
  }

  // ---- Loading: the data files, show.js and show.wasm ----

  function fetchBytes(path) {
    return fetch(path).then((response) => {
      if (!response.ok) throw new Error(`${path}: ${response.status} ${response.statusText || "error"}`.trim());
      return response.arrayBuffer();
    }, (error) => {
      throw new Error(`${path}: the server did not answer (${error.message})`);
    }).then((buffer) => new Uint8Array(buffer));
  }

  // Puts the ten files at /data before the runtime starts; the show loads
  // them from there as the desktop does from its folder.
  function installData(files) {
    Module.addRunDependency("data");
    files.then((contents) => {
      Module.FS_createPath("/", "data", true, true);
      contents.forEach((bytes, i) => Module.FS_createDataFile("/data", DATA_FILES[i], bytes, true, false, false));
      Module.removeRunDependency("data");
    }, (error) => fail(error.message));
  }

  function instantiateWasm(imports, receive) {
    fetchBytes("show.wasm").then((bytes) => WebAssembly.instantiate(bytes, imports).catch((error) => {
      throw new Error(`show.wasm: the browser cannot run it (${error.message})`);
    })).then((result) => receive(result.instance), (error) => fail(error.message));
    return {};
  }

  function loadScript() {
    const script = document.createElement("script");
    script.src = "show.js";
    script.onerror = () => fail("show.js: the server did not deliver it");
    window.addEventListener("error", (event) => {
      if (show.screen === "loading") fail(`the show's script failed: ${event.message}`);
    });
    document.body.append(script);
  }

  // ---- Running ----

  // One frame at show time t: drawn unless the page is hidden, the music
  // stopped on its cue. The end of the show ends it here.
  function step(t) {
    if (!Module._show_step(t)) {
      end();
      return false;
    }
    return true;
  }

  function animationFrame(now) {
    if (!show.running) return;
    if (show.lastFrameAt) show.frameTimes.push(now - show.lastFrameAt);
    show.lastFrameAt = now;
    if (show.firstFrameMs >= 0 && show.firstPaintMs < 0 && show.gestureAt) {
      show.firstPaintMs = now - show.gestureAt;
    }
    // The frame's time stamp can precede the start by a fraction of a frame.
    const t = Math.max(0, Math.floor(now - show.started));
    if (!step(t)) return;
    if (show.firstFrameMs < 0 && show.gestureAt) show.firstFrameMs = performance.now() - show.gestureAt;
    requestAnimationFrame(animationFrame);
  }

  function enterFullScreen() {
    const root = document.documentElement;
    if (!root.requestFullscreen) return;
    root.requestFullscreen({navigationUI: "hide"}).then(() => {
      show.fullScreen = true;
      show.hiddenInFullScreen = false;
      show.fullScreenLost = false;
      if (show.running) setScreen("running");
    }, () => {});
  }

  // A browser that blocked the sound leaves its context suspended: the
  // show then says it runs silent instead of believing it has sound.
  function checkSound() {
    const context = Module.qmAudioContext;
    if (!show.running || show.soundless || !context || context.state === "running") return;
    show.soundless = "the browser kept the sound blocked";
    announce("Playing without sound: " + show.soundless);
  }

  function begin(gestureAt, fullScreen) {
    show.fullScreen = false;
    show.fullScreenLost = false;
    show.hiddenInFullScreen = false;
    if (fullScreen) enterFullScreen();
    show.soundless = Module._show_start_music() ? "" : Module.UTF8ToString(Module._show_failure());
    show.started = performance.now();
    show.gestureAt = gestureAt;
    show.firstFrameMs = -1;
    show.firstPaintMs = -1;
    show.frameTimes = [];
    show.lastFrameAt = 0;
    show.running = true;
    setScreen("running");
    announce(show.soundless ? "Playing without sound: " + show.soundless : "Playing");
    setTimeout(checkSound, SOUND_CHECK_MS);
    requestAnimationFrame(animationFrame);
  }

  function end() {
    if (!show.running) return;
    clearTimeout(show.leaving);
    show.leaving = 0;
    show.running = false;
    Module._show_end_sound();
    if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(() => {});
    show.fullScreen = false;
    show.ends += 1;
    setScreen("again");
    byId("replay").focus();
    announce("The show has ended.");
  }

  // ---- Input: only a gesture starts; Esc only ends ----

  function canStart() {
    return show.ready && !show.running && (show.screen === "start" || show.screen === "again");
  }

  function onStartClick(event) {
    if (event.target.closest("a") || !canStart()) return;
    begin(event.timeStamp, true);
  }

  function onKey(event) {
    if (event.key === "Escape") {
      if (show.running) end();
      return;
    }
    const activation = event.key === "Enter" || event.key === " ";
    if (!activation || event.repeat || !canStart()) return;
    // A focused control answers Enter and Space with its own click.
    if (event.target.closest && event.target.closest("button, a, input, select, textarea")) return;
    event.preventDefault();
    begin(event.timeStamp, true);
  }

  // Leaving full screen is the visitor's Esc, unless the page is hidden
  // about then: a browser leaves full screen when its tab is switched away,
  // and may say so just before it hides the page.
  function onFullScreenChange() {
    if (document.fullscreenElement || !show.running || !show.fullScreen) return;
    show.fullScreen = false;
    if (document.hidden || show.hiddenInFullScreen) {
      loseFullScreen();
      return;
    }
    // Hidden meanwhile, onVisibilityChange keeps the show instead.
    show.leaving = setTimeout(end, FULL_SCREEN_GRACE_MS);
  }

  function loseFullScreen() {
    clearTimeout(show.leaving);
    show.leaving = 0;
    show.fullScreenLost = true;
    setScreen("running");
  }

  function onVisibilityChange() {
    if (!show.running) return;
    if (document.hidden && (show.fullScreen || show.leaving)) show.hiddenInFullScreen = true;
    if (document.hidden && show.leaving) loseFullScreen();
    if (!document.hidden && show.fullScreenLost) {
      setScreen("running");
      announce("The show goes on; it can go back to full screen.");
    }
  }

  // The recording hook: every sample the output takes, kept as it came.
  function recordAudio(seconds) {
    const wanted = Math.ceil(seconds * MIX_RATE);
    const chunks = [];
    let frames = 0;
    Module.qmAudioTap = (samples) => {
      chunks.push(new Int16Array(samples));
      frames += samples.length / 2;
      if (frames < wanted) return;
      Module.qmAudioTap = null;
      const bytes = new Uint8Array(frames * BYTES_PER_FRAME);
      let at = 0;
      for (const chunk of chunks) {
        bytes.set(new Uint8Array(chunk.buffer, chunk.byteOffset, chunk.byteLength), at);
        at += chunk.byteLength;
      }
      let text = "";
      const piece = 0x8000;
      for (let i = 0; i < bytes.length; i += piece) {
        text += String.fromCharCode.apply(null, bytes.subarray(i, i + piece));
      }
      byId("record").textContent = btoa(text);
    };
  }

  function offerStart() {
    show.soundProblem = Module.qmAudioProblem || "";
    const note = byId("sound-note");
    note.hidden = !show.soundProblem;
    note.textContent = show.soundProblem ? `No sound: ${show.soundProblem}. The show will play silent.` : "";
    setScreen("start");
    byId("begin").focus();
    announce("Ready. Press Enter or Space to start the show." + (show.soundProblem ? " " + note.textContent : ""));
  }

  function ready() {
    if (!Module._show_load()) {
      fail(Module.UTF8ToString(Module._show_failure()));
      return;
    }
    show.ready = true;
    const at = params.get("at");
    const record = params.get("record");
    if (at !== null && /^-?\d+$/.test(at)) {
      setScreen("frame");
      Module._show_step(parseInt(at, 10));
      show.drawn = true;
      return;
    }
    const waited = new Promise((resolve) => setTimeout(resolve, AUDIO_PREPARE_WAIT_MS));
    Promise.race([Module.qmAudioPrepared, waited]).then(() => {
      if (record !== null && Number(record) > 0) {
        recordAudio(Number(record));
        begin(0, false);
      } else {
        offerStart();
      }
    });
  }

  new ResizeObserver(fitCanvas).observe(byId("stage"));
  byId("start").addEventListener("click", onStartClick);
  byId("replay").addEventListener("click", onStartClick);
  byId("fullscreen").addEventListener("click", enterFullScreen);
  document.addEventListener("keydown", onKey);
  document.addEventListener("fullscreenchange", onFullScreenChange);
  document.addEventListener("visibilitychange", onVisibilityChange);
  announce("Loading the show");
  fitCanvas();

  // The data files are fetched at once, while show.js and show.wasm load.
  const files = location.protocol === "file:" ? null : Promise.all(DATA_FILES.map((name) => fetchBytes("data/" + name)));
  const page = {
    preRun: [() => installData(files)],
    onRuntimeInitialized: ready,
    instantiateWasm: instantiateWasm,
    onAbort: (what) => fail(`the show stopped: ${what}`),
    // The ring is refilled each time the output took a chunk; a hidden page
    // (no animation frames) still steps the show there, so the music stops
    // on its cue and the show ends on time.
    qmAfterAudio: () => {
      Module._show_pump();
      if (show.running && document.hidden) step(Math.floor(performance.now() - show.started));
    },
    printErr: (text) => console.warn(text),
  };
  if (!files) {
    // Browsers refuse a page opened from a folder its own files.
    fail("this page was opened from a folder (file://), where the browser does not let it load its files.",
         "Serve the folder instead: run \"python3 -m http.server\" in it and open http://localhost:8000/ " +
         "(or put the folder on any web host).");
  } else {
    loadScript();
  }
  return page;
})();
