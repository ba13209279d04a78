// platform.cpp: SDL's log output and its last error, for the program's own
// messages.
// Owns: nothing. Touches: SDL's log output function (process-wide).
// Thread: main thread.
#include "display/platform.h"

#include <SDL.h>

namespace {

// SDL's log output function that writes nothing.
void SDLCALL drop_log_message(void*, int, SDL_LogPriority, const char*) {}

}  // namespace

void platform_quiet_logs() { SDL_LogSetOutputFunction(drop_log_message, nullptr); }

const char* platform_last_error() {
  const char* text = SDL_GetError();
  return text ? text : "";
}
