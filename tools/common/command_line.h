// command_line.h: the one option scanner of every program, the parse
// outcome, numbers in option values, and --help and --version.
//
// Conventions, the same in every program: "--name VALUE" and "--name=VALUE";
// a short option's value also attached ("-j4", "-oout.wav"); "--" ends the
// options; "-" alone is an argument (standard input or output); "-h",
// "--help" and "--version" win wherever they stand, printed on standard
// output with status 0 (EXIT_FAILED when standard output cannot take them).
// A refused command line is printed by the scanner as "program: message"
// on standard error, followed by the usage, and the parse returns
// COMMAND_BAD; main then exits with EXIT_USAGE.
//
// Owns: nothing. Touches: standard output (help, version) and standard error
// (refusals). Thread: main.
//
//   OptionScanner s = scan_begin("xmrender", USAGE, argc, argv);
//   while (scan_next(&s)) {      // false after the last argument, or once refused
//     if (const CommandLine c = scan_help_or_version(s); c != COMMAND_RUN) return c;
//     const char* v = nullptr;
//     if (!s.is_option) inputs.push_back(s.arg);
//     else if (scan_flag(s, "-q", "--quiet")) quiet = true;
//     else if (scan_value(&s, "-o", &v)) { if (!v) return scan_refuse(&s, "-o: wants a file name"); ... }
//     else if (!parse_mix_option(&s, &mix)) return scan_refuse(&s, "unknown option " + quoted(s.arg));
//   }
//   if (s.refused) return COMMAND_BAD;   // a sub-parser refused a value
//   ...
//   main: const CommandLine c = parse(...); if (c != COMMAND_RUN) return command_line_done(c, PROGRAM, help);
#pragma once
#include <cstdint>
#include <string>

#include "tools/common/status.h"

// What a command line asks for.
enum CommandLine {
  COMMAND_RUN,      // run with the parsed options
  COMMAND_HELP,     // print the help on standard output, status 0
  COMMAND_VERSION,  // print the version on standard output, status 0
  COMMAND_BAD,      // already refused on standard error (with the usage): status EXIT_USAGE
};

// Walks argv one argument at a time.
struct OptionScanner {
  const char* program = "";          // the name refusals begin with
  const char* usage = nullptr;       // printed after a refusal; null: none
  int argc = 0;
  const char* const* argv = nullptr;
  int index = 0;                     // argv index of the current argument
  const char* arg = nullptr;         // the current argument
  bool is_option = false;            // it starts with '-', is not "-" alone and comes before "--"
  bool after_dashes = false;         // a "--" ended the options
  bool refused = false;              // scan_refuse was called: the command line is bad
};

OptionScanner scan_begin(const char* program, const char* usage, int argc, const char* const* argv);
// Moves to the next argument; false after the last, and once the command
// line was refused. The first "--" is taken here (it only sets
// after_dashes), a later one is an argument.
bool scan_next(OptionScanner* s);
// COMMAND_HELP for -h or --help, COMMAND_VERSION for --version, else COMMAND_RUN.
CommandLine scan_help_or_version(const OptionScanner& s);
// True when the current argument is the option name (or its other name).
bool scan_flag(const OptionScanner& s, const char* name, const char* other_name = nullptr);
// True when the current argument is the option name with a value: "NAME
// VALUE" (the next argument is taken, whatever it is), "NAME=VALUE", or for
// a one-letter name "-xVALUE". *value is null when the value is missing.
bool scan_value(OptionScanner* s, const char* name, const char** value);

// Whether a refusal is followed by the usage.
enum Usage { WITH_USAGE, WITHOUT_USAGE };
// Prints "program: message" and (WITH_USAGE, when the scanner has one) the
// usage on standard error, and marks the scanner refused; returns
// COMMAND_BAD. An option's own parser (parse_mix_option) refuses a bad value
// this way and still says the option was its own.
CommandLine scan_refuse(OptionScanner* s, const std::string& message, Usage usage = WITH_USAGE);

// A whole decimal number in lo..hi, or a finite number in lo..hi, and
// nothing else around it; false for anything else.
bool parse_whole(const char* text, int64_t lo, int64_t hi, int64_t* value);
bool parse_real(const char* text, double lo, double hi, double* value);

// Writes text on standard output and flushes it: EXIT_OK, or EXIT_FAILED
// with "program: standard output: reason" on standard error.
ExitStatus print_text(const char* program, const std::string& text);
// Prints "program VERSION" (the version of project() in CMake) the same way.
ExitStatus print_version(const char* program);
// What main does with an outcome other than COMMAND_RUN: the help or the
// version printed, or the usage status after a refusal.
ExitStatus command_line_done(CommandLine outcome, const char* program, const std::string& help);
