// Notes, instruments, volume and pitch effects, checked through the channel
// and voice state tick by tick.
#include "tests/replayer/song.h"

using namespace qm;

namespace {

TEST(Notes, TonePortamentoNoteDoesNotStartOrSwitch) {
  XmFile f = make_song();
  f.instruments.push_back(f.instruments[0]);
  cell(f, 0, 0) = note_cell(49, 1);
  cell(f, 1, 0) = note_cell(61, 2, EFFECT_TONE_PORTA, 0x08);
  Playback p(f);
  p.ticks(6);
  Channel& c = p.channel(0);
  int32_t start_period = c.period;
  const Voice* voice = c.voice;
  p.tick();
  EXPECT_EQ(c.note, 48);
  EXPECT_EQ(c.instrument, 0);
  EXPECT_EQ(c.porta_target, start_period - 12 * 64);
  EXPECT_EQ(c.note_period, c.porta_target);
  EXPECT_EQ(c.period, start_period);
  EXPECT_EQ(c.update_flags & UPDATE_START, 0);
  EXPECT_EQ(c.voice, voice);
  p.tick();
  EXPECT_EQ(c.period, start_period - 32);
}

TEST(Notes, KeyOffWithInstrumentResetsThenReleases) {
  XmFile f = make_song();
  f.instruments[0].fadeout = 300;
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_SET_VOLUME, 10);
  cell(f, 1, 0) = note_cell(NOTE_KEY_OFF, 1);
  Playback p(f);
  p.ticks(7);
  Channel& c = p.channel(0);
  EXPECT_EQ(c.volume, 48);  // the reset restored the sample's volume
  EXPECT_EQ(c.released, 1);
  EXPECT_EQ(c.fadeout_volume, 65536 - 600);
  EXPECT_EQ(c.volume_env.value, 0);  // no volume envelope: the key-off silences at once
}

TEST(Notes, FirstInstrumentPlaysOnAnUnsetChannel) {
  XmFile f = make_song();
  cell(f, 0, 1) = note_cell(49, 0);
  Playback p(f);
  p.tick();
  ASSERT_NE(p.channel(1).voice->sample, nullptr);
  EXPECT_EQ(p.channel(1).voice->sample, p.song()->instruments[0].samples[0]);
  EXPECT_EQ(p.channel(1).period, 7680 - 64 * 48);
}

TEST(Notes, NotesBeyondTheSampleMapSelectNoSample) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(98, 1);
  cell(f, 1, 0) = note_cell(254, 0, EFFECT_ARPEGGIO, 0x47);
  Playback p(f);
  p.ticks(12);
  EXPECT_EQ(p.channel(0).note, 253);
  EXPECT_EQ(channel_sample(channel_instrument(p.song(), &p.channel(0)), &p.channel(0)), &empty_sample);
}

TEST(Volume, SetVolumeAndTremoloFoldBack) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_SET_VOLUME, 0x50);
  cell(f, 1, 0) = note_cell(0, 0, EFFECT_SET_VOLUME, 0x20);
  cell(f, 2, 0) = note_cell(0, 0, EFFECT_TREMOLO, 0x4F);
  Playback p(f);
  p.tick();
  EXPECT_EQ(p.channel(0).volume, 80);
  p.ticks(5 + 6 + 6);
  int32_t last_offset = p.channel(0).volume_offset;
  EXPECT_NE(last_offset, 0);
  p.tick();  // row 3 has no tremolo: the last change stays in the volume
  EXPECT_EQ(p.channel(0).volume, 32 + last_offset);
  EXPECT_EQ(p.channel(0).volume_offset, 0);
}

TEST(Volume, TremoloIsCutAtFullVolume) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_TREMOLO, 0x8F, 0x38);  // volume 40
  Playback p(f);
  p.ticks(3);  // positions 0 and 8 on ticks 1 and 2
  EXPECT_EQ(p.channel(0).tremolo_pos, 16);
  p.tick();  // position 16: w 255, d 59, cut to 64 - 40
  EXPECT_EQ(p.channel(0).volume_offset, 24);
}

TEST(Volume, VolumeColumnSlides) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, 0, 0, 0x61);
  cell(f, 0, 1) = note_cell(49, 1, 0, 0, 0x81);
  cell(f, 1, 0) = note_cell(0, 0, 0, 0, 0x72);
  Playback p(f);
  p.ticks(6);
  EXPECT_EQ(p.channel(0).volume, 48 - 6);
  EXPECT_EQ(p.channel(1).volume, 48 - 1);
  p.ticks(6);
  EXPECT_EQ(p.channel(0).volume, 48 - 6 + 12);
}

TEST(Volume, VolumeSlideAndNoteCut) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_VOLUME_SLIDE, 0x0F);
  cell(f, 0, 1) = note_cell(49, 1, EFFECT_EXTENDED, 0xC3);
  Playback p(f);
  std::vector<int32_t> slid, cut;
  for (int t = 0; t < 6; ++t) {
    p.tick();
    slid.push_back(p.channel(0).volume);
    cut.push_back(p.channel(1).volume);
  }
  EXPECT_EQ(slid, (std::vector<int32_t>{48, 33, 18, 3, 0, 0}));
  EXPECT_EQ(cut, (std::vector<int32_t>{48, 48, 48, 0, 0, 0}));
}

TEST(Volume, MultiRetriggerScalesVolume) {
  XmFile f = make_song();
  f.default_speed = 5;
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_MULTI_RETRIGGER, 0x61, 0x50);
  Playback p(f);
  p.tick();
  std::vector<int32_t> volumes;
  for (int t = 1; t < 5; ++t) {
    p.tick();
    volumes.push_back(p.channel(0).volume);
    EXPECT_NE(p.channel(0).update_flags & UPDATE_START, 0);
  }
  EXPECT_EQ(volumes, (std::vector<int32_t>{42, 28, 18, 12}));
}

TEST(Volume, TremorCycles) {
  XmFile f = make_song();
  for (int r = 0; r < 3; ++r) cell(f, r, 0) = note_cell(r == 0 ? 49 : 0, r == 0 ? 1 : 0, EFFECT_TREMOR, 0x21);
  Playback p(f);
  std::string pattern;
  for (int t = 0; t < 15; ++t) {
    p.tick();
    pattern += p.channel(0).volume_offset == 0 ? 'o' : '-';
  }
  EXPECT_EQ(pattern, "ooo--ooo--ooo--");
}

TEST(Volume, TremorCountBeyondAShortenedCycleRestarts) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_TREMOR, 0x71);
  cell(f, 1, 0) = note_cell(0, 0, EFFECT_TREMOR, 0x10);
  Playback p(f);
  p.ticks(6);  // the count stands at 6, beyond the 3-tick cycle of the next row
  EXPECT_EQ(p.channel(0).tremor_count, 6);
  std::string pattern;
  for (int t = 0; t < 6; ++t) {
    p.tick();
    pattern += p.channel(0).volume_offset == 0 ? 'o' : '-';
  }
  EXPECT_EQ(pattern, "-oo-oo");
}

TEST(Pitch, ArpeggioOffsets) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_ARPEGGIO, 0x47);
  Playback p(f);
  std::vector<int32_t> offsets;
  for (int t = 0; t < 6; ++t) {
    p.tick();
    offsets.push_back(p.channel(0).period_offset);
  }
  EXPECT_EQ(offsets, (std::vector<int32_t>{0, 256, 448, 0, 256, 448}));
}

TEST(Pitch, PortamentoUpStopsAt56InBothTables) {
  for (uint16_t flags : {uint16_t{0}, MODULE_LINEAR_TABLE}) {
    XmFile f = make_song();
    f.flags = flags;
    cell(f, 0, 0) = note_cell(90, 1, EFFECT_PORTA_UP, 0xFF);
    cell(f, 0, 1) = note_cell(10, 1, EFFECT_PORTA_DOWN, 0xFF);
    for (int r = 1; r < 16; ++r) {
      cell(f, r, 0) = note_cell(0, 0, EFFECT_PORTA_UP, 0);
      cell(f, r, 1) = note_cell(0, 0, EFFECT_PORTA_DOWN, 0);
    }
    Playback p(f);
    p.tick();
    int32_t low = p.channel(1).period;
    p.ticks(6 * 16 - 1);
    EXPECT_EQ(p.channel(0).period, 56) << "flags " << flags;
    EXPECT_EQ(p.channel(1).period, low + 4 * 255 * 5 * 16) << "flags " << flags;
  }
}

TEST(Pitch, VibratoAtPositionSixteen) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_VIBRATO, 0x8F);
  Playback p(f);
  p.ticks(3);
  EXPECT_EQ(p.channel(0).vibrato_pos, 16);
  p.tick();
  EXPECT_EQ(p.channel(0).period_offset, -116);
}

TEST(Pitch, SetFinetuneChangesTheSampleForEveryChannelOfThePlayerOnly) {
  XmFile f = make_song();
  cell(f, 0, 0) = note_cell(49, 1, EFFECT_EXTENDED, 0x58);
  cell(f, 1, 1) = note_cell(49, 1);
  Playback p(f);
  p.ticks(7);
  const Sample* sample = p.song()->instruments[0].samples[0];
  EXPECT_EQ(sample_finetune(p.player(), sample), 8);
  EXPECT_EQ(p.channel(1).period, 7680 - 64 * 48 - 4);  // the other channel's note uses it
  // The song is not written: another player of it starts from the file's finetune.
  EXPECT_EQ(sample->finetune, 0);
  Player* other = player_create(p.song(), 44100);
  ASSERT_NE(other, nullptr);
  EXPECT_EQ(sample_finetune(other, sample), 0);
  player_free(other);
  // A restart forgets it.
  player_restart(p.player(), 0);
  EXPECT_EQ(sample_finetune(p.player(), sample), 0);
}

TEST(Pitch, AutoVibratoAtPosition64) {
  XmFile f = make_song();
  f.instruments[0].vibrato_depth = 16;
  cell(f, 0, 0) = note_cell(49, 1);
  Playback p(f);
  p.tick();
  EXPECT_EQ(p.channel(0).period_offset, 0);  // position 0
  p.channel(0).auto_vibrato_pos = 64;
  p.tick();
  EXPECT_EQ(p.channel(0).period_offset, 15);
  p.tick();
  EXPECT_EQ(p.channel(0).period_offset, 15);  // rate 0 keeps the position
}

TEST(Pitch, AutoVibratoTypesAboveThreeAddNothing) {
  XmFile f = make_song();
  f.instruments[0].vibrato_type = 7;
  f.instruments[0].vibrato_depth = 15;
  f.instruments[0].vibrato_rate = 40;
  cell(f, 0, 0) = note_cell(49, 1);
  Playback p(f);
  for (int t = 0; t < 12; ++t) {
    p.tick();
    EXPECT_EQ(p.channel(0).period_offset, 0);
  }
  EXPECT_EQ(p.channel(0).auto_vibrato_pos, (12 * 40) % 256);
}

}  // namespace
