// audio_sdl.cpp: the sound device on SDL2 audio (see audio_sdl.h): one
// output device whose buffers are filled by the source's pull function,
// with the monotonic count of frames it has played.
// Owns: the devices it creates (the SDL audio subsystem reference, the
// device, the source). The only file of the show's sound that calls SDL.
// Thread: control calls on the owner's thread; the callback on SDL's audio
// thread, under SDL's device lock, which start and reset also take. The
// callback never allocates or waits.
#include "runtime/audio_sdl.h"

#include <SDL.h>
#include <fcntl.h>
#include <pthread.h>
#include <sched.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <new>

namespace qm {

namespace {

constexpr int FRAME_BYTES = 4;                 // 16-bit stereo
constexpr int32_t DEFAULT_BUFFER_FRAMES = 512; // when the owner has no preference

struct SdlAudio {
  AudioDevice device;                // self points at this record
  bool caller_handles_signals = false; // SDL installs no signal handlers
  SDL_AudioDeviceID id = 0;          // 0 while closed
  // What plays: the source's pull and user, stored under SDL's device lock
  // (pull last, release) and loaded by the callback (pull first, acquire).
  std::atomic<PullFunction> pull{nullptr};
  std::atomic<void*> user{nullptr};
  std::atomic<uint64_t> played{0};   // frames delivered since start
};

SdlAudio* state(void* self) { return static_cast<SdlAudio*>(self); }

// SDL's audio thread: the source fills what it can, silence the rest.
void SDLCALL audio_callback(void* user, Uint8* stream, int length) {
  SdlAudio* a = state(user);
  const int32_t frames = length / FRAME_BYTES;
  const PullFunction pull = a->pull.load(std::memory_order_acquire);
  int32_t written = 0;
  if (pull != nullptr) written = pull(a->user.load(std::memory_order_relaxed), reinterpret_cast<int16_t*>(stream), frames);
  if (written < 0) written = 0;
  if (written < frames)
    std::memset(stream + static_cast<size_t>(written) * FRAME_BYTES, 0, static_cast<size_t>(frames - written) * FRAME_BYTES);
  if (pull != nullptr) a->played.fetch_add(static_cast<uint64_t>(frames), std::memory_order_release);
}

// SDL's log lines (driver probing) are not the caller's to show.
void SDLCALL drop_log(void*, int, SDL_LogPriority, const char*) {}

// Sound libraries that SDL tries (ALSA above all) print their own failures
// on standard error while SDL probes for a device; SDL's error text says
// what matters. Standard error points at /dev/null while the quiet lasts.
struct QuietStderr {
  int saved = -1; // the real standard error, -1 when nothing was redirected
  QuietStderr() {
    const int null_fd = open("/dev/null", O_WRONLY | O_CLOEXEC);
    if (null_fd < 0) return;
    std::fflush(stderr);
    saved = fcntl(STDERR_FILENO, F_DUPFD_CLOEXEC, 0);
    if (saved >= 0) dup2(null_fd, STDERR_FILENO);
    close(null_fd);
  }
  ~QuietStderr() {
    if (saved < 0) return;
    dup2(saved, STDERR_FILENO);
    close(saved);
  }
  QuietStderr(const QuietStderr&) = delete;
  QuietStderr& operator=(const QuietStderr&) = delete;
};

AudioStatus sdl_open(void* self, int32_t rate, int32_t buffer_frames, std::string* why) {
  SdlAudio* a = state(self);
  if (a->id != 0) return AUDIO_OK;
  if (rate <= 0 || buffer_frames < 0 || buffer_frames > UINT16_MAX) {
    if (why != nullptr) *why = "invalid device settings";
    return AUDIO_BAD_ARGUMENT;
  }
  // A caller that handles its own signals has no use for SDL's quit event,
  // which nobody would read.
  if (a->caller_handles_signals) SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_LogSetOutputFunction(drop_log, nullptr);
  QuietStderr quiet;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    if (why != nullptr) *why = SDL_GetError();
    return AUDIO_NO_DEVICE;
  }
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = static_cast<Uint16>(buffer_frames > 0 ? buffer_frames : DEFAULT_BUFFER_FRAMES);
  want.callback = audio_callback;
  want.userdata = a;
  SDL_AudioSpec have{};
  a->id = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0); // opens paused; SDL converts to the device
  if (a->id == 0) {
    if (why != nullptr) *why = SDL_GetError();
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return AUDIO_NO_DEVICE;
  }
  return AUDIO_OK;
}

// Keeps the callback out while the source changes hands. The count of
// frames played is acquired first: whatever an earlier callback did happens
// before what the owner does next.
void set_source(SdlAudio* a, const AudioSource& source) {
  SDL_LockAudioDevice(a->id);
  a->played.load(std::memory_order_acquire);
  a->pull.store(nullptr, std::memory_order_release);
  a->user.store(source.user, std::memory_order_relaxed);
  a->played.store(0, std::memory_order_relaxed);
  a->pull.store(source.pull, std::memory_order_release);
  SDL_UnlockAudioDevice(a->id);
}

void sdl_start(void* self, const AudioSource& source) {
  SdlAudio* a = state(self);
  if (a->id == 0 || source.pull == nullptr) return;
  set_source(a, source);
  SDL_PauseAudioDevice(a->id, 0);
}

void sdl_pause(void* self, bool paused) {
  SdlAudio* a = state(self);
  if (a->id != 0) SDL_PauseAudioDevice(a->id, paused ? 1 : 0);
}

uint64_t sdl_frames_played(void* self) { return state(self)->played.load(std::memory_order_acquire); }

void sdl_reset(void* self) {
  SdlAudio* a = state(self);
  if (a->id == 0) return;
  SDL_PauseAudioDevice(a->id, 1);
  set_source(a, AudioSource{});
}

void sdl_close(void* self) {
  SdlAudio* a = state(self);
  if (a->id == 0) return;
  SDL_CloseAudioDevice(a->id);
  a->id = 0;
  a->pull.store(nullptr, std::memory_order_release);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

// Real-time scheduling at the lowest real-time priority: above every
// ordinary thread (the frame loop included) but below a sound server's own
// real-time threads, which the 2-second ring does not need to preempt.
// Refused without the right to it; the thread then carries on as it is.
bool sdl_raise_mixer_priority(void*) {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

}  // namespace

AudioDevice* sdl_audio_device_create(bool caller_handles_signals) {
  auto* a = new (std::nothrow) SdlAudio;
  if (a == nullptr) return nullptr;
  a->caller_handles_signals = caller_handles_signals;
  a->device = AudioDevice{a,         sdl_open,  sdl_start, sdl_pause, sdl_frames_played,
                          sdl_reset, sdl_close, sdl_raise_mixer_priority};
  return &a->device;
}

void sdl_audio_device_destroy(AudioDevice* device) {
  if (device == nullptr) return;
  SdlAudio* a = state(device->self);
  sdl_close(a);
  delete a;
}

}  // namespace qm
