// mix_options.cpp: parsing and applying the shared mixing options.
// Owns: nothing. Thread: the caller's.
#include "tools/common/mix_options.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

constexpr double MIN_GAIN_DB = -60.0;
constexpr double MAX_GAIN_DB = 24.0;
constexpr int32_t MAX_SEPARATION = 200;
constexpr int32_t MAX_LOOPS = 1000000;
constexpr int32_t LAST_ORDER = 255;

// The value of "--name VALUE" or "--name=VALUE" at argv[*i], or null when
// argv[*i] is not that option; *missing is set when the value is absent.
const char* option_value(const char* name, int argc, char** argv, int* i, bool* missing) {
  const char* arg = argv[*i];
  const size_t length = std::strlen(name);
  if (std::strncmp(arg, name, length) != 0) return nullptr;
  if (arg[length] == '=') return arg + length + 1;
  if (arg[length] != '\0') return nullptr;
  if (*i + 1 >= argc) {
    *missing = true;
    return arg;
  }
  return argv[++*i];
}

OptionMatch bad(const char* program, const char* name, const char* want) {
  std::fprintf(stderr, "%s: %s: %s\n", program, name, want);
  return OPTION_BAD;
}

}  // namespace

const char* const MIX_OPTIONS_HELP =
    "  --rate HZ                output rate, 8000 to 192000 (default 44100)\n"
    "  --loops N                play the song N times (default 1); 0 plays it without end\n"
    "  --start ORDER            start at this order position (default 0)\n"
    "  --gain DB                gain in decibels, -60 to 24 (default 0)\n"
    "  --stereo-separation PCT  0 (mono) to 200 percent (default 100, the song as mixed)\n"
    "  --mono                   one channel, the mid signal\n";

bool parse_whole(const char* text, int64_t lo, int64_t hi, int64_t* value) {
  char* end = nullptr;
  errno = 0;
  long long v = std::strtoll(text, &end, 10);
  if (errno != 0 || end == text || *end != '\0' || v < lo || v > hi) return false;
  *value = v;
  return true;
}

bool parse_real(const char* text, double lo, double hi, double* value) {
  char* end = nullptr;
  errno = 0;
  double v = std::strtod(text, &end);
  if (errno != 0 || end == text || *end != '\0' || !std::isfinite(v) || v < lo || v > hi) return false;
  *value = v;
  return true;
}

OptionMatch parse_mix_option(const char* program, int argc, char** argv, int* i, MixOptions* o) {
  if (std::strcmp(argv[*i], "--mono") == 0) {
    o->mono = true;
    return OPTION_TAKEN;
  }
  bool missing = false;
  int64_t whole = 0;
  const char* v = nullptr;
  if ((v = option_value("--rate", argc, argv, i, &missing)) != nullptr) {
    if (missing || !parse_whole(v, MIX_MIN_RATE, MIX_MAX_RATE, &whole))
      return bad(program, "--rate", "wants a whole number of Hz from 8000 to 192000");
    o->rate = static_cast<int32_t>(whole);
  } else if ((v = option_value("--loops", argc, argv, i, &missing)) != nullptr) {
    if (missing || !parse_whole(v, 0, MAX_LOOPS, &whole))
      return bad(program, "--loops", "wants a whole number of plays, 1 or more (0: without end)");
    o->loops = static_cast<int32_t>(whole);
  } else if ((v = option_value("--start", argc, argv, i, &missing)) != nullptr) {
    if (missing || !parse_whole(v, 0, LAST_ORDER, &whole))
      return bad(program, "--start", "wants an order position from 0 to 255");
    o->start = static_cast<int32_t>(whole);
  } else if ((v = option_value("--gain", argc, argv, i, &missing)) != nullptr) {
    if (missing || !parse_real(v, MIN_GAIN_DB, MAX_GAIN_DB, &o->gain_db))
      return bad(program, "--gain", "wants decibels from -60 to 24");
  } else if ((v = option_value("--stereo-separation", argc, argv, i, &missing)) != nullptr) {
    if (missing || !parse_whole(v, 0, MAX_SEPARATION, &whole))
      return bad(program, "--stereo-separation", "wants a whole percentage from 0 to 200");
    o->separation = static_cast<int32_t>(whole);
  } else {
    return OPTION_NOT_MINE;
  }
  return OPTION_TAKEN;
}

bool apply_mix_options(qm_player* player, const qm_song* song, const MixOptions& o, std::string* why) {
  qm_song_info info{};
  qm_song_get_info(song, &info);
  const int32_t orders = info.length > 0 ? info.length : 1;
  if (o.start >= orders) {
    *why = "--start " + std::to_string(o.start) + " is past the song's last order position (" +
           std::to_string(orders - 1) + ")";
    return false;
  }
  qm_player_set_repeat_count(player, o.loops == 0 ? -1 : o.loops - 1);
  if (o.start != 0) qm_player_restart(player, o.start);
  qm_player_set_gain(player, o.gain_db);
  qm_player_set_stereo_separation(player, o.mono ? 0 : o.separation);
  return true;
}
