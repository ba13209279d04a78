// command_line.cpp: parses the show's options and writes its own messages.
// Owns: nothing. Touches: standard output and standard error.
// Thread: main thread.
#include "app/command_line.h"

#include <cstdarg>
#include <cstdio>
#include <cstring>

#include "common/version.h"

namespace {

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

// Reports why the command line is refused, then the usage.
CommandLine refuse(const char* why, const char* what) {
  std::fprintf(stderr, "quillmere: %s '%s'\n%s", why, what, USAGE);
  return COMMAND_BAD;
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv, ShowOptions& options) {
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) return COMMAND_HELP;
    if (!std::strcmp(a, "--version")) return COMMAND_VERSION;
    if (!std::strcmp(a, "--window")) {
      options.window = true;
    } else if (!std::strcmp(a, "--mute")) {
      options.mute = true;
    } else if (!std::strcmp(a, "--data") || !std::strncmp(a, "--data=", 7)) {
      const char* dir = a[6] == '=' ? a + 7 : (i + 1 < argc ? argv[++i] : nullptr);
      if (!dir || !*dir) return refuse("option needs a folder:", "--data");
      options.data_dir = dir;
    } else if (a[0] == '-') {
      return refuse("unknown option", a);
    } else {
      return refuse("unexpected argument", a);
    }
  }
  return COMMAND_RUN;
}

void print_help() {
  std::fputs(USAGE, stdout);
  std::fputs("\n", stdout);
  std::fputs(HELP, stdout);
}

void print_version() { std::printf("quillmere %s\n", QUILLMERE_VERSION); }

void report(const char* format, ...) {
  std::fputs("quillmere: ", stderr);
  va_list args;
  va_start(args, format);
  std::vfprintf(stderr, format, args);
  va_end(args);
  std::fputc('\n', stderr);
}
