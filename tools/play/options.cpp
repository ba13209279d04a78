// options.cpp: parsing of quillmere-play's command line; the mixing options
// go through the parser xmrender uses, so both play the same thing.
// Owns: nothing. Thread: main only.
#include "tools/play/options.h"

#include <string>

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
    "no sound device opens, 2 for a bad command line. SIGINT, SIGTERM, SIGHUP,\n"
    "SIGQUIT and SIGPIPE end it as that signal, with the terminal restored.\n";

}  // namespace

CommandLine parse_play_options(int argc, const char* const* argv, PlayOptions* o) {
  OptionScanner s = scan_begin(PROGRAM, USAGE, argc, argv);
  while (scan_next(&s)) {
    if (const CommandLine c = scan_help_or_version(s); c != COMMAND_RUN) return c;
    if (!s.is_option) {
      o->files.emplace_back(s.arg);
    } else if (scan_flag(s, "-q", "--quiet")) {
      o->quiet = true;
    } else if (scan_flag(s, "--list")) {
      o->shuffle = false;
    } else if (scan_flag(s, "--shuffle")) {
      o->shuffle = true;
    } else if (!parse_mix_option(&s, &o->mix)) {
      return scan_refuse(&s, "unknown option " + quoted(s.arg) + " (see --help)", WITHOUT_USAGE);
    }
  }
  if (s.refused) return COMMAND_BAD;
  if (o->files.empty()) return scan_refuse(&s, "no file to play");
  return COMMAND_RUN;
}

std::string play_help() { return std::string(USAGE) + HELP_INTRO + MIX_OPTIONS_HELP + HELP_KEYS; }
