// show_page.js: the show page: the start screen (sound may start only after
// a gesture), full screen with the cursor hidden, the frame loop on
// requestAnimationFrame, the end (at 30.72 s, on Esc or on leaving full
// screen) and the replay control.
// Owns: the page's clock (requestAnimationFrame's time from the start of the
// music), the overlays and window.qmShow, the state tests and measurements
// read. Calls: show.js's exports (app/web_main.cpp).
// Test hooks: index.html?at=MS draws the frame at MS and stops;
// index.html?record=S starts without a gesture and, after S seconds of
// audio, writes the 16-bit stereo samples the output took so far, base64,
// into <pre id="record">.
"use strict";

var Module = (function () {
  const FRAME_WIDTH = 512;
  const FRAME_HEIGHT = 384;
  const MIX_RATE = 44100;
  const BYTES_PER_FRAME = 4;  // 16-bit stereo
  const params = new URLSearchParams(location.search);
  const byId = (id) => document.getElementById(id);
  const canvas = byId("show");

  // What the page is doing; tests and measurements read it.
  const show = {
    ready: false,        // pictures and music loaded
    drawn: false,        // ?at=: the frame is on the canvas
    running: false,      // between the start and the end of a show
    started: 0,          // performance.now() when the music started
    soundless: "",       // why the show runs silent; "" with sound
    gestureAt: 0,        // the start gesture's time stamp
    firstFrameMs: -1,    // gesture to the first frame drawn
    firstPaintMs: -1,    // gesture to the animation frame after it (the frame on screen)
    frameTimes: [],      // ms between successive animation frames of the last show
    lastFrameAt: 0,
    fullScreen: false,   // the show went full screen
    ends: 0,             // shows ended so far
  };
  window.qmShow = show;

  function showOverlay(id) {
    for (const name of ["start", "again", "loading", "failed"]) byId(name).hidden = name !== id;
  }

  // Whole-factor scaling in device pixels, at least 1, centred by the stage.
  function fitCanvas() {
    const ratio = window.devicePixelRatio || 1;
    const factor = Math.max(1, Math.floor(Math.min(innerWidth * ratio / FRAME_WIDTH,
                                                   innerHeight * ratio / FRAME_HEIGHT)));
    canvas.style.width = (FRAME_WIDTH * factor / ratio) + "px";
    canvas.style.height = (FRAME_HEIGHT * factor / ratio) + "px";
  }

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

  function begin(gestureAt, fullScreen) {
    showOverlay(null);
    show.fullScreen = false;
    if (fullScreen && document.documentElement.requestFullscreen) {
      document.documentElement.requestFullscreen({navigationUI: "hide"})
          .then(() => { show.fullScreen = true; }, () => {});
    }
    document.body.classList.add("running");
    show.soundless = Module._show_start_music() ? "" : Module.UTF8ToString(Module._show_failure());
    show.started = performance.now();
    show.gestureAt = gestureAt;
    show.firstFrameMs = -1;
    show.firstPaintMs = -1;
    show.frameTimes = [];
    show.lastFrameAt = 0;
    show.running = true;
    requestAnimationFrame(animationFrame);
  }

  function end() {
    if (!show.running) return;
    show.running = false;
    Module._show_end_sound();
    document.body.classList.remove("running");
    if (document.fullscreenElement && document.exitFullscreen) document.exitFullscreen().catch(() => {});
    show.ends += 1;
    showOverlay("again");
  }

  function onGesture(event) {
    if (show.running || !show.ready) return;
    if (byId("start").hidden && byId("again").hidden) return;
    event.preventDefault();
    begin(event.timeStamp, true);
  }

  function onKey(event) {
    if (show.running && event.key === "Escape") {
      end();
      return;
    }
    onGesture(event);
  }

  function onFullScreenChange() {
    if (document.fullscreenElement) return;
    if (show.running && show.fullScreen) end();
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

  function ready() {
    if (!Module._show_load()) {
      showOverlay("failed");
      byId("failure").textContent = Module.UTF8ToString(Module._show_failure());
      return;
    }
    show.ready = true;
    fitCanvas();
    const at = params.get("at");
    const record = params.get("record");
    if (at !== null && /^-?\d+$/.test(at)) {
      showOverlay(null);
      Module._show_step(parseInt(at, 10));
      show.drawn = true;
    } else if (record !== null && Number(record) > 0) {
      recordAudio(Number(record));
      begin(0, false);
    } else {
      showOverlay("start");
    }
  }

  window.addEventListener("resize", fitCanvas);
  document.addEventListener("click", onGesture);
  document.addEventListener("keydown", onKey);
  document.addEventListener("fullscreenchange", onFullScreenChange);
  fitCanvas();

  return {
    onRuntimeInitialized: ready,
    // The ring is refilled from the audio callback, right after the output
    // took its frames; a hidden page (no animation frames) still steps the
    // show there, so the music stops on its cue and the show ends on time.
    qmAfterAudio: () => {
      Module._show_pump();
      if (show.running && document.hidden) step(Math.floor(performance.now() - show.started));
    },
    printErr: (text) => console.warn(text),
  };
})();
