// Tempo, Amiga and linear periods, the channel reset and the row-tick volume column.
#include <gtest/gtest.h>

#include <cstring>

#include "music/channel.h"
#include "test_sample.h"

using namespace qm;

namespace {

TEST(Tempo, FramesPerTickAreTheExactQuotientForEveryBpm) {
  TestPlayer t(44100);
  Player& m = *t.player;
  for (int32_t bpm = 1; bpm <= 255; ++bpm) {
    set_bpm(&m, bpm);
    EXPECT_EQ(m.samples_per_tick, 110250 / bpm) << "bpm " << bpm;
    EXPECT_EQ(m.bpm, bpm);
  }
  set_bpm(&m, 125);
  EXPECT_EQ(m.samples_per_tick, 882);
  set_bpm(&m, 32);
  EXPECT_EQ(m.samples_per_tick, 3445);
  set_bpm(&m, 255);
  EXPECT_EQ(m.samples_per_tick, 432);
}

TEST(Tempo, OutOfRangeBpmKeepsTheTickPositive) {
  TestPlayer t(44100);
  Player& m = *t.player;
  set_bpm(&m, 0);
  EXPECT_EQ(m.bpm, 1);
  EXPECT_EQ(m.samples_per_tick, 110250);
  set_bpm(&m, -32768);
  EXPECT_EQ(m.samples_per_tick, 110250);
  set_bpm(&m, 32767);
  EXPECT_EQ(m.samples_per_tick, 3);
  set_bpm(&m, INT32_MAX);
  EXPECT_EQ(m.samples_per_tick, 1);
  TestPlayer t48(48000);
  set_bpm(t48.player, 125);
  EXPECT_EQ(t48.player->samples_per_tick, 960);
}

TEST(Periods, AmigaTable) {
  EXPECT_EQ(amiga_period(48, 0), 1712);
  EXPECT_EQ(amiga_period(48, 64), 1664);
  EXPECT_EQ(amiga_period(48, -64), 1762);
  EXPECT_EQ(amiga_period(60, 0), 856);
  EXPECT_EQ(amiga_period(0, 0), 27392);
  EXPECT_EQ(amiga_period(119, 0), 28);
  // Note 0 with a negative finetune bends towards the note above.
  EXPECT_EQ(amiga_period(0, -128), 27392 + (27392 - 25854));
  EXPECT_EQ(amiga_period(48, -128), 1813);
  EXPECT_EQ(amiga_period(48, 127), 1712 + ((1712 - 1615) * 127) / -128);
}

TEST(Periods, AmigaTableIsDefinedForEveryArgument) {
  // Notes far outside the table clamp instead of overflowing.
  EXPECT_EQ(amiga_period(-1000, 0), amiga_period(0, 0));
  EXPECT_EQ(amiga_period(INT32_MAX, INT32_MAX), 0);
  EXPECT_EQ(amiga_period(INT32_MIN, INT32_MIN), amiga_period(0, -128));
  int32_t previous = INT32_MAX;
  for (int32_t note = 0; note < 300; ++note) {
    int32_t period = amiga_period(note, 0);
    EXPECT_LE(period, previous) << note;
    previous = period;
  }
}

TEST(Periods, LinearTable) {
  Module m{};
  m.flags = MODULE_LINEAR_TABLE;
  EXPECT_EQ(note_period(&m, 48, 0), 4608);
  EXPECT_EQ(note_period(&m, 0, 0), 7680);
  EXPECT_EQ(note_period(&m, 95, 0), 7680 - 64 * 95);
  EXPECT_EQ(note_period(&m, 48, 127), 4608 - 63);
  EXPECT_EQ(note_period(&m, 48, -127), 4608 + 63);  // f / 2 truncates toward zero
  EXPECT_EQ(note_period(&m, 48, -128), 4608 + 64);
  EXPECT_EQ(note_period(&m, 255, 0), 7680 - 64 * 255);
  EXPECT_EQ(note_period(&m, INT32_MAX, 0), INT32_MIN);
  m.flags = 0;
  EXPECT_EQ(note_period(&m, 48, 64), 1664);
}

Channel fresh_channel() {
  Channel c;
  std::memset(&c, 0, sizeof c);
  return c;
}

TEST(ChannelReset, RestartsEnvelopesAndKeepsControlledPositions) {
  Sample s{};
  s.volume = 40;
  s.panning = 200;
  Channel c = fresh_channel();
  c.volume_env.value_fixed = 12345;
  c.volume_env.point = 3;
  c.volume_env.finished = 1;
  c.panning_env.slope = 7;
  c.released = 1;
  c.waveforms = 0x04;  // vibrato position kept, tremolo position reset
  c.vibrato_pos = 9;
  c.tremolo_pos = 11;
  c.tremor_count = 5;
  c.auto_vibrato_pos = 17;
  reset_channel(&c, &s);
  EXPECT_EQ(c.volume, 40);
  EXPECT_EQ(c.panning, 200);
  EXPECT_EQ(c.volume_env.value, 64);
  EXPECT_EQ(c.volume_env.value_fixed, 12345);
  EXPECT_EQ(c.volume_env.point, 0);
  EXPECT_EQ(c.volume_env.finished, 0);
  EXPECT_EQ(c.panning_env.value, 32);
  EXPECT_EQ(c.panning_env.slope, 0);
  EXPECT_EQ(c.released, 0);
  EXPECT_EQ(c.fadeout_volume, 65536);
  EXPECT_EQ(c.auto_vibrato_pos, 0);
  EXPECT_EQ(c.vibrato_pos, 9);
  EXPECT_EQ(c.tremolo_pos, 0);
  EXPECT_EQ(c.tremor_count, 0);
  EXPECT_EQ(c.update_flags, UPDATE_VOLUME | UPDATE_PAN);
  c.waveforms = 0x40;
  c.vibrato_pos = 9;
  c.tremolo_pos = 11;
  reset_channel(&c, &s);
  EXPECT_EQ(c.vibrato_pos, 0);
  EXPECT_EQ(c.tremolo_pos, 11);
}

TEST(VolumeColumn, SetAndSlideVolume) {
  Channel c = fresh_channel();
  volume_column_row(&c, 0x50);
  EXPECT_EQ(c.volume, 64);
  EXPECT_EQ(c.update_flags, UPDATE_VOLUME);
  volume_column_row(&c, 0x10);
  EXPECT_EQ(c.volume, 0);
  c.update_flags = 0;
  c.volume = 33;
  for (uint8_t byte : {0x00, 0x0F, 0x51, 0x55, 0x5F}) {
    volume_column_row(&c, byte);
    EXPECT_EQ(c.volume, 33);
    EXPECT_EQ(c.update_flags, 0) << int{byte};
  }
  volume_column_row(&c, 0x65);
  EXPECT_EQ(c.volume, 28);
  volume_column_row(&c, 0x8F);
  EXPECT_EQ(c.volume, 13);
  volume_column_row(&c, 0x6F);
  EXPECT_EQ(c.volume, 0);
  volume_column_row(&c, 0x7A);
  EXPECT_EQ(c.volume, 10);
  c.volume = 60;
  volume_column_row(&c, 0x9F);
  EXPECT_EQ(c.volume, 64);
  c.volume = 200;  // effect C can store more than 64; a slide up brings it to 64
  volume_column_row(&c, 0x71);
  EXPECT_EQ(c.volume, 64);
  EXPECT_EQ(c.update_flags, UPDATE_VOLUME);
}

TEST(VolumeColumn, PanningVibratoAndPortamento) {
  Channel c = fresh_channel();
  volume_column_row(&c, 0xA7);
  volume_column_row(&c, 0xB9);
  EXPECT_EQ(c.vibrato_speed, 7);
  EXPECT_EQ(c.vibrato_depth, 9);
  EXPECT_EQ(c.update_flags, 0);
  volume_column_row(&c, 0xCF);
  EXPECT_EQ(c.panning, 240);
  EXPECT_EQ(c.update_flags, UPDATE_PAN);
  volume_column_row(&c, 0xEF);
  volume_column_row(&c, 0xE5);
  EXPECT_EQ(c.panning, 260);  // left for update_voice to clamp
  c.panning = 3;
  volume_column_row(&c, 0xD8);
  EXPECT_EQ(c.panning, -5);
  c.panning = INT32_MIN + 2;
  volume_column_row(&c, 0xDF);
  EXPECT_EQ(c.panning, INT32_MIN);
  c.note_period = 4321;
  c.porta_speed = 3;
  c.update_flags = UPDATE_START | UPDATE_FREQUENCY;
  volume_column_row(&c, 0xF0);
  EXPECT_EQ(c.porta_speed, 3);
  EXPECT_EQ(c.porta_target, 4321);
  EXPECT_EQ(c.update_flags, UPDATE_FREQUENCY);
  volume_column_row(&c, 0xF4);
  EXPECT_EQ(c.porta_speed, 64);
}

}  // namespace
