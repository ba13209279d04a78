// show_music.h: the calls the show makes of its music code, without a
// handle: each acts on the one ShowOutput of the process (show_output.h),
// which holds the file-operation table, the sound device and the ring.
// Calling order: set_file_callbacks, open_output, load_module, play_module,
// stop_module (also inside free_module), close_output.
// Owns: that one instance. Thread: the show's main thread; playback itself
// runs on the mixer thread (or the owner's pump).
//
// Errors: these calls answer true or false, or a song or null; the reason
// of a failed load is in *error, that of a failed open in the instance's
// last_open_failure().
#pragma once
#include <cstdint>
#include <string>

#include "quillmere/music.h"
#include "runtime/audio_device.h"
#include "runtime/file_callbacks.h"
#include "runtime/show_output.h"

namespace qm {

// The process's one instance, for owners that pass it on explicitly (a
// device on a virtual clock pumps it; tests read it).
ShowOutput& show_output();

// The file-operation table of the instance: all five set, or, when any
// one is null, all emptied.
void set_file_callbacks(FileOpenFn open, FileCloseFn close, FileReadFn read, FileSeekFn seek, FileTellFn tell);
bool file_callbacks_complete();
// The handle layer over the instance's table (see file_callbacks.h).
FileHandle* handle_open(const char* path, uint8_t kind, int32_t user_value);
void handle_close(FileHandle* handle);
int32_t handle_read(void* destination, int32_t length, FileHandle* handle);
int handle_seek(FileHandle* handle, int32_t offset, int32_t whence);
int32_t handle_tell(FileHandle* handle);

// The device open_output opens (null: none) and who refills the ring; both
// take effect at the next open_output / play_module. The device must
// outlive the open output.
void set_audio_device(const AudioDevice* device);
void set_mixer_drive(MixerDrive drive);

// Opens the sound output at rate frames per second (reserved unused).
// False while the file-callback table is incomplete or no device opens.
bool open_output(int32_t rate, int32_t reserved);
// Why the last open_output failed; empty after a success.
const std::string& last_open_failure();
// Resets and closes the output; the ring may be released afterwards.
void close_output();

// Loads an XM file through the file callbacks; null when it cannot be read
// or is refused, with the reason in *error (may be null). Released with
// free_module.
qm_song* load_module(const char* path, qm_load_error* error = nullptr);
// Stops the playback of module, if it is the one playing, and releases it.
// False for null.
bool free_module(qm_song* module);

// Starts module from its beginning: 100 blocks mixed ahead, the device
// looping the ring, the mixer refilling it. False for null or when the
// output is not open.
bool play_module(const qm_song* module);
// Ends the playback in progress and joins the mixer thread. False for null.
bool stop_module(const qm_song* module);

// One poll of the pumped mixer on the caller's thread; nothing while idle.
void pump_mixer();
// Mixes the block at fill_index into the ring (only while a module plays).
void fill_block();

// What the instance holds, for tests and tools; read it on the main thread
// while no mixer thread runs (or only its atomics otherwise).
struct RealtimeState {
  int32_t mix_rate;              // output frames per second; 0 until opened
  int32_t block_frames;          // frames per block (884 at 44,100 Hz); 0 while closed
  int32_t ring_frames;           // frames in the ring (100 blocks); 0 while closed
  int32_t ramp_length;           // frames per gain ramp (128 at 44,100 Hz)
  float ramp_length_inv;         // 1 / ramp_length
  int32_t fill_index;            // next block to fill, 0..BLOCK_COUNT-1
  const int16_t* output_buffer;  // the ring the device plays, null before the first play
  const qm_song* current_module; // the song being played, or null
  const qm_player* player;       // its player, or null
};
RealtimeState realtime_state();
// Blocks filled since the process started (acquire).
uint32_t blocks_published();
bool mixer_ended();
MixerStats mixer_stats();

}  // namespace qm
