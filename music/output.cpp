// output.cpp: the process-wide output state, the block fill, play and stop,
// and the mixer thread that keeps the ring of output blocks mixed ahead.
// Owns: the voice and channel tables, the ring and mix buffers, the mixer
// thread, its three flags and its statistics. Touches: the playing Module
// and, through the installed AudioBackend, the sound device.
// Thread: open/close/play/stop on the main thread; fill_block on the mixer
// thread between play and stop (or on the offline renderer's thread).
// The device reads output_buffer on its own thread; the mixer only writes
// blocks the device has already left behind.
#include "music/output.h"

#include <pthread.h>
#include <sched.h>
#include <time.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <thread>

#include "music/music.h"
#include "music/replayer.h"

int32_t mix_rate = 0;
int32_t block_frames = 0;
int32_t ring_frames = 0;
int32_t ramp_length = 0;
float ramp_length_inv = 0.0f;
Voice voices[VOICE_COUNT];
Channel channels[CHANNEL_COUNT];
Module* current_module = nullptr;
int32_t fill_index = 0;
int16_t* output_buffer = nullptr;
float* mix_buffer = nullptr;

std::atomic<bool> stop_request{false};
std::atomic<bool> mix_busy{false};
std::atomic<bool> mixer_ended{true};
std::atomic<uint32_t> blocks_published{0};

// Private to this file, main thread only unless said otherwise.
static const AudioBackend* audio_backend = nullptr; // installed device, may be null
static bool output_open = false;      // the back end's device is open
static pthread_t mixer_thread;        // valid while mixer_running
static bool mixer_running = false;    // a mixer thread was started and not yet joined
static void* mix_allocation = nullptr; // raw block behind mix_buffer
// Frames mixed into the ring since the device started it: the ring's 100
// blocks, then one block per refill. Mixer thread between play and stop.
static int64_t frames_mixed = 0;
static MixerStats stats{};           // mixer thread between play and stop

constexpr int32_t MIXER_POLL_MS = 5;
constexpr int32_t MIN_RATE = 50;       // lowest rate that gives a block of 4 frames
constexpr int32_t MAX_RATE = 1000000;  // keeps every size well inside 32 bits

void set_audio_backend(const AudioBackend* backend) { audio_backend = backend; }

MixerStats mixer_stats() { return stats; }

bool configure_output(int32_t rate) {
  if (rate < MIN_RATE || rate > MAX_RATE) return false;
  mix_rate = rate;
  block_frames = (rate * 20 / 1000 + 3) & ~3;
  ring_frames = BLOCK_COUNT * block_frames;
  ramp_length = static_cast<int32_t>(static_cast<int64_t>(rate) * 128 / 44100);
  if (ramp_length < 1) ramp_length = 1; // rates below 345 Hz would give no ramp at all
  ramp_length_inv = 1.0f / static_cast<float>(ramp_length);
  std::memset(voices, 0, sizeof voices);
  for (int i = 0; i < VOICE_COUNT; ++i) {
    voices[i].index = i;
    voices[i].step_int = 1;
  }
  return true;
}

static void release_mix_buffer() {
  std::free(mix_allocation);
  mix_allocation = nullptr;
  mix_buffer = nullptr;
}

void release_playback_buffers() {
  release_mix_buffer();
  std::free(output_buffer);
  output_buffer = nullptr;
  current_module = nullptr;
}

bool start_playback(Module* module) {
  if (module == nullptr || block_frames <= 0) return false;
  module->global_volume = module->initial_global_volume;
  module->next_order = -1;
  module->next_row = -1;
  module->speed = module->default_speed;
  module->row = 0;
  module->order = 0;
  module->tick_frames_left = 0;
  module->tick = 0;
  module->pattern_delay = 0;
  set_bpm(module, module->default_bpm);
  int count = module->channel_count < CHANNEL_COUNT ? module->channel_count : CHANNEL_COUNT;
  for (int i = 0; i < count; ++i) {
    std::memset(&channels[i], 0, sizeof channels[i]);
    channels[i].voice = &voices[i];
  }
  // A voice may still point into a module that has since been freed.
  for (Voice& voice : voices) voice.sample = nullptr;

  release_playback_buffers();
  output_buffer = static_cast<int16_t*>(std::calloc(static_cast<size_t>(ring_frames) * 2, sizeof(int16_t)));
  mix_allocation = std::calloc(static_cast<size_t>(ring_frames) * 8 + 256, 1);
  if (output_buffer == nullptr || mix_allocation == nullptr) {
    release_playback_buffers();
    return false;
  }
  uintptr_t aligned = (reinterpret_cast<uintptr_t>(mix_allocation) + 15) & ~static_cast<uintptr_t>(15);
  mix_buffer = reinterpret_cast<float*>(aligned);
  current_module = module;
  fill_index = 0;
  return true;
}

void fill_block() {
  Module* m = current_module;
  int32_t base = fill_index * block_frames;
  float* block = mix_buffer + static_cast<size_t>(base) * 2;
  std::memset(block, 0, static_cast<size_t>(block_frames) * 2 * sizeof(float));
  if (m != nullptr) {
    int32_t left = m->tick_frames_left;
    int32_t done = 0;
    while (done < block_frames) {
      if (left <= 0) {
        m->tick_handler(m);
        left = m->samples_per_tick > 0 ? m->samples_per_tick : 1; // a tick is never empty
      }
      int32_t n = left < block_frames - done ? left : block_frames - done;
      mix_voices(block + static_cast<size_t>(done) * 2, n);
      done += n;
      left -= n;
    }
    m->tick_frames_left = left;
  }
  convert_to_pcm16(output_buffer + static_cast<size_t>(base) * 2, block, block_frames);
  fill_index = fill_index + 1 == BLOCK_COUNT ? 0 : fill_index + 1;
  blocks_published.fetch_add(1, std::memory_order_release);
}

// Asks for real-time scheduling at the lowest real-time priority: above every
// ordinary thread (the frame loop included) but below a sound server's own
// real-time threads, which the 2-second ring does not need to preempt.
// Refused without the right to it; the thread then carries on as it is.
static bool raise_thread_priority() {
  sched_param param{};
  param.sched_priority = sched_get_priority_min(SCHED_FIFO);
  return pthread_setschedparam(pthread_self(), SCHED_FIFO, &param) == 0;
}

static int64_t thread_cpu_ns() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

// Records how far ahead of the device the ring is at this poll. A device
// that got ahead of the mixed sound played stale blocks from the last pass;
// the count of mixed frames then moves on by whole passes, as the refills
// that follow line up with the device's next pass.
static void note_lead(uint64_t played) {
  int64_t lead = frames_mixed - static_cast<int64_t>(played);
  if (lead < stats.min_lead_frames) stats.min_lead_frames = lead;
  if (lead < 0) {
    stats.late_blocks += static_cast<int32_t>((-lead + block_frames - 1) / block_frames);
    frames_mixed += ((-lead + ring_frames - 1) / ring_frames) * ring_frames;
  }
  ++stats.polls;
}

static void* mixer_thread_main(void*) {
  int64_t cpu_start = thread_cpu_ns();
  auto wall_start = std::chrono::steady_clock::now();
  stats.realtime = raise_thread_priority();
  mixer_ended.store(false, std::memory_order_release);
  while (!stop_request.load(std::memory_order_acquire)) {
    uint64_t played = audio_backend->frames_played();
    note_lead(played);
    int32_t play_block = static_cast<int32_t>(played % static_cast<uint64_t>(ring_frames)) / block_frames;
    while (fill_index != play_block) {
      mix_busy.store(true, std::memory_order_release);
      fill_block();
      mix_busy.store(false, std::memory_order_release);
      frames_mixed += block_frames;
      ++stats.blocks_refilled;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(MIXER_POLL_MS));
  }
  stats.cpu_ns = thread_cpu_ns() - cpu_start;
  stats.wall_ns = std::chrono::duration_cast<std::chrono::nanoseconds>(
                      std::chrono::steady_clock::now() - wall_start)
                      .count();
  mixer_ended.store(true, std::memory_order_release);
  return nullptr;
}

// Ends the playback in progress, if any: the thread is asked to end and
// joined before anything it touches is released. With no thread it neither
// waits nor releases anything a second time. The device keeps looping the
// ring, so output_buffer stays.
static void end_playback() {
  stop_request.store(true, std::memory_order_release);
  if (mixer_running) {
    while (mix_busy.load(std::memory_order_acquire)) {
    }
    pthread_join(mixer_thread, nullptr);
    mixer_running = false;
  }
  mixer_ended.store(true, std::memory_order_release);
  release_mix_buffer();
  current_module = nullptr;
}

bool open_output(int32_t rate, int32_t /*reserved*/) {
  if (!file_callbacks_complete()) return false;
  close_output();
  if (rate < MIN_RATE || rate > MAX_RATE) return false;
  if (audio_backend == nullptr || !audio_backend->open(rate)) return false;
  configure_output(rate);
  output_open = true;
  return true;
}

void close_output() {
  if (!output_open) return;
  end_playback();
  audio_backend->reset();
  audio_backend->close();
  output_open = false;
  release_playback_buffers();
  block_frames = 0;
  ring_frames = 0;
}

bool play_module(Module* module) {
  if (module == nullptr || !output_open) return false;
  stop_module(module);
  audio_backend->reset(); // the device may still loop an earlier ring
  if (!start_playback(module)) return false;
  do fill_block(); while (fill_index != 0);
  frames_mixed = ring_frames;
  stats = MixerStats{};
  stats.min_lead_frames = INT64_MAX;
  audio_backend->start(output_buffer, ring_frames);
  stop_request.store(false, std::memory_order_release);
  mixer_ended.store(false, std::memory_order_release);
  mixer_running = pthread_create(&mixer_thread, nullptr, mixer_thread_main, nullptr) == 0;
  if (!mixer_running) mixer_ended.store(true, std::memory_order_release);
  return true;
}

bool stop_module(Module* module) {
  if (module == nullptr) return false;
  end_playback();
  return true;
}
