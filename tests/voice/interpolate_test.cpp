// The cubic and sinc kernels on their own: the sinc table's phases, the
// vector dot product against the plain one, and the frames read past a
// loop's edges (wrapped, reflected, before a loop's start).
#include <gtest/gtest.h>

#include <cstdint>
#include <random>
#include <vector>

#include "music/interpolate.h"
#include "music/module.h"
#include "music/voice.h"
#include "music/xm_format.h"

using namespace qm;

namespace {

constexpr uint64_t WHOLE = uint64_t{1} << 32;

TEST(SincTable, EveryPhaseSumsToOneAndPhaseZeroPassesTheFrame) {
  for (int p = 0; p < SINC_PHASES; ++p) {
    int32_t sum = 0;
    for (int k = 0; k < SINC_TAPS; ++k) sum += SINC_TABLE.weights[p][k];
    ASSERT_EQ(sum, SINC_WEIGHT_ONE) << "phase " << p;
  }
  for (int k = 0; k < SINC_TAPS; ++k) EXPECT_EQ(SINC_TABLE.weights[0][k], k == 3 ? SINC_WEIGHT_ONE : 0) << k;
  // Half way between frames i and i + 1 both weigh about the same, and the kernel
  // is mirrored: phase p read backwards is phase P - p (within the rounding
  // the sum's correction leaves).
  const auto& half = SINC_TABLE.weights[SINC_PHASES / 2];
  EXPECT_NEAR(half[3], half[4], 4);
  EXPECT_GT(half[3], SINC_WEIGHT_ONE / 2);
  EXPECT_LT(half[2], 0);  // the first side lobe is negative
  for (int p = 1; p < SINC_PHASES; ++p)
    for (int k = 0; k < SINC_TAPS; ++k)
      ASSERT_NEAR(SINC_TABLE.weights[p][k], SINC_TABLE.weights[SINC_PHASES - p][SINC_TAPS - 1 - k], 4) << p << " " << k;
}

TEST(SincTable, VectorDotProductEqualsThePlainOne) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> value(-32768, 32767);
  alignas(16) int16_t taps[SINC_TAPS + 1];
  for (int round = 0; round < 20000; ++round) {
    for (int16_t& t : taps) t = static_cast<int16_t>(round % 3 == 0 ? (value(rng) < 0 ? -32768 : 32767) : value(rng));
    const int16_t* w = SINC_TABLE.weights[round % SINC_PHASES];
    ASSERT_EQ(dot8(taps + round % 2, w), dot8_reference(taps + round % 2, w)) << round;
  }
}

// A sample of `length` frames with value 100 x (frame + 1), the lead and
// spare frames around it.
struct Frames {
  explicit Frames(uint32_t length) : store(SAMPLE_LEAD_FRAMES + length + SAMPLE_SPARE_FRAMES, 0) {
    for (uint32_t i = 0; i < length; ++i) store[SAMPLE_LEAD_FRAMES + i] = static_cast<int16_t>(100 * (i + 1));
    sample.data = store.data() + SAMPLE_LEAD_FRAMES;
    sample.length = length;
    sample.loop_length = length;
  }
  std::vector<int16_t> store;
  Sample sample{};
};

// The value the sinc gives at a whole frame is the frame the table's phase 0
// passes alone; gathering the neighbours must not disturb it, so reading
// the frames through a whole position shows where each frame is reached
// from: frame j at whole position j.
int32_t reached(const Sample& s, bool wrapped, int32_t frame) {
  Voice v{};
  v.wrapped = wrapped;
  const SampleEdges e = sample_edges(&v, &s);
  int16_t scratch[SINC_TAPS];
  return gather_frames(s.data, frame, 1, e, scratch)[0];
}

TEST(SampleEdges, FramesPastTheEdgesAreReachedWherePlaybackGoes) {
  Frames f(10);  // values 100 .. 1000
  f.sample.loop_start = 4;
  f.sample.loop_length = 4;  // frames 4..7 (values 500..800)
  f.sample.loop_type = LOOP_FORWARD;
  EXPECT_EQ(reached(f.sample, false, 8), 500);   // past the end: the loop's start again
  EXPECT_EQ(reached(f.sample, false, 13), 600);
  EXPECT_EQ(reached(f.sample, false, 3), 400);   // before the first wrap: the sample's own frame
  EXPECT_EQ(reached(f.sample, true, 3), 800);    // after it: the loop's last frame
  EXPECT_EQ(reached(f.sample, true, 1), 600);
  f.sample.loop_type = LOOP_PINGPONG;
  EXPECT_EQ(reached(f.sample, false, 8), 800);   // the guard frame, then back: 7 7 6 5 4 5 ...
  EXPECT_EQ(reached(f.sample, false, 9), 800);
  EXPECT_EQ(reached(f.sample, false, 10), 700);
  EXPECT_EQ(reached(f.sample, false, 12), 500);
  EXPECT_EQ(reached(f.sample, false, 13), 600);
  EXPECT_EQ(reached(f.sample, true, 3), 600);    // turned round at the first frame
  EXPECT_EQ(reached(f.sample, true, 0), 800);
  f.sample.loop_type = LOOP_NONE;
  f.sample.loop_start = 0;
  f.sample.loop_length = 10;
  EXPECT_EQ(reached(f.sample, true, 12), 0);     // past a sample without a loop: silence
  EXPECT_EQ(reached(f.sample, true, -2), 0);
}

TEST(Kernels, WholePositionsGiveTheFrameAndLinesStayLines) {
  Frames f(64);  // a straight line: 100 x (frame + 1)
  f.sample.loop_type = LOOP_NONE;
  Voice v{};
  const SampleEdges e = sample_edges(&v, &f.sample);
  for (int32_t i = 4; i < 56; ++i) {
    const uint64_t pos = uint64_t(i) * WHOLE;
    EXPECT_EQ(cubic_at(f.sample.data, pos, e), 100.0 * (i + 1));
    EXPECT_EQ(sinc8_at(f.sample.data, pos, e), 100.0 * (i + 1));
    // A cubic reproduces a line exactly; the sinc within its weights' rounding.
    const uint64_t quarter = pos + WHOLE / 4;
    EXPECT_DOUBLE_EQ(cubic_at(f.sample.data, quarter, e), 100.0 * (i + 1.25));
    EXPECT_NEAR(sinc8_at(f.sample.data, quarter, e), 100.0 * (i + 1.25), 2.0);
  }
}

}  // namespace
