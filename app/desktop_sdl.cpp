// desktop_sdl.cpp: the desktop show's platform on Linux: the SDL2 window and
// the SDL2 sound device (see desktop_platform.h).
// Owns: nothing. Thread: main thread.
#include "app/desktop_platform.h"
#include "display/sdl_presenter.h"
#include "runtime/audio_sdl.h"

const Presenter* desktop_presenter() { return sdl_presenter(); }

// SIGINT and SIGTERM end the show through SDL's quit event, which the
// presenter's pump reads.
qm::AudioDevice* desktop_audio_device_create() { return qm::sdl_audio_device_create(false); }

void desktop_audio_device_destroy(qm::AudioDevice* device) { qm::sdl_audio_device_destroy(device); }
