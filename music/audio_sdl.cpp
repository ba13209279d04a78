// audio_sdl.cpp: the sound device on SDL2 audio, in two forms: the show's
// back end, one output device playing the ring of 16-bit stereo frames as an
// endless loop with the monotonic count of frames it has played; and a pull
// stream, whose device buffers are filled by a function of the caller's.
// Owns: the back ends and streams it creates (the SDL audio subsystem
// reference, the device and the ring's read position of each). The only
// file of the music code that calls SDL.
// Thread: create/open/start/reset/close/destroy and the pull stream's
// open/pause/close on the main thread; frames_played on the mixer thread;
// the callbacks on SDL's audio thread. The ring's callback only copies
// frames and advances atomics: it never locks, allocates or waits.
#include "music/audio_sdl.h"

#include <SDL.h>
#include <fcntl.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstring>
#include <new>
#include <string>

namespace qm {

namespace {

// Frames per device callback: a power of two, so every driver takes it as
// it is (position steps of about 11.6 ms at 44,100 Hz).
constexpr Uint16 DEVICE_CALLBACK_FRAMES = 512;
constexpr int FRAME_BYTES = 4; // 16-bit stereo

struct SdlAudio {
  AudioBackend backend;                      // self points at this record
  SDL_AudioDeviceID device = 0;              // 0 while closed
  std::atomic<const int16_t*> ring{nullptr}; // the looping ring, null when none
  std::atomic<int32_t> ring_length{0};       // frames in the ring
  std::atomic<int32_t> read_frame{0};        // next ring frame to copy
  std::atomic<uint64_t> played{0};           // frames copied since start
};

SdlAudio* state(void* self) { return static_cast<SdlAudio*>(self); }

// SDL's audio thread: copy the next frames of the ring, wrapping at its end.
void SDLCALL audio_callback(void* user, Uint8* stream, int length) {
  SdlAudio* a = state(user);
  const int16_t* source = a->ring.load(std::memory_order_acquire);
  int32_t frames = length / FRAME_BYTES;
  if (source == nullptr) {
    std::memset(stream, 0, static_cast<size_t>(length));
    return;
  }
  blocks_published();  // acquires every block filled so far
  int32_t total = a->ring_length.load(std::memory_order_relaxed);
  int32_t at = a->read_frame.load(std::memory_order_relaxed);
  int32_t done = 0;
  while (done < frames) {
    int32_t n = total - at < frames - done ? total - at : frames - done;
    std::memcpy(stream + static_cast<size_t>(done) * FRAME_BYTES, source + static_cast<size_t>(at) * 2,
                static_cast<size_t>(n) * FRAME_BYTES);
    done += n;
    at += n;
    if (at == total) at = 0;
  }
  a->read_frame.store(at, std::memory_order_relaxed);
  a->played.fetch_add(static_cast<uint64_t>(frames), std::memory_order_release);
}

bool sdl_open(void* self, int32_t rate) {
  SdlAudio* a = state(self);
  // Failure here (no driver, or the named driver cannot start) means no device.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = DEVICE_CALLBACK_FRAMES;
  want.callback = audio_callback;
  want.userdata = a;
  SDL_AudioSpec have{};
  a->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0); // opens paused
  if (a->device == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  return true;
}

// Keeps the callback out while the ring changes hands: SDL runs the callback
// under the device lock. The ring is published last, so a callback that sees
// it also sees its length and the read position.
void set_ring(SdlAudio* a, const int16_t* frames_ring, int32_t frames) {
  SDL_LockAudioDevice(a->device);
  a->ring.store(nullptr, std::memory_order_release);
  a->ring_length.store(frames, std::memory_order_relaxed);
  a->read_frame.store(0, std::memory_order_relaxed);
  a->played.store(0, std::memory_order_relaxed);
  a->ring.store(frames_ring, std::memory_order_release);
  SDL_UnlockAudioDevice(a->device);
}

void sdl_start(void* self, const int16_t* frames_ring, int32_t frames) {
  SdlAudio* a = state(self);
  if (a->device == 0 || frames_ring == nullptr || frames <= 0) return;
  set_ring(a, frames_ring, frames);
  SDL_PauseAudioDevice(a->device, 0);
}

uint64_t sdl_frames_played(void* self) { return state(self)->played.load(std::memory_order_acquire); }

void sdl_reset(void* self) {
  SdlAudio* a = state(self);
  if (a->device == 0) return;
  SDL_PauseAudioDevice(a->device, 1);
  set_ring(a, nullptr, 0);
}

void sdl_close(void* self) {
  SdlAudio* a = state(self);
  if (a->device == 0) return;
  SDL_CloseAudioDevice(a->device);
  a->device = 0;
  a->ring.store(nullptr, std::memory_order_release);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace

AudioBackend* sdl_audio_backend_create() {
  auto* a = new (std::nothrow) SdlAudio;
  if (a == nullptr) return nullptr;
  a->backend = AudioBackend{a, sdl_open, sdl_start, sdl_frames_played, sdl_reset, sdl_close};
  return &a->backend;
}

void sdl_audio_backend_destroy(AudioBackend* backend) {
  if (backend == nullptr) return;
  SdlAudio* a = state(backend->self);
  sdl_close(a);
  delete a;
}

// ---- Pull stream -------------------------------------------------------

struct PullStream {
  SDL_AudioDeviceID device = 0; // the open device
  PullFunction pull = nullptr;  // fills the device's buffers
  void* user = nullptr;         // handed to pull
};

namespace {

// SDL's audio thread: the caller's function fills what it can, silence the rest.
void SDLCALL pull_callback(void* user, Uint8* stream, int length) {
  auto* s = static_cast<PullStream*>(user);
  const int32_t frames = length / FRAME_BYTES;
  int32_t written = s->pull(s->user, reinterpret_cast<int16_t*>(stream), frames);
  if (written < 0) written = 0;
  if (written < frames)
    std::memset(stream + static_cast<size_t>(written) * FRAME_BYTES, 0,
                static_cast<size_t>(frames - written) * FRAME_BYTES);
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

}  // namespace

PullStream* pull_stream_open(int32_t rate, int32_t device_frames, PullFunction pull, void* user,
                             std::string* why) {
  if (pull == nullptr || rate <= 0 || device_frames <= 0 || device_frames > UINT16_MAX) {
    *why = "invalid stream settings";
    return nullptr;
  }
  // The caller handles its own signals; SDL would turn SIGINT into an event
  // nobody reads.
  SDL_SetHint(SDL_HINT_NO_SIGNAL_HANDLERS, "1");
  SDL_LogSetOutputFunction(drop_log, nullptr);
  QuietStderr quiet;
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) {
    *why = SDL_GetError();
    return nullptr;
  }
  auto* s = new (std::nothrow) PullStream;
  if (s == nullptr) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    *why = "out of memory";
    return nullptr;
  }
  s->pull = pull;
  s->user = user;
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = static_cast<Uint16>(device_frames);
  want.callback = pull_callback;
  want.userdata = s;
  SDL_AudioSpec have{};
  s->device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0); // opens paused; SDL converts to the device
  if (s->device == 0) {
    *why = SDL_GetError();
    delete s;
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return nullptr;
  }
  return s;
}

void pull_stream_pause(PullStream* stream, bool paused) {
  if (stream != nullptr) SDL_PauseAudioDevice(stream->device, paused ? 1 : 0);
}

void pull_stream_close(PullStream* stream) {
  if (stream == nullptr) return;
  SDL_CloseAudioDevice(stream->device);
  delete stream;
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

}  // namespace qm
