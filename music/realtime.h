// realtime.h: the show's real-time music output, a thin layer on one Player:
// a ring of 100 blocks that the sound device plays as an endless loop, all
// mixed before the device starts, and a mixer thread that refills every block
// the device has left behind, through the same pull render any program uses.
// After a stop the device goes on looping the ring until the output closes.
// The calls the show makes (music/music.h) act on the one instance of this
// layer, which also holds the five-slot file-callback table the show loads
// its module through. Nothing else in the music code keeps mutable state.
// Owns: that instance (see realtime.cpp).
// Thread: open/close/play/stop on the main thread; the mixer thread between
// play and stop; the device's own thread reads the ring (only atomics are
// shared).
#pragma once
#include <atomic>
#include <cstdint>

#include "music/module.h"

namespace qm {

struct Player;

constexpr int32_t BUFFER_LENGTH_MS = 1000;
constexpr int32_t BLOCK_COUNT = 2 * (BUFFER_LENGTH_MS / 20); // 100 blocks in the ring

// A platform's sound output: plays a looping ring of 16-bit stereo frames
// and reports a monotonic count of frames played. self is handed to each.
struct AudioBackend {
  void* self;                                                     // the back end's own state
  bool (*open)(void* self, int32_t rate);                         // false: no device
  void (*start)(void* self, const int16_t* ring, int32_t frames); // loop the ring from frame 0
  uint64_t (*frames_played)(void* self);                          // monotonic since start
  void (*reset)(void* self);                                      // stop playing, forget the ring
  void (*close)(void* self);                                      // release the device
};

// The back end open_output uses; null means no sound output is available.
// The back end must outlive the open output.
void set_audio_backend(const AudioBackend* backend);

// Who keeps the ring filled between play and stop: the mixer thread, polling
// the device every 5 ms (the desktop), or the owner's own loop calling
// pump_mixer (a platform without threads, or a device on a virtual clock).
enum MixerDrive { MIXER_THREAD, MIXER_PUMPED };
// Takes effect at the next play_module.
void set_mixer_drive(MixerDrive drive);
// One poll of the mixer loop, on the caller's thread: reads the device's
// position and refills every block it has left behind. Pumped drive only;
// does nothing while no module plays.
void pump_mixer();

// What the layer holds, for tests and tools; read it on the main thread
// while no mixer thread runs (or only its atomics otherwise).
struct RealtimeState {
  int32_t mix_rate;          // output frames per second; 0 until opened
  int32_t block_frames;      // frames per block (884 at 44,100 Hz); 0 while closed
  int32_t ring_frames;       // frames in the ring (100 blocks); 0 while closed
  int32_t ramp_length;       // frames per gain ramp (128 at 44,100 Hz)
  float ramp_length_inv;     // 1 / ramp_length
  int32_t fill_index;        // next block to fill, 0..BLOCK_COUNT-1
  const int16_t* output_buffer; // the ring the device plays, null before the first play
  const float* mix_buffer;   // the float block being mixed, null while idle
  const Module* current_module; // the module being played, or null
  const Player* player;      // its player, or null
};
RealtimeState realtime_state();

// Mixes the block at fill_index into the ring and advances fill_index
// (wrapping at BLOCK_COUNT). Only while a module plays.
void fill_block();

// Blocks filled since the process started. fill_block adds one with release
// ordering after the block is in the ring; a device acquires it before it
// copies frames out of the ring, so every block it plays was published.
uint32_t blocks_published();
bool mixer_ended();

// How the mixer thread kept ahead of the device during the last playback.
// Written by the mixer thread; read it on the main thread after stop_module.
struct MixerStats {
  int64_t min_lead_frames;  // least frames mixed ahead of the device seen at a poll
  int32_t late_blocks;      // blocks the device reached before they were refilled
  int32_t polls;            // position reads
  int64_t blocks_refilled;  // blocks filled by the thread (not the pre-fill)
  int64_t cpu_ns;           // CPU time the thread used, nanoseconds
  int64_t wall_ns;          // the thread's lifetime, nanoseconds
  bool realtime;            // real-time scheduling was granted
};
MixerStats mixer_stats();

}  // namespace qm
