// audio_web.cpp: the sound device in a browser: an AudioContext at the
// output's rate and, for as long as the output is open, an AudioWorklet node
// fed chunk by chunk from the page's main thread (or, where the browser has
// no worklet, a ScriptProcessorNode whose callback pulls the frames).
// Owns: the devices it creates (the source, the counts of frames handed out
// and heard, the buffer a pull hands out) and, in a browser, the page's one
// AudioContext (Module.qmAudioContext), the open output's record
// (Module.qmAudioOutput: its node, the frames sent and heard, the worklet's
// count of starved quanta, the fewest frames it still held when the page
// answered it) and why no sound can play (Module.qmAudioProblem).
// The only file of the sound that calls the browser, with the worklet's own
// script (audio_web_worklet.js).
// Thread: the page's main thread only. The worklet runs on the browser's
// audio thread but shares nothing with this file: chunks cross to it by
// message and it answers by message.
#include "runtime/audio_web.h"

#include <cstring>
#include <new>

#ifdef __EMSCRIPTEN__
#include <emscripten.h>
#endif

namespace qm {

namespace {

constexpr int WEB_AUDIO_PROBLEM_BYTES = 256; // room for the browser's reason

struct WebAudio {
  AudioDevice device;                     // self points at this record
  bool open = false;                      // the device is open
  bool paused = false;                    // silence, and no pulls, while paused
  int32_t ahead = WEB_AUDIO_CHUNKS_AHEAD; // chunks the worklet holds ahead from the next open
  AudioSource source{};                   // what plays; pull null before start and after reset
  std::atomic<uint64_t> played{0};        // frames of the source handed out since start
  uint64_t handed = 0;                    // frames handed out since open, silence included
  uint64_t heard = 0;                     // of those, the frames the output has played
  int16_t out[2 * WEB_AUDIO_MAX_PULL]{};  // what the last pull handed out
};

WebAudio* state(void* self) { return static_cast<WebAudio*>(self); }

#ifdef __EMSCRIPTEN__
// The page's one AudioContext at rate, made ahead when the page loads (a
// browser lets it start only within a user gesture, but making it then
// costs hundreds of milliseconds the first time: its sound service starts)
// and kept from one playback to the next, with the worklet's script loaded
// into it. Without Web Audio, or when the rate is refused, the context is
// null and qmAudioProblem says why.
EM_JS(void, web_audio_device_prepare, (int rate), {
  const ready = Module["qmAudioContext"];
  if (ready && ready.sampleRate === rate && ready.state !== "closed") return;
  Module["qmAudioContext"] = null;
  Module["qmWorklet"] = false;
  Module["qmAudioPrepared"] = Promise.resolve();
  const hertz = rate.toLocaleString("en-US") + " Hz";
  const Context = window["AudioContext"] || window["webkitAudioContext"];
  if (typeof Context !== "function") {
    Module["qmAudioProblem"] = "this browser offers no Web Audio";
    return;
  }
  let ctx = null;
  try {
    ctx = new Context({sampleRate : rate, latencyHint : "interactive"});
  } catch (e) {
    Module["qmAudioProblem"] = "this browser refuses sound at " + hertz + " (" + e.message + ")";
    return;
  }
  if (ctx.sampleRate !== rate) {
    Module["qmAudioProblem"] = "this browser plays sound at " + ctx.sampleRate + " Hz, not " + hertz;
    ctx.close();
    return;
  }
  Module["qmAudioContext"] = ctx;
  Module["qmAudioProblem"] = "";
  // A worklet needs a secure context (https or this machine); elsewhere the
  // old node plays.
  if (!ctx.audioWorklet || typeof AudioWorkletNode !== "function") return;
  Module["qmAudioPrepared"] = ctx.audioWorklet.addModule("audio_web_worklet.js")
      .then(() => { Module["qmWorklet"] = true; }, (e) => { console.warn("audio worklet refused:", e); });
});

// Connects the output to the context and asks the context to run. 0 when
// the browser has no Web Audio or refuses the rate (qmAudioProblem says
// why). The worklet is sent chunk frames at a time, ahead chunks ahead of
// what it plays (more, up to most_ahead, each time it ran dry); the
// fallback node pulls callback frames per callback.
// Each chunk goes through the page's optional tap (the samples as 16-bit
// values) before it leaves, then the page's optional after-audio hook runs
// (where the owner refills the ring).
EM_JS(int, web_audio_device_open, (void* self, int rate, int chunk, int ahead, int most_ahead, int callback), {
  web_audio_device_prepare(rate);
  const ctx = Module["qmAudioContext"];
  if (!ctx) return 0;
  const output = {sent : 0, heard : 0, underruns : 0, ahead : ahead, leastQueued : Infinity, node : null,
                  worklet : Module["qmWorklet"], refill : null};
  function pull(frames) {
    const at = Module["_web_audio_device_pull"](self, frames) >> 1;
    if (at === 0) return null;
    const samples = HEAP16.slice(at, at + 2 * frames);
    if (Module["qmAudioTap"]) Module["qmAudioTap"](samples);
    output.sent += frames;
    return samples;
  }
  try {
    if (output.worklet) {
      const node = new AudioWorkletNode(ctx, "qm-output", {numberOfInputs : 0, outputChannelCount : [2]});
      output.refill = function() {
        while (Module["qmAudioOutput"] === output && output.sent - output.heard < output.ahead * chunk) {
          const start = output.sent;
          const samples = pull(chunk);
          if (!samples) return;
          node.port.postMessage({start : start, samples : samples}, [samples.buffer]);
          if (Module["qmAfterAudio"]) Module["qmAfterAudio"]();
        }
      };
      node.port.onmessage = function(event) {
        const late = (ctx.currentTime - event.data.time) * rate;  // frames played since the worklet wrote
        output.leastQueued = Math.min(output.leastQueued, output.sent - event.data.at - late);
        output.heard = Math.max(output.heard, event.data.at);
        // A queue that ran dry was too short for this page's main thread:
        // it grows, up to most_ahead chunks.
        if (event.data.underruns > output.underruns) output.ahead = Math.min(most_ahead, output.ahead + 1);
        output.underruns = event.data.underruns;
        Module["_web_audio_device_played"](self, output.heard);
        output.refill();
      };
      output.node = node;
    } else {
      const node = ctx.createScriptProcessor(callback, 0, 2);
      node.onaudioprocess = function(event) {
        const out = event.outputBuffer;
        const left = out.getChannelData(0);
        const right = out.getChannelData(1);
        const samples = pull(out.length);
        if (!samples) {
          left.fill(0);
          right.fill(0);
          return;
        }
        for (let i = 0; i < out.length; i++) {
          left[i] = samples[2 * i] / 32768;
          right[i] = samples[2 * i + 1] / 32768;
        }
        output.heard = output.sent;
        Module["_web_audio_device_played"](self, output.heard);
        if (Module["qmAfterAudio"]) Module["qmAfterAudio"]();
      };
      output.node = node;
    }
    Module["qmAudioOutput"] = output;
    output.node.connect(ctx.destination);
    ctx.resume();
    return 1;
  } catch (e) {
    Module["qmAudioProblem"] = "the sound output did not open (" + e.message + ")";
    Module["qmAudioOutput"] = null;
    return 0;
  }
});

// The worklet's first chunks go out once the caller's start has returned
// (the refill calls back into the caller through the after-audio hook).
EM_JS(void, web_audio_device_kick, (), {
  const output = Module["qmAudioOutput"];
  if (output && output.refill) queueMicrotask(output.refill);
});

// Paused, the worklet holds its queue and plays silence; the fallback node
// plays silence through its pulls.
EM_JS(void, web_audio_device_hold, (int paused), {
  const output = Module["qmAudioOutput"];
  if (output && output.worklet) output.node.port.postMessage({hold : paused !== 0});
});

EM_JS(void, web_audio_device_drop_queue, (), {
  const output = Module["qmAudioOutput"];
  if (output && output.worklet) output.node.port.postMessage({flush : true});
});

// Disconnects the node, which ends the callbacks and the messages, and lets
// the context rest until the next playback.
// Why the output cannot play, into buffer (size bytes); "" while it can.
EM_JS(void, web_audio_device_problem, (char* buffer, int size), {
  stringToUTF8(Module["qmAudioProblem"] || "", buffer, size);
});

EM_JS(void, web_audio_device_close, (), {
  const output = Module["qmAudioOutput"];
  if (output) {
    if (output.worklet) {
      output.node.port.onmessage = null;
      output.node.port.postMessage({stop : true});
    } else {
      output.node.onaudioprocess = null;
    }
    output.node.disconnect();
    Module["qmAudioOutput"] = null;
  }
  if (Module["qmAudioContext"]) Module["qmAudioContext"].suspend();
});
#else
// Without a browser there is no device: the caller's pulls stand in for it.
void web_audio_device_prepare(int) {}
int web_audio_device_open(void*, int, int, int, int, int) { return 1; }
void web_audio_device_kick() {}
void web_audio_device_hold(int) {}
void web_audio_device_drop_queue() {}
void web_audio_device_problem(char* buffer, int) { buffer[0] = '\0'; }
void web_audio_device_close() {}
#endif

AudioStatus web_open(void* self, int32_t rate, int32_t /*buffer_frames*/, std::string* why) {
  WebAudio* a = state(self);
  if (a->open) return AUDIO_OK;
  a->open = web_audio_device_open(a, rate, WEB_AUDIO_CHUNK_FRAMES, a->ahead, WEB_AUDIO_MOST_CHUNKS_AHEAD,
                                  WEB_AUDIO_CALLBACK_FRAMES) != 0;
  if (a->open) {
    a->handed = 0;
    a->heard = 0;
    return AUDIO_OK;
  }
  if (why != nullptr) {
    char problem[WEB_AUDIO_PROBLEM_BYTES];
    web_audio_device_problem(problem, sizeof problem);
    *why = problem[0] != '\0' ? problem : "this browser offers no sound output at this rate";
  }
  return AUDIO_NO_DEVICE;
}

void web_start(void* self, const AudioSource& source) {
  WebAudio* a = state(self);
  if (!a->open || source.pull == nullptr) return;
  a->source = source;
  a->played.store(0, std::memory_order_relaxed);
  web_audio_device_kick();
}

void web_pause(void* self, bool paused) {
  WebAudio* a = state(self);
  a->paused = paused;
  if (a->open) web_audio_device_hold(paused ? 1 : 0);
}

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
  a->handed += static_cast<uint64_t>(frames);
  return a->out;
}

}  // namespace

#ifdef __EMSCRIPTEN__
// The output's entries into the back end (see web_audio_device_open).
extern "C" EMSCRIPTEN_KEEPALIVE const int16_t* web_audio_device_pull(void* self, int32_t frames) {
  if (frames < 1 || frames > WEB_AUDIO_MAX_PULL) return nullptr;
  return pull(state(self), frames);
}

extern "C" EMSCRIPTEN_KEEPALIVE void web_audio_device_played(void* self, double handed) {
  web_audio_played(&state(self)->device, static_cast<uint64_t>(handed));
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

void web_audio_set_ahead(AudioDevice* device, int32_t chunks) {
  if (device == nullptr) return;
  if (chunks < WEB_AUDIO_CHUNKS_AHEAD) chunks = WEB_AUDIO_CHUNKS_AHEAD;
  if (chunks > WEB_AUDIO_MOST_CHUNKS_AHEAD) chunks = WEB_AUDIO_MOST_CHUNKS_AHEAD;
  state(device->self)->ahead = chunks;
}

const int16_t* web_audio_pull(AudioDevice* device, int32_t frames) {
  if (device == nullptr || frames < 1 || frames > WEB_AUDIO_MAX_PULL) return nullptr;
  return pull(state(device->self), frames);
}

void web_audio_played(AudioDevice* device, uint64_t handed) {
  if (device == nullptr) return;
  WebAudio* a = state(device->self);
  if (handed > a->handed) handed = a->handed;
  if (handed > a->heard) a->heard = handed;
}

uint64_t web_audio_frames_heard(const AudioDevice* device) {
  if (device == nullptr) return 0;
  const WebAudio* a = state(device->self);
  const uint64_t queued = a->handed - a->heard;
  const uint64_t played = a->played.load(std::memory_order_relaxed);
  return played > queued ? played - queued : 0;
}

void web_audio_flush(AudioDevice* device) {
  if (device != nullptr && state(device->self)->open) web_audio_device_drop_queue();
}

}  // namespace qm
