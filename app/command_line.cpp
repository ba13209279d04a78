// command_line.cpp: parses the show's options and writes its own messages.
// Owns: nothing. Touches: standard output and standard error.
// Thread: main thread.
#include "app/command_line.h"

#include <cstdarg>
#include <cstdio>


namespace {

constexpr const char* PROGRAM = "quillmere";
constexpr const char* USAGE = "usage: quillmere [--data DIR] [--window] [--mute]\n"
                              "       quillmere --help | --version\n";

constexpr const char* HELP =
    "Quillmere plays a self-running audiovisual demo: 30.72 seconds of pictures\n"
    "and music. Esc or closing the window ends it.\n"
    "\n"
    "Options:\n"
    "  --data DIR  read the nine pictures and typing.xm from DIR\n"
    "              (default: the current folder)\n"
    "  --window    show the 512 x 384 frames in a window at twice their size\n"
    "              instead of full screen\n"
    "  --mute      open no sound device and play no music\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status: 0 at the end of the show and on Esc or close, 1 when no\n"
    "display opens, 255 when a picture or the music does not load, 2 for a\n"
    "bad command line.\n";

// Refuses the command line: "quillmere: why 'what'", then the usage.
CommandLine refuse(OptionScanner* s, const char* why, const char* what) {
  return scan_refuse(s, std::string(why) + " " + quoted(what));
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv, ShowOptions& options) {
  OptionScanner s = scan_begin(PROGRAM, USAGE, argc, argv);
  while (scan_next(&s)) {
    if (const CommandLine c = scan_help_or_version(s); c != COMMAND_RUN) return c;
    const char* dir = nullptr;
    if (!s.is_option) return refuse(&s, "unexpected argument", s.arg);
    if (scan_flag(s, "--window")) {
      options.window = true;
    } else if (scan_flag(s, "--mute")) {
      options.mute = true;
    } else if (scan_value(&s, "--data", &dir)) {
      if (!dir || !*dir) return refuse(&s, "option needs a folder:", "--data");
      options.data_dir = dir;
    } else {
      return refuse(&s, "unknown option", s.arg);
    }
  }
  return COMMAND_RUN;
}

ExitStatus print_help() { return print_text(PROGRAM, std::string(USAGE) + "\n" + HELP); }

ExitStatus print_version() { return ::print_version(PROGRAM); }

void report(const char* format, ...) {
  std::fputs("quillmere: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}
