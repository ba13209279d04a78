// audio_sdl.cpp: the sound device on SDL2 audio: one output device playing
// the ring of 16-bit stereo frames as an endless loop, and the monotonic
// count of frames it has played.
// Owns: the back ends it creates (the SDL audio subsystem reference, the
// device and the ring's read position of each). The only file of the music
// code that calls SDL.
// Thread: create/open/start/reset/close/destroy on the main thread;
// frames_played on the mixer thread; the callback on SDL's audio thread. The
// callback only copies frames and advances atomics: it never locks,
// allocates or waits.
#include "music/audio_sdl.h"

#include <SDL.h>

#include <atomic>
#include <cstring>
#include <new>

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
