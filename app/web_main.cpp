// web_main.cpp: the show in a browser: what the page's script calls to load
// the show, draw a frame at a show time, start and stop the music, and keep
// the ring of music blocks filled.
// Owns: the page's one show (timeline, frame buffer, module, Web Audio back
// end). Touches: the canvas presenter and the music code's real-time layer.
// Thread: the page's main thread only; the page's script owns the clock
// (requestAnimationFrame's time) and calls show_step once per frame.
//
// The browser build has no threads (no shared memory is asked of the host),
// so the ring is refilled by the pumped drive: the page calls show_pump from
// its audio callback, right after the output has taken its frames. The audio
// callback rather than requestAnimationFrame, because it runs exactly when
// the device's position moves and goes on while the page is hidden, when
// the browser stops animation frames but keeps playing sound.
#include <emscripten.h>

#include <string>

#include "app/timeline.h"
#include "display/web_presenter.h"
#include "gfx/file_ops.h"
#include "gfx/tga.h"
#include "music/audio_web.h"
#include "music/music.h"
#include "music/realtime.h"

namespace {

constexpr const char* DATA_DIR = "/data/";         // where the page's data files are packed
constexpr const char* MUSIC_PATH = "/data/typing.xm";
constexpr int32_t SHOW_MIX_RATE = 44100;

// The page's show; loaded once, played any number of times.
struct WebShow {
  Timeline timeline;
  Image frame;                       // the 512 x 384 frame buffer
  qm::Module* module = nullptr;      // "typing.xm", owned
  qm::AudioBackend* audio = nullptr; // the Web Audio output, owned; null until the first start
  bool loaded = false;               // pictures, music and canvas are ready
  bool playing = false;              // from the start of the music to the stop cue
  std::string failure;               // why the last load or start failed
};

WebShow show;

void stop_music() {
  if (!show.playing) return;
  qm::stop_module(show.module);
  show.playing = false;
}

}  // namespace

extern "C" {

// Opens the canvas and loads the nine pictures and the music from the packed
// data. 1 when the show is ready; 0 with show_failure naming what failed.
EMSCRIPTEN_KEEPALIVE int show_load() {
  if (show.loaded) return 1;
  if (!web_display_open(FRAME_WIDTH, FRAME_HEIGHT)) {
    show.failure = "this page has no canvas to draw on";
    return 0;
  }
  const TimelineLoad pictures = timeline_load(show.timeline, DATA_DIR);
  if (pictures.result != TGA_OK) {
    show.failure = pictures.path + ": " + tga_result_text(pictures.result);
    return 0;
  }
  resize(show.frame, FRAME_WIDTH, FRAME_HEIGHT);
  // The output refuses to open until the callback table is complete.
  qm::set_file_callbacks(stdio_open, stdio_close, stdio_read, stdio_seek, stdio_tell);
  show.module = qm::load_module(MUSIC_PATH);
  if (show.module == nullptr) {
    show.failure = std::string(MUSIC_PATH) + ": cannot load the music";
    return 0;
  }
  qm::web_audio_prepare(SHOW_MIX_RATE);
  show.loaded = true;
  return 1;
}

EMSCRIPTEN_KEEPALIVE const char* show_failure() { return show.failure.c_str(); }

// Opens the Web Audio output and starts the music from its first frame,
// with the ring of 100 blocks mixed ahead. Call it within the user's gesture
// (the browser lets sound start only then). 1 when the music plays; 0 when
// the show goes on silent, with show_failure saying why.
EMSCRIPTEN_KEEPALIVE int show_start_music() {
  if (!show.loaded) return 0;
  stop_music();
  if (show.audio == nullptr) show.audio = qm::web_audio_backend_create();
  qm::set_audio_backend(show.audio);
  qm::set_mixer_drive(qm::MIXER_PUMPED);
  if (!qm::open_output(SHOW_MIX_RATE, 0)) {
    show.failure = "this browser offers no sound output at 44,100 Hz";
    return 0;
  }
  show.playing = qm::play_module(show.module);
  if (!show.playing) show.failure = "the music could not start";
  return show.playing ? 1 : 0;
}

// One frame at t milliseconds of show time: drawn and presented, the music
// stopped on its cue. Returns 1 while the show goes on, 0 from its end on
// (nothing is presented then).
EMSCRIPTEN_KEEPALIVE int show_step(int32_t t) {
  if (!show.loaded) return 0;
  const FrameCues cues = show_frame(show.timeline, show.frame, t);
  if (!cues.show_goes_on) return 0;
  if (cues.stop_music) stop_music();
  web_display_present(show.frame.pixels);
  return 1;
}

// Refills the ring's blocks that the output has played; nothing while the
// music is stopped (the output goes on looping the ring).
EMSCRIPTEN_KEEPALIVE void show_pump() { qm::pump_mixer(); }

// Ends the show's sound: stops the music if it still plays and closes the
// output, which stops the ring's loop.
EMSCRIPTEN_KEEPALIVE void show_end_sound() {
  stop_music();
  qm::close_output();
}

}  // extern "C"
