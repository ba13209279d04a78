// options.cpp: parsing of quillmere-play's command line; the mixing options
// go through the parser xmrender uses, so both play the same thing.
// Owns: nothing. Thread: main only.
#include "tools/play/options.h"

#include <string>

#include "tools/play/playlist.h"

namespace {

const char* const USAGE = "usage: quillmere-play [OPTION]... SONG.xm|LIST.m3u... [-@ LIST]...\n";

const char* const HELP_INTRO =
    "Plays XM modules through the default sound device, one after another.\n"
    "\n"
    "Options:\n"
    "  --list                   play the files in the order given (the default)\n"
    "  --shuffle                play the files in a random order\n"
    "  -L, --loop-all           play the whole list again after its last file\n"
    "                           (with --shuffle, in a new order each round)\n"
    "  -@ LIST                  play the files LIST names, one per line ('-':\n"
    "                           standard input); arguments ending in .m3u or\n"
    "                           .m3u8 are such lists too. Lines starting with #\n"
    "                           are comments; names are relative to the list's\n"
    "                           folder. A list that does not read stops the\n"
    "                           player before it starts (status 1)\n"
    "  -q, --quiet              print errors only (no status line, no warnings)\n"
    "  -h, --help               print this help and exit\n"
    "  --version                print the version and exit\n"
    "  --                       the arguments after it are files\n"
    "\n"
    "Length and mixing, as in xmrender (for each file):\n";

const char* const HELP_REST =
    "\n"
    "On a terminal a status line shows the file, the song, the order position\n"
    "and row, the time played and in all, the level, and the muted and soloed\n"
    "channels; otherwise one line is printed per file.\n"
    "\n"
    "Exit status: 0 when no file failed, 1 when a file could not be played or\n"
    "no sound device opens, 2 for a bad command line. SIGINT, SIGTERM, SIGHUP,\n"
    "SIGQUIT and SIGPIPE end it as that signal, with the terminal restored.\n";

}  // namespace

const char* const PLAY_KEYS_HELP =
    "Keys, while standard input is a terminal:\n"
    "  space         pause or resume\n"
    "  left, right   previous or next order position\n"
    "  down, up      10 seconds back or ahead (also , and . or < and >)\n"
    "  +, -          volume up or down by 1 dB (-60 to 24)\n"
    "  1 .. 9, 0     mute or sound channel 1 .. 9, 10\n"
    "  s then 1 .. 0 solo that channel, or take its solo back\n"
    "  !             every channel sounds again (mutes and solos cleared)\n"
    "  i             the song's names, channels, orders, instruments, samples\n"
    "  h, ?          this key table\n"
    "  n, p          next or previous file\n"
    "  q             quit\n";

CommandLine parse_play_options(int argc, const char* const* argv, PlayOptions* o) {
  OptionScanner s = scan_begin(PROGRAM, USAGE, argc, argv);
  o->mix.loops = LOOPS_UNSET;
  while (scan_next(&s)) {
    if (const CommandLine c = scan_help_or_version(s); c != COMMAND_RUN) return c;
    const char* v = nullptr;
    if (!s.is_option) {
      o->inputs.push_back(PlayInput{s.arg, is_playlist_name(s.arg)});
    } else if (scan_value(&s, "-@", &v)) {
      if (v == nullptr || *v == '\0') return scan_refuse(&s, "-@: wants a list of files ('-': standard input)");
      o->inputs.push_back(PlayInput{v, true});
    } else if (scan_flag(s, "-L", "--loop-all")) {
      o->loop_all = true;
    } else if (scan_flag(s, "-q", "--quiet")) {
      o->quiet = true;
    } else if (scan_flag(s, "--list")) {
      o->shuffle = false;
    } else if (scan_flag(s, "--shuffle")) {
      o->shuffle = true;
    } else if (!parse_mix_option(&s, &o->mix) && !parse_length_option(&s, &o->length)) {
      return scan_refuse(&s, "unknown option " + quoted(s.arg) + " (see --help)", WITHOUT_USAGE);
    }
  }
  if (s.refused || !finish_length_options(&s, o->length, &o->mix)) return COMMAND_BAD;
  if (o->inputs.empty()) return scan_refuse(&s, "no file to play");
  return COMMAND_RUN;
}

std::string play_help() {
  return std::string(USAGE) + HELP_INTRO + LENGTH_OPTIONS_HELP + MIX_OPTIONS_HELP + "\n" + PLAY_KEYS_HELP + HELP_REST;
}
