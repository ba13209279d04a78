// options.h: the command line of quillmere-play.
// Owns: nothing. Thread: main only.
#pragma once
#include <string>
#include <vector>

#include "tools/common/command_line.h"
#include "tools/common/mix_options.h"

constexpr const char* PROGRAM = "quillmere-play";
// Exit statuses (tools/common/status.h): EXIT_OK every file played,
// EXIT_FAILED a file did not play or no sound device opened, EXIT_USAGE a
// bad command line.

struct PlayOptions {
  MixOptions mix;                 // rate, loops, start, gain, separation, mono
  std::vector<std::string> files; // the songs, in the order given
  bool shuffle = false;           // --shuffle: a random order; --list: the order given
  bool quiet = false;             // -q: errors only, no status line
};

// Reads the command line into options; COMMAND_BAD after the refusal.
CommandLine parse_play_options(int argc, const char* const* argv, PlayOptions* options);
// The --help text.
std::string play_help();
