// options.cpp: parsing and checking xmrender's command line, and --help.
// Owns: nothing. Thread: main.
#include "tools/xmrender/options.h"

#include <cstdio>
#include <cstring>

namespace {

const char* const USAGE =
    "usage: xmrender [OPTION...] SONG.xm -o OUT.wav\n"
    "       xmrender [OPTION...] SONG.xm... --out-dir DIR | -o PATTERN\n"
    "       xmrender [OPTION...] SONG.xm... --info [--json]\n";

const char* const HELP_OUTPUT =
    "Renders XM modules offline through the Quillmere music engine.\n"
    "\n"
    "Output:\n"
    "  -o FILE                  write to FILE; '-' is standard output. With several\n"
    "                           songs, a pattern where %n stands for each song's name\n"
    "                           without its extension (%% for a %)\n"
    "  --out-dir DIR            write each song to DIR/NAME.EXT (EXT from --format)\n"
    "  --format NAME            output format (below); by default it follows the\n"
    "                           extension of FILE: .wav, .flac, .raw or .pcm; WAV on\n"
    "                           standard output and devices\n"
    "  --no-clobber             never replace an existing file (its song is skipped)\n"
    "  -j N                     render N songs at once, 1 to 64 (default 1)\n"
    "\n"
    "Length and mixing:\n";

const char* const HELP_REST =
    "\n"
    "Information:\n"
    "  --info                   print names, the length of one pass (found without\n"
    "                           mixing), orders, patterns, instruments and samples\n"
    "  --json                   with --info: one JSON object per song and line\n"
    "  --trace                  print one line per row tick: frame order row speed bpm\n"
    "\n"
    "Messages:\n"
    "  -q, --quiet              no progress and no summary (warnings and errors stay)\n"
    "  --progress, --no-progress  a progress bar on standard error (default: only\n"
    "                           when it is a terminal)\n"
    "  --strict                 any warning fails the song (status 3, nothing written)\n"
    "  -h, --help               this text\n"
    "  --version                the version\n"
    "  --                       ends the options\n"
    "\n"
    "Formats (--format NAME):\n";

const char* const HELP_END =
    "\n"
    "Files are written under a temporary name beside the target and renamed when\n"
    "complete: a failure or a stop (SIGINT, SIGTERM) leaves no partial file, and\n"
    "the output is never the input. On standard output the WAV header holds the\n"
    "length found in advance, so a pipe carries the same bytes as a file; FLAC on\n"
    "standard output decodes to the same samples (its header lacks the checksum).\n"
    "\n"
    "Exit status: 0 success; 1 a song did not load or its output could not be\n"
    "written (with several songs, a summary names them); 2 a bad command line;\n"
    "3 --strict and a song had a warning. A stop ends xmrender by its signal.\n";

// Refuses the command line with message and the usage; false.
bool refused(OptionScanner* s, const std::string& message) {
  scan_refuse(s, message);
  return false;
}

// True when the scanner's argument is an option of xmrender's own: taken,
// or refused when its value is bad.
bool parse_own_option(OptionScanner* s, Options* o) {
  const char* v = nullptr;
  int64_t whole = 0;
  if (scan_flag(*s, "--info")) o->info = true;
  else if (scan_flag(*s, "--json")) o->json = true;
  else if (scan_flag(*s, "--trace")) o->trace = true;
  else if (scan_flag(*s, "--strict")) o->strict = true;
  else if (scan_flag(*s, "-q", "--quiet")) o->quiet = true;
  else if (scan_flag(*s, "--no-clobber")) o->no_clobber = true;
  else if (scan_flag(*s, "--progress")) o->progress = ProgressMode::ON;
  else if (scan_flag(*s, "--no-progress")) o->progress = ProgressMode::OFF;
  else if (scan_value(s, "-o", &v) || scan_value(s, "--output", &v)) {
    if (v == nullptr || *v == '\0') scan_refuse(s, "-o: wants a file name");
    else o->output = v;
  } else if (scan_value(s, "--out-dir", &v)) {
    if (v == nullptr || *v == '\0') scan_refuse(s, "--out-dir: wants a folder");
    else o->out_dir = v;
  } else if (scan_value(s, "--format", &v)) {
    if (v == nullptr || !format_from_name(v, &o->format))
      scan_refuse(s, "--format: unknown format '" + std::string(v == nullptr ? "" : v) + "' (see --help)");
    else o->format_given = true;
  } else if (scan_value(s, "-j", &v) || scan_value(s, "--jobs", &v)) {
    if (v == nullptr || !parse_whole(v, 1, MAX_JOBS, &whole))
      scan_refuse(s, "-j: wants a number of songs at once from 1 to 64");
    else o->jobs = static_cast<int>(whole);
  } else {
    return false;
  }
  return true;
}

// The combinations that make no sense, each with its message.
bool check_combination(OptionScanner* s, Options* o) {
  if (o->inputs.empty()) return refused(s, "no song given");
  if (o->json && !o->info) return refused(s, "--json goes with --info");
  if (o->info && (!o->output.empty() || !o->out_dir.empty()))
    return refused(s, "--info prints to standard output; -o and --out-dir go with a render");
  if (o->info && (o->mix.start != 0 || o->length.start_time >= 0.0))
    return refused(s, "--info describes the whole song; --start and --start-time go with a render");
  if (o->info) return true;
  const bool several = o->inputs.size() > 1;
  if (!o->output.empty() && !o->out_dir.empty()) return refused(s, "give -o or --out-dir, not both");
  if (o->output.empty() && o->out_dir.empty() && !o->trace)
    return refused(s, "no output given (-o OUT.wav or --out-dir DIR)");
  if (several && !o->output.empty() && o->output.find("%n") == std::string::npos)
    return refused(s, "-o " + quoted(o->output) + " is one file for several songs; put %n in it or use --out-dir");
  if (several && o->trace) return refused(s, "--trace takes one song");
  if (o->trace && o->output == "-") return refused(s, "--trace and -o - would both write to standard output");
  if (o->mix.loops == 0 && o->length.seconds == 0.0)
    return refused(s, "--loops 0 plays without end; give --seconds too");
  return true;
}

}  // namespace

CommandLine parse_command_line(int argc, const char* const* argv, Options* o) {
  o->mix.loops = LOOPS_UNSET;
  OptionScanner s = scan_begin(PROGRAM, USAGE, argc, argv);
  while (scan_next(&s)) {
    if (const CommandLine c = scan_help_or_version(s); c != COMMAND_RUN) return c;
    if (!s.is_option) {
      if (!s.after_dashes && std::strcmp(s.arg, "-") == 0)
        return scan_refuse(&s, "reading a song from standard input is not supported");
      o->inputs.emplace_back(s.arg);
    } else if (!parse_mix_option(&s, &o->mix) && !parse_length_option(&s, &o->length) && !parse_own_option(&s, o)) {
      return scan_refuse(&s, "unknown option " + quoted(s.arg));
    }
  }
  if (s.refused || !finish_length_options(&s, o->length, &o->mix)) return COMMAND_BAD;
  return check_combination(&s, o) ? COMMAND_RUN : COMMAND_BAD;
}

std::string xmrender_help() {
  return std::string(USAGE) + HELP_OUTPUT + LENGTH_OPTIONS_HELP + MIX_OPTIONS_HELP + HELP_REST + FORMATS_HELP + HELP_END;
}
