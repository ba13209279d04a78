// audio_sdl.cpp: the sound device on SDL2 audio: one output device playing
// the ring of 16-bit stereo frames as an endless loop, and the monotonic
// count of frames it has played.
// Owns: the SDL audio subsystem reference, the device and the ring's
// read position. The only file of the music code that calls SDL.
// Thread: open/start/reset/close on the main thread; frames_played on the
// mixer thread; the callback on SDL's audio thread. The callback only copies
// frames and advances atomics: it never locks, allocates or waits.
#include "music/audio_sdl.h"

#include <SDL.h>

#include <atomic>
#include <cstring>

// Frames per device callback: a power of two, so every driver takes it as
// it is (position steps of about 11.6 ms at 44,100 Hz).
constexpr Uint16 DEVICE_CALLBACK_FRAMES = 512;
constexpr int FRAME_BYTES = 4; // 16-bit stereo

static SDL_AudioDeviceID device = 0;              // 0 while closed
static std::atomic<const int16_t*> ring{nullptr}; // the looping ring, null when none
static std::atomic<int32_t> ring_length{0};       // frames in the ring
static std::atomic<int32_t> read_frame{0};        // next ring frame to copy
static std::atomic<uint64_t> played{0};           // frames copied since start

// SDL's audio thread: copy the next frames of the ring, wrapping at its end.
static void SDLCALL audio_callback(void*, Uint8* stream, int length) {
  const int16_t* source = ring.load(std::memory_order_acquire);
  int32_t frames = length / FRAME_BYTES;
  if (source == nullptr) {
    std::memset(stream, 0, static_cast<size_t>(length));
    return;
  }
  blocks_published.load(std::memory_order_acquire); // see every block filled so far
  int32_t total = ring_length.load(std::memory_order_relaxed);
  int32_t at = read_frame.load(std::memory_order_relaxed);
  int32_t done = 0;
  while (done < frames) {
    int32_t n = total - at < frames - done ? total - at : frames - done;
    std::memcpy(stream + static_cast<size_t>(done) * FRAME_BYTES, source + static_cast<size_t>(at) * 2,
                static_cast<size_t>(n) * FRAME_BYTES);
    done += n;
    at += n;
    if (at == total) at = 0;
  }
  read_frame.store(at, std::memory_order_relaxed);
  played.fetch_add(static_cast<uint64_t>(frames), std::memory_order_release);
}

static bool sdl_open(int32_t rate) {
  // Failure here (no driver, or the named driver cannot start) means no device.
  if (SDL_InitSubSystem(SDL_INIT_AUDIO) != 0) return false;
  SDL_AudioSpec want{};
  want.freq = rate;
  want.format = AUDIO_S16SYS;
  want.channels = 2;
  want.samples = DEVICE_CALLBACK_FRAMES;
  want.callback = audio_callback;
  SDL_AudioSpec have{};
  device = SDL_OpenAudioDevice(nullptr, 0, &want, &have, 0); // opens paused
  if (device == 0) {
    SDL_QuitSubSystem(SDL_INIT_AUDIO);
    return false;
  }
  return true;
}

// Keeps the callback out while the ring changes hands: SDL runs the callback
// under the device lock. The ring is published last, so a callback that sees
// it also sees its length and the read position.
static void set_ring(const int16_t* frames_ring, int32_t frames) {
  SDL_LockAudioDevice(device);
  ring.store(nullptr, std::memory_order_release);
  ring_length.store(frames, std::memory_order_relaxed);
  read_frame.store(0, std::memory_order_relaxed);
  played.store(0, std::memory_order_relaxed);
  ring.store(frames_ring, std::memory_order_release);
  SDL_UnlockAudioDevice(device);
}

static void sdl_start(const int16_t* frames_ring, int32_t frames) {
  if (device == 0 || frames_ring == nullptr || frames <= 0) return;
  set_ring(frames_ring, frames);
  SDL_PauseAudioDevice(device, 0);
}

static uint64_t sdl_frames_played() { return played.load(std::memory_order_acquire); }

static void sdl_reset() {
  if (device == 0) return;
  SDL_PauseAudioDevice(device, 1);
  set_ring(nullptr, 0);
}

static void sdl_close() {
  if (device == 0) return;
  SDL_CloseAudioDevice(device);
  device = 0;
  ring.store(nullptr, std::memory_order_release);
  SDL_QuitSubSystem(SDL_INIT_AUDIO);
}

static const AudioBackend sdl_backend = {sdl_open, sdl_start, sdl_frames_played, sdl_reset, sdl_close};

const AudioBackend* sdl_audio_backend() { return &sdl_backend; }
