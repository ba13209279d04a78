// status.h: the tools' kit, its one exit table and its one error convention.
//
// The kit (this folder; libraries qm_tool_kit and qm_tool_common) is what the
// project's command-line programs share: xmrender, quillmere-play,
// quillmere-capture, quillmere-frames and the show's own command line.
//
//   status.h         this file: exit statuses, Status, messages
//   command_line.h   the option scanner, the parse outcome, --help, --version
//   version.h        the version, made by CMake from project() (generated)
//   stop_signals.h   the stop signals and the table of temporary files
//   atomic_output.h  output files that appear whole or not at all
//   progress_bar.h   the progress bar on standard error
//   json_writer.h    compact JSON text
//   wav_header.h     the RIFF/WAVE header
//   mix_options.h    the mixing options of xmrender and quillmere-play
//
// The error convention. A function that can fail returns a Status: an exit
// status from the table below and, when it failed, a message saying why in
// one sentence without the program's name ("cannot create a file in 'out':
// Permission denied"), and the errno behind it when the system refused.
// Callers pass a failed Status up unchanged or add what they know; only main
// prints it ("program: FILE: message" on standard error, print_failure) and
// returns its code. Nothing below main ends the process: a stop signal is a
// flag every loop looks at (stop_signals.h), and main ends the process by
// it. One exception, the same for every program: the option scanner prints a
// refused command line with the usage itself (command_line.h).
//
// Owns: nothing. Thread: any.
#pragma once
#include <string>

// The exit statuses of every program; each maps its outcomes onto these.
enum ExitStatus : int {
  EXIT_OK = 0,            // everything asked for was done
  EXIT_FAILED = 1,        // an input did not load, an output was refused or not written, no device
  EXIT_USAGE = 2,         // a bad command line, reported with the usage
  EXIT_STRICT = 3,        // --strict, and an input had a warning
  EXIT_SHOW_DATA = 255,   // a picture or the music of the show did not load (the show's status)
};
// A program ended by a stop signal ends by that signal (128 + its number to
// a shell), never with a status of its own: see stop_signals.h.

struct Status {
  ExitStatus code = EXIT_OK;  // EXIT_OK, or what main returns for this failure
  std::string message;        // why, when it failed: one sentence without the program's name
  int error = 0;              // the errno behind the failure; 0 when the system did not refuse
};

inline bool failed(const Status& status) { return status.code != EXIT_OK; }

// A failure with its code, message and errno (0: none).
Status failure(ExitStatus code, std::string message, int error = 0);

// Prints "program: subject: message" on standard error; without a subject
// (empty), "program: message".
void print_failure(const char* program, const std::string& subject, const std::string& message);

// 'path', as messages quote a file name.
std::string quoted(const std::string& path);
