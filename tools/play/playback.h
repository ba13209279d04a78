// playback.h: one song's playback, shared between the main thread, which
// reads keys and draws the status line, and the sound device's thread,
// which renders from the player. Only atomics cross between the threads:
// the main thread posts requests (pause, gain, a jump) that the device
// thread applies before it renders the next buffer, and the device thread
// publishes where the playback stands and how loud it was.
// Owns: nothing (the player is the caller's). Thread: as marked below.
//
//   Playback pb;                      // one per device, outlives it
//   device->start(device->self, pull_source(playback_pull, &pb));
//   playback_start(&pb, player, gain_db);   // device paused
//   device->pause(device->self, false);
//   ... playback_finished(pb) ...
//   device->pause(device->self, true);
//   playback_stop(&pb);                     // then free the player
#pragma once
#include <atomic>
#include <cstdint>

#include "quillmere/music.h"

constexpr int32_t NO_JUMP = -1;
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

  // Device thread's own: the gain last handed to the player, in dB.
  std::atomic<double> applied_gain_db{0.0};

  // Published, device thread to main thread.
  std::atomic<int32_t> order{0};            // order position being played
  std::atomic<int32_t> row{0};              // row being played
  std::atomic<uint64_t> frames{0};          // frames rendered since the start
  std::atomic<int32_t> peak_left{0};        // highest |sample| since taken, 0 .. 32768
  std::atomic<int32_t> peak_right{0};
  std::atomic<bool> ended{false};           // the player has rendered its last frame
  std::atomic<int32_t> buffers_after_end{0}; // device buffers asked for since then
};

// Main thread, stream paused: hands player to the device thread, with the
// gain already set on it, and clears every request and published value.
void playback_start(Playback* playback, qm_player* player, double gain_db);
// Main thread, stream paused: the device thread lets go of the player.
void playback_stop(Playback* playback);
// True once the song has ended and the device has taken its last frames.
bool playback_finished(const Playback& playback);
// Main thread: the highest levels since the last call, left and right.
void playback_take_peaks(Playback* playback, int32_t* left, int32_t* right);

// The stream's PullFunction (user is the Playback): applies the requests,
// then renders up to count frames from the player; 0 while paused or after
// the end.
int32_t playback_pull(void* user, int16_t* frames, int32_t count);
