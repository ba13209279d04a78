// options.h: the command line of quillmere-play.
// Owns: nothing. Thread: main only.
#pragma once
#include <string>
#include <vector>

#include "tools/common/mix_options.h"

constexpr const char* PROGRAM = "quillmere-play";
constexpr const char* PROGRAM_VERSION = "1.0.0";

// Exit statuses.
constexpr int EXIT_ALL_PLAYED = 0;
constexpr int EXIT_FAILED = 1; // a file did not play, or no sound device
constexpr int EXIT_USAGE = 2;  // a bad command line

struct PlayOptions {
  MixOptions mix;                 // rate, loops, start, gain, separation, mono
  std::vector<std::string> files; // the songs, in the order given
  bool shuffle = false;           // --shuffle: a random order; --list: the order given
  bool quiet = false;             // -q: errors only, no status line
};

enum ParseOutcome {
  PARSE_PLAY,      // play with the options
  PARSE_DONE,      // --help or --version printed: exit 0
  PARSE_BAD_USAGE, // a message is printed: exit EXIT_USAGE
};

ParseOutcome parse_play_options(int argc, char** argv, PlayOptions* options);
