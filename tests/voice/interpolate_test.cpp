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

template <int TAPS>
void expect_sound_table(const TapTable<TAPS>& table) {
  for (int p = 0; p < SINC_PHASES; ++p) {
    int32_t sum = 0;
    for (int k = 0; k < TAPS; ++k) sum += table.weights[p][k];
    ASSERT_EQ(sum, TAP_WEIGHT_ONE) << "phase " << p;
  }
  for (int k = 0; k < TAPS; ++k) EXPECT_EQ(table.weights[0][k], k == TAPS / 2 - 1 ? TAP_WEIGHT_ONE : 0) << k;
  // Half way between frames i and i + 1 both weigh about the same, and the
  // kernel is mirrored: phase p read backwards is phase P - p (within the
  // rounding the sum's correction leaves).
  const auto& half = table.weights[SINC_PHASES / 2];
  EXPECT_NEAR(half[TAPS / 2 - 1], half[TAPS / 2], 4);
  EXPECT_GT(half[TAPS / 2 - 1], TAP_WEIGHT_ONE / 2);
  EXPECT_LT(half[TAPS / 2 - 2], 0);  // the first side lobe is negative
  for (int p = 1; p < SINC_PHASES; ++p)
    for (int k = 0; k < TAPS; ++k)
      ASSERT_NEAR(table.weights[p][k], table.weights[SINC_PHASES - p][TAPS - 1 - k], 4) << p << " " << k;
}

TEST(TapTables, EveryPhaseSumsToOneAndPhaseZeroPassesTheFrame) {
  expect_sound_table(CUBIC_TABLE);
  expect_sound_table(SINC_TABLE);
  // The cubic's weights at t = 1/2 are -1/16, 9/16, 9/16, -1/16.
  EXPECT_EQ(CUBIC_TABLE.weights[SINC_PHASES / 2][0], -TAP_WEIGHT_ONE / 16);
  EXPECT_EQ(CUBIC_TABLE.weights[SINC_PHASES / 2][2], 9 * TAP_WEIGHT_ONE / 16);
}

#if defined(QM_TAPS_SSE2)
template <int TAPS>
void expect_pairs_exact(const TapTable<TAPS>& table) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int32_t> value(-32768, 32767);
  alignas(16) int16_t frames[2 * TAPS + 1];
  for (int round = 0; round < 20000; ++round) {
    for (int16_t& f : frames) f = static_cast<int16_t>(round % 3 == 0 ? (value(rng) < 0 ? -32768 : 32767) : value(rng));
    const TapsAt<TAPS> a{frames + round % 2, table.weights[round % SINC_PHASES]};
    const TapsAt<TAPS> b{frames + TAPS + round % 2, table.weights[(round * 7) % SINC_PHASES]};
    alignas(16) int32_t lanes[4];
    _mm_store_si128(reinterpret_cast<__m128i*>(lanes), dot_pair<TAPS>(a, b));
    ASSERT_EQ(lanes[0], dot_reference<TAPS>(a.frames, a.weights)) << round;
    ASSERT_EQ(lanes[1], dot_reference<TAPS>(b.frames, b.weights)) << round;
  }
}

TEST(TapTables, VectorSumsEqualThePlainOnes) {
  expect_pairs_exact(CUBIC_TABLE);
  expect_pairs_exact(SINC_TABLE);
}
#endif

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

// Where frame `frame` of s is heard from, for a voice that has (or has not)
// wrapped: gathered one by one, or (through_windows) as the kernels read
// it, through the loop windows where they apply.
int32_t reached(const Sample& s, bool wrapped, int32_t frame, bool through_windows = false) {
  Voice v{};
  v.wrapped = wrapped;
  const SampleEdges e = sample_edges(&v, &s);
  int16_t scratch[SINC_TAPS];
  return (through_windows ? frames_from(s.data, frame, 1, e, scratch) : gather_frames(s.data, frame, 1, e, scratch))[0];
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

TEST(SampleEdges, LoopWindowsHoldWhatGatheringReaches) {
  Frames f(40);
  f.sample.loop_start = 10;
  f.sample.loop_length = 20;  // frames 10..29
  for (uint8_t type : {LOOP_FORWARD, LOOP_PINGPONG}) {
    f.sample.loop_type = type;
    f.sample.data[30] = type == LOOP_FORWARD ? f.sample.data[10] : f.sample.data[29];  // the guard frame
    fill_loop_windows(&f.sample);
    for (bool wrapped : {false, true})
      for (int32_t frame = 2; frame < 38; ++frame)
        ASSERT_EQ(reached(f.sample, wrapped, frame, true), reached(f.sample, wrapped, frame))
            << "type " << int{type} << (wrapped ? ", wrapped" : "") << ", frame " << frame;
  }
}

TEST(Kernels, WholePositionsGiveTheFrameAndLinesStayLines) {
  Frames f(64);  // a straight line: 100 x (frame + 1)
  f.sample.loop_type = LOOP_NONE;
  Voice v{};
  const SampleEdges e = sample_edges(&v, &f.sample);
  for (int32_t i = 4; i < 56; ++i) {
    const uint64_t pos = uint64_t(i) * WHOLE;
    EXPECT_EQ(table_at(f.sample.data, pos, e, CUBIC_TABLE), 100.0 * (i + 1));
    EXPECT_EQ(table_at(f.sample.data, pos, e, SINC_TABLE), 100.0 * (i + 1));
    // Both reproduce a line, within their weights' rounding.
    const uint64_t quarter = pos + WHOLE / 4;
    EXPECT_NEAR(table_at(f.sample.data, quarter, e, CUBIC_TABLE), 100.0 * (i + 1.25), 0.5);
    EXPECT_NEAR(table_at(f.sample.data, quarter, e, SINC_TABLE), 100.0 * (i + 1.25), 2.0);
  }
}

}  // namespace
