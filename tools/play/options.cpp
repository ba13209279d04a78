// options.cpp: parsing of quillmere-play's command line; the mixing options
// go through the parser xmrender uses, so both play the same thing.
// Owns: nothing. Thread: main only.
#include "tools/play/options.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const USAGE = "usage: quillmere-play [OPTION]... SONG.xm...\n";

const char* const HELP_INTRO =
    "Plays XM modules through the default sound device, one after another.\n"
    "\n"
    "Options:\n"
    "  --list                   play the files in the order given (the default)\n"
    "  --shuffle                play the files in a random order\n"
    "  -q, --quiet              print errors only (no status line, no warnings)\n"
    "  -h, --help               print this help and exit\n"
    "  --version                print the version and exit\n"
    "  --                       the arguments after it are files\n"
    "\n"
    "Mixing, as in xmrender:\n";

const char* const HELP_KEYS =
    "\n"
    "Keys, while standard input is a terminal:\n"
    "  space         pause or resume\n"
    "  left, right   previous or next order position\n"
    "  +, -          volume up or down by 1 dB (-60 to 24)\n"
    "  n, p          next or previous file\n"
    "  q             quit\n"
    "\n"
    "On a terminal a status line shows the file, the song, the order position\n"
    "and row, the time played and in all, and the level; otherwise one line is\n"
    "printed per file.\n"
    "\n"
    "Exit status: 0 when no file failed, 1 when a file could not be played or\n"
    "no sound device opens, 2 for a bad command line. SIGINT, SIGTERM and\n"
    "SIGHUP end it as that signal, with the terminal restored.\n";

}  // namespace

ParseOutcome parse_play_options(int argc, char** argv, PlayOptions* o) {
  bool files_only = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (files_only || a[0] != '-' || a[1] == '\0') {
      o->files.emplace_back(a);
      continue;
    }
    if (std::strcmp(a, "--") == 0) {
      files_only = true;
    } else if (std::strcmp(a, "-h") == 0 || std::strcmp(a, "--help") == 0) {
      std::printf("%s%s%s%s", USAGE, HELP_INTRO, MIX_OPTIONS_HELP, HELP_KEYS);
      return PARSE_DONE;
    } else if (std::strcmp(a, "--version") == 0) {
      std::printf("%s %s\n", PROGRAM, PROGRAM_VERSION);
      return PARSE_DONE;
    } else if (std::strcmp(a, "-q") == 0 || std::strcmp(a, "--quiet") == 0) {
      o->quiet = true;
    } else if (std::strcmp(a, "--list") == 0) {
      o->shuffle = false;
    } else if (std::strcmp(a, "--shuffle") == 0) {
      o->shuffle = true;
    } else {
      switch (parse_mix_option(PROGRAM, argc, argv, &i, &o->mix)) {
        case OPTION_TAKEN: break;
        case OPTION_BAD: return PARSE_BAD_USAGE;
        case OPTION_NOT_MINE:
          std::fprintf(stderr, "%s: unknown option '%s' (see --help)\n", PROGRAM, a);
          return PARSE_BAD_USAGE;
      }
    }
  }
  if (o->files.empty()) {
    std::fprintf(stderr, "%s: no file to play\n%s", PROGRAM, USAGE);
    return PARSE_BAD_USAGE;
  }
  return PARSE_PLAY;
}
