// options.h: xmrender's command line: what it asks for, its checks, and the
// --help text. The mixing options are those of tools/common/mix_options.h,
// shared with the real-time player.
// Owns: nothing. Thread: main.
//
//   Options o;
//   const CommandLine c = parse_command_line(argc, argv, &o);
//   if (c != COMMAND_RUN) return command_line_done(c, PROGRAM, xmrender_help());
#pragma once
#include <string>
#include <vector>

#include "tools/common/command_line.h"
#include "tools/common/length_options.h"
#include "tools/common/mix_options.h"
#include "tools/common/progress_bar.h"
#include "tools/xmrender/formats.h"

constexpr const char* PROGRAM = "xmrender";
// Exit statuses (tools/common/status.h): EXIT_FAILED a song did not load or
// its output could not be written, EXIT_USAGE a bad command line,
// EXIT_STRICT --strict and a song had a warning.

constexpr int MAX_JOBS = 64;
// A render without --seconds stops after an hour for each play asked for
// (--loops N: N hours), in case the song never comes back to a row it played.
constexpr uint64_t CAP_SECONDS_PER_PLAY = 3600;

struct Options {
  std::vector<std::string> inputs;  // songs, in the order given
  std::string output;               // -o FILE, or a pattern with %n; "-": standard output
  std::string out_dir;              // --out-dir DIR
  bool format_given = false;        // --format NAME was given
  Format format;                    // its format
  MixOptions mix;                   // --rate, --loops, --start, --gain, --stereo-separation, --mono
  LengthOptions length;             // --seconds, --fade, --start-time
  bool info = false;                // --info
  bool json = false;                // --json (with --info)
  bool trace = false;               // --trace: row ticks on standard output
  bool strict = false;              // --strict: a warning fails the file (status 3)
  bool quiet = false;               // -q: only warnings and errors
  bool no_clobber = false;          // --no-clobber: never replace an existing file
  ProgressMode progress = ProgressMode::AUTO;  // --progress / --no-progress
  int jobs = 1;                     // -j N: songs rendered at once, 1..MAX_JOBS
};

// Reads the command line into options; COMMAND_BAD after the refusal.
CommandLine parse_command_line(int argc, const char* const* argv, Options* options);
// The --help text.
std::string xmrender_help();
