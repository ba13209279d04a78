// demo_app.h: the desktop show: the show driver (show_driver.h) on a
// presenter and a sound device, with its start-up order and the frame loop
// on a monotonic clock.
// Owns: the show (frame buffer, music player, pictures). Touches: the
// presenter through its handle and the sound device it is given.
// Thread: main thread only; one DemoApp per process.
#pragma once
#include <cstdint>

#include "app/command_line.h"
#include "app/show_driver.h"
#include "display/presenter.h"
#include "runtime/audio_device.h"

class DemoApp {
 public:
  // Prepares the show on presenter and, unless the options mute it, opens
  // its sound output on audio (null: none). Both must outlive the DemoApp.
  DemoApp(const ShowOptions& options, const Presenter* presenter, const qm::AudioDevice* audio);
  DemoApp(const DemoApp&) = delete;
  DemoApp& operator=(const DemoApp&) = delete;

  // Start-up and the frame loop; returns the process status. Every way out
  // has released the display and stopped the music (its mixer thread
  // joined); the show's teardown frees the module and closes the output.
  // Failures are reported on standard error first.
  int run();

  ShowOptions options;   // as given on the command line
  Show show;             // pictures, frame buffer and music
  DisplayDevice display; // stateless handle to the presenter

 private:
  // Draws and presents frames until the show ends or the user quits.
  void frame_loop();
  std::string sound_failure; // why no sound output opened; empty when it did or when muted
};

// Milliseconds of a monotonic clock, wrapped to signed 32 bits.
int32_t clock_ms();
