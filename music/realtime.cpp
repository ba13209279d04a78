// realtime.cpp: the show's real-time music output: open and close, play and
// stop, the block fill, and the mixer thread that keeps the ring of output
// blocks mixed ahead of the device.
// Owns: the one instance of this layer (below): the file-callback table, the
// ring, the player of the module being played, the mixer thread, its three
// flags and its statistics. Touches: the sound device, through the installed
// AudioBackend.
// Thread: open/close/play/stop on the main thread; fill_block on the mixer
// thread between play and stop. The device reads the ring on its own thread;
// the mixer only writes blocks the device has already left behind.
#include "music/realtime.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "music/file_callbacks.h"
#include "music/music.h"
#include "music/player.h"
#include "music/render.h"

namespace qm {

namespace {

constexpr int32_t MIXER_POLL_MS = 5;
constexpr int32_t FULL_RAMP_RATE = 44100; // the rate at which a ramp is 128 frames
constexpr int32_t FULL_RAMP_FRAMES = 128;

// The layer's whole state. Main thread while no mixer thread runs; the mixer
// thread between play and stop, except the atomics.
struct Realtime {
  FileCallbacks files{};              // the show's file operations, all set or all null
  const AudioBackend* backend = nullptr; // installed device, may be null
  bool output_open = false;           // the back end's device is open
  int32_t mix_rate = 0;               // frames per second of the open output
  int32_t block_frames = 0;           // frames per block; 0 while closed
  int32_t ring_frames = 0;            // frames in the ring; 0 while closed
  int32_t ramp_length = 0;            // the players' gain-ramp length at mix_rate
  float ramp_length_inv = 0.0f;
  MixerDrive drive = MIXER_THREAD;    // who refills the ring during play
  bool pumping = false;               // a pumped playback is in progress
  Player* player = nullptr;           // plays current_module; null while idle
  Module* current_module = nullptr;   // the module being played
  // Next block to fill. Written only by whoever fills (the mixer thread
  // during play); atomic so that realtime_state may read it meanwhile.
  std::atomic<int32_t> fill_index{0};
  int16_t* output_buffer = nullptr;   // the ring the device plays; kept after stop
  pthread_t mixer_thread{};           // valid while mixer_running
  bool mixer_running = false;         // a mixer thread was started and not yet joined
  // Frames mixed into the ring since the device started it: the ring's 100
  // blocks, then one block per refill. Mixer thread between play and stop.
  int64_t frames_mixed = 0;
  MixerStats stats{};                 // mixer thread between play and stop
  std::atomic<bool> stop_request{false}; // main -> mixer: end the loop
  std::atomic<bool> mix_busy{false};     // mixer -> main: a block is being filled
  std::atomic<bool> mixer_ended{true};   // mixer -> main: no thread inside its loop
  std::atomic<uint32_t> blocks_published{0};
};

// The one instance: the show has one sound output, and the calls it makes
// (music/music.h) carry no handle.
Realtime show_output;

// Asks for real-time scheduling at the lowest real-time priority: above every
// ordinary thread (the frame loop included) but below a sound server's own
// real-time threads, which the 2-second ring does not need to preempt.
// Refused without the right to it; the thread then carries on as it is.
bool raise_thread_priority() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

int64_t thread_cpu_ns() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Records how far ahead of the device the ring is at this poll. A device
// that got ahead of the mixed sound played stale blocks from the last pass;
// the count of mixed frames then moves on by whole passes, as the refills
// that follow line up with the device's next pass.
void note_lead(Realtime& rt, uint64_t played) {
  int64_t lead = rt.frames_mixed - static_cast<int64_t>(played);
  if (lead < rt.stats.min_lead_frames) rt.stats.min_lead_frames = lead;
  if (lead < 0) {
    rt.stats.late_blocks += static_cast<int32_t>((-lead + rt.block_frames - 1) / rt.block_frames);
    rt.frames_mixed += ((-lead + rt.ring_frames - 1) / rt.ring_frames) * rt.ring_frames;
  }
  ++rt.stats.polls;
}

// One poll: the device's position, then a refill of every block it has
// left behind, up to but not including the block it is playing.
void refill_behind_device(Realtime& rt) {
  uint64_t played = rt.backend->frames_played(rt.backend->self);
  note_lead(rt, played);
  int32_t play_block = static_cast<int32_t>(played % static_cast<uint64_t>(rt.ring_frames)) / rt.block_frames;
  while (rt.fill_index.load(std::memory_order_relaxed) != play_block) {
    rt.mix_busy.store(true, std::memory_order_release);
    fill_block();
    rt.mix_busy.store(false, std::memory_order_release);
    rt.frames_mixed += rt.block_frames;
    ++rt.stats.blocks_refilled;
  }
}

void* mixer_thread_main(void*) {
  Realtime& rt = show_output;
  int64_t cpu_start = thread_cpu_ns();
  auto wall_start = std::chrono::steady_clock::now();
  rt.stats.realtime = raise_thread_priority();
  rt.mixer_ended.store(false, std::memory_order_release);
  while (!rt.stop_request.load(std::memory_order_acquire)) {
    refill_behind_device(rt);
    std::this_thread::sleep_for(std::chrono::milliseconds(MIXER_POLL_MS));
  }
  rt.stats.cpu_ns = thread_cpu_ns() - cpu_start;
  rt.stats.wall_ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - wall_start).count();
  rt.mixer_ended.store(true, std::memory_order_release);
  return nullptr;
}

// Ends the playback in progress, if any: the thread is asked to end and
// joined before anything it touches is released. With no thread it neither
// waits nor releases anything a second time. The device keeps looping the
// ring, so output_buffer stays.
void end_playback(Realtime& rt) {
  rt.stop_request.store(true, std::memory_order_release);
  if (rt.mixer_running) {
    while (rt.mix_busy.load(std::memory_order_acquire)) {
    }
    pthread_join(rt.mixer_thread, nullptr);
    rt.mixer_running = false;
  }
  rt.mixer_ended.store(true, std::memory_order_release);
  rt.pumping = false;
  player_free(rt.player);
  rt.player = nullptr;
  rt.current_module = nullptr;
}

void release_ring(Realtime& rt) {
  std::free(rt.output_buffer);
  rt.output_buffer = nullptr;
}

}  // namespace

FileCallbacks& file_callback_table() { return show_output.files; }

void set_audio_backend(const AudioBackend* backend) { show_output.backend = backend; }

void set_mixer_drive(MixerDrive drive) { show_output.drive = drive; }

void pump_mixer() {
  Realtime& rt = show_output;
  if (rt.pumping) refill_behind_device(rt);
}

MixerStats mixer_stats() { return show_output.stats; }

uint32_t blocks_published() { return show_output.blocks_published.load(std::memory_order_acquire); }

bool mixer_ended() { return show_output.mixer_ended.load(std::memory_order_acquire); }

RealtimeState realtime_state() {
  const Realtime& rt = show_output;
  RealtimeState s{};
  s.mix_rate = rt.mix_rate;
  s.block_frames = rt.block_frames;
  s.ring_frames = rt.ring_frames;
  s.ramp_length = rt.ramp_length;
  s.ramp_length_inv = rt.ramp_length_inv;
  s.fill_index = rt.fill_index.load(std::memory_order_relaxed);
  s.output_buffer = rt.output_buffer;
  s.mix_buffer = rt.player != nullptr ? rt.player->mix_block : nullptr;
  s.current_module = rt.current_module;
  s.player = rt.player;
  return s;
}

void fill_block() {
  Realtime& rt = show_output;
  const int32_t index = rt.fill_index.load(std::memory_order_relaxed);
  int16_t* block = rt.output_buffer + static_cast<size_t>(index) * rt.block_frames * 2;
  int32_t done = rt.player != nullptr ? render_s16(rt.player, block, rt.block_frames) : 0;
  std::memset(block + static_cast<size_t>(done) * 2, 0, static_cast<size_t>(rt.block_frames - done) * 2 * sizeof(int16_t));
  rt.fill_index.store(index + 1 == BLOCK_COUNT ? 0 : index + 1, std::memory_order_relaxed);
  rt.blocks_published.fetch_add(1, std::memory_order_release);
}

bool open_output(int32_t rate, int32_t /*reserved*/) {
  Realtime& rt = show_output;
  if (!file_callbacks_complete()) return false;
  close_output();
  if (rate < QM_MIN_RATE || rate > QM_MAX_RATE) return false;
  if (rt.backend == nullptr || !rt.backend->open(rt.backend->self, rate)) return false;
  rt.mix_rate = rate;
  rt.block_frames = block_frames_at(rate);
  rt.ring_frames = BLOCK_COUNT * rt.block_frames;
  rt.ramp_length = static_cast<int32_t>(static_cast<int64_t>(rate) * FULL_RAMP_FRAMES / FULL_RAMP_RATE);
  if (rt.ramp_length < 1) rt.ramp_length = 1;
  rt.ramp_length_inv = 1.0f / static_cast<float>(rt.ramp_length);
  rt.output_open = true;
  return true;
}

void close_output() {
  Realtime& rt = show_output;
  if (!rt.output_open) return;
  end_playback(rt);
  rt.backend->reset(rt.backend->self);
  rt.backend->close(rt.backend->self);
  rt.output_open = false;
  release_ring(rt);
  rt.block_frames = 0;
  rt.ring_frames = 0;
}

bool play_module(Module* module) {
  Realtime& rt = show_output;
  if (module == nullptr || !rt.output_open) return false;
  stop_module(module);
  rt.backend->reset(rt.backend->self);  // the device may still loop an earlier ring
  release_ring(rt);
  rt.player = player_create(module, rt.mix_rate);
  rt.output_buffer = static_cast<int16_t*>(std::calloc(static_cast<size_t>(rt.ring_frames) * 2, sizeof(int16_t)));
  if (rt.player == nullptr || rt.output_buffer == nullptr) {
    end_playback(rt);
    release_ring(rt);
    return false;
  }
  rt.player->repeat_count = -1;  // the show's music loops with the song
  rt.player->repeats_left = -1;
  rt.current_module = module;
  rt.fill_index.store(0, std::memory_order_relaxed);
  do fill_block(); while (rt.fill_index.load(std::memory_order_relaxed) != 0);
  rt.frames_mixed = rt.ring_frames;
  rt.stats = MixerStats{};
  rt.stats.min_lead_frames = INT64_MAX;
  rt.backend->start(rt.backend->self, rt.output_buffer, rt.ring_frames);
  if (rt.drive == MIXER_PUMPED) {
    rt.pumping = true;
    return true;
  }
  rt.stop_request.store(false, std::memory_order_release);
  rt.mixer_ended.store(false, std::memory_order_release);
  rt.mixer_running = pthread_create(&rt.mixer_thread, nullptr, mixer_thread_main, nullptr) == 0;
  if (!rt.mixer_running) rt.mixer_ended.store(true, std::memory_order_release);
  return true;
}

bool stop_module(Module* module) {
  if (module == nullptr) return false;
  end_playback(show_output);
  return true;
}

// Stops the playback only when it plays this module: freeing a module that is
// not playing leaves the music of another one running.
bool free_module(Module* module) {
  Realtime& rt = show_output;
  if (module == nullptr) return false;
  while (rt.mix_busy.load(std::memory_order_acquire)) {
  }
  if (rt.current_module == module) stop_module(module);
  free_song(module);
  return true;
}

}  // namespace qm
