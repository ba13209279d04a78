// Song position: speed and tempo, breaks, jumps, pattern loops and delays,
// wrap-around, and the guards against positions a file should not reach.
#include "tests/replayer/song.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

using Positions = std::vector<std::pair<int, int>>;

TEST(Tempo, SpeedAndTempoEffects) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(0, 0, EFFECT_SPEED_TEMPO, 0x20);
  cell(f, 0, 1) = note_cell(0, 0, EFFECT_SPEED_TEMPO, 0x1F);
  Playback p(f);
  ASSERT_TRUE(p.loaded());
  p.tick();
  EXPECT_EQ(p.player()->bpm, 32);
  EXPECT_EQ(p.player()->samples_per_tick, 3445);
  EXPECT_EQ(p.player()->speed, 31);
  // The new tempo governs the row tick that set it: the next row is 31 ticks of 3445 frames later.
  std::vector<RowTick> t = trace_song(f, 5.0);
  ASSERT_GE(t.size(), 2u);
  EXPECT_EQ(t[1].frame - t[0].frame, 31u * 3445u);
  EXPECT_EQ(t[0].speed, 31);
  EXPECT_EQ(t[0].bpm, 32);
}

TEST(Tempo, SpeedZeroMakesEveryTickARowTick) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(0, 0, EFFECT_SPEED_TEMPO, 0x00);
  std::vector<RowTick> t = trace_song(f, 0.2);
  ASSERT_GE(t.size(), 4u);
  for (size_t i = 1; i < 4; ++i) EXPECT_EQ(t[i].frame - t[i - 1].frame, 882u);
  EXPECT_EQ(positions(t, 4), (Positions{{0, 0}, {0, 1}, {0, 2}, {0, 3}}));
}

TEST(Tempo, TempoZeroKeepsTicksPositive) {
  XmFile f = make_song();
  f.default_bpm = 0;
  std::vector<RowTick> t = trace_song(f, 40.0);
  ASSERT_GE(t.size(), 2u);
  EXPECT_GT(t[1].frame, t[0].frame);
  EXPECT_EQ((t[1].frame - t[0].frame) % 6, 0u);
}

TEST(Flow, PatternBreakRows) {
  XmFile f = make_song(2, 64, 2);
  cell(f, 0, 0) = note_cell(0, 0, EFFECT_PATTERN_BREAK, 0x3F);
  cell(f, 46, 1, 1) = note_cell(0, 0, EFFECT_PATTERN_BREAK, 0x64);
  std::vector<RowTick> t = trace_song(f, 1.0);
  EXPECT_EQ(positions(t, 4), (Positions{{0, 0}, {1, 45}, {1, 46}, {0, 0}}));
}

TEST(Flow, JumpAndBreakOnOneRowInEitherOrder) {
  XmFile f = make_song(2, 16, 6);
  cell(f, 0, 0) = note_cell(0, 0, EFFECT_POSITION_JUMP, 5);
  cell(f, 0, 1) = note_cell(0, 0, EFFECT_PATTERN_BREAK, 0x10);
  EXPECT_EQ(positions(trace_song(f, 0.5), 2), (Positions{{0, 0}, {5, 10}}));
  cell(f, 0, 0) = note_cell(0, 0, EFFECT_PATTERN_BREAK, 0x10);
  cell(f, 0, 1) = note_cell(0, 0, EFFECT_POSITION_JUMP, 5);
  EXPECT_EQ(positions(trace_song(f, 0.5), 2), (Positions{{0, 0}, {5, 0}}));
}

TEST(Flow, PatternDelayLengthensTheRowAndRunsTickEffects) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_EXTENDED, 0xE2);
  cell(f, 0, 1) = note_cell(49, 1, EFFECT_VOLUME_SLIDE, 0x01);
  std::vector<RowTick> t = trace_song(f, 1.0);
  ASSERT_GE(t.size(), 2u);
  EXPECT_EQ(t[1].frame - t[0].frame, 18u * 882u);
  Playback p(f);
  p.ticks(18);
  EXPECT_EQ(p.channel(1).volume, 48 - 17);  // ticks 1..17 slide, the row tick does not
  EXPECT_EQ(p.player()->tick, 0);
  EXPECT_EQ(p.player()->row, 0);
}

TEST(Flow, PatternLoopPlaysRowsFourToSevenThreeTimes) {
  XmFile f = make_song(2, 12);
  cell(f, 4, 1) = note_cell(0, 0, EFFECT_EXTENDED, 0x60);
  cell(f, 7, 1) = note_cell(0, 0, EFFECT_EXTENDED, 0x62);
  cell(f, 7, 0) = note_cell(0, 0, EFFECT_VOLUME_SLIDE, 0x01);
  std::vector<RowTick> t = trace_song(f, 3.0);
  Positions rows;
  for (int r : {0, 1, 2, 3, 4, 5, 6, 7, 4, 5, 6, 7, 4, 5, 6, 7, 8, 9}) rows.emplace_back(0, r);
  EXPECT_EQ(positions(t, rows.size()), rows);
  // Row 7's slide runs on its later ticks each of the three times.
  XmFile g = f;
  cell(g, 0, 0) = note_cell(49, 1);
  Playback p(g);
  p.ticks(6 * 17);
  EXPECT_EQ(p.channel(0).volume, 48 - 3 * 5);
}

TEST(Flow, SongWrapsToRestartPositionButBreaksGoToZero) {
  XmFile f = make_song(2, 2, 3);
  f.restart_position = 1;
  EXPECT_EQ(positions(trace_song(f, 1.0), 8),
            (Positions{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {1, 0}, {1, 1}}));
  cell(f, 1, 0, 2) = note_cell(0, 0, EFFECT_PATTERN_BREAK, 0x00);
  EXPECT_EQ(positions(trace_song(f, 1.0), 7), (Positions{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {2, 0}, {2, 1}, {0, 0}}));
  cell(f, 1, 0, 2) = note_cell(0, 0, EFFECT_POSITION_JUMP, 9);
  EXPECT_EQ(positions(trace_song(f, 1.0), 7).back(), (std::pair<int, int>{0, 0}));
}

TEST(Flow, PositionsOutsideTheSongAreHeldInside) {
  // A restart position beyond the song goes back to order 0.
  XmFile f = make_song(2, 2, 2);
  f.restart_position = 7;
  EXPECT_EQ(positions(trace_song(f, 1.0), 6), (Positions{{0, 0}, {0, 1}, {1, 0}, {1, 1}, {0, 0}, {0, 1}}));
  // A break to a row the next pattern does not have starts that pattern at row 0.
  XmFile g = make_song(2, 64, 2);
  g.patterns[1].rows = 8;
  g.patterns[1].cells.resize(8 * 2);
  cell(g, 0, 0) = note_cell(0, 0, EFFECT_PATTERN_BREAK, 0x20);
  EXPECT_EQ(positions(trace_song(g, 1.0), 3), (Positions{{0, 0}, {1, 0}, {1, 1}}));
  // A song of length 0 keeps playing order 0 without reading outside the tables.
  XmFile h = make_song(2, 4, 1);
  h.song_length = 0;
  cell(h, 0, 0) = note_cell(200, 1);
  std::vector<RowTick> t = trace_song(h, 1.0);
  ASSERT_GE(t.size(), 6u);
  for (const RowTick& r : t) EXPECT_EQ(r.order, 0);
}

TEST(Render, OnePassEndsWhereTheSongComesBack) {
  XmFile f = make_song(2, 4, 2);
  f.restart_position = 1;
  cell(f, 1, 0) = note_cell(0, 0, EFFECT_EXTENDED, 0x60);
  cell(f, 2, 0) = note_cell(0, 0, EFFECT_EXTENDED, 0x61);
  Module* m = load_module_from_memory(write_xm(f));
  ASSERT_NE(m, nullptr);
  Player* p = player_create(m, 44100);
  std::vector<int16_t> pcm(2 * 1000);
  uint64_t frames = 0;
  for (int32_t got = 1; got > 0;) frames += static_cast<uint64_t>(got = render_s16(p, pcm.data(), 1000));
  // Rows 0,1,2,1,2,3 of order 0 and 0..3 of order 1: 10 rows of 6 ticks, then order 1 again.
  EXPECT_TRUE(p->ended);
  EXPECT_EQ(frames, 10u * 6u * 882u);
  EXPECT_EQ(p->end_order, 1);
  EXPECT_EQ(p->end_row, 0);
  player_free(p);
  free_module(m);
}

}  // namespace
