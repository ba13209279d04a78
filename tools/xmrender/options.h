// options.h: xmrender's command line: what it asks for, its checks, and the
// --help text. The mixing options are those of tools/common/mix_options.h,
// shared with the real-time player.
// Owns: nothing. Thread: main.
//
//   Options o;
//   switch (parse_command_line(argc, argv, &o)) {
//     case PARSE_RUN: ...; case PARSE_DONE: return 0; case PARSE_USAGE: return 2;
//   }
#pragma once
#include <string>
#include <vector>

#include "tools/common/mix_options.h"
#include "tools/xmrender/formats.h"

constexpr const char* PROGRAM = "xmrender";
constexpr const char* PROGRAM_VERSION = "1.0.0";

// Exit statuses.
constexpr int EXIT_FILE_FAILED = 1;  // a file did not load or its output could not be written
constexpr int EXIT_USAGE = 2;        // a bad command line
constexpr int EXIT_STRICT = 3;       // --strict, and a file had a warning

constexpr int MAX_JOBS = 64;
constexpr double MAX_SECONDS = 86400.0;  // --seconds and --fade
// A render without --seconds stops after an hour for each play asked for
// (--loops N: N hours), in case the song never comes back to a row it played.
constexpr uint64_t CAP_SECONDS_PER_PLAY = 3600;

enum class Progress { AUTO, ON, OFF };

struct Options {
  std::vector<std::string> inputs;  // songs, in the order given
  std::string output;               // -o FILE, or a pattern with %n; "-": standard output
  std::string out_dir;              // --out-dir DIR
  bool format_given = false;        // --format NAME was given
  Format format;                    // its format
  MixOptions mix;                   // --rate, --loops, --start, --gain, --stereo-separation, --mono
  bool loops_given = false;         // --loops was given (else: 1, or without end with --seconds)
  double seconds = 0.0;             // --seconds: length in seconds, 0 < s <= MAX_SECONDS; 0: not given
  double fade = 0.0;                // --fade: seconds of linear fade at the end, 0: none
  bool info = false;                // --info
  bool json = false;                // --json (with --info)
  bool trace = false;               // --trace: row ticks on standard output
  bool strict = false;              // --strict: a warning fails the file (status 3)
  bool quiet = false;               // -q: only warnings and errors
  bool no_clobber = false;          // --no-clobber: never replace an existing file
  Progress progress = Progress::AUTO;  // --progress / --no-progress
  int jobs = 1;                     // -j N: songs rendered at once, 1..MAX_JOBS
};

enum ParseResult {
  PARSE_RUN,    // options filled in: go on
  PARSE_DONE,   // --help or --version was printed: exit 0
  PARSE_USAGE,  // a message was printed: exit EXIT_USAGE
};

ParseResult parse_command_line(int argc, char** argv, Options* options);
