// audio_sdl.h: the SDL2 sound output behind the AudioBackend interface.
// Owns: nothing declared here. Thread: main thread.
#pragma once
#include "music/output.h"

// The SDL2 back end: the default output device, 16-bit signed stereo.
const AudioBackend* sdl_audio_backend();
