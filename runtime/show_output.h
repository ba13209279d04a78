// show_output.h: the show's real-time music output as one explicit context:
// a ring of 100 blocks that a sound device plays as an endless loop, all
// mixed before the device starts, and a mixer loop that refills every block
// the device has left behind, through the engine's pull render. After a stop
// the device goes on looping the ring until the output closes. The context
// also holds the table of file operations the show loads its module through.
// The show's own calls without a handle (show_music.h) act on one instance.
// Owns: the ring and the player of the song being played; the mixer thread
// between play and stop. Touches: the sound device through its AudioDevice.
// Thread: open/close/play/stop on the owner's thread; the mixer thread (or
// the owner's pump) between play and stop; the device's thread reads the ring.
// Only atomics are shared between them.
//
// Errors: calls that can fail return an AudioStatus, with the reason in an
// optional string.
//
//   ShowOutput out;
//   out.device = sdl_audio_device_create();
//   if (output_open(out, 44100, &why) == AUDIO_OK) output_play(out, song);
//   ... output_stop(out); output_close(out);
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <thread>

#include "quillmere/music.h"
#include "runtime/audio_device.h"
#include "runtime/file_callbacks.h"

namespace qm {

constexpr int32_t BUFFER_LENGTH_MS = 1000;
constexpr int32_t BLOCK_COUNT = 2 * (BUFFER_LENGTH_MS / 20); // 100 blocks in the ring
constexpr int32_t SHOW_MIX_RATE = 44100;                       // the show's output rate

// Frames per block at rate: 20 ms raised to a multiple of 4 frames, the same
// block the engine mixes at a time (qm_player_block_frames).
constexpr int32_t output_block_frames(int32_t rate) { return (rate * 20 / 1000 + 3) & ~3; }

// Who keeps the ring filled between play and stop: a mixer thread polling
// the device every 5 ms (the desktop), or the owner's own loop calling
// output_pump (a platform without threads, or a device on a virtual clock).
enum MixerDrive { MIXER_THREAD, MIXER_PUMPED };

// How the mixer kept ahead of the device during the last playback. Written
// by the mixer; read it on the owner's thread after output_stop.
struct MixerStats {
  int64_t min_lead_frames;  // least frames mixed ahead of the device seen at a poll
  int32_t late_blocks;      // blocks the device reached before they were refilled
  int32_t polls;            // position reads
  int64_t blocks_refilled;  // blocks filled by the mixer (not the pre-fill)
  int64_t cpu_ns;           // CPU time the mixer thread used, nanoseconds
  int64_t wall_ns;          // the mixer thread's lifetime, nanoseconds
  bool realtime;            // the device raised the thread's priority
};

struct ShowOutput {
  FileCallbacks files{};                 // the show's file operations, all set or all null
  const AudioDevice* device = nullptr;   // the sound device; null: no sound output
  MixerDrive drive = MIXER_THREAD;       // takes effect at the next play
  bool output_open = false;              // the device is open
  int32_t mix_rate = 0;                  // frames per second of the open output
  int32_t block_frames = 0;              // frames per block; 0 while closed
  int32_t ring_frames = 0;               // frames in the ring; 0 while closed
  int32_t ramp_length = 0;               // frames per gain ramp of the engine at mix_rate
  float ramp_length_inv = 0.0f;          // 1 / ramp_length
  bool pumping = false;                  // a pumped playback is in progress
  qm_player* player = nullptr;           // plays current_module; null while idle
  const qm_song* current_module = nullptr; // the song being played
  // Next block to fill. Written only by whoever fills (the mixer during play).
  std::atomic<int32_t> fill_index{0};
  int16_t* output_buffer = nullptr;      // the ring; kept after stop while the device loops it
  RingReader reader;                     // the device's place in the ring, for devices that pull
  std::thread mixer_thread;              // joinable between play and stop
  // Frames mixed into the ring since the device started: the ring's blocks,
  // then one block per refill. The mixer's between play and stop.
  int64_t frames_mixed = 0;
  MixerStats stats{};                    // the mixer's between play and stop
  std::atomic<bool> stop_request{false}; // owner -> mixer: end the loop
  std::atomic<bool> mix_busy{false};     // mixer -> owner: a block is being filled
  std::atomic<bool> mixer_ended{true};   // mixer -> owner: no thread inside its loop
  std::atomic<uint32_t> blocks_published{0}; // blocks filled; release after each
};

// Opens out.device at rate. AUDIO_NOT_READY while the file-operation table
// is incomplete, AUDIO_BAD_ARGUMENT for a rate the engine refuses,
// AUDIO_NO_DEVICE (with the device's reason) when no device opens. An
// output left open is closed first.
AudioStatus output_open(ShowOutput& out, int32_t rate, std::string* why);
// Ends any playback, resets and closes the device, releases the ring.
void output_close(ShowOutput& out);
// Starts song from its beginning, looping with the song forever: the ring
// mixed ahead, the device started on it, the mixer refilling it. A
// playback in progress ends first. AUDIO_NOT_READY without an open output,
// AUDIO_BAD_ARGUMENT for a null song, AUDIO_OUT_OF_MEMORY, AUDIO_NO_THREAD
// (nothing plays then).
AudioStatus output_play(ShowOutput& out, const qm_song* song);
// Ends the playback in progress (the mixer thread joined); the device goes
// on looping the ring. Does nothing when nothing plays.
void output_stop(ShowOutput& out);
// Mixes the block at fill_index into the ring and advances fill_index.
void output_fill_block(ShowOutput& out);
// One poll of the mixer loop on the caller's thread: the device's position,
// then a refill of every block it has left behind. Pumped playback only.
void output_pump(ShowOutput& out);

}  // namespace qm
