// options.h: the command line of quillmere-play.
// Owns: nothing. Thread: main only.
#pragma once
#include <string>
#include <vector>

#include "tools/common/command_line.h"
#include "tools/common/length_options.h"
#include "tools/common/mix_options.h"

constexpr const char* PROGRAM = "quillmere-play";
// Exit statuses (tools/common/status.h): EXIT_OK every file played,
// EXIT_FAILED a file did not play or no sound device opened, EXIT_USAGE a
// bad command line.

// A song, or a playlist of songs, named on the command line.
struct PlayInput {
  std::string path;
  bool playlist = false; // -@ FILE, or a name ending in .m3u or .m3u8
};

struct PlayOptions {
  MixOptions mix;                 // rate, loops, start, gain, separation, mono, mute, solo
  LengthOptions length;           // --seconds, --fade, --start-time
  std::vector<PlayInput> inputs;  // songs and playlists, in the order given
  bool loop_all = false;          // -L, --loop-all: the whole list again after its last song
  bool shuffle = false;           // --shuffle: a random order; --list: the order given
  bool quiet = false;             // -q: errors only, no status line
};

// Reads the command line into options; COMMAND_BAD after the refusal.
CommandLine parse_play_options(int argc, const char* const* argv, PlayOptions* options);
// The --help text.
std::string play_help();
// The key table, as --help and the help key show it.
extern const char* const PLAY_KEYS_HELP;
