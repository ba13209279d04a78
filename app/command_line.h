// command_line.h: the show's command line and its own messages.
// Owns: nothing. Touches: standard output (help, version) and standard error
// (messages, usage). Thread: main thread.
//
//   quillmere [--data DIR] [--window] [--mute]
//   quillmere --help | --version
#pragma once
#include <string>

#include "tools/common/command_line.h"

// How the show runs.
struct ShowOptions {
  std::string data_dir; // folder of the nine pictures and typing.xm; empty: the working directory
  bool window = false;  // a window at twice the frame's size instead of full screen
  bool mute = false;    // no sound device opened, no music loaded or played
};

// The status of a command line that cannot be run, in the tools' one exit
// table (tools/common/status.h).
constexpr int STATUS_BAD_COMMAND_LINE = EXIT_USAGE;

// Parses argv into options with the tools' option scanner
// (tools/common/command_line.h). A bad command line is reported on standard
// error, with the usage, before it returns COMMAND_BAD.
CommandLine parse_command_line(int argc, const char* const* argv, ShowOptions& options);

// Prints what --help and --version print, on standard output: EXIT_OK, or
// EXIT_FAILED (with the reason on standard error) when it cannot be written.
ExitStatus print_help();
ExitStatus print_version();

// Writes "quillmere: MESSAGE\n" on standard error, printf-style.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

