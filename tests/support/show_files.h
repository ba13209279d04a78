// show_files.h: the show's music calls as tests use them: file callbacks
// over stdio or over one buffer in memory, a module loaded through the
// show's load_module, and shorthands that hand the engine's song to the
// show's calls.
// Owns: the in-memory file set by set_memory_file (a borrowed pointer) and
// the callbacks it installs (the show's table is process-wide).
// Thread: the test's thread; not for concurrent use.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "music/module.h"
#include "quillmere/music.h"
#include "runtime/show_music.h"

// Installs <cstdio>-backed file callbacks (open "rb", close, read, seek with
// whence 0/1/2, tell) as the music code's table.
void install_stdio_callbacks();
// Installs callbacks that read from one in-memory buffer: opening any path
// gives a stream over the buffer set by set_memory_file (null when unset).
void install_memory_callbacks();
void set_memory_file(const uint8_t* data, size_t size);

// The engine's song and the public API's handle of it are one record; the
// show's calls take the handle. Shorthands for tests that hold the engine's.
namespace qm {
inline qm_song* as_song(Module* module) { return reinterpret_cast<qm_song*>(module); }
inline Module* as_module(qm_song* song) { return reinterpret_cast<Module*>(song); }
inline bool free_module(Module* module) { return free_module(as_song(module)); }
inline bool play_module(Module* module) { return play_module(as_song(module)); }
inline bool stop_module(Module* module) { return stop_module(as_song(module)); }
}  // namespace qm

// Loads a module from bytes through the real load_module: the bytes go to a
// temporary file, read with the stdio callbacks (installed here).
qm::Module* load_module_from_bytes(const std::vector<uint8_t>& bytes);
