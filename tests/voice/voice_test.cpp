// update_voice: starts with the twin-voice handover, volume and pan gains,
// frequency and step, rewind, and the bounds that keep hostile values defined.
#include <gtest/gtest.h>

#include <cstring>

#include "music/channel.h"
#include "music/voice.h"
#include "test_sample.h"

using namespace qm;

namespace {

class VoiceUpdate : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(player, nullptr);
    module.flags = MODULE_LINEAR_TABLE;
    player->global_volume = 64;
    std::memset(&channel, 0, sizeof channel);
    channel.voice = &voices[5];
    channel.volume = 64;
    channel.panning = 128;
    channel.volume_env.value = 64;
    channel.panning_env.value = 32;
    channel.fadeout_volume = 65536;
    channel.period = 4608;
  }
  void update(uint8_t flags, const Sample* s = nullptr) {
    channel.update_flags = flags;
    update_voice(player, &channel, s != nullptr ? s : &sample.sample);
  }
  TestPlayer test_player{44100};
  Module& module = test_player.song;
  Player* player = test_player.player;
  Voice* voices = test_player.voices;
  Channel channel;
  TestSample sample{std::vector<int16_t>(100, 1000), LOOP_FORWARD, 20, 60};
};

constexpr uint8_t FULL_START = UPDATE_START | UPDATE_VOLUME | UPDATE_PAN | UPDATE_FREQUENCY;

TEST_F(VoiceUpdate, StartOnIdleVoiceStaysInItsSlot) {
  voices[5].start_offset = 33;
  voices[5].cur_gain_left = 999;
  voices[5].ramp_frames = 7;
  update(FULL_START);
  EXPECT_EQ(channel.voice, &voices[5]);
  const Voice& v = voices[5];
  EXPECT_EQ(v.sample, &sample.sample);
  EXPECT_EQ(v.pos_int, 33u);
  EXPECT_EQ(v.pos_frac, 0u);
  EXPECT_EQ(v.start_offset, 0u);
  EXPECT_EQ(v.direction, DIRECTION_FORWARD);
  EXPECT_EQ(v.cur_gain_left, 0);
  EXPECT_EQ(v.ramp_frames, 0);
  EXPECT_EQ(voices[37].sample, nullptr);
  EXPECT_EQ(voices[37].index, 37);
}

TEST_F(VoiceUpdate, StartsOnSoundingVoiceAlternateBetweenTwins) {
  update(FULL_START);
  ASSERT_EQ(channel.voice, &voices[5]);
  const int expected[] = {37, 5, 37};
  for (int slot : expected) {
    Voice* old = channel.voice;
    old->pos_int = 42;
    old->cur_gain_left = 1234;
    Voice before = *old;
    channel.period = 4608 - 64 * slot;  // a different pitch for each note
    update(FULL_START);
    Voice* now = channel.voice;
    ASSERT_EQ(now, &voices[slot]);
    EXPECT_EQ(now->index, slot);
    EXPECT_EQ(now->pos_int, 0u);
    EXPECT_EQ(now->cur_gain_left, 0);
    EXPECT_EQ(now->gain_left, 63);
    EXPECT_NE(now->step_frac, before.step_frac);
    // The slot left behind keeps its sound and fades to zero targets.
    EXPECT_EQ(old->sample, before.sample);
    EXPECT_EQ(old->pos_int, 42u);
    EXPECT_EQ(old->step_frac, before.step_frac);
    EXPECT_EQ(old->cur_gain_left, 1234);
    EXPECT_EQ(old->mix_pan, before.mix_pan);
    EXPECT_EQ(old->volume, 0);
    EXPECT_EQ(old->mix_volume, 0);
    EXPECT_EQ(old->gain_left, 0);
    EXPECT_EQ(old->gain_right, 0);
  }
}

TEST_F(VoiceUpdate, StartWithoutFrequencyKeepsTheCopiedStep) {
  update(FULL_START);
  uint32_t step = voices[5].step_frac;
  channel.period = 3000;
  update(UPDATE_START);
  EXPECT_EQ(channel.voice, &voices[37]);
  EXPECT_EQ(voices[37].step_frac, step);
  EXPECT_EQ(voices[37].gain_left, 63);  // copied targets, the old slot's are zeroed
}

TEST_F(VoiceUpdate, StartOffsetAtOrPastTheLoopEndPlaysFromFrameZero) {
  voices[5].start_offset = 80;  // loop end 20 + 60
  update(UPDATE_START);
  EXPECT_EQ(voices[5].pos_int, 0u);
  voices[5].sample = nullptr;
  voices[5].start_offset = 79;
  update(UPDATE_START);
  EXPECT_EQ(voices[5].pos_int, 79u);
  voices[5].sample = nullptr;
  voices[5].start_offset = 0xFFFFFFFFu;
  update(UPDATE_START);
  EXPECT_EQ(voices[5].pos_int, 0u);
}

TEST_F(VoiceUpdate, FullVolumeUsesHalfTheGainScale) {
  update(UPDATE_VOLUME | UPDATE_PAN);
  const Voice& v = voices[5];
  EXPECT_EQ(v.volume, 127);
  EXPECT_EQ(v.mix_volume, 127);
  EXPECT_EQ(v.pan, 128);
  EXPECT_EQ(v.gain_left, 63);
  EXPECT_EQ(v.gain_right, 63);
  channel.volume = 255;  // effect C stores up to 255, unclamped
  channel.panning = 255;
  update(UPDATE_VOLUME | UPDATE_PAN);
  EXPECT_EQ(v.volume, 508);
  EXPECT_EQ(v.gain_left, 508);
  EXPECT_EQ(v.gain_right, 0);
  channel.volume = 64;
  channel.volume_offset = -64;  // tremor silences the tick
  update(UPDATE_VOLUME);
  EXPECT_EQ(v.volume, 0);
}

TEST_F(VoiceUpdate, VolumeStepUsesTheOldPanAndPanStepTheNewVolume) {
  update(UPDATE_VOLUME | UPDATE_PAN);
  channel.panning = 0;
  channel.volume = 32;
  update(UPDATE_VOLUME);  // new volume, pan still 128
  EXPECT_EQ(voices[5].gain_left, 128 * 63 / 255);
  update(UPDATE_VOLUME | UPDATE_PAN);
  EXPECT_EQ(voices[5].gain_left, 0);
  EXPECT_EQ(voices[5].gain_right, 63);
}

TEST_F(VoiceUpdate, HostileVolumesStayInsideTheGainRange) {
  channel.volume = INT32_MAX;
  channel.volume_offset = INT32_MAX;
  channel.volume_env.value = INT32_MAX;
  update(UPDATE_VOLUME | UPDATE_PAN);
  EXPECT_EQ(voices[5].volume, 32767);
  EXPECT_EQ(voices[5].gain_left, 32767 * 128 / 255);
  channel.volume_offset = INT32_MIN;
  update(UPDATE_VOLUME);
  EXPECT_EQ(voices[5].volume, 0);
}

TEST_F(VoiceUpdate, PanningEnvelopeSwingsAroundTheChannelPan) {
  channel.panning_env.value = 64;
  for (int32_t pan : {0, 31, 225, 255}) {
    channel.panning = pan;
    update(UPDATE_PAN);
    EXPECT_EQ(voices[5].pan, pan) << pan;
  }
  channel.panning = 128;
  update(UPDATE_PAN);
  EXPECT_EQ(voices[5].pan, 255);  // 128 + 4 * 32 clamps
  channel.panning_env.value = 0;
  update(UPDATE_PAN);
  EXPECT_EQ(voices[5].pan, 0);
  channel.panning = 64;  // f = 2
  channel.panning_env.value = 40;
  update(UPDATE_PAN);
  EXPECT_EQ(voices[5].pan, 80);
  channel.panning = 300;  // unclamped volume-column slides
  update(UPDATE_PAN);
  EXPECT_EQ(voices[5].pan, 255);
  channel.panning = INT32_MIN;
  channel.panning_env.value = INT32_MIN;
  update(UPDATE_PAN);
  EXPECT_EQ(voices[5].pan, 255);
  channel.panning = INT32_MAX;
  channel.panning_env.value = INT32_MAX;
  update(UPDATE_PAN);
  EXPECT_EQ(voices[5].pan, 0);
}

TEST_F(VoiceUpdate, LinearFrequencyAndStep) {
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, 8363);
  EXPECT_EQ(voices[5].step_int, 0u);
  EXPECT_EQ(voices[5].step_frac, 814485521u);
  channel.period = 1536;
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, 133808);
  EXPECT_EQ(voices[5].step_int, 3u);
  channel.period = 4608;
  channel.period_offset = 64;  // one semitone up
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, 8860);
}

TEST_F(VoiceUpdate, AmigaFrequencyAndTheZeroPeriodGuard) {
  module.flags = 0;
  channel.period = 428;
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, 33451);
  Voice before = voices[5];
  channel.period = 430;
  channel.period_offset = -430;
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(channel.update_flags, 0);
  EXPECT_EQ(voices[5].frequency, before.frequency);
  EXPECT_EQ(voices[5].step_frac, before.step_frac);
  module.flags = MODULE_LINEAR_TABLE;  // the guard holds in both tables
  update(UPDATE_FREQUENCY | UPDATE_VOLUME);
  EXPECT_EQ(channel.update_flags, UPDATE_VOLUME);
  EXPECT_EQ(voices[5].frequency, before.frequency);
}

TEST_F(VoiceUpdate, LowFrequenciesStepAtOneHundredHertz) {
  module.flags = 0;
  channel.period = 14317056 / 50;
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, 50);
  EXPECT_EQ(voices[5].step_int, 0u);
  EXPECT_EQ(voices[5].step_frac, 9739154u);
  channel.period = -428;  // a negative period gives a negative frequency
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, -33451);
  EXPECT_EQ(voices[5].step_frac, 9739154u);
}

TEST_F(VoiceUpdate, HighFrequenciesKeepTheStepBelow128Frames) {
  channel.period = -100000;  // repeated fine slides can drive the period this low
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, INT32_MAX);
  EXPECT_EQ(voices[5].step_int, 127u);
  channel.period = INT32_MIN;
  channel.period_offset = INT32_MAX;
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, INT32_MAX);
  EXPECT_EQ(voices[5].step_int, 127u);
  channel.period = INT32_MAX;
  channel.period_offset = INT32_MIN;  // no 32-bit overflow: the power is just 0
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, 0);
  EXPECT_EQ(voices[5].step_frac, 9739154u);
  module.flags = 0;
  channel.period = 1;
  channel.period_offset = 0;
  update(UPDATE_FREQUENCY);
  EXPECT_EQ(voices[5].frequency, 14317056);
  EXPECT_EQ(voices[5].step_int, 127u);
  EXPECT_EQ(voices[5].step_frac, static_cast<uint32_t>((uint64_t{44099} << 32) / 44100));
}

TEST_F(VoiceUpdate, RewindRestartsFromFrameZeroForward) {
  update(FULL_START);
  Voice& v = voices[5];
  v.pos_int = 50;
  v.pos_frac = 77;
  v.start_offset = 12;
  v.direction = DIRECTION_BACKWARD;
  update(UPDATE_REWIND);
  EXPECT_EQ(v.pos_int, 0u);
  EXPECT_EQ(v.pos_frac, 0u);
  EXPECT_EQ(v.start_offset, 0u);
  EXPECT_EQ(v.direction, DIRECTION_FORWARD);
  EXPECT_EQ(v.sample, &sample.sample);
  EXPECT_EQ(v.gain_left, 63);
  EXPECT_EQ(channel.voice, &voices[5]);
}

TEST_F(VoiceUpdate, ChannelWithoutVoiceIsLeftAlone) {
  channel.voice = nullptr;
  update(FULL_START | UPDATE_REWIND);
  EXPECT_EQ(channel.voice, nullptr);
}

}  // namespace
