// mix_options.cpp: parsing and applying the shared mixing options.
// Owns: nothing. Thread: the caller's.
#include "tools/common/mix_options.h"

#include <algorithm>
#include <string>

namespace {

constexpr double MIN_GAIN_DB = -60.0;
constexpr double MAX_GAIN_DB = 24.0;
constexpr int32_t MAX_SEPARATION = 200;
constexpr int32_t MAX_LOOPS = 1000000;
constexpr int32_t LAST_ORDER = 255;
constexpr int32_t MAX_CHANNELS = 32;  // channels an XM song can have
constexpr const char* CHANNELS_WANTED = "wants channels from 1 to 32, separated by commas";

// A list of channels counted from 1 ("1,3,5") as bits (bit c: channel c + 1).
bool parse_channels(const char* text, uint32_t* bits) {
  if (text == nullptr || *text == '\0') return false;
  uint32_t set = 0;
  std::string rest = text;
  for (size_t at = 0; at <= rest.size();) {
    const size_t comma = std::min(rest.find(',', at), rest.size());
    int64_t channel = 0;
    if (!parse_whole(rest.substr(at, comma - at).c_str(), 1, MAX_CHANNELS, &channel)) return false;
    set |= uint32_t{1} << (channel - 1);
    at = comma + 1;
  }
  *bits = set;
  return true;
}

// The channels of bits the song does not have, for the refusal; empty when none.
std::string channels_past(uint32_t bits, int32_t channels) {
  std::string past;
  for (int32_t c = channels; c < MAX_CHANNELS; ++c) {
    if (((bits >> c) & 1) == 0) continue;
    if (!past.empty()) past += ',';
    past += std::to_string(c + 1);
  }
  return past;
}

struct InterpolationName {
  const char* name;
  qm_interpolation mode;
};
constexpr InterpolationName INTERPOLATIONS[] = {
    {"linear", QM_INTERPOLATION_LINEAR}, {"cubic", QM_INTERPOLATION_CUBIC}, {"sinc8", QM_INTERPOLATION_SINC8}};

bool parse_interpolation(const char* text, qm_interpolation* mode) {
  for (const InterpolationName& i : INTERPOLATIONS) {
    if (text != nullptr && std::string(text) == i.name) {
      *mode = i.mode;
      return true;
    }
  }
  return false;
}

// Refuses the option's value; true: the option was a mixing option.
bool bad(OptionScanner* s, const char* name, const char* want) {
  scan_refuse(s, std::string(name) + ": " + want, WITHOUT_USAGE);
  return true;
}

}  // namespace

const char* const MIX_OPTIONS_HELP =
    "  --rate HZ                output rate, 8000 to 192000 (default 44100)\n"
    "  --loops N                play the song N times (default 1); 0 plays it without end\n"
    "  --start ORDER            start at this order position (default 0)\n"
    "  --gain DB                gain in decibels, -60 to 24 (default 0)\n"
    "  --stereo-separation PCT  0 (mono) to 200 percent (default 100, the song as mixed)\n"
    "  --mono                   one channel, the mid signal\n"
    "  --mute LIST              silence these channels (from 1; \"2,5\")\n"
    "  --solo LIST              play only these channels\n"
    "  --interpolation MODE     linear (default, the exact reference mix), cubic,\n"
    "                           or sinc8 (8-tap windowed sinc, the least aliasing)\n";

bool parse_mix_option(OptionScanner* s, MixOptions* o) {
  if (scan_flag(*s, "--mono")) {
    o->mono = true;
    return true;
  }
  int64_t whole = 0;
  const char* v = nullptr;
  if (scan_value(s, "--rate", &v)) {
    if (v == nullptr || !parse_whole(v, MIX_MIN_RATE, MIX_MAX_RATE, &whole))
      return bad(s, "--rate", "wants a whole number of Hz from 8000 to 192000");
    o->rate = static_cast<int32_t>(whole);
  } else if (scan_value(s, "--loops", &v)) {
    if (v == nullptr || !parse_whole(v, 0, MAX_LOOPS, &whole))
      return bad(s, "--loops", "wants a whole number of plays, 1 or more (0: without end)");
    o->loops = static_cast<int32_t>(whole);
  } else if (scan_value(s, "--start", &v)) {
    if (v == nullptr || !parse_whole(v, 0, LAST_ORDER, &whole))
      return bad(s, "--start", "wants an order position from 0 to 255");
    o->start = static_cast<int32_t>(whole);
  } else if (scan_value(s, "--gain", &v)) {
    if (v == nullptr || !parse_real(v, MIN_GAIN_DB, MAX_GAIN_DB, &o->gain_db))
      return bad(s, "--gain", "wants decibels from -60 to 24");
  } else if (scan_value(s, "--stereo-separation", &v)) {
    if (v == nullptr || !parse_whole(v, 0, MAX_SEPARATION, &whole))
      return bad(s, "--stereo-separation", "wants a whole percentage from 0 to 200");
    o->separation = static_cast<int32_t>(whole);
  } else if (scan_value(s, "--mute", &v)) {
    if (!parse_channels(v, &o->muted)) return bad(s, "--mute", CHANNELS_WANTED);
  } else if (scan_value(s, "--solo", &v)) {
    if (!parse_channels(v, &o->soloed)) return bad(s, "--solo", CHANNELS_WANTED);
  } else if (scan_value(s, "--interpolation", &v)) {
    if (!parse_interpolation(v, &o->interpolation)) return bad(s, "--interpolation", "wants linear, cubic or sinc8");
  } else {
    return false;
  }
  return true;
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
  const std::string past = channels_past(o.muted | o.soloed, info.channels);
  if (!past.empty()) {
    *why = "the song has " + std::to_string(info.channels) + " channels; there is no channel " + past;
    return false;
  }
  for (int32_t c = 0; c < info.channels; ++c) {
    if ((o.muted >> c) & 1) qm_player_set_channel_mute(player, c, 1);
    if ((o.soloed >> c) & 1) qm_player_set_channel_solo(player, c, 1);
  }
  // The settings first: a seek places the player as the playback from the
  // start with them would stand at the order, at its own tempo.
  qm_player_set_repeat_count(player, o.loops == 0 ? -1 : o.loops - 1);
  qm_player_set_gain(player, o.gain_db);
  qm_player_set_stereo_separation(player, o.mono ? 0 : o.separation);
  qm_player_set_interpolation(player, o.interpolation);
  if (o.start != 0) qm_player_seek(player, o.start, 0);
  return true;
}
