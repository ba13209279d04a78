// xm_writer.h: the song as the generator builds it (patterns of cells,
// instruments with envelopes and samples) and its serialisation to the bytes
// of an Extended Module file.
// Owns: nothing global. Thread: any.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

constexpr uint8_t XM_KEY_OFF = 97; // the note byte of a key-off

// Sample type bits as stored in the file.
constexpr uint8_t XM_LOOP_FORWARD = 0x01;
constexpr uint8_t XM_LOOP_PINGPONG = 0x02;

struct XmCell {
  uint8_t note;       // 0 none, 1..96 (1 = C-0), 97 key-off
  uint8_t instrument; // 0 none, 1..128
  uint8_t volume;     // volume-column byte
  uint8_t effect;     // 0..35
  uint8_t param;      // effect parameter
};

struct XmPattern {
  int rows;                  // 1..256
  std::vector<XmCell> cells; // rows * channel count, row-major
};

struct XmSample {
  std::string name;           // up to 22 characters
  bool sixteen_bit;           // 16-bit frames; otherwise values -128..127
  std::vector<int16_t> frames;
  uint8_t loop;               // 0, XM_LOOP_FORWARD or XM_LOOP_PINGPONG
  uint32_t loop_start;        // frames
  uint32_t loop_length;       // frames
  uint8_t volume;             // 0..64
  int8_t finetune;            // 1/128 semitone
  uint8_t panning;            // 0..255
  int8_t relative_note;       // semitones; 0 plays C-4 at 8363 frames per second
};

struct XmEnvelope {
  int point_count;       // 0..12
  uint16_t x[12];        // ticks from the start, increasing
  uint16_t y[12];        // 0..64
  uint8_t sustain;       // point index
  uint8_t loop_start;    // point index
  uint8_t loop_end;      // point index
  uint8_t flags;         // 1 on, 2 sustain, 4 loop
};

struct XmInstrument {
  std::string name;               // up to 22 characters
  std::vector<XmSample> samples;  // 1..16
  uint8_t sample_map[96];         // sample index per note
  XmEnvelope volume_envelope;
  XmEnvelope panning_envelope;
  uint8_t vibrato_type, vibrato_sweep, vibrato_depth, vibrato_rate;
  uint16_t fadeout;               // subtracted per tick after key-off (file value)
};

struct XmSong {
  std::string name;              // up to 20 characters
  int channels;                  // 1..32
  std::vector<uint8_t> orders;   // pattern number per order position
  int restart_position;          // order position after the last one
  int default_speed;             // ticks per row
  int default_bpm;               // tempo
  std::vector<XmPattern> patterns;
  std::vector<XmInstrument> instruments;
};

// A pattern of rows empty rows for channels channels.
XmPattern make_pattern(int rows, int channels);

// The file's bytes: header, packed patterns, instruments with delta-coded
// sample data. Linear frequency table.
std::vector<uint8_t> write_xm(const XmSong& song);
