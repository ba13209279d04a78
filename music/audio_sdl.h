// audio_sdl.h: the SDL2 sound output: the show's looping ring behind the
// AudioBackend interface, and a pull stream for players that render on
// demand with a short device buffer.
// Owns: nothing declared here. Thread: main thread (pull functions run on
// SDL's audio thread).
//
//   std::string why;
//   PullStream* s = pull_stream_open(44100, 1024, fill, &state, &why);
//   if (s == nullptr) { report(why); return; }
//   pull_stream_pause(s, false);  // fill now runs for every device buffer
//   ...
//   pull_stream_close(s);
#pragma once
#include <cstdint>
#include <string>

#include "music/realtime.h"

namespace qm {

// Creates the SDL2 back end (the default output device, 16-bit signed
// stereo); null without memory. Nothing is opened until its open is called.
AudioBackend* sdl_audio_backend_create();
// Releases a back end from sdl_audio_backend_create, after its output closed.
void sdl_audio_backend_destroy(AudioBackend* backend);

// Fills up to count 16-bit stereo frames (2 x count values, left first) and
// returns how many it wrote; the stream plays silence for the rest. Runs on
// SDL's audio thread, once per device buffer, never twice at a time.
using PullFunction = int32_t (*)(void* user, int16_t* frames, int32_t count);

// An open output device fed by a PullFunction.
struct PullStream;

// Opens the default output device at rate frames per second (SDL converts
// if the device runs at another), asking pull for device_frames frames per
// buffer (1 .. 65535). The stream starts paused. Null, with the reason in
// *why (SDL's words, such as "Audio target 'x' not available"), when no
// device opens. SDL's log and the sound libraries' own complaints stay off
// standard error, and signals stay the caller's to handle.
PullStream* pull_stream_open(int32_t rate, int32_t device_frames, PullFunction pull, void* user,
                             std::string* why);
// Paused, the device plays silence and pull is not called; once this
// returns with true, pull is not running and the state it reads may change.
void pull_stream_pause(PullStream* stream, bool paused);
// Closes the device (pull is not called again) and frees the stream; null does nothing.
void pull_stream_close(PullStream* stream);

}  // namespace qm
