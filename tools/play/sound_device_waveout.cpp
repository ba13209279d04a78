// sound_device_waveout.cpp: the player's sound device on Windows, wave-out
// (see sound_device.h). Owns: nothing. Thread: main.
#include "runtime/audio_waveout.h"
#include "tools/play/sound_device.h"

qm::AudioDevice* player_device_create() { return qm::waveout_audio_device_create(); }

void player_device_destroy(qm::AudioDevice* device) { qm::waveout_audio_device_destroy(device); }
