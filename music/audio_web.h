// audio_web.h: the browser's sound output (Web Audio) behind the
// AudioBackend interface: the ring of 16-bit stereo frames played as an
// endless loop from its first frame, and the monotonic count of frames the
// output has taken.
// Owns: nothing declared here. Thread: the page's main thread (a browser
// without shared memory runs the audio callback there too).
//
// The page's audio callback is the device: each call takes the next frames
// of the ring through web_audio_pull. In a browser, open creates the
// AudioContext and a ScriptProcessorNode whose callback makes those calls;
// elsewhere (the native tests) open succeeds without a device and the
// caller's own web_audio_pull calls stand in for it.
#pragma once
#include <cstdint>

#include "music/realtime.h"

namespace qm {

// Most frames one web_audio_pull hands out.
constexpr int32_t WEB_AUDIO_MAX_PULL = 16384;
// Frames per audio callback in the browser: about 46 ms at 44,100 Hz.
constexpr int32_t WEB_AUDIO_CALLBACK_FRAMES = 2048;

// Makes the browser's AudioContext at rate ahead of the first open, where
// the page may (before the user's gesture it waits, suspended); opening
// then costs little within the gesture. Nothing happens outside a browser.
void web_audio_prepare(int32_t rate);

// Creates the back end; null without memory. Nothing opens until its open.
AudioBackend* web_audio_backend_create();
// Releases a back end from web_audio_backend_create, closing it first.
void web_audio_backend_destroy(AudioBackend* backend);

// The device's side: the next frames of the looping ring (silence while no
// ring is started), frames at most WEB_AUDIO_MAX_PULL. Returns the 2 x
// frames samples, left first, in the back end's own buffer (valid until the
// next pull); null for a null back end or frames outside 1..WEB_AUDIO_MAX_PULL.
const int16_t* web_audio_pull(AudioBackend* backend, int32_t frames);

}  // namespace qm
