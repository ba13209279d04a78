// convert_to_pcm16: round half to even, clip, never wrap, leave the input alone.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "music/convert.h"

using namespace qm;

namespace {

TEST(Convert, RoundsHalfToEvenAndClips) {
  const std::vector<float> in = {0.5f,     1.5f,      -2.5f,    32767.4f, 32767.5f, -32768.5f,
                                 -40000.f, 40000.f,   -0.5f,    2.5f,     -1.5f,    0.49999997f,
                                 1e30f,    -1e30f,    std::numeric_limits<float>::infinity(),
                                 -std::numeric_limits<float>::infinity()};
  const std::vector<int16_t> expected = {0,      2,     -2, 32767,  32767, -32768, -32768, 32767,
                                         0,      2,     -2, 0,      32767, -32768, 32767,  -32768};
  std::vector<float> copy = in;
  std::vector<int16_t> out(in.size(), 77);
  convert_to_pcm16(out.data(), in.data(), static_cast<int32_t>(in.size() / 2));
  EXPECT_EQ(out, expected);
  EXPECT_EQ(copy, in);
}

TEST(Convert, NothingHappensWithoutFramesOrBuffers) {
  float in[4] = {100.0f, 200.0f, 300.0f, 400.0f};
  int16_t out[4] = {1, 2, 3, 4};
  convert_to_pcm16(out, in, 0);
  convert_to_pcm16(out, in, -5);
  convert_to_pcm16(nullptr, in, 2);
  convert_to_pcm16(out, nullptr, 2);
  EXPECT_EQ(out[0], 1);
  EXPECT_EQ(out[3], 4);
  convert_to_pcm16(out, in, 1);  // one frame is two values
  EXPECT_EQ(out[0], 100);
  EXPECT_EQ(out[1], 200);
  EXPECT_EQ(out[2], 3);
}

TEST(Convert, NotANumberBecomesSilence) {
  float in[2] = {std::nanf(""), -std::nanf("")};
  int16_t out[2] = {5, 5};
  convert_to_pcm16(out, in, 1);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0);
}

}  // namespace
