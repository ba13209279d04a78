// mix_voices: sample ends, forward and ping-pong loops, gain ramps, the odd
// frame of a steady chunk, positions just before frame 0 and voices found
// past their boundary.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "music/mixer.h"
#include "music/render.h"
#include "music/voice.h"
#include "test_sample.h"

using namespace qm;

namespace {

constexpr uint64_t ONE = uint64_t{1} << 32;  // one frame in 32.32

class Mixer : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_NE(player, nullptr); }

  TestPlayer test_player{44100};
  Player* player = test_player.player;
  Voice* voices = test_player.voices;

  // Voice 0 playing s from pos with a steady gain on both sides (no ramp).
  Voice& play(const Sample* s, uint64_t pos, uint64_t step, int32_t gain = 255) {
    Voice& v = voices[0];
    v.sample = s;
    v.pos_int = static_cast<uint32_t>(pos >> 32);
    v.pos_frac = static_cast<uint32_t>(pos);
    v.step_int = static_cast<uint32_t>(step >> 32);
    v.step_frac = static_cast<uint32_t>(step);
    v.direction = DIRECTION_FORWARD;
    v.gain_left = v.gain_right = v.ramp_goal_left = v.ramp_goal_right = gain;
    v.cur_gain_left = v.cur_gain_right = gain * 256;
    v.ramp_frames = 0;
    return v;
  }
  std::vector<float> mix(int32_t frames) {
    std::vector<float> out(2 * static_cast<size_t>(frames), 0.0f);
    mix_voices(player, out.data(), frames);
    return out;
  }
};

uint64_t position(const Voice& v) { return (uint64_t{v.pos_int} << 32) | v.pos_frac; }

TEST_F(Mixer, NoFramesChangesNothing) {
  TestSample s({1, 2, 3});
  Voice& v = play(&s.sample, 0, ONE);
  float out[4] = {1.0f, 2.0f, 3.0f, 4.0f};
  mix_voices(player, out, 0);
  mix_voices(player, out, -7);
  mix_voices(player, nullptr, 2);
  EXPECT_EQ(out[0], 1.0f);
  EXPECT_EQ(out[3], 4.0f);
  EXPECT_EQ(v.sample, &s.sample);
  EXPECT_EQ(position(v), 0u);
}

TEST_F(Mixer, EmptySampleGoesIdleAtOnce) {
  Voice& v = play(&empty_sample, 0, ONE);
  std::vector<float> out = mix(8);
  EXPECT_EQ(v.sample, nullptr);
  EXPECT_EQ(out, std::vector<float>(16, 0.0f));
}

TEST_F(Mixer, NonLoopingSampleEndsAndEmptiesTheVoice) {
  TestSample s({100, 200, 300, 400, 500, 600, 700, 800, 900, 1000});
  Voice& v = play(&s.sample, 0, ONE / 2);
  std::vector<float> out = mix(30);
  for (int j = 0; j < 20; ++j) {
    int i = j / 2;
    float expected = j % 2 == 0 ? 100.0f * (i + 1) : 100.0f * (i + 1) + 50.0f;
    if (j == 19) expected = 500.0f;  // halfway to the zero guard frame
    EXPECT_EQ(out[2 * j], expected) << j;
    EXPECT_EQ(out[2 * j + 1], expected) << j;
  }
  for (int j = 20; j < 30; ++j) EXPECT_EQ(out[2 * j], 0.0f);
  EXPECT_EQ(v.sample, nullptr);
  EXPECT_EQ(position(v), 0u);
}

TEST_F(Mixer, ForwardLoopWrapsKeepingTheFraction) {
  std::vector<int16_t> frames(10);
  for (int i = 0; i < 10; ++i) frames[i] = static_cast<int16_t>(10 * i);
  TestSample s(frames, LOOP_FORWARD, 4, 6);
  Voice& v = play(&s.sample, 9 * ONE, ONE + ONE / 2);
  std::vector<float> out = mix(1);
  EXPECT_EQ(out[0], 90.0f);
  EXPECT_EQ(position(v), 4 * ONE + ONE / 2);
  out = mix(4);  // 4.5, 6.0, 7.5, 9.0
  EXPECT_EQ(out[0], 45.0f);
  EXPECT_EQ(out[2], 60.0f);
  EXPECT_EQ(out[4], 75.0f);
  EXPECT_EQ(out[6], 90.0f);
  out = mix(1);  // 4.5 again, after a wrap at the chunk's end
  EXPECT_EQ(out[0], 45.0f);
  EXPECT_EQ(v.sample, &s.sample);
}

TEST_F(Mixer, PingPongReflectsAtBothEnds) {
  std::vector<int16_t> frames(100);
  for (int i = 0; i < 100; ++i) frames[i] = static_cast<int16_t>(i);
  TestSample s(frames, LOOP_PINGPONG, 50, 50);
  Voice& v = play(&s.sample, 99 * ONE, ONE + ONE / 2);
  mix(1);
  EXPECT_EQ(v.pos_int, 99u);
  EXPECT_EQ(v.pos_frac, 0x7FFFFFFFu);
  EXPECT_EQ(v.direction, DIRECTION_BACKWARD);
  // Backward from 50.5 at step 1.5: 50.5 is mixed, then 49.0 reflects to 51.0 - 2^-32,
  // which is mixed next.
  v.pos_int = 50;
  v.pos_frac = 0x80000000u;
  std::vector<float> out = mix(2);
  EXPECT_EQ(out[0], 50.5f);
  EXPECT_EQ(v.direction, DIRECTION_FORWARD);
  // 51.0 less one unit is odd: its low bit drops before the next step.
  EXPECT_EQ(position(v), 52 * ONE + ONE / 2 - 2);
}

TEST_F(Mixer, PingPongStartingAtFrameZeroReadsTheLeadFrameBeforeIt) {
  TestSample s({1000, 1000, 1000, 1000}, LOOP_PINGPONG, 0, 4);
  Voice& v = play(&s.sample, ONE / 2, ONE / 2);
  v.direction = DIRECTION_BACKWARD;
  std::vector<float> out = mix(3);
  // 0.5 is mixed, 0.0 reflects to 2^-32 before frame 0: interpolated between
  // the zero lead frame and frame 0, then on into the loop.
  EXPECT_EQ(out[0], 1000.0f);
  EXPECT_EQ(out[2], static_cast<float>(1000.0 * (0x7FFFFFFF * 0x1p-31)));
  EXPECT_EQ(out[4], 1000.0f);
  EXPECT_EQ(v.direction, DIRECTION_FORWARD);
  EXPECT_EQ(position(v), ONE - 2);
}

TEST_F(Mixer, ForwardWrapShortOfTheEndLandsJustBeforeFrameZero) {
  // A step of 17821440 units counts 241 frames to the loop end from 240
  // units, but they reach 16 units short of it; the wrap lands at -16 units.
  TestSample s({1000}, LOOP_FORWARD, 0, 1);
  Voice& v = play(&s.sample, 240, 17821440);
  std::vector<float> out = mix(242);
  for (int j = 0; j < 241; ++j) ASSERT_EQ(out[2 * j], 1000.0f) << j;
  EXPECT_EQ(out[2 * 241], static_cast<float>(1000.0 * ((0xFFFFFFF0u >> 1) * 0x1p-31)));
  EXPECT_EQ(v.pos_int, 0u);
  EXPECT_EQ(v.sample, &s.sample);
}

TEST_F(Mixer, VoicesFoundPastTheirBoundaryTurnAtOnce) {
  TestSample s({7, 7, 7, 7, 7, 7, 7, 7}, LOOP_PINGPONG, 0, 8);
  Voice& v = play(&s.sample, 0 - uint64_t{5}, ONE);  // 5 units before frame 0, moving back
  v.direction = DIRECTION_BACKWARD;
  mix(20);
  EXPECT_LT(v.pos_int, 8u);
  TestSample t({7, 7, 7, 7});
  Voice& w = play(&t.sample, 4 * ONE + 3, ONE);  // just past the end, no loop
  std::vector<float> out = mix(20);
  EXPECT_EQ(w.sample, nullptr);
  EXPECT_EQ(out, std::vector<float>(40, 0.0f));
}

TEST_F(Mixer, LoopsPastTheDataAreNotPlayed) {
  TestSample s({1, 2, 3, 4}, LOOP_FORWARD, 2, 2);
  s.sample.loop_length = 40;
  Voice& v = play(&s.sample, 0, ONE);
  std::vector<float> out = mix(8);
  EXPECT_EQ(v.sample, nullptr);
  EXPECT_EQ(out, std::vector<float>(16, 0.0f));
}

TEST_F(Mixer, RampReachesItsTargetAcrossSeveralCalls) {
  std::vector<int16_t> frames(64, 1000);
  TestSample s(frames, LOOP_FORWARD, 0, 64);
  Voice& v = play(&s.sample, 0, ONE, 0);
  v.gain_left = 63;  // a fresh start: applied gains 0, target 63 on the left
  float inc = static_cast<float>(63 * static_cast<double>(1.0f / 255.0f) / 128.0);
  std::vector<float> out = mix(50);
  EXPECT_EQ(v.ramp_frames, 78);
  EXPECT_EQ(v.ramp_inc_left, inc);
  EXPECT_EQ(out[0], 0.0f);
  EXPECT_EQ(out[2], static_cast<float>(1000.0 * inc));
  EXPECT_EQ(out[1], 0.0f);
  EXPECT_EQ(v.cur_gain_left, static_cast<int32_t>(std::nearbyint(50 * static_cast<double>(inc) * 255 * 256)));
  mix(1);
  out = mix(77 + 10);
  EXPECT_EQ(v.ramp_frames, 0);
  EXPECT_EQ(v.cur_gain_left, 16128);
  EXPECT_EQ(v.cur_gain_right, 0);
  EXPECT_EQ(v.ramp_inc_left, 0.0f);
  float steady = static_cast<float>(1000.0 * static_cast<float>(63 * static_cast<double>(1.0f / 255.0f)));
  EXPECT_LT(out[2 * 76], steady);
  for (int j = 77; j < 87; ++j) EXPECT_EQ(out[2 * j], steady) << j;
}

TEST_F(Mixer, RampEndingInsideAChunkLeavesTheRestSteady) {
  TestSample s(std::vector<int16_t>(300, 1000));
  Voice& v = play(&s.sample, 0, ONE, 0);
  v.gain_left = v.gain_right = 255;
  std::vector<float> out = mix(320);
  EXPECT_LT(out[2 * 127], 1000.0f);
  for (int j = 128; j < 300; ++j) ASSERT_EQ(out[2 * j], 1000.0f) << j;
  for (int j = 300; j < 320; ++j) ASSERT_EQ(out[2 * j], 0.0f) << j;
  EXPECT_EQ(v.sample, nullptr);
}

TEST_F(Mixer, OddSteadyChunkMixesItsLastFrameWithTheAppliedGains) {
  TestSample s(std::vector<int16_t>(16, 1000), LOOP_FORWARD, 0, 16);
  float steady = static_cast<float>(1000.0 * static_cast<float>(100 * static_cast<double>(1.0f / 255.0f)));
  float applied = static_cast<float>(1000.0 * static_cast<float>(25728 / 256.0 * static_cast<double>(1.0f / 255.0f)));
  ASSERT_NE(steady, applied);
  for (int side = 0; side < 2; ++side) {  // a different applied gain on the left, then on the right
    Voice& v = play(&s.sample, 0, ONE, 100);
    (side == 0 ? v.cur_gain_left : v.cur_gain_right) = 100 * 256 + 128;  // same whole gain: no ramp
    std::vector<float> out = mix(3);
    EXPECT_EQ(out[0], steady);
    EXPECT_EQ(out[2], steady);
    EXPECT_EQ(out[4 + side], applied) << side;
    EXPECT_EQ(out[5 - side], steady) << side;
  }
}

// Target gains of 0 with an applied gain left below one step of 256 (a ramp
// cut short): no ramp, yet the odd last frame of a chunk is heard.
TEST_F(Mixer, ZeroTargetsWithAnAppliedRemainderAreNotSilent) {
  TestSample s(std::vector<int16_t>(16, 1000), LOOP_FORWARD, 0, 16);
  for (int side = 0; side < 2; ++side) {
    Voice& v = play(&s.sample, 0, ONE, 0);
    (side == 0 ? v.cur_gain_left : v.cur_gain_right) = 200;
    std::vector<float> out = mix(3);
    EXPECT_EQ(out[4 + side], static_cast<float>(1000.0 * static_cast<float>(200 / 256.0 * static_cast<double>(1.0f / 255.0f)))) << side;
    EXPECT_EQ(out[0], 0.0f);
  }
}

TEST_F(Mixer, MixingAddsToTheBufferAndSkipsIdleVoices) {
  TestSample s(std::vector<int16_t>(8, 300), LOOP_FORWARD, 0, 8);
  play(&s.sample, 0, ONE);
  voices[40] = voices[0];
  voices[40].index = 40;
  voices[64] = voices[0];  // slots from 64 on are never mixed
  std::vector<float> out(8, 1.0f);
  mix_voices(player, out.data(), 4);
  EXPECT_EQ(out, std::vector<float>(8, 601.0f));
}

// A slot left behind by a handover (no channel plays it) fades out over its
// ramp and is then released: it can never be heard again. A silent voice
// that a channel plays goes on moving, and the reference mixer moves both.
TEST_F(Mixer, VoicesNoOneCanHearStopAfterTheirFade) {
  TestSample s(std::vector<int16_t>(8, 300), LOOP_FORWARD, 0, 8);
  Voice& played = play(&s.sample, 0, ONE, 0);  // channel 0 plays slot 0
  Voice& left = voices[32];                    // its twin, fading out
  left = played;
  left.index = 32;
  left.cur_gain_left = left.cur_gain_right = 100 * 256;
  ASSERT_EQ(player->channels[0].voice, &played);
  std::vector<float> out = mix(64);  // half the fade
  EXPECT_NE(out[2], 0.0f);
  EXPECT_EQ(left.sample, &s.sample);
  release_unheard_voices(player);  // not yet: its fade still sounds
  EXPECT_EQ(left.sample, &s.sample);
  mix(64);  // the fade ends at gain 0
  EXPECT_EQ(left.sample, &s.sample);
  EXPECT_EQ(left.ramp_frames, 0);
  Voice kept = left;
  release_unheard_voices(player);
  std::vector<float> silent = mix(100);
  EXPECT_EQ(silent, std::vector<float>(200, 0.0f));
  EXPECT_EQ(left.sample, nullptr);
  EXPECT_EQ(played.sample, &s.sample);
  EXPECT_EQ(position(played), uint64_t{(128 + 128 + 100) % 8} << 32);
  left = kept;
  std::vector<float> reference(200, 0.0f);
  mix_voices_reference(player, reference.data(), 100);
  EXPECT_EQ(reference, silent);
  EXPECT_EQ(left.sample, &s.sample);
}

// The block fill releases such a voice before mixing or skipping a block;
// a silent voice a channel plays is kept.
TEST_F(Mixer, TheBlockFillReleasesVoicesNoOneCanHear) {
  TestSample s(std::vector<int16_t>(8, 300), LOOP_FORWARD, 0, 8);
  for (void (*fill)(Player*) : {mix_block, skip_block}) {
    Voice& played = play(&s.sample, 0, ONE, 0);  // channel 0 plays slot 0, silent
    Voice& left = voices[32];
    left = played;
    left.index = 32;
    ASSERT_EQ(player->channels[0].voice, &played);
    fill(player);
    EXPECT_EQ(left.sample, nullptr);
    EXPECT_EQ(played.sample, &s.sample);
  }
}

// A voice no channel plays, at gains 0 but with a ramp still pending (its
// targets moved back before the ramp mixed a frame): the ramp goes on, so
// the voice is heard and is not stopped, as the reference mixer has it.
TEST_F(Mixer, VoicesWithAPendingRampAreNotStopped) {
  TestSample s(std::vector<int16_t>(1000, 1000));
  Voice& v = voices[40];
  v.index = 40;
  v.sample = &s.sample;
  v.step_int = 1;
  v.direction = DIRECTION_FORWARD;
  v.ramp_frames = 100;
  v.ramp_goal_left = v.ramp_goal_right = 50;  // the targets have moved since: the ramp restarts
  v.ramp_inc_left = v.ramp_inc_right = 0.001f;
  Voice start = v;
  release_unheard_voices(player);
  std::vector<float> first = mix(8);
  release_unheard_voices(player);
  std::vector<float> second = mix(8);
  EXPECT_EQ(v.sample, &s.sample);
  EXPECT_NE(second[2], 0.0f);
  v = start;
  std::vector<float> reference(16, 0.0f);
  mix_voices_reference(player, reference.data(), 8);
  EXPECT_EQ(reference, first);
  std::fill(reference.begin(), reference.end(), 0.0f);
  mix_voices_reference(player, reference.data(), 8);
  EXPECT_EQ(reference, second);
}

}  // namespace
