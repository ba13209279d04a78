// demo_app.cpp: start-up order and the frame loop of the show.
// Owns: the DemoApp's members. Touches: the presenter, the timeline and the
// music player. Thread: main thread only.
//
// Nothing below this file ends the process: the presenter returns a quit
// request, the loaders return what failed, and run() turns each outcome
// into the process status after releasing what was opened.
#include "app/demo_app.h"

#include <chrono>
#include <string>

#include "app/timeline.h"

int32_t clock_ms() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

DemoApp::DemoApp(const ShowOptions& show_options)
    : options(show_options), music(show_options.mute ? MUSIC_MUTED : MUSIC_DEVICE) {}

int DemoApp::run() {
  const DisplayMode mode = options.window ? DISPLAY_WINDOW : DISPLAY_FULL_SCREEN;
  if (!display.init(FRAME_WIDTH, FRAME_HEIGHT, mode)) {
    report("cannot open a display: %s", display_failure());
    display.shutdown();
    return STATUS_NO_DISPLAY;
  }
  Timeline timeline;
  if (!load_show_pictures(timeline, options.data_dir)) {
    display.shutdown();
    return STATUS_LOAD_FAILED;
  }
  resize(frame, FRAME_WIDTH, FRAME_HEIGHT);
  if (!start_music()) {
    display.shutdown();
    return STATUS_LOAD_FAILED;
  }
  frame_loop(timeline);
  display.shutdown();
  music.stop();
  return STATUS_DONE;
}

bool DemoApp::start_music() {
  if (options.mute) return true;
  const std::string path = data_path(options, MUSIC_FILE);
  if (!music.load_and_play(path.c_str())) {
    report("%s: %s", path.c_str(), music.load_failure.c_str());
    return false;
  }
  if (!music.device_failure.empty()) {
    report("no sound device (%s); the show goes on without music", music.device_failure.c_str());
  }
  return true;
}

void DemoApp::frame_loop(Timeline& timeline) {
  const int32_t start = clock_ms();
  for (;;) {
    // Unsigned subtraction: the clock's 32-bit wrap does not disturb t.
    const auto t = static_cast<int32_t>(static_cast<uint32_t>(clock_ms()) - static_cast<uint32_t>(start));
    const FrameCues cues = show_frame(timeline, frame, t);
    if (!cues.show_goes_on) return;
    if (cues.stop_music) music.stop();
    if (display.present(frame.pixels) == PRESENT_QUIT) return;
  }
}
