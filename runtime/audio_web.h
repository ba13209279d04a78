// audio_web.h: the browser's sound output (Web Audio) behind the
// AudioDevice interface: the source's 16-bit stereo frames (the show's ring
// or a player's render) and the monotonic count of frames the output has
// taken.
// Owns: nothing declared here. Thread: the page's main thread (a browser
// without shared memory runs the audio callback there too).
//
// The page's audio callback is the device: each call takes the next frames
// of the source through web_audio_pull. In a browser, open creates the
// AudioContext and a ScriptProcessorNode whose callback makes those calls;
// elsewhere (the native tests) open succeeds without a device and the
// caller's own web_audio_pull calls stand in for it.
#pragma once
#include <cstdint>

#include "runtime/audio_device.h"

namespace qm {

// Most frames one web_audio_pull hands out.
constexpr int32_t WEB_AUDIO_MAX_PULL = 16384;
// Frames per audio callback in the browser: about 46 ms at 44,100 Hz.
constexpr int32_t WEB_AUDIO_CALLBACK_FRAMES = 2048;

// Makes the browser's AudioContext at rate ahead of the first open, where
// the page may (before the user's gesture it waits, suspended); opening
// then costs little within the gesture. Nothing happens outside a browser.
void web_audio_prepare(int32_t rate);

// Creates the device; null without memory. Nothing opens until its open.
AudioDevice* web_audio_device_create();
// Releases a device from web_audio_device_create, closing it first.
void web_audio_device_destroy(AudioDevice* device);

// The device's side: the source's next frames (silence while nothing is
// started or while paused), frames at most WEB_AUDIO_MAX_PULL. Returns the
// 2 x frames samples, left first, in the device's own buffer (valid until
// the next pull); null for a null device or frames outside 1..WEB_AUDIO_MAX_PULL.
const int16_t* web_audio_pull(AudioDevice* device, int32_t frames);

}  // namespace qm
