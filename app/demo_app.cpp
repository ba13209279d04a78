// demo_app.cpp: start-up order and the frame loop of the desktop show.
// Owns: the DemoApp's members. Touches: the presenter, the show driver and
// the sound device. Thread: main thread only.
//
// Nothing below this file ends the process: the presenter returns a quit
// request, the loaders return what failed, and run() turns each outcome
// into the process status after releasing what was opened.
#include "app/demo_app.h"

#include <chrono>
#include <cstdio>
#include <string>

int32_t clock_ms() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

DemoApp::DemoApp(const ShowOptions& show_options, const Presenter* presenter, const qm::AudioDevice* audio)
    : options(show_options), display(presenter) {
  if (!options.mute) show_open_sound(show, audio, qm::MIXER_THREAD, &sound_failure);
}

int DemoApp::run() {
  const DisplayMode mode = options.window ? DISPLAY_WINDOW : DISPLAY_FULL_SCREEN;
  std::string why;
  if (!display.init(FRAME_WIDTH, FRAME_HEIGHT, mode, &why)) {
    report("cannot open a display: %s", why.c_str());
    display.shutdown();
    return STATUS_NO_DISPLAY;
  }
  ShowFailure failure;
  const ShowStatus loaded = show_load(show, ShowData{options.data_dir, !options.mute}, &failure);
  if (loaded != SHOW_OK) {
    // The image loader's sentence names the picture; the music's is the show's own.
    if (loaded == SHOW_PICTURE_FAILED) std::fprintf(stderr, "%s\n", failure.message.c_str());
    else report("%s", failure.message.c_str());
    display.shutdown();
    return STATUS_LOAD_FAILED;
  }
  for (const std::string& text : show_music_warnings(show))
    report("%s: warning: %s", show_data_path(options.data_dir, MUSIC_FILE).c_str(), text.c_str());
  if (!options.mute && !sound_failure.empty())
    report("no sound device (%s); the show goes on without music", sound_failure.c_str());
  show_start(show);
  frame_loop();
  display.shutdown();
  show_stop(show);
  return STATUS_DONE;
}

void DemoApp::frame_loop() {
  const int32_t start = clock_ms();
  for (;;) {
    // Unsigned subtraction: the clock's 32-bit wrap does not disturb t.
    const auto t = static_cast<int32_t>(static_cast<uint32_t>(clock_ms()) - static_cast<uint32_t>(start));
    if (!show_step(show, t).show_goes_on) return;
    if (display.present(show.frame.pixels) == PRESENT_QUIT) return;
  }
}
