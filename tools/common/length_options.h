// length_options.h: how much of a song plays, the options xmrender and the
// real-time player share: --seconds (at most this long), --fade (a fade out
// over the last seconds) and --start-time (start this far into the
// playback), with their time values ("90", "1:30", "1:02:03.5"), and the
// setting up of a player for them after the mixing options.
// Owns: nothing. Thread: the caller's.
//
//   MixOptions mix; mix.loops = LOOPS_UNSET;
//   LengthOptions length;
//   while (scan_next(&s)) ... parse_length_option(&s, &length) ...
//   if (!finish_length_options(&s, length, &mix)) return COMMAND_BAD;
//   ...
//   PlayPlan plan;
//   if (!start_playback(player, song, mix, length, limits, &plan, &why)) refuse(why);
#pragma once
#include <cstdint>
#include <string>

#include "quillmere/music.h"
#include "tools/common/command_line.h"
#include "tools/common/mix_options.h"

constexpr double MAX_SECONDS = 86400.0;  // the longest time value: a day
constexpr int32_t LOOPS_UNSET = -1;      // mix.loops before the scan, until --loops is seen

struct LengthOptions {
  double seconds = 0.0;      // --seconds S: at most S seconds from the start, 0 < S <= a day; 0: not given
  double fade = 0.0;         // --fade S: linear fade out over the last S seconds; 0: none
  double start_time = -1.0;  // --start-time T: start T seconds into the playback, 0..a day; < 0: not given
};

// A time value: seconds ("90", "2.5"), or minutes and seconds ("1:30",
// "1:30.25"), or hours, minutes and seconds ("1:02:03"); at most max
// seconds. False for anything else (a sign, an empty field, 60 or more in
// a field after the first).
bool parse_time(const char* text, double max, double* seconds);

// True when the scanner's current argument is a length option: taken, or
// refused ("program: --name: reason") when its value is bad. False, the
// scanner unmoved, for any other.
bool parse_length_option(OptionScanner* scanner, LengthOptions* options);

// After the scan: --loops left unset plays once, or without end when
// --seconds bounds the playback (the song repeats to fill it); --start and
// --start-time together are refused. False after the refusal.
bool finish_length_options(OptionScanner* scanner, const LengthOptions& options, MixOptions* mix);

// The help lines of the length options, for a --help text.
extern const char* const LENGTH_OPTIONS_HELP;

// How long a playback runs, in frames, decided before it starts.
struct PlayPlan {
  uint64_t start = 0;  // frame of the song's time it starts at (past 0 after --start or --start-time)
  uint64_t limit = 0;  // frames it plays at most from there (--seconds, or the caller's default)
  uint64_t total = 0;  // frames it plays from there, when measured and within the limit; else 0
  uint64_t fade = 0;   // frames of the fade, which ends at start + total; 0: none
};

// What start_playback measures and stops at when the options leave it open.
struct PlayLimits {
  uint64_t default_limit = UINT64_MAX;  // frames played at most without --seconds
  uint64_t measure_cap = 0;             // a playback longer than this many frames is not measured (total 0)
  bool need_total = false;              // measure even without a fade
};

// Sets player up for a playback of song: the mixing options, the start
// (--start-time sought by frame, at the song's own tempo), and the fade
// ending where the playback does. False with a reason when a mixing option
// does not fit the song or the start time lies at or past the end of the
// playback.
bool start_playback(qm_player* player, const qm_song* song, const MixOptions& mix, const LengthOptions& length,
                    const PlayLimits& limits, PlayPlan* plan, std::string* why);
