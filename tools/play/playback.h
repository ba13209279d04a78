// playback.h: one song's playback, shared between the main thread, which
// reads keys and draws the status line, and the sound device's thread,
// which renders from the player. Only atomics cross between the threads:
// the main thread posts requests (pause, gain, a jump or seek, muted and
// soloed channels) that the device thread applies before it renders the
// next buffer, and the device thread publishes where the playback stands
// and how loud it was.
// Owns: nothing (the player is the caller's). Thread: as marked below.
//
//   Playback pb;                      // one per device, outlives it
//   device->start(device->self, pull_source(playback_pull, &pb));
//   playback_start(&pb, player, setup);     // device paused
//   device->pause(device->self, false);
//   ... playback_finished(pb) ...
//   device->pause(device->self, true);
//   playback_stop(&pb);                     // then free the player
#pragma once
#include <atomic>
#include <cstdint>

#include "quillmere/music.h"

constexpr int32_t NO_JUMP = -1;
constexpr int64_t NO_SEEK = -1;
constexpr uint64_t NO_END = UINT64_MAX;
// Device buffers asked for after the last sound before the song counts as
// finished: by then the device has taken every frame of it.
constexpr int32_t BUFFERS_AFTER_END = 2;

struct Playback {
  // Set by the main thread only while the stream is paused; null: silence.
  std::atomic<qm_player*> player{nullptr};

  // Requests, main thread to device thread.
  std::atomic<bool> paused{false};       // true: silence, the song holds its place
  std::atomic<double> gain_db{0.0};      // wanted gain, -60 .. 24 dB
  std::atomic<int32_t> jump_to{NO_JUMP}; // order position to go on at, or NO_JUMP
  std::atomic<int64_t> seek_to{NO_SEEK}; // frame of the song's time to go on at, or NO_SEEK
  std::atomic<uint32_t> muted{0};        // muted channels, bit c: channel c (from 0)
  std::atomic<uint32_t> soloed{0};       // soloed channels, likewise

  // Set by playback_start: where the playback stops (--seconds) and the
  // fade that ends there, put back after every jump or seek (which drop it).
  std::atomic<uint64_t> end_frame{NO_END}; // frame of the song's time it stops at, or NO_END
  std::atomic<uint64_t> fade_end{0};       // frame the fade reaches silence at
  std::atomic<uint64_t> fade_frames{0};    // frames it falls over; 0: no fade

  // Device thread's own: what was last handed to the player.
  std::atomic<double> applied_gain_db{0.0};
  std::atomic<uint32_t> applied_muted{0};
  std::atomic<uint32_t> applied_soloed{0};

  // Published, device thread to main thread.
  std::atomic<int32_t> order{0};            // order position being played
  std::atomic<int32_t> row{0};              // row being played
  std::atomic<uint64_t> frames{0};          // frames rendered since the start
  std::atomic<int32_t> peak_left{0};        // highest |sample| since taken, 0 .. 32768
  std::atomic<int32_t> peak_right{0};
  std::atomic<bool> ended{false};           // the player has rendered its last frame
  std::atomic<int32_t> buffers_after_end{0}; // device buffers asked for since then
};

// How the player handed over was set up (gain, channels, fade) and where it stops.
struct PlaybackSetup {
  double gain_db = 0.0;      // the gain set on it
  uint32_t muted = 0;        // the channels muted on it (bit c: channel c)
  uint32_t soloed = 0;       // the channels soloed on it
  uint64_t end_frame = NO_END; // the frame of the song's time it stops at
  uint64_t fade_end = 0;     // the fade set on it: its end and length in frames (0: none)
  uint64_t fade_frames = 0;
};

// Main thread, stream paused: hands player to the device thread, set up as
// setup says, and clears every request and published value.
void playback_start(Playback* playback, qm_player* player, const PlaybackSetup& setup);
// Main thread, stream paused: the device thread lets go of the player.
void playback_stop(Playback* playback);
// True once the song has ended and the device has taken its last frames.
bool playback_finished(const Playback& playback);
// Main thread: the highest levels since the last call, left and right.
void playback_take_peaks(Playback* playback, int32_t* left, int32_t* right);

// The stream's PullFunction (user is the Playback): applies the requests,
// then renders up to count frames from the player, never past the end
// frame; 0 while paused or after the end.
int32_t playback_pull(void* user, int16_t* frames, int32_t count);
