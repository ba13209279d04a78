// options.cpp: parses quillmere-capture's options and prints its help.
#include "tools/capture/options.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/timeline.h"
#include "common/version.h"

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
    "  -o FILE     the video file to write\n"
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
    "  --force     replace FILE if it exists\n"
    "  -q          no progress bar\n"
    "  --time      print how long the capture took and where the time went\n"
    "  --help      print this help and exit\n"
    "  --version   print the version and exit\n"
    "\n"
    "Exit status: 0 when the file is written, 1 when the output is refused or\n"
    "the capture fails, 2 for a bad command line, 255 when a picture or the\n"
    "music does not load; interrupted, it ends as the signal asks. No partial\n"
    "file is ever left behind.\n";

CaptureCommand refuse(const char* what, const char* why) {
  std::fprintf(stderr, "quillmere-capture: %s: %s\n%s", what, why, USAGE);
  return CAPTURE_BAD;
}

// Parses a whole decimal number within [low, high].
bool parse_int(const char* text, int32_t low, int32_t high, int32_t& value) {
  char* end = nullptr;
  errno = 0;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || errno != 0 || v < low || v > high) return false;
  value = static_cast<int32_t>(v);
  return true;
}

// The value of the option at argv[i] ("--name VALUE" or "--name=VALUE"),
// or null when argv[i] is another option. missing is set when the option
// is there without its value.
const char* option_value(const char* name, int argc, const char* const* argv, int& i, bool& missing) {
  const size_t length = std::strlen(name);
  const char* a = argv[i];
  if (std::strncmp(a, name, length) != 0) return nullptr;
  if (a[length] == '=') return a + length + 1;
  if (a[length] != '\0') return nullptr;
  if (i + 1 >= argc) {
    missing = true;
    return nullptr;
  }
  return argv[++i];
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

// The options that take no value; false when a is none of them.
bool parse_flag(const char* a, CaptureOptions& o) {
  if (!std::strcmp(a, "--lossless")) {
    o.lossless = true;
  } else if (!std::strcmp(a, "--force")) {
    o.force = true;
  } else if (!std::strcmp(a, "-q") || !std::strcmp(a, "--quiet")) {
    o.quiet = true;
  } else if (!std::strcmp(a, "--time")) {
    o.time = true;
  } else {
    return false;
  }
  return true;
}

// Checks the options against each other once all are read.
CaptureCommand check(CaptureOptions& o, bool crf_given) {
  if (o.output.empty()) return refuse("-o", "no output file given");
  if (o.lossless && crf_given) return refuse("--crf", "sets the H.264 quality; --lossless has none");
  if (o.lossless && o.scale > CAPTURE_MAX_LOSSLESS_SCALE) return refuse("--scale", "--lossless takes 1 or 2");
  if (o.from_ms >= o.to_ms) return refuse("--from", "must come before --to");
  return CAPTURE_RUN;
}

}  // namespace

CaptureCommand parse_capture_options(int argc, const char* const* argv, CaptureOptions& o) {
  o.to_ms = SHOW_LENGTH_MS;
  bool crf_given = false;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    if (!std::strcmp(a, "--help") || !std::strcmp(a, "-h")) return CAPTURE_HELP;
    if (!std::strcmp(a, "--version")) return CAPTURE_VERSION;
    if (parse_flag(a, o)) continue;
    bool missing = false;
    const char* v = nullptr;
    if ((v = option_value("--data", argc, argv, i, missing)) != nullptr) {
      if (!*v) return refuse("--data", "wants a folder");
      o.data_dir = v;
      continue;
    }
    if ((v = option_value("-o", argc, argv, i, missing)) != nullptr) {
      if (!*v) return refuse("-o", "wants a file name");
      o.output = v;
      continue;
    }
    bool matched = false;
    for (const NumberOption& n : NUMBER_OPTIONS) {
      if ((v = option_value(n.name, argc, argv, i, missing)) == nullptr) continue;
      if (!parse_int(v, n.low, n.high, o.*n.field)) return refuse(n.name, n.range);
      crf_given |= n.field == &CaptureOptions::crf;
      matched = true;
      break;
    }
    if (matched) continue;
    if (missing) return refuse(a, "needs a value");
    return refuse(a, a[0] == '-' ? "unknown option" : "unexpected argument");
  }
  return check(o, crf_given);
}

void print_capture_help() {
  std::fputs(USAGE, stdout);
  std::fputs("\n", stdout);
  std::fputs(HELP, stdout);
}

void print_capture_version() { std::printf("quillmere-capture %s\n", QUILLMERE_VERSION); }
