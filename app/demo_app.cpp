// demo_app.cpp: start-up order and the frame loop of the show.
// Owns: the DemoApp's members. Touches: the presenter, the timeline and the
// music player. Thread: main thread only.
#include "app/demo_app.h"

#include <chrono>
#include <cstdlib>

#include "app/timeline.h"

namespace {

// The live demo object, for the exit hook; null outside its lifetime.
DemoApp* live_app = nullptr;

// Esc and close end the process from inside the presenter with exit(0). The
// music's mixer thread must be joined before static state is torn down.
void stop_music_at_exit() {
  if (live_app) live_app->music.stop();
}

}  // namespace

int32_t clock_ms() {
  const auto now = std::chrono::steady_clock::now().time_since_epoch();
  const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(now).count();
  return static_cast<int32_t>(static_cast<uint32_t>(ms));
}

DemoApp::DemoApp() {
  live_app = this;
  static const bool hooked = std::atexit(stop_music_at_exit) == 0;
  (void)hooked;
}

DemoApp::~DemoApp() { live_app = nullptr; }

int DemoApp::run() {
  display.init(FRAME_WIDTH, FRAME_HEIGHT);
  Timeline timeline;
  timeline_load(timeline, "");
  resize(frame, FRAME_WIDTH, FRAME_HEIGHT);
  music.load_and_play("typing.xm");
  const int32_t start = clock_ms();

  for (;;) {
    fill(frame, 0);
    // Unsigned subtraction: the clock's 32-bit wrap does not disturb t.
    const auto t = static_cast<int32_t>(static_cast<uint32_t>(clock_ms()) - static_cast<uint32_t>(start));
    if (!timeline_draw(timeline, frame, t, &music)) break;
    display.present(frame.pixels);
  }
  display_shutdown();
  return 0;
}
