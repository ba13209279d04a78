// output.h: the process-wide output state: rate, block and ring sizes, ramp
// length, the voice and channel tables, the ring buffers, the mixer-thread
// flags, and the block fill that serves both the real-time mixer thread and
// offline rendering.
// Owns: everything declared here (one instance per process).
// Thread: main thread while no mixer thread runs; the mixer thread between
// play and stop (only the atomics are shared).
#pragma once
#include <atomic>
#include <cstdint>
#include "music/channel.h"
#include "music/voice.h"

constexpr int32_t BUFFER_LENGTH_MS = 1000;
constexpr int32_t BLOCK_COUNT = 2 * (BUFFER_LENGTH_MS / 20); // 100 blocks in the ring

extern int32_t mix_rate;        // output frames per second; 0 until configured
extern int32_t block_frames;    // frames per block (884 at 44,100 Hz)
extern int32_t ring_frames;     // frames in the ring (100 blocks)
extern int32_t ramp_length;     // frames per gain ramp (128 at 44,100 Hz)
extern float ramp_length_inv;   // 1 / ramp_length
extern Voice voices[VOICE_COUNT];
extern Channel channels[CHANNEL_COUNT];
extern Module* current_module;  // module being played, or null
extern int32_t fill_index;      // next block to fill, 0..BLOCK_COUNT-1
extern int16_t* output_buffer;  // ring_frames stereo 16-bit frames the device plays
extern float* mix_buffer;       // ring_frames stereo float frames, 16-byte aligned

extern std::atomic<bool> stop_request; // main -> mixer: end the loop
extern std::atomic<bool> mix_busy;     // mixer -> main: a block is being filled
extern std::atomic<bool> mixer_ended;  // mixer -> main: no thread inside its loop

// Sets mix_rate, block_frames, ring_frames, ramp_length, ramp_length_inv and
// initialises the 256 voices. False for a rate that gives no whole block.
bool configure_output(int32_t rate);

// The play-start state: module playback fields, tempo, channels bound to
// voices, current_module, fresh zeroed ring and mix buffers, fill_index 0.
// Voices still pointing into another module are emptied. No device, no thread.
bool start_playback(Module* module);

// Mixes the block at fill_index into mix_buffer, converts it into
// output_buffer and advances fill_index (wrapping at BLOCK_COUNT).
void fill_block();

// Releases mix_buffer and output_buffer and forgets current_module.
void release_playback_buffers();

// A platform's sound output: plays a looping ring of 16-bit stereo frames
// and reports a monotonic count of frames played.
struct AudioBackend {
  bool (*open)(int32_t rate);                        // false: no device
  void (*start)(const int16_t* ring, int32_t frames); // loop the ring from frame 0
  uint64_t (*frames_played)();                       // monotonic since start
  void (*reset)();                                   // stop playing, forget the ring
  void (*close)();                                   // release the device
};

// The back end open_output uses; null means no sound output is available.
void set_audio_backend(const AudioBackend* backend);

// Blocks filled since the process started. fill_block adds one with release
// ordering after the block is in output_buffer; a device acquires it before
// it copies frames out of the ring, so every block it plays was published.
extern std::atomic<uint32_t> blocks_published;

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
