// main.cpp: entry of the show. Attaches standard error to the console log, so
// a picture that fails to load is named, then runs the demo to its end.
// Thread: main thread.
#include <cstdio>

#include "app/demo_app.h"
#include "gfx/console_log.h"

int main() {
  console_log.handle = stderr;
  DemoApp app;
  return app.run();
}
