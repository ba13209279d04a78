// show_output.cpp: the show's real-time music output (see show_output.h):
// open and close, play and stop, the block fill, and the mixer loop that
// keeps the ring of output blocks mixed ahead of the device.
// Owns: the ring and the player of each playback, the mixer thread.
// Thread: open/close/play/stop on the owner's thread; output_fill_block on
// the mixer thread between play and stop. The device reads the ring on its
// own thread; the mixer only writes blocks the device has already left.
#include "runtime/show_output.h"

#include <time.h>

#include <chrono>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <system_error>

namespace qm {

namespace {

constexpr int32_t MIXER_POLL_MS = 5;
// Frames per device buffer: a power of two every driver takes as it is
// (position steps of about 11.6 ms at 44,100 Hz).
constexpr int32_t SHOW_DEVICE_BUFFER_FRAMES = 512;
constexpr int32_t FULL_RAMP_RATE = 44100; // the rate at which a ramp is 128 frames
constexpr int32_t FULL_RAMP_FRAMES = 128;
constexpr int64_t NS_PER_SECOND = 1000000000;

int64_t thread_cpu_ns() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<int64_t>(ts.tv_sec) * NS_PER_SECOND + ts.tv_nsec;
}

// Records how far ahead of the device the ring is at this poll. A device
// that got ahead of the mixed sound played stale blocks from the last pass;
// the count of mixed frames then moves on by whole passes, as the refills
// that follow line up with the device's next pass.
void note_lead(ShowOutput& out, uint64_t played) {
  int64_t lead = out.frames_mixed - static_cast<int64_t>(played);
  if (lead < out.stats.min_lead_frames) out.stats.min_lead_frames = lead;
  if (lead < 0) {
    out.stats.late_blocks += static_cast<int32_t>((-lead + out.block_frames - 1) / out.block_frames);
    out.frames_mixed += ((-lead + out.ring_frames - 1) / out.ring_frames) * out.ring_frames;
  }
  ++out.stats.polls;
}

// One poll: the device's position, then a refill of every block it has
// left behind, up to but not including the block it is playing.
void refill_behind_device(ShowOutput& out) {
  const uint64_t played = out.device->frames_played(out.device->self);
  note_lead(out, played);
  const int32_t play_block = static_cast<int32_t>(played % static_cast<uint64_t>(out.ring_frames)) / out.block_frames;
  while (out.fill_index.load(std::memory_order_relaxed) != play_block) {
    out.mix_busy.store(true, std::memory_order_release);
    output_fill_block(out);
    out.mix_busy.store(false, std::memory_order_release);
    out.frames_mixed += out.block_frames;
    ++out.stats.blocks_refilled;
  }
}

void mixer_thread_main(ShowOutput& out) {
  const int64_t cpu_start = thread_cpu_ns();
  const auto wall_start = std::chrono::steady_clock::now();
  const AudioDevice* device = out.device;
  out.stats.realtime = device->raise_mixer_priority != nullptr && device->raise_mixer_priority(device->self);
  out.mixer_ended.store(false, std::memory_order_release);
  while (!out.stop_request.load(std::memory_order_acquire)) {
    refill_behind_device(out);
    std::this_thread::sleep_for(std::chrono::milliseconds(MIXER_POLL_MS));
  }
  out.stats.cpu_ns = thread_cpu_ns() - cpu_start;
  out.stats.wall_ns =
      std::chrono::duration_cast<std::chrono::nanoseconds>(std::chrono::steady_clock::now() - wall_start).count();
  out.mixer_ended.store(true, std::memory_order_release);
}

// Ends the playback in progress, if any: the thread is asked to end and
// joined before anything it touches is released. With no thread it neither
// waits nor releases anything a second time. The device keeps looping the
// ring, so output_buffer stays.
void end_playback(ShowOutput& out) {
  out.stop_request.store(true, std::memory_order_release);
  if (out.mixer_thread.joinable()) {
    while (out.mix_busy.load(std::memory_order_acquire)) {
    }
    out.mixer_thread.join();
  }
  out.mixer_ended.store(true, std::memory_order_release);
  out.pumping = false;
  qm_player_free(out.player);
  out.player = nullptr;
  out.current_module = nullptr;
}

void release_ring(ShowOutput& out) {
  std::free(out.output_buffer);
  out.output_buffer = nullptr;
  ring_reader_start(out.reader, nullptr, 0, nullptr);
}

// Creates the player and the ring of a new playback; false without memory.
bool prepare_playback(ShowOutput& out, const qm_song* song) {
  if (qm_player_create(song, out.mix_rate, &out.player) != QM_OK) return false;
  qm_player_set_repeat_count(out.player, -1);  // the show's music loops with the song
  out.output_buffer =
      static_cast<int16_t*>(std::calloc(static_cast<size_t>(out.ring_frames) * AUDIO_SAMPLES_PER_FRAME, sizeof(int16_t)));
  return out.output_buffer != nullptr;
}

}  // namespace

void output_fill_block(ShowOutput& out) {
  const int32_t index = out.fill_index.load(std::memory_order_relaxed);
  int16_t* block = out.output_buffer + static_cast<size_t>(index) * out.block_frames * AUDIO_SAMPLES_PER_FRAME;
  const int32_t done = out.player != nullptr ? qm_player_render_s16(out.player, block, out.block_frames) : 0;
  std::memset(block + static_cast<size_t>(done) * AUDIO_SAMPLES_PER_FRAME, 0,
              static_cast<size_t>(out.block_frames - done) * AUDIO_SAMPLES_PER_FRAME * sizeof(int16_t));
  out.fill_index.store(index + 1 == BLOCK_COUNT ? 0 : index + 1, std::memory_order_relaxed);
  out.blocks_published.fetch_add(1, std::memory_order_release);
}

void output_pump(ShowOutput& out) {
  if (out.pumping) refill_behind_device(out);
}

AudioStatus output_open(ShowOutput& out, int32_t rate, std::string* why) {
  if (!file_callbacks_complete(out.files)) {
    if (why != nullptr) *why = "no file operations are installed";
    return AUDIO_NOT_READY;
  }
  output_close(out);
  if (rate < QM_MIN_RATE || rate > QM_MAX_RATE) {
    if (why != nullptr) *why = "the rate is out of range";
    return AUDIO_BAD_ARGUMENT;
  }
  if (out.device == nullptr) {
    if (why != nullptr) *why = "no sound output is available";
    return AUDIO_NO_DEVICE;
  }
  const AudioStatus opened = out.device->open(out.device->self, rate, SHOW_DEVICE_BUFFER_FRAMES, why);
  if (opened != AUDIO_OK) return opened;
  out.mix_rate = rate;
  out.block_frames = output_block_frames(rate);
  out.ring_frames = BLOCK_COUNT * out.block_frames;
  out.ramp_length = static_cast<int32_t>(static_cast<int64_t>(rate) * FULL_RAMP_FRAMES / FULL_RAMP_RATE);
  if (out.ramp_length < 1) out.ramp_length = 1;
  out.ramp_length_inv = 1.0f / static_cast<float>(out.ramp_length);
  out.output_open = true;
  return AUDIO_OK;
}

void output_close(ShowOutput& out) {
  if (!out.output_open) return;
  end_playback(out);
  out.device->reset(out.device->self);
  out.device->close(out.device->self);
  out.output_open = false;
  release_ring(out);
  out.block_frames = 0;
  out.ring_frames = 0;
}

AudioStatus output_play(ShowOutput& out, const qm_song* song) {
  if (song == nullptr) return AUDIO_BAD_ARGUMENT;
  if (!out.output_open) return AUDIO_NOT_READY;
  output_stop(out);
  out.device->reset(out.device->self);  // the device may still loop an earlier ring
  release_ring(out);
  if (!prepare_playback(out, song)) {
    end_playback(out);
    release_ring(out);
    return AUDIO_OUT_OF_MEMORY;
  }
  out.current_module = song;
  out.fill_index.store(0, std::memory_order_relaxed);
  do output_fill_block(out);
  while (out.fill_index.load(std::memory_order_relaxed) != 0);
  out.frames_mixed = out.ring_frames;
  out.stats = MixerStats{};
  out.stats.min_lead_frames = INT64_MAX;
  ring_reader_start(out.reader, out.output_buffer, out.ring_frames, &out.blocks_published);
  out.device->start(out.device->self, ring_source(out.reader));
  if (out.drive == MIXER_PUMPED) {
    out.pumping = true;
    return AUDIO_OK;
  }
  out.stop_request.store(false, std::memory_order_release);
  out.mixer_ended.store(false, std::memory_order_release);
  try {
    out.mixer_thread = std::thread(mixer_thread_main, std::ref(out));
  } catch (const std::system_error&) {
    end_playback(out);
    out.device->reset(out.device->self);
    return AUDIO_NO_THREAD;
  }
  return AUDIO_OK;
}

void output_stop(ShowOutput& out) { end_playback(out); }

}  // namespace qm
