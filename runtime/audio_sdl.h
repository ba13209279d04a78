// audio_sdl.h: the sound device on SDL2 audio (the default output device,
// 16-bit signed stereo) behind the AudioDevice interface: the show's ring
// and the players' pull streams alike.
// Owns: nothing declared here. Thread: create/destroy and the device's
// control calls on the owner's thread; the source's pull on SDL's audio thread.
//
//   AudioDevice* d = sdl_audio_device_create(true);
//   ... d->open(d->self, 44100, 1024, &why) ... d->start(d->self, source) ...
//   sdl_audio_device_destroy(d);  // closes it first
#pragma once
#include "runtime/audio_device.h"

namespace qm {

// Creates the device, closed; null without memory. Opening keeps SDL's log
// and the sound libraries' own complaints off standard error (the reason a
// device does not open is returned instead). With caller_handles_signals
// SDL leaves SIGINT and SIGTERM alone; otherwise it turns them into a quit
// event for a program that pumps SDL's events (the show's presenter does).
AudioDevice* sdl_audio_device_create(bool caller_handles_signals);
// Closes and releases a device from sdl_audio_device_create; null does nothing.
void sdl_audio_device_destroy(AudioDevice* device);

}  // namespace qm
