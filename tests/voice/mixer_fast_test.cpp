// The optimised mixer against the scalar reference: long randomised runs with
// random steps, gains, forward and ping-pong loops, ramps, sample ends and
// calls of random lengths must give bit-identical floats and voice states.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "music/mixer.h"
#include "music/output.h"
#include "music/voice.h"
#include "test_sample.h"

namespace {

constexpr int ACTIVE_VOICES = 24;

bool same_voice(const Voice& a, const Voice& b) {
  return a.index == b.index && a.volume == b.volume && a.sample == b.sample &&
         a.gain_left == b.gain_left && a.gain_right == b.gain_right && a.pos_int == b.pos_int &&
         a.pos_frac == b.pos_frac && a.step_frac == b.step_frac && a.step_int == b.step_int &&
         a.direction == b.direction && a.ramp_goal_left == b.ramp_goal_left &&
         a.ramp_goal_right == b.ramp_goal_right && a.cur_gain_left == b.cur_gain_left &&
         a.cur_gain_right == b.cur_gain_right &&
         std::memcmp(&a.ramp_inc_left, &b.ramp_inc_left, sizeof(float)) == 0 &&
         std::memcmp(&a.ramp_inc_right, &b.ramp_inc_right, sizeof(float)) == 0 &&
         a.ramp_frames == b.ramp_frames;
}

class RandomRun {
 public:
  explicit RandomRun(uint32_t seed) : rng_(seed) {
    for (int i = 0; i < 24; ++i) samples_.push_back(make_sample());
  }

  std::unique_ptr<TestSample> make_sample() {
    uint32_t length = pick(0, 3) == 0 ? pick(1, 4) : pick(1, 400);
    std::vector<int16_t> frames(length);
    for (auto& f : frames) f = static_cast<int16_t>(pick(0, 65535) - 32768);
    uint32_t kind = pick(0, 2);
    if (kind == 0) return std::make_unique<TestSample>(frames);
    uint32_t start = pick(0, 1) == 0 ? 0 : pick(0, length - 1);
    uint32_t loop = pick(1, length - start);
    return std::make_unique<TestSample>(frames, kind == 1 ? LOOP_FORWARD : LOOP_PINGPONG, start, loop);
  }

  // Steps from 100 Hz to just under 128 frames, log-spread, some exact.
  void random_step(Voice& v) {
    uint64_t step;
    switch (pick(0, 5)) {
      case 0: step = uint64_t{1} << 32; break;
      case 1: step = uint64_t{1} << 31; break;
      default: {
        double frames = std::exp2(std::uniform_real_distribution<double>(-8.8, 6.99)(rng_));
        step = static_cast<uint64_t>(frames * 4294967296.0) + pick(0, 1023);
      }
    }
    v.step_int = static_cast<uint32_t>(step >> 32);
    v.step_frac = static_cast<uint32_t>(step);
  }

  void start(Voice& v) {
    const Sample& s = samples_[pick(0, static_cast<uint32_t>(samples_.size()) - 1)]->sample;
    v.sample = &s;
    uint32_t end = s.loop_start + s.loop_length;
    v.pos_int = pick(0, end - 1);
    v.pos_frac = pick(0, 0xFFFFFFFFu);
    v.direction = s.loop_type == LOOP_PINGPONG && pick(0, 1) ? DIRECTION_BACKWARD : DIRECTION_FORWARD;
    if (v.direction == DIRECTION_BACKWARD && v.pos_int < s.loop_start) v.pos_int = s.loop_start;
    v.cur_gain_left = v.cur_gain_right = 0;
    v.ramp_frames = 0;
    random_step(v);
  }

  // Changes a few voices the way the replayer does between mixer calls.
  void disturb(Voice* table) {
    for (int k = static_cast<int>(pick(0, 4)); k > 0; --k) {
      Voice& v = table[pick(0, ACTIVE_VOICES - 1)];
      switch (pick(0, 3)) {
        case 0: start(v); [[fallthrough]];
        case 1: v.gain_left = static_cast<int32_t>(pick(0, 255)); v.gain_right = static_cast<int32_t>(pick(0, 255)); break;
        case 2: random_step(v); break;
        default: v.gain_left = 0; v.gain_right = 0; break;
      }
    }
  }

  uint32_t pick(uint32_t lo, uint32_t hi) { return std::uniform_int_distribution<uint32_t>(lo, hi)(rng_); }

 private:
  std::mt19937 rng_;
  std::vector<std::unique_ptr<TestSample>> samples_;
};

void run_and_compare(uint32_t seed, int calls) {
  ASSERT_TRUE(configure_output(44100));
  RandomRun run(seed);
  for (int i = 0; i < ACTIVE_VOICES; ++i) run.start(voices[i]);
  std::vector<Voice> fast(voices, voices + VOICE_COUNT);
  std::vector<Voice> reference = fast;
  int64_t frames_mixed = 0;
  for (int call = 0; call < calls; ++call) {
    run.disturb(fast.data());
    std::copy(fast.begin(), fast.begin() + ACTIVE_VOICES, reference.begin());
    int32_t frames = static_cast<int32_t>(run.pick(0, 3) == 0 ? run.pick(1, 7) : run.pick(1, 1500));
    std::vector<float> out_fast(2 * static_cast<size_t>(frames));
    for (float& f : out_fast) f = static_cast<float>(run.pick(0, 2000)) - 1000.0f;
    std::vector<float> out_reference = out_fast;

    std::copy(fast.begin(), fast.end(), voices);
    mix_voices(out_fast.data(), frames);
    std::copy(voices, voices + VOICE_COUNT, fast.begin());
    std::copy(reference.begin(), reference.end(), voices);
    mix_voices_reference(out_reference.data(), frames);
    std::copy(voices, voices + VOICE_COUNT, reference.begin());

    ASSERT_EQ(std::memcmp(out_fast.data(), out_reference.data(), out_fast.size() * sizeof(float)), 0)
        << "seed " << seed << " call " << call;
    for (int i = 0; i < ACTIVE_VOICES; ++i) {
      ASSERT_TRUE(same_voice(fast[i], reference[i])) << "seed " << seed << " call " << call << " voice " << i;
    }
    frames_mixed += frames;
  }
  EXPECT_GT(frames_mixed, int64_t{calls} * 200);
}

TEST(MixerFastPath, MatchesTheReferenceOverLongRandomRuns) {
  for (uint32_t seed : {1u, 2u, 3u}) run_and_compare(seed, 300);
}

TEST(MixerFastPath, SteadyLoopMatchesTheReferenceLoop) {
  std::mt19937 rng(7);
  std::vector<int16_t> frames(5000);
  for (auto& f : frames) f = static_cast<int16_t>(rng());
  TestSample s(frames);
  for (int round = 0; round < 200; ++round) {
    uint64_t step = (uint64_t{rng() % 8} << 32) | rng();
    uint64_t pos = (uint64_t{rng() % 100} << 32) | rng();
    int32_t n = static_cast<int32_t>(2 * (rng() % 300));
    float gl = static_cast<float>(rng() % 256) / 255.0f, gr = static_cast<float>(rng() % 256) / 255.0f;
    std::vector<float> a(2 * static_cast<size_t>(n) + 2, 3.25f), b = a;
    bool backward = round % 2 == 1;
    uint64_t start = backward ? pos + step * static_cast<uint64_t>(n) + (uint64_t{2} << 32) : pos;
    uint64_t signed_step = backward ? uint64_t{0} - step : step;
    if (backward && (start >> 32) >= 5000) continue;
    EXPECT_EQ(mix_steady_fast(a.data(), s.sample.data, start, signed_step, n, gl, gr),
              mix_steady_reference(b.data(), s.sample.data, start, signed_step, n, gl, gr));
    ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << round;
  }
}

}  // namespace
