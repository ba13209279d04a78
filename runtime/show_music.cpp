// show_music.cpp: the show's handle-less music calls over the process's
// one ShowOutput (see show_music.h).
// Owns: that instance and the reason of its last failed open.
// Thread: main thread; see show_output.h for the mixer's share.
#include "runtime/show_music.h"

namespace qm {

namespace {

// The show has one sound output, and the calls it makes carry no handle.
// Never destroyed: a process may end while its ring still plays.
ShowOutput& instance = *new ShowOutput;
std::string open_failure;  // why the last open_output failed

}  // namespace

ShowOutput& show_output() { return instance; }

void set_file_callbacks(FileOpenFn open, FileCloseFn close, FileReadFn read, FileSeekFn seek, FileTellFn tell) {
  file_callbacks_set(instance.files, open, close, read, seek, tell);
}

bool file_callbacks_complete() { return file_callbacks_complete(instance.files); }

FileHandle* handle_open(const char* path, uint8_t kind, int32_t user_value) {
  return table_handle_open(instance.files, path, kind, user_value);
}

void handle_close(FileHandle* handle) { table_handle_close(instance.files, handle); }

int32_t handle_read(void* destination, int32_t length, FileHandle* handle) {
  return table_handle_read(instance.files, destination, length, handle);
}

int handle_seek(FileHandle* handle, int32_t offset, int32_t whence) {
  return table_handle_seek(instance.files, handle, offset, whence);
}

int32_t handle_tell(FileHandle* handle) { return table_handle_tell(instance.files, handle); }

void set_audio_device(const AudioDevice* device) { instance.device = device; }

void set_mixer_drive(MixerDrive drive) { instance.drive = drive; }

bool open_output(int32_t rate, int32_t /*reserved*/) {
  open_failure.clear();
  const AudioStatus status = output_open(instance, rate, &open_failure);
  if (status == AUDIO_OK) return true;
  if (open_failure.empty()) open_failure = "no reason given";
  return false;
}

const std::string& last_open_failure() { return open_failure; }

void close_output() { output_close(instance); }

qm_song* load_module(const char* path, qm_load_error* error) { return load_through_table(instance.files, path, error); }

// Stops the playback only when it plays this module: freeing a module that is
// not playing leaves the music of another one running.
bool free_module(qm_song* module) {
  if (module == nullptr) return false;
  while (instance.mix_busy.load(std::memory_order_acquire)) {
  }
  if (instance.current_module == module) output_stop(instance);
  qm_song_free(module);
  return true;
}

bool play_module(const qm_song* module) { return output_play(instance, module) == AUDIO_OK; }

bool stop_module(const qm_song* module) {
  if (module == nullptr) return false;
  output_stop(instance);
  return true;
}

void pump_mixer() { output_pump(instance); }

void fill_block() { output_fill_block(instance); }

RealtimeState realtime_state() {
  RealtimeState s{};
  s.mix_rate = instance.mix_rate;
  s.block_frames = instance.block_frames;
  s.ring_frames = instance.ring_frames;
  s.ramp_length = instance.ramp_length;
  s.ramp_length_inv = instance.ramp_length_inv;
  s.fill_index = instance.fill_index.load(std::memory_order_relaxed);
  s.output_buffer = instance.output_buffer;
  s.current_module = instance.current_module;
  s.player = instance.player;
  return s;
}

uint32_t blocks_published() { return instance.blocks_published.load(std::memory_order_acquire); }

bool mixer_ended() { return instance.mixer_ended.load(std::memory_order_acquire); }

MixerStats mixer_stats() { return instance.stats; }

}  // namespace qm
