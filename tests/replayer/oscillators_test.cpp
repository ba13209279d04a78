// The oscillators: the tremolo and vibrato waveforms chosen with E7y and
// E4y, their positions running -32..31, and the instrument's automatic
// vibrato of every type, with its sweep and rate. Expected values are worked
// out from the waveform definitions, position by position.
#include "tests/replayer/song.h"

using namespace qm;

namespace {

using Offsets = std::vector<int32_t>;

// Tremolo offsets of channel 0 on ticks 1..5 of rows 1 and 2: a note at
// volume 32 with tremolo control `control` on row 0, tremolo speed 8 and
// depth 8 from row 1 on. The positions used are 0, 8, 16, 24, -32 on row 1
// and -24, -16, -8, 0, 8 on row 2; `row2_note` restarts the instrument on
// row 2, which puts the position back to 0 unless the control keeps it.
Offsets tremolo_offsets(uint8_t control, bool row2_note = false) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_EXTENDED, static_cast<uint8_t>(0x70 | control), 0x30);
  cell(f, 1, 0) = note_cell(0, 0, EFFECT_TREMOLO, 0x88);
  cell(f, 2, 0) = row2_note ? note_cell(49, 1, EFFECT_TREMOLO, 0x00, 0x30) : note_cell(0, 0, EFFECT_TREMOLO, 0x00);
  Playback p(f);
  Offsets out;
  p.ticks(6);
  for (int row = 1; row <= 2; ++row) {
    p.tick();
    for (int t = 1; t < 6; ++t) {
      p.tick();
      out.push_back(p.channel(0).volume_offset);
    }
  }
  return out;
}

// d = (w * 8) >> 6 with w the waveform's 0..255 amplitude: sine 0, 181, 255,
// 181, 0 over a half cycle; ramp 8r above 0 and 255 - 8r below; square 255.
TEST(TremoloControl, EachWaveformAtItsPositions) {
  const Offsets sine{0, 22, 31, 22, 0, -22, -31, -22, 0, 22};
  EXPECT_EQ(tremolo_offsets(0), sine);
  EXPECT_EQ(tremolo_offsets(1), (Offsets{0, 8, 16, 24, -31, -23, -15, -7, 0, 8}));
  EXPECT_EQ(tremolo_offsets(2), (Offsets{31, 31, 31, 31, -31, -31, -31, -31, 31, 31}));
  // The tremolo's fourth waveform is a sine (the vibrato's is a square).
  EXPECT_EQ(tremolo_offsets(3), sine);
}

TEST(TremoloControl, FourAndAboveKeepThePositionAcrossANewInstrument) {
  // Reset: row 2 starts again at position 0.
  EXPECT_EQ(tremolo_offsets(0, true), (Offsets{0, 22, 31, 22, 0, 0, 22, 31, 22, 0}));
  // Kept: row 2 goes on at -24 as if no note had come; bits 0-1 still pick the waveform.
  EXPECT_EQ(tremolo_offsets(4, true), (Offsets{0, 22, 31, 22, 0, -22, -31, -22, 0, 22}));
  EXPECT_EQ(tremolo_offsets(6, true), (Offsets{31, 31, 31, 31, -31, -31, -31, -31, 31, 31}));
}

// Vibrato period offsets on the row tick and ticks 1..5 of row 1 (speed 8,
// depth 8, position 0 on the row tick and the first tick after it).
Offsets vibrato_offsets(uint8_t control) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_EXTENDED, static_cast<uint8_t>(0x40 | control));
  cell(f, 1, 0) = note_cell(0, 0, EFFECT_VIBRATO, 0x88);
  Playback p(f);
  Offsets out;
  p.ticks(6);
  for (int t = 0; t < 6; ++t) {
    p.tick();
    out.push_back(p.channel(0).period_offset);
  }
  return out;
}

// d = ((w * 8) >> 5) with the two low bits cleared; positive positions lower the period.
TEST(VibratoControl, FourthWaveformIsASquare) {
  EXPECT_EQ(vibrato_offsets(0), (Offsets{0, 0, -44, -60, -44, 0}));
  EXPECT_EQ(vibrato_offsets(2), (Offsets{-60, -60, -60, -60, -60, 60}));
  EXPECT_EQ(vibrato_offsets(3), (Offsets{-60, -60, -60, -60, -60, 60}));
}

TEST(Oscillators, PositionsWrapFrom31ToMinus32) {
  // Channel 0: tremolo speed 1; channel 1: vibrato speed 15. Each steps on
  // ticks 1..5 of every row.
  XmFile f = make_song(2, 16);
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_TREMOLO, 0x18);
  cell(f, 0, 1) = note_cell(49, 1, EFFECT_VIBRATO, 0xF1);
  for (int r = 1; r < 16; ++r) {
    cell(f, r, 0) = note_cell(0, 0, EFFECT_TREMOLO, 0x00);
    cell(f, r, 1) = note_cell(0, 0, EFFECT_VIBRATO, 0x00);
  }
  Playback p(f);
  std::vector<int> tremolo, vibrato;  // positions after each step
  for (int t = 0; t < 6 * 16; ++t) {
    p.tick();
    if (p.player()->tick == 1) continue;  // the row tick just ran: no step
    tremolo.push_back(p.channel(0).tremolo_pos);
    vibrato.push_back(p.channel(1).vibrato_pos);
  }
  ASSERT_EQ(tremolo.size(), 80u);
  EXPECT_EQ(tremolo[29], 30);
  EXPECT_EQ(tremolo[30], 31);   // 31 is a position of its own
  EXPECT_EQ(tremolo[31], -32);  // 32 is -32
  EXPECT_EQ(tremolo[32], -31);
  EXPECT_EQ(tremolo[62], -1);
  EXPECT_EQ(tremolo[63], 0);
  // 15 per step: 45 is -19, 41 is -23, 37 is -27, 33 is -31.
  EXPECT_EQ((std::vector<int>(vibrato.begin(), vibrato.begin() + 17)),
            (std::vector<int>{15, 30, -19, -4, 11, 26, -23, -8, 7, 22, -27, -12, 3, 18, -31, -16, -1}));
}

// Period offsets of the automatic vibrato of `type` with depth 64 (so that
// the offset equals the waveform value) at each position of `at`: the
// position is set before a tick, and rate 0 keeps it there.
Offsets auto_vibrato_at(uint8_t type, const std::vector<int32_t>& at) {
  XmFile f = make_song();
  f.instruments[0].vibrato_type = type;
  f.instruments[0].vibrato_depth = 64;
  cell(f, 0, 0) = note_cell(49, 1);
  Playback p(f);
  p.tick();
  Offsets out;
  for (int32_t position : at) {
    p.channel(0).auto_vibrato_pos = position;
    p.tick();
    out.push_back(p.channel(0).period_offset);
  }
  return out;
}

TEST(AutoVibrato, EveryTypeAtItsTurningPoints) {
  const std::vector<int32_t> at{0, 1, 64, 127, 128, 129, 192, 255};
  // Sine: trunc(sin(p * pi / 128) * 64), toward zero on both sides.
  EXPECT_EQ(auto_vibrato_at(0, at), (Offsets{0, 1, 63, 1, 0, -1, -63, -1}));
  EXPECT_EQ(auto_vibrato_at(0, {16, 32, 96, 160, 224}), (Offsets{24, 45, 45, -45, -45}));
  // Square: +64 for the first half of the cycle, -64 for the second.
  EXPECT_EQ(auto_vibrato_at(1, at), (Offsets{64, 64, 64, 64, -64, -64, -64, -64}));
  // Ramp down: 0 falling to -64 at 127, 64 at 128 falling back toward 0.
  EXPECT_EQ(auto_vibrato_at(2, at), (Offsets{0, -1, -32, -64, 64, 63, 32, 0}));
  // Ramp up: 0 rising to 64 at 128, -64 at 129 rising to -1.
  EXPECT_EQ(auto_vibrato_at(3, at), (Offsets{0, 0, 32, 63, 64, -64, -32, -1}));
  // Types without a waveform add nothing.
  const Offsets none(at.size(), 0);
  EXPECT_EQ(auto_vibrato_at(4, at), none);
  EXPECT_EQ(auto_vibrato_at(255, at), none);
}

TEST(AutoVibrato, SweepRampsTheDepthInAndRateMovesThePosition) {
  XmFile f = make_song();
  f.instruments[0].vibrato_type = 1;  // square: w = 64 while the position is below 128
  f.instruments[0].vibrato_depth = 15;
  f.instruments[0].vibrato_sweep = 4;
  cell(f, 0, 0) = note_cell(49, 1);
  Playback p(f);
  Offsets offsets;
  for (int t = 0; t < 6; ++t) {
    p.tick();
    offsets.push_back(p.channel(0).period_offset);
  }
  // 64 * 15 = 960 scaled by sweep/4 for sweep 0..4, then >> 6; the row tick has sweep 0.
  EXPECT_EQ(offsets, (Offsets{0, 3, 7, 11, 15, 15}));
  EXPECT_EQ(p.channel(0).auto_vibrato_sweep, 4);

  // Rate 200 from 0: 200, 400 - 256 = 144, 344 - 256 = 88, 288 - 256 = 32.
  XmFile g = make_song();
  g.instruments[0].vibrato_type = 3;
  g.instruments[0].vibrato_depth = 64;
  g.instruments[0].vibrato_rate = 200;
  cell(g, 0, 0) = note_cell(49, 1);
  Playback q(g);
  Offsets ramp;
  std::vector<int32_t> positions;
  for (int t = 0; t < 5; ++t) {
    q.tick();
    ramp.push_back(q.channel(0).period_offset);
    positions.push_back(q.channel(0).auto_vibrato_pos);
  }
  EXPECT_EQ(positions, (std::vector<int32_t>{200, 144, 88, 32, 232}));
  EXPECT_EQ(ramp, (Offsets{0, -28, -56, 44, 16}));
}

}  // namespace
