// desktop_platform.h: the presenter and the sound device the desktop show
// runs on, chosen when it is built: SDL2 on Linux (desktop_sdl.cpp),
// DirectDraw or GDI and wave-out on Windows (desktop_win32.cpp). A new
// desktop platform defines these four functions over its own process,
// presenter and sound device, and nothing else changes.
// Owns: nothing declared here. Thread: main thread.
#pragma once
#include "display/presenter.h"
#include "runtime/audio_device.h"

// Prepares the process before anything else runs (the heap for start-up,
// the console messages go to).
void desktop_prepare_process();
// The platform's presenter; valid for the whole process.
const Presenter* desktop_presenter();
// A new sound device of the platform, closed; null without memory.
qm::AudioDevice* desktop_audio_device_create();
// Closes and releases a device from desktop_audio_device_create; null does nothing.
void desktop_audio_device_destroy(qm::AudioDevice* device);
