// options.cpp: parses quillmere-capture's options and prints its help.
#include "tools/capture/options.h"

#include <cctype>
#include <string>

#include "app/timeline.h"

namespace {

constexpr const char* USAGE =
    "usage: quillmere-capture [--data DIR] -o FILE [--fps N] [--scale K] [--lossless] [--crf Q]\n"
    "                         [--from MS] [--to MS] [--force] [-q] [--time]\n"
    "       quillmere-capture --help | --version\n";

constexpr const char* HELP =
    "Renders the Quillmere show offline, pictures and music, into a video file.\n"
    "The show runs on a virtual clock, so the file is the same on every machine\n"
    "and every run; no display and no sound device are needed.\n"
    "\n"
    "  -o FILE     the video file to write: Matroska when its name ends in .mkv\n"
    "              (or with --lossless), else MP4\n"
    "  --data DIR  the folder that holds the nine pictures and typing.xm\n"
    "              (default: the current folder)\n"
    "  --fps N     frames per second, 1..120 (default 60); frame n shows the show\n"
    "              at n x 1000 / N ms, the fraction dropped\n"
    "  --scale K   each frame pixel becomes K x K pixels, 1..4, with --lossless 1..2\n"
    "              (default 2: 1024 x 768)\n"
    "  --lossless  Matroska with FFV1 video (RGB) and FLAC audio, exact to the bit,\n"
    "              instead of MP4 with H.264 (yuv420p) and AAC\n"
    "  --crf Q     H.264 quality, 0..51, lower is better (default 18)\n"
    "  --from MS   capture from this show time on (default 0)\n"
    "  --to MS     capture up to this show time, exclusive (default 30720, the end)\n"
    "  --force     replace FILE if it exists, and capture music the loader\n"
    "              had to repair (a damaged typing.xm)\n"
    "  -q          no progress bar\n"
    "  --time      print how long the capture took and where the time went\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status: 0 when the file is written, 1 when the output is refused or\n"
    "the capture fails, 2 for a bad command line, 255 when a picture or the\n"
    "music does not load (or, without --force, loads only with repairs);\n"
    "interrupted, it ends as the signal asks. No partial file is ever left\n"
    "behind.\n";

// Refuses the command line: "quillmere-capture: what: why" and the usage.
CommandLine refuse(OptionScanner* s, const std::string& what, const char* why) {
  return scan_refuse(s, what + ": " + why);
}

struct NumberOption {
  const char* name;  // as typed
  int32_t low, high; // accepted range
  const char* range; // the range in words, for the refusal
  int32_t CaptureOptions::*field;
};

const NumberOption NUMBER_OPTIONS[] = {
    {"--fps", CAPTURE_MIN_FPS, CAPTURE_MAX_FPS, "wants a whole number of frames per second from 1 to 120",
     &CaptureOptions::fps},
    {"--scale", CAPTURE_MIN_SCALE, CAPTURE_MAX_SCALE, "wants a whole factor from 1 to 4", &CaptureOptions::scale},
    {"--crf", CAPTURE_MIN_CRF, CAPTURE_MAX_CRF, "wants a whole number from 0 to 51", &CaptureOptions::crf},
    {"--from", 0, SHOW_LENGTH_MS - 1, "wants a show time in ms from 0 to 30719", &CaptureOptions::from_ms},
    {"--to", 1, SHOW_LENGTH_MS, "wants a show time in ms from 1 to 30720", &CaptureOptions::to_ms},
};

// The options that take no value; false when the argument is none of them.
bool parse_flag(const OptionScanner& s, CaptureOptions& o) {
  if (scan_flag(s, "--lossless")) {
    o.lossless = true;
  } else if (scan_flag(s, "--force")) {
    o.force = true;
  } else if (scan_flag(s, "-q", "--quiet")) {
    o.quiet = true;
  } else if (scan_flag(s, "--time")) {
    o.time = true;
  } else {
    return false;
  }
  return true;
}

// The name's extension in lower case, with its dot; empty when it has none.
std::string extension_of(const std::string& path) {
  const size_t dot = path.find_last_of('.');
  const size_t slash = path.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return "";
  std::string e = path.substr(dot);
  for (char& c : e) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return e;
}

// Checks the options against each other once all are read, and settles
// the container from the file's name.
CommandLine check(OptionScanner* s, CaptureOptions& o, bool crf_given) {
  if (o.output.empty()) return refuse(s, "-o", "no output file given");
  const std::string extension = extension_of(o.output);
  if (o.output == "-") return refuse(s, "-o", "writes a file; standard output is not supported");
  if (o.lossless && (extension == ".mp4" || extension == ".m4v"))
    return refuse(s, "-o", "--lossless writes Matroska; name the file .mkv");
  o.matroska = o.lossless || extension == ".mkv";
  if (o.lossless && crf_given) return refuse(s, "--crf", "sets the H.264 quality; --lossless has none");
  if (o.lossless && o.scale > CAPTURE_MAX_LOSSLESS_SCALE) return refuse(s, "--scale", "--lossless takes 1 or 2");
  if (o.from_ms >= o.to_ms) return refuse(s, "--from", "must come before --to");
  return COMMAND_RUN;
}

// True when the scanner's argument is an option with a value: taken, or
// refused when the value is missing or bad.
bool parse_value_option(OptionScanner* s, CaptureOptions& o, bool* crf_given) {
  const char* v = nullptr;
  if (scan_value(s, "--data", &v)) {
    if (v == nullptr) refuse(s, "--data", "needs a value");
    else if (!*v) refuse(s, "--data", "wants a folder");
    else o.data_dir = v;
    return true;
  }
  if (scan_value(s, "-o", &v)) {
    if (v == nullptr) refuse(s, "-o", "needs a value");
    else if (!*v) refuse(s, "-o", "wants a file name");
    else o.output = v;
    return true;
  }
  for (const NumberOption& n : NUMBER_OPTIONS) {
    if (!scan_value(s, n.name, &v)) continue;
    int64_t value = 0;
    if (v == nullptr) {
      refuse(s, n.name, "needs a value");
    } else if (!parse_whole(v, n.low, n.high, &value)) {
      refuse(s, n.name, n.range);
    } else {
      o.*n.field = static_cast<int32_t>(value);
      *crf_given |= n.field == &CaptureOptions::crf;
    }
    return true;
  }
  return false;
}

}  // namespace

CommandLine parse_capture_options(int argc, const char* const* argv, CaptureOptions& o) {
  o.to_ms = SHOW_LENGTH_MS;
  bool crf_given = false;
  OptionScanner s = scan_begin(CAPTURE_PROGRAM, USAGE, argc, argv);
  while (scan_next(&s)) {
    if (const CommandLine c = scan_help_or_version(s); c != COMMAND_RUN) return c;
    if (!s.is_option) return refuse(&s, s.arg, "unexpected argument");
    if (!parse_flag(s, o) && !parse_value_option(&s, o, &crf_given)) return refuse(&s, s.arg, "unknown option");
  }
  if (s.refused) return COMMAND_BAD;
  return check(&s, o, crf_given);
}

std::string capture_help() { return std::string(USAGE) + "\n" + HELP; }
