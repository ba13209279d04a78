// audio_web.cpp: the sound device in a browser: an AudioContext at the
// output's rate and a ScriptProcessorNode whose callback takes the ring's
// frames in order, wrapping at its end, for as long as the output is open.
// Owns: the back ends it creates (the ring's read position, the count of
// frames taken, the buffer a pull hands out) and, in a browser, the page's
// one AudioContext (Module.qmAudioContext) and the callback node of the open
// output (Module.qmAudioNode). The only file of the music code that calls
// the browser.
// Thread: the page's main thread only. Without shared memory the browser
// runs the audio callback on the main thread as well, so no state here is
// shared between threads.
#include "music/audio_web.h"

#include <cstring>
#include <new>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace qm {

namespace {

struct WebAudio {
  AudioBackend backend;                   // self points at this record
  bool open = false;                      // the device is open
  const int16_t* ring = nullptr;          // the looping ring; null before start and after reset
  int32_t ring_length = 0;                // frames in the ring
  int32_t read_frame = 0;                 // next ring frame to hand out, 0..ring_length-1
  uint64_t played = 0;                    // frames handed out since start
  int16_t out[2 * WEB_AUDIO_MAX_PULL]{};  // what the last pull handed out
};

WebAudio* state(void* self) { return static_cast<WebAudio*>(self); }

#ifdef __EMSCRIPTEN__
// The page's one AudioContext at rate, made ahead when the page loads (a
// browser lets it start only within a user gesture, but making it then
// costs hundreds of milliseconds the first time: its sound service starts)
// and kept from one playback to the next. Null without Web Audio.
EM_JS(void, web_audio_device_prepare, (int rate), {
  const ready = Module["qmAudioContext"];
  if (ready && ready.sampleRate === rate && ready.state !== "closed") return;
  try {
    Module["qmAudioContext"] = new AudioContext({sampleRate : rate, latencyHint : "interactive"});
  } catch (e) {
    Module["qmAudioContext"] = null;
  }
});

// Connects a callback node to the context and asks the context to run. 0
// when the browser has no Web Audio or refuses the rate. Each callback
// pulls its frames (silence for a count it cannot take), hands them to the
// page's optional tap (the samples as 16-bit values), writes them as
// floats, then calls the page's optional after-audio hook (where the owner
// refills the ring).
EM_JS(int, web_audio_device_open, (void* self, int rate, int frames), {
  web_audio_device_prepare(rate);
  const ctx = Module["qmAudioContext"];
  if (!ctx) return 0;
  try {
    const node = ctx.createScriptProcessor(frames, 0, 2);
    node.onaudioprocess = function(event) {
      const out = event.outputBuffer;
      const n = out.length;
      const left = out.getChannelData(0);
      const right = out.getChannelData(1);
      const at = Module["_web_audio_device_pull"](self, n) >> 1;
      if (at === 0) {
        left.fill(0);
        right.fill(0);
        return;
      }
      const samples = HEAP16.subarray(at, at + 2 * n);
      if (Module["qmAudioTap"]) Module["qmAudioTap"](samples);
      for (let i = 0; i < n; i++) {
        left[i] = samples[2 * i] / 32768;
        right[i] = samples[2 * i + 1] / 32768;
      }
      if (Module["qmAfterAudio"]) Module["qmAfterAudio"]();
    };
    node.connect(ctx.destination);
    ctx.resume();
    Module["qmAudioNode"] = node;
    return 1;
  } catch (e) {
    return 0;
  }
});

// Disconnects the node, which ends the callbacks, and lets the context
// rest until the next playback.
EM_JS(void, web_audio_device_close, (), {
  const node = Module["qmAudioNode"];
  if (node) {
    node.onaudioprocess = null;
    node.disconnect();
    Module["qmAudioNode"] = null;
  }
  if (Module["qmAudioContext"]) Module["qmAudioContext"].suspend();
});
#else
// Without a browser there is no device: the caller's pulls stand in for it.
void web_audio_device_prepare(int) {}
int web_audio_device_open(void*, int, int) { return 1; }
void web_audio_device_close() {}
#endif

bool web_open(void* self, int32_t rate) {
  WebAudio* a = state(self);
  if (a->open) return true;
  a->open = web_audio_device_open(a, rate, WEB_AUDIO_CALLBACK_FRAMES) != 0;
  return a->open;
}

void web_start(void* self, const int16_t* ring, int32_t frames) {
  WebAudio* a = state(self);
  if (!a->open || ring == nullptr || frames <= 0) return;
  a->ring = ring;
  a->ring_length = frames;
  a->read_frame = 0;
  a->played = 0;
}

uint64_t web_frames_played(void* self) { return state(self)->played; }

void web_reset(void* self) {
  WebAudio* a = state(self);
  a->ring = nullptr;
  a->ring_length = 0;
  a->read_frame = 0;
}

void web_close(void* self) {
  WebAudio* a = state(self);
  if (!a->open) return;
  web_reset(a);
  web_audio_device_close();
  a->open = false;
}

// Copies the next frames of the ring, wrapping at its end; silence without one.
const int16_t* pull(WebAudio* a, int32_t frames) {
  if (a->ring == nullptr) {
    std::memset(a->out, 0, static_cast<size_t>(frames) * 2 * sizeof(int16_t));
    return a->out;
  }
  int32_t done = 0;
  while (done < frames) {
    int32_t n = a->ring_length - a->read_frame;
    if (n > frames - done) n = frames - done;
    std::memcpy(a->out + static_cast<size_t>(done) * 2, a->ring + static_cast<size_t>(a->read_frame) * 2,
                static_cast<size_t>(n) * 2 * sizeof(int16_t));
    done += n;
    a->read_frame += n;
    if (a->read_frame == a->ring_length) a->read_frame = 0;
  }
  a->played += static_cast<uint64_t>(frames);
  return a->out;
}

}  // namespace

#ifdef __EMSCRIPTEN__
// The audio callback's entry into the back end (see web_audio_device_open).
extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* web_audio_device_pull(void* self, int32_t frames) {
  if (frames < 1 || frames > WEB_AUDIO_MAX_PULL) return nullptr;
  return pull(state(self), frames);
}
#endif

void web_audio_prepare(int32_t rate) { web_audio_device_prepare(rate); }

AudioBackend* web_audio_backend_create() {
  auto* a = new (std::nothrow) WebAudio;
  if (a == nullptr) return nullptr;
  a->backend = AudioBackend{a, web_open, web_start, web_frames_played, web_reset, web_close};
  return &a->backend;
}

void web_audio_backend_destroy(AudioBackend* backend) {
  if (backend == nullptr) return;
  WebAudio* a = state(backend->self);
  web_close(a);
  delete a;
}

const int16_t* web_audio_pull(AudioBackend* backend, int32_t frames) {
  if (backend == nullptr || frames < 1 || frames > WEB_AUDIO_MAX_PULL) return nullptr;
  return pull(state(backend->self), frames);
}

}  // namespace qm
