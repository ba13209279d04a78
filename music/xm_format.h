// xm_format.h: the XM format's numbers, in one place: the limits of what a
// song holds, the encodings of notes, effects and volume-column commands,
// the flag bits of envelopes, samples and the song, and the two clamps the
// engine limits values with.
// Owns: nothing (constants and two inline helpers). Thread: any.
#pragma once
#include <cstdint>

namespace qm {

// ---- Limits ---------------------------------------------------------------
constexpr int CHANNEL_COUNT = 32;       // channels a song can use (cells per row)
constexpr int ORDER_TABLE_SIZE = 256;   // order positions
constexpr int MAX_PATTERNS = 256;       // patterns an order entry can name
constexpr int MAX_ROWS = 256;           // rows of a pattern
constexpr int EMPTY_PATTERN_ROWS = 64;  // rows of a pattern the song names but lacks
constexpr int MAX_INSTRUMENTS = 128;    // instruments a cell can name
constexpr int STRICT_INSTRUMENT_SAMPLES = 16; // samples of an instrument as the format's first tracker keeps them
constexpr int MAX_INSTRUMENT_SAMPLES = 256;   // samples an instrument's keymap can name (its entries are bytes)
constexpr int MAX_SONG_SAMPLES = 4000;        // samples of a song, more than any tracker saves
constexpr int SAMPLE_MAP_NOTES = 96;    // notes of an instrument's sample map
constexpr int ENVELOPE_POINTS = 12;     // points of an envelope
constexpr int32_t MAX_VOLUME = 64;      // channel, sample and global volume
constexpr int32_t MAX_PANNING = 255;    // 0 right .. 255 left (128 centre)
constexpr int32_t MAX_ENVELOPE_VALUE = 64;

// ---- Versions ---------------------------------------------------------------
constexpr uint16_t XM_VERSION_1_02 = 0x0102; // the earliest layout: instruments first, 1-byte row counts
constexpr uint16_t XM_VERSION_1_03 = 0x0103; // instruments first, all sample data after the patterns
constexpr uint16_t XM_VERSION_1_04 = 0x0104; // the layout of today's trackers

// ---- Notes ----------------------------------------------------------------
constexpr uint8_t FILE_KEY_OFF_NOTE = 97; // the key-off note as a file stores it
constexpr uint8_t NOTE_KEY_OFF = 255;     // the key-off note in a loaded cell

// ---- Effects (a cell's effect byte, base 36) ------------------------------
enum Effect : uint8_t {
  EFFECT_ARPEGGIO = 0x00,              // 0
  EFFECT_PORTA_UP = 0x01,              // 1
  EFFECT_PORTA_DOWN = 0x02,            // 2
  EFFECT_TONE_PORTA = 0x03,            // 3
  EFFECT_VIBRATO = 0x04,               // 4
  EFFECT_TONE_PORTA_VOLUME_SLIDE = 0x05, // 5
  EFFECT_VIBRATO_VOLUME_SLIDE = 0x06,  // 6
  EFFECT_TREMOLO = 0x07,               // 7
  EFFECT_SET_PANNING = 0x08,           // 8
  EFFECT_SAMPLE_OFFSET = 0x09,         // 9
  EFFECT_VOLUME_SLIDE = 0x0A,          // A
  EFFECT_POSITION_JUMP = 0x0B,         // B
  EFFECT_SET_VOLUME = 0x0C,            // C
  EFFECT_PATTERN_BREAK = 0x0D,         // D
  EFFECT_EXTENDED = 0x0E,              // E
  EFFECT_SPEED_TEMPO = 0x0F,           // F
  EFFECT_SET_GLOBAL_VOLUME = 0x10,     // G
  EFFECT_GLOBAL_VOLUME_SLIDE = 0x11,   // H
  EFFECT_KEY_OFF = 0x14,               // K
  EFFECT_SET_ENVELOPE_POSITION = 0x15, // L
  EFFECT_PANNING_SLIDE = 0x19,         // P
  EFFECT_MULTI_RETRIGGER = 0x1B,       // R
  EFFECT_TREMOR = 0x1D,                // T
  EFFECT_EXTRA_FINE_PORTA = 0x21,      // X
};

// Sub-effects of E, by the parameter's high nibble.
enum ExtendedEffect : uint8_t {
  EXT_FINE_PORTA_UP = 0x1,
  EXT_FINE_PORTA_DOWN = 0x2,
  EXT_VIBRATO_CONTROL = 0x4,
  EXT_SET_FINETUNE = 0x5,
  EXT_PATTERN_LOOP = 0x6,
  EXT_TREMOLO_CONTROL = 0x7,
  EXT_SET_PANNING = 0x8,
  EXT_RETRIGGER = 0x9,
  EXT_FINE_VOLUME_UP = 0xA,
  EXT_FINE_VOLUME_DOWN = 0xB,
  EXT_NOTE_CUT = 0xC,
  EXT_NOTE_DELAY = 0xD,
  EXT_PATTERN_DELAY = 0xE,
};

// ---- Volume column --------------------------------------------------------
// Bytes 0x10..0x50 set the volume to byte - 0x10; from 0x60 on the high
// nibble is a command and the low nibble its value.
constexpr uint8_t VOLCOL_SET_FIRST = 0x10;
constexpr uint8_t VOLCOL_SET_LAST = 0x50;
enum VolumeCommand : uint8_t {
  VOLCOL_SLIDE_DOWN = 0x6,    // -y
  VOLCOL_SLIDE_UP = 0x7,      // +y
  VOLCOL_FINE_DOWN = 0x8,     // Dy
  VOLCOL_FINE_UP = 0x9,       // Uy
  VOLCOL_VIBRATO_SPEED = 0xA, // Sy
  VOLCOL_VIBRATO_DEPTH = 0xB, // Vy
  VOLCOL_SET_PANNING = 0xC,   // Py
  VOLCOL_PAN_LEFT = 0xD,      // Ly
  VOLCOL_PAN_RIGHT = 0xE,     // Ry
  VOLCOL_TONE_PORTA = 0xF,    // My
};
// The command of a volume-column byte (its high nibble).
constexpr uint8_t volume_command(uint8_t volume_byte) { return static_cast<uint8_t>(volume_byte >> 4); }

// ---- Flag bits ------------------------------------------------------------
constexpr uint8_t ENVELOPE_ON = 0x01;       // envelope flags
constexpr uint8_t ENVELOPE_SUSTAIN = 0x02;
constexpr uint8_t ENVELOPE_LOOP = 0x04;
constexpr uint16_t MODULE_LINEAR_TABLE = 0x0001;  // song flags bit 0: linear periods
enum LoopType : uint8_t { LOOP_NONE = 1, LOOP_FORWARD = 2, LOOP_PINGPONG = 4 };  // a loaded sample's loop

// ---- Clamps ---------------------------------------------------------------
// value limited to low..high.
template <typename T>
constexpr T clamp_to(T value, T low, T high) {
  return value < low ? low : (value > high ? high : value);
}
// A 64-bit value held inside the 32-bit range.
constexpr int32_t saturate_int32(int64_t value) {
  return static_cast<int32_t>(clamp_to<int64_t>(value, INT32_MIN, INT32_MAX));
}

}  // namespace qm
