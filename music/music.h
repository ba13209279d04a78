// music.h: what the show calls of the music code, all acting on the one
// instance of the show's real-time layer (realtime.h).
// Calling order: set_file_callbacks, open_output, load_module, play_module,
// stop_module (also inside free_module), close_output.
// Thread: main thread; playback itself runs on the mixer thread.
#pragma once
#include <cstdint>
#include "music/file_callbacks.h"
#include "music/module.h"
#include "quillmere/music.h"

namespace qm {

// Opens the sound output at rate frames per second (reserved unused).
// False while the file-callback table is incomplete or no device opens.
bool open_output(int32_t rate, int32_t reserved);
// Resets and closes the output; the ring may be released afterwards.
void close_output();

// Loads an XM file through the file callbacks; null when it cannot be read
// or is refused, with the reason in *error (may be null). The result is
// released with free_module.
Module* load_module(const char* path, qm_load_error* error = nullptr);
// Stops the playback of module, if it is the one playing, and releases it.
// False for null.
bool free_module(Module* module);
// Releases a song that no output plays.
void free_song(Module* song);

// Starts module from its beginning: 100 blocks mixed ahead, the device
// looping the ring, the mixer thread refilling it. False for null or when
// the output is not open.
bool play_module(Module* module);
// Ends the playback in progress and joins the mixer thread. False for null.
bool stop_module(Module* module);

}  // namespace qm
