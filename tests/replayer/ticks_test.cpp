// Tick-timed effects (retrigger, note delay) and envelopes, tick by tick.
#include "tests/replayer/song.h"

using namespace qm;

namespace {

// The ticks 1..ticks-1 of the first row on which channel 0 gets UPDATE_START.
std::vector<int> start_ticks(const XmFile& f, int ticks) {
  Playback p(f);
  std::vector<int> out;
  p.tick();
  for (int t = 1; t < ticks; ++t) {
    p.tick();
    if (p.channel(0).update_flags & UPDATE_START) out.push_back(t);
  }
  return out;
}

TEST(Ticks, RetriggerEveryYTicksThroughPatternDelay) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_EXTENDED, 0x93);
  EXPECT_EQ(start_ticks(f, 6), (std::vector<int>{3}));
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_EXTENDED, 0x92);
  EXPECT_EQ(start_ticks(f, 6), (std::vector<int>{2, 4}));
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_EXTENDED, 0x93);
  cell(f, 0, 1) = note_cell(0, 0, EFFECT_EXTENDED, 0xE1);
  EXPECT_EQ(start_ticks(f, 12), (std::vector<int>{3, 6, 9}));
}

TEST(Ticks, NoteDelayStartsOnTickY) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_SET_VOLUME, 16);
  cell(f, 1, 0) = note_cell(61, 1, EFFECT_EXTENDED, 0xD3);
  cell(f, 2, 0) = note_cell(49, 1, EFFECT_EXTENDED, 0xD3, 0x30);
  Playback p(f);
  p.ticks(6);
  Channel& c = p.channel(0);
  std::vector<int> starts;
  for (int t = 0; t < 6; ++t) {
    p.tick();
    if (c.update_flags & UPDATE_START) starts.push_back(t);
    if (t == 2) {
      EXPECT_EQ(c.volume, 16);  // the old note goes on undisturbed
      EXPECT_EQ(c.period, 4608);
    }
  }
  EXPECT_EQ(starts, (std::vector<int>{3}));
  EXPECT_EQ(c.volume, 48);  // the sample's default volume
  EXPECT_EQ(c.period, 4608 - 12 * 64);
  p.ticks(6);
  EXPECT_EQ(c.volume, 32);  // the volume column's, applied with the delayed note
  EXPECT_EQ(c.period, 4608);
}

// Volume-envelope values of channel 0 on each of `ticks` ticks.
std::vector<int32_t> envelope_values(const XmFile& f, int ticks) {
  Playback p(f);
  std::vector<int32_t> out;
  for (int t = 0; t < ticks; ++t) {
    p.tick();
    out.push_back(p.channel(0).volume_env.value);
  }
  return out;
}

void set_volume_envelope(XmInstrument& in, std::vector<EnvelopePoint> points, uint8_t flags) {
  for (size_t i = 0; i < points.size(); ++i) in.volume_envelope[i] = points[i];
  in.volume_point_count = static_cast<uint8_t>(points.size());
  in.volume_flags = flags;
}

TEST(Envelope, SustainHoldsUntilKeyOff) {
  XmFile f = make_song();
  set_volume_envelope(f.instruments[0], {{0, 64}, {4, 32}, {8, 16}, {12, 0}}, ENVELOPE_ON | ENVELOPE_SUSTAIN);
  f.instruments[0].volume_sustain_point = 2;
  cell(f, 0, 0) = note_cell(49, 1);
  cell(f, 2, 0) = note_cell(0, 0, EFFECT_KEY_OFF, 0);
  EXPECT_EQ(envelope_values(f, 18), (std::vector<int32_t>{64, 56, 48, 40, 32, 28, 24, 20, 16, 16, 16, 16,  //
                                                          16, 12, 8, 4, 0, 0}));
}

TEST(Envelope, LoopJumpsBackToTheLoopStart) {
  XmFile f = make_song();
  set_volume_envelope(f.instruments[0], {{0, 0}, {2, 20}, {4, 40}, {6, 60}}, ENVELOPE_ON | ENVELOPE_LOOP);
  f.instruments[0].volume_loop_start = 1;
  f.instruments[0].volume_loop_end = 3;
  cell(f, 0, 0) = note_cell(49, 1);
  EXPECT_EQ(envelope_values(f, 11), (std::vector<int32_t>{0, 10, 20, 30, 40, 50, 20, 30, 40, 50, 20}));
}

TEST(Envelope, HostilePointsStayInRange) {
  XmFile f = make_song();
  // x falling back from 10 to 5, a y far above 64, loop and sustain points beyond the count.
  set_volume_envelope(f.instruments[0], {{0, 64}, {10, 32}, {5, 0}, {20, 1000}},
                      ENVELOPE_ON | ENVELOPE_LOOP | ENVELOPE_SUSTAIN);
  f.instruments[0].volume_loop_start = 200;
  f.instruments[0].volume_loop_end = 3;
  f.instruments[0].volume_sustain_point = 250;
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_SET_ENVELOPE_POSITION, 0xFF);
  cell(f, 1, 0) = note_cell(49, 1);
  std::vector<int32_t> values = envelope_values(f, 48);
  for (int32_t v : values) {
    EXPECT_GE(v, 0);
    EXPECT_LE(v, 64);
  }
  EXPECT_EQ(values.back(), 64);  // the last point is reached, not passed by
}

TEST(Envelope, SetEnvelopePositionInterpolates) {
  XmFile f = make_song();
  set_volume_envelope(f.instruments[0], {{0, 64}, {4, 32}, {8, 16}, {12, 0}}, ENVELOPE_ON);
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_SET_ENVELOPE_POSITION, 6);
  Playback p(f);
  p.tick();
  const EnvelopeState& e = p.channel(0).volume_env;
  EXPECT_EQ(e.point, 2);
  EXPECT_EQ(e.tick, 6);
  EXPECT_EQ(e.value, 24);
  p.tick();
  EXPECT_EQ(e.value, 20);
}

}  // namespace
