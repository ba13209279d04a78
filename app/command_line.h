// command_line.h: the show's command line and its own messages.
// Owns: nothing. Touches: standard output (help, version) and standard error
// (messages, usage). Thread: main thread.
//
//   quillmere [--data DIR] [--window] [--mute]
//   quillmere --help | --version
#pragma once
#include <string>

// How the show runs.
struct ShowOptions {
  std::string data_dir; // folder of the nine pictures and typing.xm; empty: the working directory
  bool window = false;  // a window at twice the frame's size instead of full screen
  bool mute = false;    // no sound device opened, no music loaded or played
};

// What the command line asks for.
enum CommandLine {
  COMMAND_RUN,     // run the show with the parsed options
  COMMAND_HELP,    // print the help on standard output, status 0
  COMMAND_VERSION, // print the version on standard output, status 0
  COMMAND_BAD,     // already reported with the usage on standard error, status 2
};

// The status of a command line that cannot be run.
constexpr int STATUS_BAD_COMMAND_LINE = 2;

// Parses argv into options. A bad command line is reported on standard
// error, with the usage, before it returns COMMAND_BAD.
CommandLine parse_command_line(int argc, const char* const* argv, ShowOptions& options);

// Prints what --help and --version print, on standard output.
void print_help();
void print_version();

// Writes "quillmere: MESSAGE\n" on standard error, printf-style.
void report(const char* format, ...) __attribute__((format(printf, 1, 2)));

