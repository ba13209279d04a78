// audio_sdl.h: the SDL2 sound output behind the AudioBackend interface.
// Owns: nothing declared here. Thread: main thread.
#pragma once
#include "music/realtime.h"

// Creates the SDL2 back end (the default output device, 16-bit signed
// stereo); null without memory. Nothing is opened until its open is called.
AudioBackend* sdl_audio_backend_create();
// Releases a back end from sdl_audio_backend_create, after its output closed.
void sdl_audio_backend_destroy(AudioBackend* backend);
