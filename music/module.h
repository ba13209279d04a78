// module.h: the in-memory model of a loaded XM song.
// Owns: nothing itself. A loaded Module is one block of memory that also
// holds its patterns, cells, instruments, samples and sample frames.
// Thread: built on the loading thread; after loading nothing writes it, so
// any number of players on any threads may read it at once. Everything that
// changes during play lives in a Player (player.h).
#pragma once
#include <cstdint>

#include "music/xm_format.h"

namespace qm {

// One pattern cell, 5 bytes.
struct Cell {
  uint8_t note;       // 0 none, 1..96 notes, 255 key-off
  uint8_t instrument; // 0 none, 1..128
  uint8_t volume;     // volume-column byte as in the file
  uint8_t effect;     // 0..35 (base-36 effect letter)
  uint8_t param;      // effect parameter
};

struct Pattern {
  int32_t row_count; // rows, 1..256 after loading
  Cell* cells;       // row_count * channel_count cells, row-major
};

struct EnvelopePoint {
  uint16_t x; // ticks from the envelope start
  uint16_t y; // value 0..64
};

// Room for a stored name (at most 22 characters) and its terminating zero.
constexpr int SONG_NAME_BYTES = 24;

// Frames kept as zero guards before a sample's first frame; data points past them.
constexpr uint32_t SAMPLE_LEAD_FRAMES = 4;
// Spare zero frames after the last frame of a sample.
constexpr uint32_t SAMPLE_SPARE_FRAMES = 8;
// Frames kept on each side of a loop's edge for the interpolations.
constexpr int32_t LOOP_WINDOW_BEFORE = 8;
constexpr int32_t LOOP_WINDOW_FRAMES = 2 * LOOP_WINDOW_BEFORE;


struct Sample {
  int16_t* data;         // length + SAMPLE_SPARE_FRAMES frames, SAMPLE_LEAD_FRAMES zero
                         // frames before data[0]; null when length is 0
  uint32_t length;       // frames
  uint32_t loop_start;   // frames; 0 without loop
  uint32_t loop_length;  // frames; equal to length without loop
  uint8_t volume;        // 0..64
  int8_t finetune;       // -128..127
  int32_t panning;       // 0..255
  uint8_t bits;          // 16 after loading (8 only for an empty 8-bit sample)
  uint8_t loop_type;     // LoopType; 0 only for empty_sample
  int8_t relative_note;  // semitones
  char name[SONG_NAME_BYTES]; // printable ASCII, zero-terminated, trailing spaces removed
  uint16_t number;       // 1..MAX_SONG_SAMPLES: its place among the song's samples (instrument
                         // by instrument, slot by slot, from 1); 0 for empty_sample
  // The frames playback reaches around a loop's edges, for the interpolations
  // that read past them (interpolate.h); filled for loops of at least
  // LOOP_WINDOW_BEFORE frames, zeros otherwise.
  int16_t end_window[LOOP_WINDOW_FRAMES];   // frames loop end - 8 .. loop end + 7
  int16_t start_window[LOOP_WINDOW_FRAMES]; // frames loop start - 8 .. loop start + 7, once wrapped
};

// Shared all-zero sample for absent slots; read only.
extern const Sample empty_sample;

// Sample numbers a song can use: one per sample, and 0.
constexpr int MAX_SAMPLE_NUMBERS = MAX_SONG_SAMPLES + 1;


struct Instrument {
  int32_t sample_count;                          // 0..MAX_INSTRUMENT_SAMPLES
  const Sample* const* samples;                  // sample_count non-null entries; null when 0
  uint8_t sample_map[SAMPLE_MAP_NOTES];          // sample slot per note
  EnvelopePoint volume_envelope[ENVELOPE_POINTS];
  EnvelopePoint panning_envelope[ENVELOPE_POINTS];
  uint8_t volume_point_count, panning_point_count;
  uint8_t volume_sustain_point, volume_loop_start, volume_loop_end;    // point indices
  uint8_t panning_sustain_point, panning_loop_start, panning_loop_end; // point indices
  uint8_t volume_flags, panning_flags; // ENVELOPE_*; 0 with fewer than 2 points
  uint8_t vibrato_type;  // 0 sine, 1 square, 2 and 3 ramps
  uint8_t vibrato_sweep; // ticks to full depth; 0 = at once
  uint8_t vibrato_depth; // 0..15 in files
  uint8_t vibrato_rate;  // position step per tick, 0..255
  uint16_t fadeout;      // file value * 2 (16-bit arithmetic)
  char name[SONG_NAME_BYTES]; // printable ASCII, zero-terminated, trailing spaces removed
};

// What a Module from load_song guarantees, whatever the
// file held:
// - channel_count is 1..32; every Pattern has row_count 1..256 and
//   row_count * channel_count cells;
// - all 256 order_table entries (also those at or after song_length) are
//   below pattern_count, which is 1..256;
// - song_length is 0..256; restart_position is below song_length (0 when
//   song_length is 0);
// - instrument_count is 0..128; cell instruments are 0..128; cell notes are
//   as stored (97 becomes 255), so values 98..254 can occur;
// - sample_map entries are as stored;
// - envelope point counts are 0..12 and point indices 0..11; envelope flags
//   are 0 with fewer than 2 points;
// - an instrument's sample_count is 0..256 (0..16 from a strict load) and
//   the song's samples are at most MAX_SONG_SAMPLES; each of the
//   sample_count slots points at a sample of the song (sample_map entries
//   at or above sample_count name no sample);
//   a sample's data is non-null exactly when length > 0; loop_start +
//   loop_length <= length, with loop_length >= 1 for loops; volume is 0..64;
//   the lead frames are 0, and so are the spare frames except a guard frame
//   at loop_start + loop_length (which may be the frame after the last one);
// - names are printable ASCII; the song's samples are numbered 1 ..
//   sample_numbers - 1 in instrument and slot order;
// - default_speed and default_bpm are as stored (signed 16-bit, so 0 or
//   negative can occur): the replayer keeps the tick length positive.

// Warnings a song keeps with their text; later ones are only counted.
constexpr int SONG_WARNINGS_KEPT = 16;
constexpr int SONG_WARNING_TEXT_BYTES = 160; // one sentence and its terminating zero

// One repair the loader made to a damaged file.
struct SongWarning {
  uint8_t kind;                       // qm_warning_kind, 1..6
  char text[SONG_WARNING_TEXT_BYTES]; // names the object, e.g. "pattern 3 ends after row 12 of 64"
};

struct Module {
  Pattern* patterns;           // pattern_count entries
  Instrument* instruments;     // instrument_count entries
  int16_t song_length;         // order positions, 0..256
  int16_t restart_position;    // order position after the last one
  int16_t channel_count;       // cells per row, 1..32
  int32_t used_pattern_count;  // 1 + highest pattern named by the song's orders
  int32_t pattern_count;       // max(file's count, used_pattern_count)
  int16_t instrument_count;    // Instrument records
  uint16_t flags;              // MODULE_LINEAR_TABLE
  int16_t default_speed;       // ticks per row at play start
  int16_t default_bpm;         // tempo at play start
  uint8_t order_table[ORDER_TABLE_SIZE]; // pattern per order position
  uint8_t initial_global_volume;         // 64
  char name[SONG_NAME_BYTES];         // song name, printable ASCII, trailing spaces removed
  char tracker_name[SONG_NAME_BYTES]; // program that wrote the file, same form
  uint16_t version;                   // format version, 0x0102 and above (0x0104 and above strictly)
  int32_t sample_numbers;             // 1 + the largest Sample::number, 1..MAX_SAMPLE_NUMBERS
  int32_t warning_count;              // repairs found, also those past the kept ones
  // The first min(warning_count, 16) repairs; when there were more, entry 16
  // says how many are not listed (with the kind of the first of them).
  SongWarning warnings[SONG_WARNINGS_KEPT + 1];
};

}  // namespace qm
