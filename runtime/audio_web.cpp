// audio_web.cpp: the sound device in a browser: an AudioContext at the
// output's rate and a ScriptProcessorNode whose callback pulls the source's
// frames (the show's ring, or a player's render) for as long as the output
// is open.
// Owns: the devices it creates (the source, the count of frames played, the
// buffer a pull hands out) and, in a browser, the page's one AudioContext
// (Module.qmAudioContext) and the callback node of the open output
// (Module.qmAudioNode). The only file of the show's sound that calls the
// browser.
// Thread: the page's main thread only. Without shared memory the browser
// runs the audio callback on the main thread as well, so no state here is
// shared between threads.
#include "runtime/audio_web.h"

#include <cstring>
#include <new>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace qm {

namespace {

struct WebAudio {
  AudioDevice device;                     // self points at this record
  bool open = false;                      // the device is open
  bool paused = false;                    // silence, and no pulls, while paused
  AudioSource source{};                   // what plays; pull null before start and after reset
  std::atomic<uint64_t> played{0};        // frames handed out since start
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

AudioStatus web_open(void* self, int32_t rate, int32_t /*buffer_frames*/, std::string* why) {
  WebAudio* a = state(self);
  if (a->open) return AUDIO_OK;
  a->open = web_audio_device_open(a, rate, WEB_AUDIO_CALLBACK_FRAMES) != 0;
  if (a->open) return AUDIO_OK;
  if (why != nullptr) *why = "this browser offers no sound output at this rate";
  return AUDIO_NO_DEVICE;
}

void web_start(void* self, const AudioSource& source) {
  WebAudio* a = state(self);
  if (!a->open || source.pull == nullptr) return;
  a->source = source;
  a->played.store(0, std::memory_order_relaxed);
}

void web_pause(void* self, bool paused) { state(self)->paused = paused; }

uint64_t web_frames_played(void* self) { return state(self)->played.load(std::memory_order_relaxed); }

void web_reset(void* self) { state(self)->source = AudioSource{}; }

void web_close(void* self) {
  WebAudio* a = state(self);
  if (!a->open) return;
  web_reset(a);
  web_audio_device_close();
  a->open = false;
}

// The source's next frames, silence for what it does not give (and for
// everything before a start, after a reset and while paused).
const int16_t* pull(WebAudio* a, int32_t frames) {
  int32_t got = 0;
  const bool playing = a->source.pull != nullptr && !a->paused;
  if (playing) got = a->source.pull(a->source.user, a->out, frames);
  if (got < 0) got = 0;
  if (got < frames)
    std::memset(a->out + static_cast<size_t>(got) * AUDIO_SAMPLES_PER_FRAME, 0,
                static_cast<size_t>(frames - got) * AUDIO_SAMPLES_PER_FRAME * sizeof(int16_t));
  if (playing) a->played.fetch_add(static_cast<uint64_t>(frames), std::memory_order_relaxed);
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

AudioDevice* web_audio_device_create() {
  auto* a = new (std::nothrow) WebAudio;
  if (a == nullptr) return nullptr;
  a->device = AudioDevice{a, web_open, web_start, web_pause, web_frames_played, web_reset, web_close, nullptr};
  return &a->device;
}

void web_audio_device_destroy(AudioDevice* device) {
  if (device == nullptr) return;
  WebAudio* a = state(device->self);
  web_close(a);
  delete a;
}

const int16_t* web_audio_pull(AudioDevice* device, int32_t frames) {
  if (device == nullptr || frames < 1 || frames > WEB_AUDIO_MAX_PULL) return nullptr;
  return pull(state(device->self), frames);
}

}  // namespace qm
