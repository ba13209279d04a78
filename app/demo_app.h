// demo_app.h: the demo object: frame buffer, music player and display handle,
// with the start-up sequence and the frame loop.
// Owns: the frame buffer and the music player. Touches: the presenter through
// its handle. Thread: main thread only; one DemoApp per process.
#pragma once
#include <cstdint>

#include "app/music_player.h"
#include "display/presenter.h"
#include "gfx/image.h"

class DemoApp {
 public:
  // Constructs the frame empty, then the music player (file callbacks, audio
  // output), then the display handle.
  DemoApp();
  // Stops and frees the music (the music player's own teardown).
  ~DemoApp();
  DemoApp(const DemoApp&) = delete;
  DemoApp& operator=(const DemoApp&) = delete;

  // Start-up and the frame loop. Returns 0 at the natural end of the show
  // with the display released. A display that does not open ends the process
  // with status 1; a picture or module that does not load, with status -1;
  // Esc or a close request, with status 0 from inside the presenter.
  int run();

  Image frame;           // the 512 x 384 frame buffer, sized during start-up
  MusicPlayer music;     // plays "typing.xm" until the 4096 ms cue
  DisplayDevice display; // stateless handle to the process-wide presenter
};

// Milliseconds of a monotonic clock, wrapped to signed 32 bits.
int32_t clock_ms();
