// The optimised mixer against the scalar reference: long randomised runs with
// random steps, gains, forward and ping-pong loops, ramps, sample ends and
// calls of random lengths must give bit-identical floats and voice states.
// Every optimised steady loop the processor supports (SSE2, AVX2, AVX-512) is
// checked, and mix_voices itself (whichever loop it chose).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>
#include <random>
#include <vector>

#include "music/mixer.h"
#include "common/cpu_features.h"
#include "music/mixer_fast.h"
#include "music/voice.h"
#include "test_sample.h"

using namespace qm;

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
         a.ramp_frames == b.ramp_frames && a.wrapped == b.wrapped;
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

void run_and_compare(uint32_t seed, int calls, SteadyMixer steady, RampMixer ramp,
                     Interpolation interpolation = INTERPOLATION_LINEAR) {
  TestPlayer test_player(44100);
  Player* player = test_player.player;
  player->interpolation = interpolation;
  Voice* voices = test_player.voices;
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
    if (steady == nullptr) {
      mix_voices(player, out_fast.data(), frames);
    } else {
      mix_voices_using(player, out_fast.data(), frames, steady, ramp);
    }
    std::copy(voices, voices + VOICE_COUNT, fast.begin());
    std::copy(reference.begin(), reference.end(), voices);
    mix_voices_reference(player, out_reference.data(), frames);
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

struct Path {
  const char* name;
  SteadyMixer steady;
  RampMixer ramp;  // null: the scalar ramp loop
};

// The supported optimised loops; SSE2 (or its scalar stand-in) always.
std::vector<Path> supported_paths() {
  static const char* const NAMES[STEADY_PATH_COUNT] = {"SSE2", "AVX", "AVX2", "AVX-512"};
  std::vector<Path> paths;
  for (int p = 0; p < STEADY_PATH_COUNT; ++p) {
    SteadyPath path = static_cast<SteadyPath>(p);
    if (SteadyMixer mix = steady_mixer(path)) paths.push_back({NAMES[p], mix, ramp_mixer(path)});
  }
  return paths;
}

TEST(MixerFastPath, MatchesTheReferenceOverLongRandomRuns) {
  for (uint32_t seed : {1u, 2u, 3u}) run_and_compare(seed, 300, nullptr, nullptr);
  for (const Path& path : supported_paths()) {
    SCOPED_TRACE(path.name);
    run_and_compare(4, 300, path.steady, path.ramp);
  }
}

// The cubic and sinc mixes two frames at a time in vectors where the build
// has them; frame by frame, they give the same floats and voices.
TEST(MixerFastPath, CubicAndSincMatchTheirPlainLoops) {
  for (Interpolation mode : {INTERPOLATION_CUBIC, INTERPOLATION_SINC8}) {
    SCOPED_TRACE(int{mode});
    for (uint32_t seed : {5u, 6u}) run_and_compare(seed, 300, nullptr, nullptr, mode);
  }
}

// The widest loop the processor runs, except the 256-bit AVX2 one where
// the processor splits 256-bit vectors.
TEST(MixerFastPath, ChoosesTheFastestLoopOfTheProcessor) {
  auto paths = supported_paths();
  ASSERT_FALSE(paths.empty());
  EXPECT_EQ(paths.front().steady, mix_steady_fast);
  SteadyPath widest = STEADY_SSE2;
  for (int p = STEADY_SSE2; p < STEADY_PATH_COUNT; ++p) {
    if (p == STEADY_AVX2 && cpu_splits_256bit()) continue;
    if (steady_path_supported(static_cast<SteadyPath>(p))) widest = static_cast<SteadyPath>(p);
  }
  EXPECT_EQ(fastest_steady_path(), widest);
  EXPECT_EQ(fastest_steady_mixer(), steady_mixer(widest));
  EXPECT_EQ(fastest_ramp_mixer(), ramp_mixer(widest));
  if (cpu_splits_256bit()) {
    EXPECT_NE(fastest_steady_path(), STEADY_AVX2);
  }
}

// Steady stretches straight through each loop: forward and backward, steps
// from a hundredth of a frame to 8 frames (across the window limits of the
// wide loops), odd and even lengths that leave every remainder, starts just
// before frame 0.
TEST(MixerFastPath, SteadyLoopsMatchTheReferenceLoop) {
  std::mt19937 rng(7);
  std::vector<int16_t> frames(5000);
  for (auto& f : frames) f = static_cast<int16_t>(rng());
  frames[0] = 32767;  // the largest jumps b - a the data can hold
  frames[1] = -32768;
  TestSample s(frames);
  for (const Path& path : supported_paths()) {
    const char* name = path.name;
    SteadyMixer mix = path.steady;
    for (int round = 0; round < 400; ++round) {
      uint64_t step = round % 4 == 0 ? (uint64_t{rng() % 2} << 32) | (rng() & 0xFFFF)
                                     : (uint64_t{rng() % 8} << 32) | rng();
      uint64_t pos = round % 7 == 0 ? (uint64_t{0xFFFFFFFFu} << 32) | rng()  // whole part -1
                                    : (uint64_t{rng() % 100} << 32) | rng();
      int32_t n = static_cast<int32_t>(rng() % 600);
      float gl = static_cast<float>(rng() % 256) / 255.0f, gr = static_cast<float>(rng() % 256) / 255.0f;
      std::vector<float> a(2 * static_cast<size_t>(n) + 2);
      for (float& f : a) f = static_cast<float>(static_cast<int32_t>(rng() % 20001) - 10000) / 7.0f;
      bool backward = round % 2 == 1;
      uint64_t start = backward ? (pos & 0xFFFFFFFFu) + step * static_cast<uint64_t>(n) + (uint64_t{2} << 32) : pos;
      uint64_t signed_step = backward ? uint64_t{0} - step : step;
      if (!backward && static_cast<int64_t>(start + step * static_cast<uint64_t>(n)) >> 32 >= 4990) continue;
      if (backward && (start >> 32) >= 4990) continue;
      if (round % 3 == 2) {
        // Sums that cancel down to the products' rounding: a product fused
        // with its sum (rounded once instead of twice) shows in the floats.
        std::fill(a.begin(), a.end(), 0.0f);
        mix_steady_reference(a.data(), s.sample.data, start, signed_step, n, gl, gr);
        for (float& f : a) f = -f;
      }
      std::vector<float> b = a;
      ASSERT_EQ(mix(a.data(), s.sample.data, start, signed_step, n, gl, gr),
                mix_steady_reference(b.data(), s.sample.data, start, signed_step, n, gl, gr))
          << name << " round " << round;
      ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << name << " round " << round;
    }
  }
}

// Gain ramps straight through each ramp loop against the scalar one: frame j
// at gains left + j x inc (all exact, as the mixer checks before it uses a
// ramp loop), forward and backward, odd and even lengths, rising and falling.
TEST(MixerFastPath, RampLoopsMatchTheScalarRamp) {
  std::mt19937 rng(11);
  std::vector<int16_t> frames(3000);
  for (auto& f : frames) f = static_cast<int16_t>(rng());
  TestSample s(frames);
  int checked = 0;
  for (const Path& path : supported_paths()) {
    if (path.ramp == nullptr) continue;
    for (int round = 0; round < 300; ++round) {
      int32_t n = static_cast<int32_t>(1 + rng() % 128);
      uint64_t step = (uint64_t{rng() % 4} << 32) | rng();
      bool backward = round % 2 == 1;
      uint64_t start = backward ? (uint64_t{2900} << 32) | rng() : (uint64_t{rng() % 100} << 32) | rng();
      uint64_t signed_step = backward ? uint64_t{0} - step : step;
      // Multiples of 2^-24 below 2^7: every left + j x inc is exact.
      double left = std::ldexp(rng() % 65536, -16), right = std::ldexp(rng() % 65536, -16);
      float inc_left = std::ldexp(static_cast<float>(static_cast<int32_t>(rng() % 4096) - 2048), -20);
      float inc_right = round % 5 == 0 ? 0.0f : -inc_left;
      std::vector<float> a(2 * static_cast<size_t>(n));
      for (float& f : a) f = static_cast<float>(static_cast<int32_t>(rng() % 20001) - 10000) / 3.0f;
      std::vector<float> b = a;
      uint64_t pos = start, expected = start;
      ASSERT_TRUE(path.ramp(a.data(), s.sample.data, &pos, signed_step, n, left, right, inc_left, inc_right))
          << path.name << " round " << round;
      mix_ramp_reference(b.data(), s.sample.data, &expected, signed_step, n, left, right, inc_left, inc_right);
      ASSERT_EQ(pos, expected) << path.name << " round " << round;
      ASSERT_EQ(std::memcmp(a.data(), b.data(), a.size() * sizeof(float)), 0) << path.name << " round " << round;
      ++checked;
    }
  }
  if (checked == 0) GTEST_SKIP() << "no ramp loop on this processor";
}

// A voice at gain 0 on both sides, with no ramp, adds nothing to the floats
// (zeros stay +0.0) and moves through its loops exactly as it moves when
// heard: position and direction equal those of the same voice at full gain.
TEST(MixerFastPath, SilentVoicesMoveAsHeardOnesWithoutMixing) {
  std::mt19937 rng(5);
  std::vector<int16_t> frames(48);
  for (auto& f : frames) f = static_cast<int16_t>(rng());
  TestSample forward(frames, LOOP_FORWARD, 8, 40), pingpong(frames, LOOP_PINGPONG, 3, 17);
  for (const TestSample* s : {&forward, &pingpong}) {
    for (uint64_t step : {uint64_t{0x1'4000'1235}, uint64_t{0x0'2345'6789}, uint64_t{0x3'0000'0001}}) {
      TestPlayer silent_player(44100), heard_player(44100);
      Voice& quiet = silent_player.voices[0];
      Voice& heard = heard_player.voices[0];
      for (Voice* v : {&quiet, &heard}) {
        v->sample = &s->sample;
        v->pos_int = 9;
        v->pos_frac = 0x8000'0001u;
        v->step_int = static_cast<uint32_t>(step >> 32);
        v->step_frac = static_cast<uint32_t>(step);
        v->direction = DIRECTION_FORWARD;
      }
      heard.gain_left = heard.gain_right = heard.ramp_goal_left = heard.ramp_goal_right = 200;
      heard.cur_gain_left = heard.cur_gain_right = 200 * 256;
      std::vector<float> quiet_out(2 * 1000, 0.0f), heard_out(2 * 1000, 0.0f);
      quiet_out[7] = 3.5f;
      for (int call = 0; call < 5; ++call) {
        mix_voices(silent_player.player, quiet_out.data(), 1000);
        mix_voices(heard_player.player, heard_out.data(), 1000);
        ASSERT_EQ(quiet.pos_int, heard.pos_int) << call;
        ASSERT_EQ(quiet.pos_frac, heard.pos_frac) << call;
        ASSERT_EQ(quiet.direction, heard.direction) << call;
        ASSERT_EQ(quiet.sample, &s->sample);
      }
      EXPECT_NE(heard_out, quiet_out);
      for (size_t i = 0; i < quiet_out.size(); ++i) {
        ASSERT_EQ(std::signbit(quiet_out[i]), false) << i;
        ASSERT_EQ(quiet_out[i], i == 7 ? 3.5f : 0.0f) << i;
      }
    }
  }
}

}  // namespace
