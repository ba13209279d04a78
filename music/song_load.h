// song_load.h: loading an XM song from any byte source into one block of
// memory, with a reason for every refusal and warnings for every repair.
// Owns: nothing process-wide; a loaded song is one block the caller frees
// with free_song.
// Thread: any; loads share no state, so several may run at once.
//
// Call: load_song_file, load_song_memory or load_song (callbacks); each sets
// *out to a new song (QM_OK) or to null and fills *error (may be null) with
// the status and a sentence naming what was wrong. The song never changes
// after the load; free_song releases it (it knows nothing of playback).
#pragma once
#include <cstddef>
#include <cstdint>

#include "music/module.h"
#include "quillmere/music.h"

namespace qm {

// Largest song block a load allocates: 1 GiB. Bigger songs are refused with
// QM_ERROR_OUT_OF_MEMORY and the size they would need.
constexpr uint64_t SONG_MEMORY_LIMIT = uint64_t{1} << 30;

// How a load allocates and what it takes. allocate returns zero-filled bytes
// (null on failure) that std::free releases; null means std::calloc.
// memory_limit 0 means SONG_MEMORY_LIMIT. Tests count and fail allocations
// through these. strict takes only what a version 1.04 file with at most 16
// unpacked samples per instrument holds (the rules the show loads by).
struct SongLoadOptions {
  void* (*allocate)(void* context, size_t bytes);
  void* context;
  uint64_t memory_limit;
  bool strict;
};

// Bytes of the bookkeeping a load allocates besides the song (reader, plan,
// scratch records); released before the load returns.
size_t song_load_bookkeeping_bytes();

qm_status load_song(const qm_io* io, void* user, Module** out, qm_load_error* error);
qm_status load_song_file(const char* path, Module** out, qm_load_error* error);
qm_status load_song_memory(const void* data, size_t size, Module** out, qm_load_error* error);
// The loads with options (null: the defaults).
qm_status load_song_with(const qm_io* io, void* user, const SongLoadOptions* options, Module** out,
                         qm_load_error* error);
qm_status load_song_file_with(const char* path, const SongLoadOptions* options, Module** out, qm_load_error* error);
qm_status load_song_memory_with(const void* data, size_t size, const SongLoadOptions* options, Module** out,
                                qm_load_error* error);
// Releases a song from any load_song* (one free); null does nothing.
void free_song(Module* song);

}  // namespace qm
