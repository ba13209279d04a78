// sound_device.h: the sound device the real-time player plays through,
// chosen when it is built: SDL2 on Linux (sound_device_sdl.cpp), wave-out
// on Windows (sound_device_waveout.cpp). The player catches its stop
// signals itself; the device leaves them alone.
// Owns: nothing declared here. Thread: main.
#pragma once
#include "runtime/audio_device.h"

// A new sound device, closed; null without memory.
qm::AudioDevice* player_device_create();
// Closes and releases a device from player_device_create; null does nothing.
void player_device_destroy(qm::AudioDevice* device);
