// desktop_platform.h: the presenter and the sound device the desktop show
// runs on, chosen when it is built: SDL2 on Linux (desktop_sdl.cpp). A new
// desktop platform defines these three functions over its own presenter and
// sound device, and nothing else changes.
// Owns: nothing declared here. Thread: main thread.
#pragma once
#include "display/presenter.h"
#include "runtime/audio_device.h"

// The platform's presenter; valid for the whole process.
const Presenter* desktop_presenter();
// A new sound device of the platform, closed; null without memory.
qm::AudioDevice* desktop_audio_device_create();
// Closes and releases a device from desktop_audio_device_create; null does nothing.
void desktop_audio_device_destroy(qm::AudioDevice* device);
