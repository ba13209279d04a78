// mix_options.h: the mixing options that xmrender and the real-time player
// share, parsed the same way and applied to a player through the C API, so
// that both play exactly the same thing for the same options.
// Owns: nothing. Thread: the caller's.
//
//   MixOptions mix;
//   while (scan_next(&scanner))
//     if (parse_mix_option(&scanner, &mix)) continue; ...
//   apply_mix_options(player, song, mix, &why);
#pragma once
#include <cstdint>
#include <string>

#include "quillmere/music.h"
#include "tools/common/command_line.h"

constexpr int32_t MIX_MIN_RATE = 8000;
constexpr int32_t MIX_MAX_RATE = 192000;
constexpr int32_t DEFAULT_RATE = 44100;

struct MixOptions {
  int32_t rate = DEFAULT_RATE; // --rate HZ: output frames per second, 8000..192000
  int32_t loops = 1;           // --loops N: plays of the song, 1.. (1 = once); 0 = without end
  int32_t start = 0;           // --start ORDER: order position to start at, 0..song length - 1
  double gain_db = 0.0;        // --gain DB: -60..24
  int32_t separation = 100;    // --stereo-separation PERCENT: 0 (mono) .. 200
  bool mono = false;           // --mono: one channel, the mid signal (separation 0)
  uint32_t muted = 0;          // --mute LIST: bit c set mutes channel c + 1 (1..32)
  uint32_t soloed = 0;         // --solo LIST: bit c set solos channel c + 1; any solo silences the others
  qm_interpolation interpolation = QM_INTERPOLATION_LINEAR; // --interpolation linear|cubic|sinc8
};

// True when the scanner's current argument is a mixing option: taken with
// its value, or refused ("program: --name: reason", scanner->refused) when
// the value is missing or bad. False, the scanner unmoved, for any other.
bool parse_mix_option(OptionScanner* scanner, MixOptions* options);

// The help lines of the mixing options, for a --help text.
extern const char* const MIX_OPTIONS_HELP;

// Sets player up for the options: repeats, start position, gain, stereo
// separation, muted and soloed channels, interpolation. False with a reason (for
// "program: file: reason") when the start lies outside the song or a
// channel named is not in it.
bool apply_mix_options(qm_player* player, const qm_song* song, const MixOptions& options, std::string* why);
