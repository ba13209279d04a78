// web_main.cpp: the show in a browser: what the page's script calls to load
// the show, draw a frame at a show time, start and stop the music, and keep
// the ring of music blocks filled.
// Owns: the page's one show (show_driver.h) and its Web Audio device.
// Touches: the canvas presenter, the ten data files the page has put at
// /data before the runtime started. Thread: the page's main thread only; the
// page's script owns the clock (requestAnimationFrame's time) and calls
// show_step once per frame.
//
// The browser build has no threads (no shared memory is asked of the host),
// so the ring is refilled by the pumped drive: the page calls show_pump each
// time the sound output has taken a chunk of frames (audio_web.h). The
// output's pace rather than requestAnimationFrame's, because it runs exactly
// when the device's position moves and goes on while the page is hidden,
// when the browser stops animation frames but keeps playing sound.
#include <emscripten.h>

#include <string>

#include "app/show_driver.h"
#include "display/web_presenter.h"
#include "runtime/audio_web.h"
#include "runtime/show_music.h"

namespace {

constexpr const char* DATA_DIR = "data/"; // where the page puts the data files (the working folder is /)

// The page's show; loaded once, played any number of times.
struct WebShow {
  Show show;
  DisplayDevice display{web_presenter()};
  qm::AudioDevice* audio = nullptr; // the Web Audio output, owned; null until the first start
  bool loaded = false;              // pictures, music and canvas are ready
  std::string failure;              // why the last load or start failed
};

WebShow& page() {
  static WebShow web;
  return web;
}

}  // namespace

extern "C" {

// Opens the canvas and loads the nine pictures and the music from the packed
// data. 1 when the show is ready; 0 with show_failure naming what failed.
EMSCRIPTEN_KEEPALIVE int show_load() {
  WebShow& web = page();
  if (web.loaded) return 1;
  if (!web.display.init(FRAME_WIDTH, FRAME_HEIGHT, DISPLAY_FULL_SCREEN, &web.failure)) return 0;
  ShowFailure failure;
  if (::show_load(web.show, ShowData{DATA_DIR, true}, &failure) != SHOW_OK) {
    web.failure = failure.path + ": " + failure.reason;
    return 0;
  }
  qm::web_audio_prepare(qm::SHOW_MIX_RATE);
  web.loaded = true;
  return 1;
}

EMSCRIPTEN_KEEPALIVE const char* show_failure() { return page().failure.c_str(); }

// Opens the Web Audio output and starts the music from its first frame,
// with the ring of 100 blocks mixed ahead. Call it within the user's gesture
// (the browser lets sound start only then). 1 when the music plays; 0 when
// the show goes on silent, with show_failure saying why.
EMSCRIPTEN_KEEPALIVE int show_start_music() {
  WebShow& web = page();
  if (!web.loaded) return 0;
  show_stop(web.show);
  if (web.audio == nullptr) web.audio = qm::web_audio_device_create();
  if (!show_open_sound(web.show, web.audio, qm::MIXER_PUMPED, &web.failure)) return 0;
  show_start(web.show);
  if (web.show.music.playing == 0 || qm::realtime_state().current_module == nullptr) {
    web.failure = "the music could not start";
    return 0;
  }
  return 1;
}

// One frame at t milliseconds of show time: drawn and presented, the music
// stopped on its cue. Returns 1 while the show goes on, 0 from its end on
// (nothing is presented then).
EMSCRIPTEN_KEEPALIVE int show_step(int32_t t) {
  WebShow& web = page();
  if (!web.loaded) return 0;
  if (!::show_step(web.show, t).show_goes_on) return 0;
  web.display.present(web.show.frame.pixels);
  return 1;
}

// Refills the ring's blocks that the output has played; nothing while the
// music is stopped (the output goes on looping the ring).
EMSCRIPTEN_KEEPALIVE void show_pump() { qm::pump_mixer(); }

// Ends the show's sound: stops the music if it still plays and closes the
// output, which stops the ring's loop.
EMSCRIPTEN_KEEPALIVE void show_end_sound() {
  show_stop(page().show);
  qm::close_output();
}

}  // extern "C"
