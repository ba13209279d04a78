// sound_device_sdl.cpp: the player's sound device on Linux, SDL2 (see
// sound_device.h). Owns: nothing. Thread: main.
#include "runtime/audio_sdl.h"
#include "tools/play/sound_device.h"

qm::AudioDevice* player_device_create() { return qm::sdl_audio_device_create(true); }

void player_device_destroy(qm::AudioDevice* device) { qm::sdl_audio_device_destroy(device); }
