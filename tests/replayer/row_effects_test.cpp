// Effects at the edges of their ranges: the global volume slide with its
// memory and its stops, pattern breaks and position jumps at the last row
// and order, the sample offset inside and beyond the loop, and envelopes
// with too few points to be envelopes.
#include "tests/replayer/song.h"

using namespace qm;

namespace {

using Positions = std::vector<std::pair<int, int>>;
using Values = std::vector<int32_t>;

// The global volume after each of the six ticks of the next row; p must
// stand at that row's row tick.
Values global_volume_over_row(Playback& p) {
  Values out;
  for (int t = 0; t < 6; ++t) {
    p.tick();
    out.push_back(p.player()->global_volume);
  }
  return out;
}

TEST(GlobalVolumeSlide, StopsAtBothEndsAndKeepsItsMemory) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_SET_GLOBAL_VOLUME, 40);
  cell(f, 1, 0) = note_cell(0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x0F);
  cell(f, 3, 0) = note_cell(0, 0, EFFECT_SET_GLOBAL_VOLUME, 58);
  cell(f, 4, 0) = note_cell(0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x41);  // x wins over y
  cell(f, 5, 0) = note_cell(0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x00);  // memory: up 4
  cell(f, 5, 1) = note_cell(0, 0, EFFECT_SET_GLOBAL_VOLUME, 20);
  // One memory for the whole song: both channels slide, so the volume moves twice a tick.
  cell(f, 6, 0) = note_cell(0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x01);
  cell(f, 6, 1) = note_cell(0, 0, EFFECT_GLOBAL_VOLUME_SLIDE, 0x00);
  Playback p(f);
  p.ticks(6);
  const Voice* voice = p.channel(0).voice;
  EXPECT_EQ(global_volume_over_row(p), (Values{40, 25, 10, 0, 0, 0}));
  // The slide sets no update bit: the voice keeps 48 * 40 * 255 / 8192 = 59
  // until the next row tick updates the volume.
  EXPECT_EQ(voice->volume, 59);
  EXPECT_EQ(global_volume_over_row(p), (Values{0, 0, 0, 0, 0, 0}));
  EXPECT_EQ(voice->volume, 0);
  EXPECT_EQ(global_volume_over_row(p), (Values{58, 58, 58, 58, 58, 58}));
  EXPECT_EQ(global_volume_over_row(p), (Values{58, 62, 64, 64, 64, 64}));
  EXPECT_EQ(global_volume_over_row(p), (Values{20, 24, 28, 32, 36, 40}));
  EXPECT_EQ(global_volume_over_row(p), (Values{40, 38, 36, 34, 32, 30}));
}

TEST(Flow, PatternBreakReachesRow63) {
  XmFile f = make_song(2, 64, 2);
  cell(f, 0, 0) = note_cell(0, 0, EFFECT_PATTERN_BREAK, 0x63);
  EXPECT_EQ(positions(trace_song(f, 0.5), 3), (Positions{{0, 0}, {1, 63}, {0, 0}}));
  cell(f, 0, 0) = note_cell(0, 0, EFFECT_PATTERN_BREAK, 0x5D);  // 50 + 13
  EXPECT_EQ(positions(trace_song(f, 0.5), 3), (Positions{{0, 0}, {1, 63}, {0, 0}}));
  cell(f, 0, 0) = note_cell(0, 0, EFFECT_PATTERN_BREAK, 0x5E);  // 64: no such row
  EXPECT_EQ(positions(trace_song(f, 0.5), 3), (Positions{{0, 0}, {1, 0}, {1, 1}}));
}

TEST(Flow, PositionJumpToTheSongLengthGoesToOrderZero) {
  XmFile f = make_song(2, 2, 3);
  f.restart_position = 1;  // not where a jump out of the song lands
  cell(f, 0, 0, 1) = note_cell(0, 0, EFFECT_POSITION_JUMP, 3);
  EXPECT_EQ(positions(trace_song(f, 1.0), 5), (Positions{{0, 0}, {0, 1}, {1, 0}, {0, 0}, {0, 1}}));
  cell(f, 0, 0, 1) = note_cell(0, 0, EFFECT_POSITION_JUMP, 2);  // the last order is inside
  EXPECT_EQ(positions(trace_song(f, 1.0), 5), (Positions{{0, 0}, {0, 1}, {1, 0}, {2, 0}, {2, 1}}));
}

// A song whose instrument 1 holds a 1024-frame sample looped over frames
// 256..767 and whose instrument 2 holds a 600-frame sample without a loop.
XmFile offset_song() {
  XmFile f = make_song(2, 16);
  XmSample& looped = f.instruments[0].samples[0];
  looped.pcm.assign(1024, 40);
  looped.loop_start = 256;
  looped.loop_length = 512;
  XmInstrument plain = f.instruments[0];
  plain.samples[0].pcm.assign(600, -40);
  plain.samples[0].type = 0;
  plain.samples[0].loop_start = 0;
  plain.samples[0].loop_length = 0;
  f.instruments.push_back(plain);
  return f;
}

TEST(SampleOffset, StartsInsideTheLoopAndRewindsAtOrPastItsEnd) {
  XmFile f = offset_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_SAMPLE_OFFSET, 1);
  cell(f, 1, 0) = note_cell(49, 1, EFFECT_SAMPLE_OFFSET, 2);
  cell(f, 2, 0) = note_cell(49, 1, EFFECT_SAMPLE_OFFSET, 0);  // memory: 2
  cell(f, 3, 0) = note_cell(49, 1, EFFECT_SAMPLE_OFFSET, 3);  // 768: the loop end
  cell(f, 4, 0) = note_cell(49, 1, EFFECT_SAMPLE_OFFSET, 0);  // memory: 3
  Playback p(f);
  Channel& c = p.channel(0);
  const Sample* looped = p.song()->instruments[0].samples[0];
  p.tick();
  EXPECT_EQ(c.voice->index, 0);
  EXPECT_EQ(c.voice->pos_int, 256u);
  EXPECT_EQ(c.voice->start_offset, 0u);  // consumed by the start
  p.ticks(6);
  EXPECT_EQ(c.voice->index, 32);  // the sounding voice was handed over
  EXPECT_EQ(c.voice->pos_int, 512u);
  p.ticks(6);
  EXPECT_EQ(c.voice->index, 0);
  EXPECT_EQ(c.voice->pos_int, 512u);
  EXPECT_EQ(c.sample_offset, 2);

  // At the loop end the note does not start: the sound playing goes back to frame 0.
  for (int row = 3; row <= 4; ++row) {
    p.ticks(5);
    c.voice->pos_int = 700;
    c.voice->pos_frac = 12345;
    p.tick();
    EXPECT_EQ(c.voice->index, 0) << "row " << row;
    EXPECT_EQ(c.update_flags & (UPDATE_START | UPDATE_REWIND), UPDATE_REWIND) << "row " << row;
    EXPECT_EQ(c.voice->sample, looped) << "row " << row;
    EXPECT_EQ(c.voice->pos_int, 0u) << "row " << row;
    EXPECT_EQ(c.voice->pos_frac, 0u) << "row " << row;
  }
}

TEST(SampleOffset, WithoutALoopTheLengthIsTheEndAndAStoredOffsetWaitsForTheNextStart) {
  XmFile f = offset_song();
  cell(f, 0, 0) = note_cell(49, 2, EFFECT_SAMPLE_OFFSET, 2);  // 512 of 600
  cell(f, 1, 0) = note_cell(49, 2, EFFECT_SAMPLE_OFFSET, 3);  // 768 of 600
  cell(f, 2, 0) = note_cell(0, 0, EFFECT_SAMPLE_OFFSET, 1);   // no note: kept for later
  cell(f, 3, 0) = note_cell(49, 1);
  Playback p(f);
  Channel& c = p.channel(0);
  const Sample* plain = p.song()->instruments[1].samples[0];
  p.tick();
  EXPECT_EQ(c.voice->sample, plain);
  EXPECT_EQ(c.voice->pos_int, 512u);
  p.ticks(6);
  EXPECT_EQ(c.update_flags & (UPDATE_START | UPDATE_REWIND), UPDATE_REWIND);
  EXPECT_EQ(c.voice->index, 0);
  EXPECT_EQ(c.voice->pos_int, 0u);
  p.ticks(6);
  EXPECT_EQ(c.voice->start_offset, 256u);
  EXPECT_EQ(c.voice->pos_int, 0u);
  p.ticks(6);
  EXPECT_EQ(c.voice->sample, p.song()->instruments[0].samples[0]);
  EXPECT_EQ(c.voice->pos_int, 256u);
}

// Envelopes of fewer than two points are off whatever their flags say: the
// note plays at the envelopes' neutral values and a key-off silences it at once.
TEST(Envelope, FewerThanTwoPointsIsNoEnvelope) {
  for (uint8_t points : {uint8_t{0}, uint8_t{1}}) {
    XmFile f = make_song();
    XmInstrument& in = f.instruments[0];
    in.volume_envelope[0] = {0, 16};
    in.panning_envelope[0] = {0, 0};
    in.volume_point_count = points;
    in.panning_point_count = points;
    in.volume_flags = ENVELOPE_ON | ENVELOPE_SUSTAIN;
    in.panning_flags = ENVELOPE_ON;
    cell(f, 0, 0) = note_cell(49, 1);
    cell(f, 2, 0) = note_cell(NOTE_KEY_OFF, 0);
    Playback p(f);
    Channel& c = p.channel(0);
    for (int t = 0; t < 12; ++t) {
      p.tick();
      ASSERT_EQ(c.volume_env.value, 64) << int{points} << " points, tick " << t;
      ASSERT_EQ(c.panning_env.value, 32) << int{points} << " points, tick " << t;
    }
    // Volume 48 at full envelope, fadeout and global volume: 48 * 255 / 128 = 95, centred.
    EXPECT_EQ(c.voice->volume, 95) << int{points} << " points";
    EXPECT_EQ(c.voice->pan, 128) << int{points} << " points";
    p.tick();
    EXPECT_EQ(c.volume_env.value, 0) << int{points} << " points";
    EXPECT_EQ(c.voice->volume, 0) << int{points} << " points";
  }
}

}  // namespace
