// length_options.cpp: the length options, their time values, and the
// setting up of a player for them (see length_options.h).
// Owns: nothing. Thread: the caller's.
#include "tools/common/length_options.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>

namespace {

constexpr int MAX_FIELDS = 3;            // hours, minutes, seconds
constexpr double UNITS_PER_FIELD = 60.0; // a field after the first counts below 60
constexpr const char* TIME_WANTED = "seconds, M:SS or H:MM:SS";

// One field of a time value: digits with an optional fraction, nothing else.
bool parse_field(const std::string& text, double* value) {
  if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos) return false;
  return parse_real(text.c_str(), 0.0, MAX_SECONDS * UNITS_PER_FIELD, value);
}

uint64_t add_capped(uint64_t a, uint64_t b) { return a > UINT64_MAX - b ? UINT64_MAX : a + b; }

uint64_t to_frames(double seconds, int32_t rate) {
  return static_cast<uint64_t>(std::llround(seconds * static_cast<double>(rate)));
}

std::string seconds_text(double seconds) {
  char text[32];
  std::snprintf(text, sizeof text, "%.3f s", seconds);
  return text;
}

// Refuses the option's value; true: the option was a length option.
bool bad(OptionScanner* s, const char* name, const std::string& want) {
  scan_refuse(s, std::string(name) + ": " + want, WITHOUT_USAGE);
  return true;
}

// What a measure of max frames from `from` tells of the playback after it:
// its frames when it ends or fills the limit, else 0 (unknown).
uint64_t total_after(const qm_measure& m, uint64_t from, uint64_t limit) {
  const uint64_t after = m.frames > from ? m.frames - from : 0;
  if (m.ended != 0) return std::min(after, limit);
  return after >= limit ? limit : 0;
}

}  // namespace

const char* const LENGTH_OPTIONS_HELP =
    "  --seconds TIME           stop after TIME (seconds, M:SS or H:MM:SS, up to a\n"
    "                           day); without --loops the song repeats to fill it\n"
    "  --fade TIME              fade out linearly over the last TIME\n"
    "  --start-time TIME        start TIME into the playback, at the song's own\n"
    "                           tempo (not with --start)\n";

bool parse_time(const char* text, double max, double* seconds) {
  if (text == nullptr) return false;
  const std::string all = text;
  double total = 0.0;
  int fields = 0;
  for (size_t at = 0; at <= all.size(); ++fields) {
    const size_t colon = std::min(all.find(':', at), all.size());
    const bool last = colon == all.size();
    const std::string field = all.substr(at, colon - at);
    double value = 0.0;
    if (fields == MAX_FIELDS || !parse_field(field, &value)) return false;
    if (!last && field.find('.') != std::string::npos) return false;  // only the seconds have a fraction
    if (fields > 0 && value >= UNITS_PER_FIELD) return false;
    total = total * UNITS_PER_FIELD + value;
    at = colon + 1;
  }
  if (total > max) return false;
  *seconds = total;
  return true;
}

bool parse_length_option(OptionScanner* s, LengthOptions* o) {
  const char* v = nullptr;
  const std::string above_zero = std::string("wants a time above 0 and at most a day (") + TIME_WANTED + ")";
  if (scan_value(s, "--seconds", &v)) {
    if (!parse_time(v, MAX_SECONDS, &o->seconds) || o->seconds <= 0.0) return bad(s, "--seconds", above_zero);
  } else if (scan_value(s, "--fade", &v)) {
    if (!parse_time(v, MAX_SECONDS, &o->fade) || o->fade <= 0.0) return bad(s, "--fade", above_zero);
  } else if (scan_value(s, "--start-time", &v)) {
    if (!parse_time(v, MAX_SECONDS, &o->start_time))
      return bad(s, "--start-time", std::string("wants a time from 0 to a day (") + TIME_WANTED + ")");
  } else {
    return false;
  }
  return true;
}

bool finish_length_options(OptionScanner* s, const LengthOptions& o, MixOptions* mix) {
  if (mix->loops == LOOPS_UNSET) mix->loops = o.seconds > 0.0 ? 0 : 1;
  if (o.start_time >= 0.0 && mix->start != 0) {
    scan_refuse(s, "--start and --start-time both say where to start; give one");
    return false;
  }
  return true;
}

bool start_playback(qm_player* player, const qm_song* song, const MixOptions& mix, const LengthOptions& length,
                    const PlayLimits& limits, PlayPlan* plan, std::string* why) {
  if (!apply_mix_options(player, song, mix, why)) return false;
  *plan = PlayPlan{};
  plan->limit =
      length.seconds > 0.0 ? std::max<uint64_t>(1, to_frames(length.seconds, mix.rate)) : limits.default_limit;
  const bool need_total = limits.need_total || length.fade > 0.0;
  const uint64_t span = need_total ? std::min(plan->limit, limits.measure_cap) : 0;
  const int32_t repeats = mix.loops == 0 ? -1 : mix.loops - 1;
  qm_measure m{};
  m.size = sizeof m;
  if (length.start_time >= 0.0) {
    // Measured from the song's start, as the frame seek counts, one frame
    // past the start at least: a start at or past the end plays nothing.
    const uint64_t from = to_frames(length.start_time, mix.rate);
    const uint64_t until = add_capped(from, std::max<uint64_t>(span, 1));
    if (qm_song_measure_ex(song, mix.rate, 0, repeats, until, 0, &m) != QM_OK ||
        (m.ended != 0 && m.frames <= from)) {
      *why = "--start-time " + seconds_text(length.start_time) + " is at or past the end of the playback (" +
             seconds_text(static_cast<double>(m.frames) / mix.rate) + ")";
      return false;
    }
    if (need_total) plan->total = total_after(m, from, plan->limit);
    qm_player_seek_frame(player, from);
  } else if (need_total && qm_song_measure_ex(song, mix.rate, mix.start, repeats, span, 0, &m) == QM_OK) {
    plan->total = total_after(m, 0, plan->limit);
  }
  qm_position at{};
  at.size = sizeof at;
  qm_player_get_position(player, &at);
  plan->start = at.frame;
  // The fade ends with the playback, in the song's time (a start past 0 included).
  if (length.fade > 0.0 && plan->total > 0) {
    plan->fade = to_frames(length.fade, mix.rate);
    qm_player_fade_out(player, plan->start + plan->total, plan->fade);
  }
  return true;
}
