// demo_app.h: the demo object: frame buffer, music player and display handle,
// with the start-up sequence and the frame loop.
// Owns: the frame buffer and the music player. Touches: the presenter through
// its handle. Thread: main thread only; one DemoApp per process.
#pragma once
#include <cstdint>

#include "app/command_line.h"
#include "app/music_player.h"
#include "app/show_run.h"
#include "display/presenter.h"
#include "gfx/image.h"

struct Timeline;

class DemoApp {
 public:
  // Constructs the frame empty, then the music player (file callbacks and,
  // unless muted, the audio output), then the display handle.
  explicit DemoApp(const ShowOptions& options);
  DemoApp(const DemoApp&) = delete;
  DemoApp& operator=(const DemoApp&) = delete;

  // Start-up and the frame loop; returns the process status. Every way out
  // has released the display and stopped the music (its mixer thread
  // joined); the music player's teardown frees the module and closes the
  // output. Failures are reported on standard error first.
  int run();

  ShowOptions options;   // as given on the command line
  Image frame;           // the 512 x 384 frame buffer, sized during start-up
  MusicPlayer music;     // plays "typing.xm" until the 4096 ms cue
  DisplayDevice display; // stateless handle to the process-wide presenter

 private:
  // Loads and starts "typing.xm" (nothing when muted); false, reported,
  // when it does not load.
  bool start_music();
  // Draws and presents frames until the show ends or the user quits.
  void frame_loop(Timeline& timeline);
};

// Milliseconds of a monotonic clock, wrapped to signed 32 bits.
int32_t clock_ms();
