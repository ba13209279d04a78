// options.cpp: parsing and checking xmrender's command line, and --help.
// Owns: nothing. Thread: main.
#include "tools/xmrender/options.h"

#include <cstdio>
#include <cstring>

namespace {

constexpr int32_t LOOPS_UNSET = -1;  // mix.loops until --loops is seen

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
    "  --no-clobber             never replace an existing file\n"
    "  -j N                     render N songs at once, 1 to 64 (default 1)\n"
    "\n"
    "Length and mixing:\n"
    "  --seconds S              render S seconds, up to 86400; without --loops the\n"
    "                           song repeats to fill them\n"
    "  --fade S                 fade out linearly over the last S seconds\n";

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

bool usage_error(const char* format, const char* detail) {
  std::fprintf(stderr, "%s: ", PROGRAM);
  std::fprintf(stderr, format, detail);
  std::fprintf(stderr, "\n%s", USAGE);
  return false;
}

// The value of "NAME VALUE" or "NAME=VALUE" at argv[*i] when argv[*i] is
// that option (value null when missing); false when it is not.
bool take_value(const char* name, int argc, char** argv, int* i, const char** value) {
  const char* arg = argv[*i];
  const size_t length = std::strlen(name);
  if (std::strncmp(arg, name, length) != 0) return false;
  if (arg[length] == '=') {
    *value = arg + length + 1;
    return true;
  }
  if (arg[length] != '\0') return false;
  *value = *i + 1 < argc ? argv[++*i] : nullptr;
  return true;
}

bool seconds_value(const char* name, const char* value, double* out) {
  if (value != nullptr && parse_real(value, 0.0, MAX_SECONDS, out) && *out > 0.0) return true;
  return usage_error("%s: wants a number of seconds above 0 and at most 86400", name);
}

// One option of xmrender's own at argv[*i]; false (with a message) when it
// is unknown or its value is bad.
bool parse_own_option(int argc, char** argv, int* i, Options* o) {
  const std::string a = argv[*i];
  const char* v = nullptr;
  int64_t whole = 0;
  if (a == "--info") o->info = true;
  else if (a == "--json") o->json = true;
  else if (a == "--trace") o->trace = true;
  else if (a == "--strict") o->strict = true;
  else if (a == "-q" || a == "--quiet") o->quiet = true;
  else if (a == "--no-clobber") o->no_clobber = true;
  else if (a == "--progress") o->progress = Progress::ON;
  else if (a == "--no-progress") o->progress = Progress::OFF;
  else if (take_value("-o", argc, argv, i, &v) || take_value("--output", argc, argv, i, &v)) {
    if (v == nullptr || *v == '\0') return usage_error("%s: wants a file name", "-o");
    o->output = v;
  } else if (take_value("--out-dir", argc, argv, i, &v)) {
    if (v == nullptr || *v == '\0') return usage_error("%s: wants a folder", "--out-dir");
    o->out_dir = v;
  } else if (take_value("--format", argc, argv, i, &v)) {
    if (v == nullptr || !format_from_name(v, &o->format))
      return usage_error("--format: unknown format '%s' (see --help)", v == nullptr ? "" : v);
    o->format_given = true;
  } else if (take_value("--seconds", argc, argv, i, &v)) {
    return seconds_value("--seconds", v, &o->seconds);
  } else if (take_value("--fade", argc, argv, i, &v)) {
    return seconds_value("--fade", v, &o->fade);
  } else if (take_value("-j", argc, argv, i, &v) || take_value("--jobs", argc, argv, i, &v)) {
    if (v == nullptr || !parse_whole(v, 1, MAX_JOBS, &whole))
      return usage_error("%s: wants a number of songs at once from 1 to 64", "-j");
    o->jobs = static_cast<int>(whole);
  } else if (a.rfind("-j", 0) == 0 && parse_whole(a.c_str() + 2, 1, MAX_JOBS, &whole)) {
    o->jobs = static_cast<int>(whole);  // -j4
  } else {
    return usage_error("unknown option '%s'", a.c_str());
  }
  return true;
}

// The combinations that make no sense, each with its message.
bool check_combination(Options* o) {
  if (o->inputs.empty()) return usage_error("%s", "no song given");
  if (o->json && !o->info) return usage_error("%s", "--json goes with --info");
  if (o->info) return true;
  const bool several = o->inputs.size() > 1;
  if (!o->output.empty() && !o->out_dir.empty()) return usage_error("%s", "give -o or --out-dir, not both");
  if (o->output.empty() && o->out_dir.empty() && !o->trace)
    return usage_error("%s", "no output given (-o OUT.wav or --out-dir DIR)");
  if (several && !o->output.empty() && o->output.find("%n") == std::string::npos)
    return usage_error("-o '%s' is one file for several songs; put %%n in it or use --out-dir", o->output.c_str());
  if (several && o->trace) return usage_error("%s", "--trace takes one song");
  if (o->trace && o->output == "-") return usage_error("%s", "--trace and -o - would both write to standard output");
  if (o->mix.loops == 0 && o->seconds == 0.0)
    return usage_error("%s", "--loops 0 plays without end; give --seconds too");
  return true;
}

}  // namespace

ParseResult parse_command_line(int argc, char** argv, Options* o) {
  o->mix.loops = LOOPS_UNSET;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    if (options_ended || arg[0] != '-' || std::strcmp(arg, "-") == 0) {
      if (std::strcmp(arg, "-") == 0 && !options_ended) {
        usage_error("%s", "reading a song from standard input is not supported");
        return PARSE_USAGE;
      }
      o->inputs.emplace_back(arg);
    } else if (std::strcmp(arg, "--") == 0) {
      options_ended = true;
    } else if (std::strcmp(arg, "-h") == 0 || std::strcmp(arg, "--help") == 0) {
      std::printf("%s%s%s%s%s%s", USAGE, HELP_OUTPUT, MIX_OPTIONS_HELP, HELP_REST, FORMATS_HELP, HELP_END);
      return PARSE_DONE;
    } else if (std::strcmp(arg, "--version") == 0) {
      std::printf("%s %s\n", PROGRAM, PROGRAM_VERSION);
      return PARSE_DONE;
    } else {
      switch (parse_mix_option(PROGRAM, argc, argv, &i, &o->mix)) {
        case OPTION_TAKEN: break;
        case OPTION_BAD: return PARSE_USAGE;
        case OPTION_NOT_MINE:
          if (!parse_own_option(argc, argv, &i, o)) return PARSE_USAGE;
          break;
      }
    }
  }
  o->loops_given = o->mix.loops != LOOPS_UNSET;
  if (!o->loops_given) o->mix.loops = o->seconds > 0.0 ? 0 : 1;
  return check_combination(o) ? PARSE_RUN : PARSE_USAGE;
}
