// audio_web.h: the browser's sound output (Web Audio) behind the
// AudioDevice interface: the source's 16-bit stereo frames (the show's ring
// or a player's render), the monotonic count of frames handed to the output
// and the count of frames the output has actually played.
// Owns: nothing declared here. Thread: the page's main thread (the output's
// own thread, where there is one, only plays what the page sent it).
//
// In a browser, open creates the AudioContext's output: an AudioWorklet
// node where the browser offers one (audio_web_worklet.js), else the old
// ScriptProcessorNode. The worklet plays from a short queue of chunks that
// cross to it by message (no shared memory, so any static host serves the
// page); each time it has played a chunk it says so, and the page's main
// thread pulls the next chunk through web_audio_pull and posts it, then
// calls the page's Module.qmAfterAudio (where the show refills its ring).
// Elsewhere (the native tests) open succeeds without a device and the
// caller's own web_audio_pull calls stand in for the output.
//
//   web_audio_prepare(44100);           // on load: the context, the worklet
//   AudioDevice* d = web_audio_device_create();
//   if (d->open(d->self, 44100, 0, &why) != AUDIO_OK) show(why);  // in a gesture
//   d->start(d->self, pull_source(render, &state));
#pragma once
#include <cstdint>

#include "runtime/audio_device.h"

namespace qm {

// Most frames one web_audio_pull hands out.
constexpr int32_t WEB_AUDIO_MAX_PULL = 16384;
// Frames per chunk posted to the worklet: about 23 ms at 44,100 Hz.
constexpr int32_t WEB_AUDIO_CHUNK_FRAMES = 1024;
// Chunks the worklet holds ahead of what it plays: about 93 ms at 44,100 Hz,
// the longest the page's main thread may be busy before the sound breaks up.
// Each time the queue runs dry it holds one chunk more, up to about 370 ms.
constexpr int32_t WEB_AUDIO_CHUNKS_AHEAD = 4;
constexpr int32_t WEB_AUDIO_MOST_CHUNKS_AHEAD = 16;
// A page whose main thread is often busy (the module player draws its views
// while it renders) asks for more chunks ahead with web_audio_set_ahead.
// Frames per callback of the fallback ScriptProcessorNode: about 46 ms.
constexpr int32_t WEB_AUDIO_CALLBACK_FRAMES = 2048;

// Makes the browser's AudioContext at rate ahead of the first open, where
// the page may (before the user's gesture it waits, suspended), and starts
// loading the worklet; opening then costs little within the gesture. The
// page's Module.qmAudioPrepared is a promise that settles when the worklet
// is loaded or refused; Module.qmAudioProblem says why no sound can play
// ("" while it can). Nothing happens outside a browser.
void web_audio_prepare(int32_t rate);

// Creates the device; null without memory. Nothing opens until its open.
AudioDevice* web_audio_device_create();
// Releases a device from web_audio_device_create, closing it first.
void web_audio_device_destroy(AudioDevice* device);

// Chunks the worklet is to hold ahead from the next open on (clamped to
// WEB_AUDIO_CHUNKS_AHEAD .. WEB_AUDIO_MOST_CHUNKS_AHEAD): a longer queue
// outlasts a longer busy main thread, and a mute or a volume change is
// heard that much later (a seek drops the queue and a pause holds it).
void web_audio_set_ahead(AudioDevice* device, int32_t chunks);

// The device's side: the source's next frames (silence while nothing is
// started or while paused), frames at most WEB_AUDIO_MAX_PULL. Returns the
// 2 x frames samples, left first, in the device's own buffer (valid until
// the next pull); null for a null device or frames outside 1..WEB_AUDIO_MAX_PULL.
const int16_t* web_audio_pull(AudioDevice* device, int32_t frames);

// The output's side: it has played every frame handed out before `handed`
// (a count of frames pulled since the device opened). Counts that go back
// are ignored.
void web_audio_played(AudioDevice* device, uint64_t handed);

// Frames of the source the output has played since the last start: at most
// frames_played, behind it by what waits in the output's queue.
uint64_t web_audio_frames_heard(const AudioDevice* device);

// Drops what waits in the output's queue and has not been played yet (after
// a seek, so the new place is heard at once). The frames dropped count as
// heard. Nothing outside a browser or without a worklet.
void web_audio_flush(AudioDevice* device);

}  // namespace qm
