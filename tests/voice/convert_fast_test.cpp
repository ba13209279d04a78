// Every conversion path (the one convert_to_pcm16 picks, SSE2 and AVX-512,
// each forced) against the scalar convert_to_pcm16_reference: the same
// 16-bit values, bit for bit, for ties, values at and beyond the 16-bit range,
// huge values, infinities, NaNs, negative zero, any bit pattern, odd frame
// counts and unaligned buffers; nothing is written past the last frame.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <random>
#include <vector>

#include "common/cpu_features.h"
#include "music/convert.h"

using namespace qm;

namespace {

using Convert = void (*)(int16_t*, const float*, int32_t);

struct ConvertPath {
  const char* name;
  Convert convert;
  bool (*available)();
};

bool always() { return true; }

const ConvertPath PATHS[] = {
    {"chosen", convert_to_pcm16, always},
    {"sse2", convert_to_pcm16_sse2, always},
    {"avx512", convert_to_pcm16_avx512, cpu_has_avx512f},
};

float from_bits(uint32_t bits) {
  float f;
  std::memcpy(&f, &bits, sizeof f);
  return f;
}

// One value of a random kind, each kind aimed at a place a vector conversion can go wrong.
float awkward_value(std::mt19937& rng) {
  auto pick = [&](int32_t lo, int32_t hi) { return std::uniform_int_distribution<int32_t>(lo, hi)(rng); };
  const float inf = std::numeric_limits<float>::infinity();
  switch (pick(0, 8)) {
    case 0: return static_cast<float>(pick(-40000, 40000)) + 0.5f;  // exact ties
    case 1: return std::nextafter(static_cast<float>(pick(-32770, 32770)) + 0.5f, pick(0, 1) ? inf : -inf);
    case 2: return (pick(0, 1) ? 1.0f : -1.0f) * (32766.0f + static_cast<float>(pick(0, 12)) * 0.25f);
    case 3: return std::ldexp(static_cast<float>(pick(1, 1 << 23)), pick(0, 104)) * (pick(0, 1) ? 1.0f : -1.0f);
    case 4: return pick(0, 1) ? (pick(0, 1) ? inf : -inf) : (pick(0, 1) ? 0.0f : -0.0f);
    case 5: return from_bits(0x7F800001u + static_cast<uint32_t>(pick(0, 0x7FFFFE)) + (pick(0, 1) ? 0x80000000u : 0u));
    case 6: return from_bits(static_cast<uint32_t>(rng()));  // any pattern: denormals, NaNs, huge
    case 7: return std::uniform_real_distribution<float>(-1.5f, 1.5f)(rng);
    default: return std::uniform_real_distribution<float>(-33000.0f, 33000.0f)(rng);
  }
}

class ConvertFast : public ::testing::TestWithParam<ConvertPath> {
 protected:
  void SetUp() override {
    if (!GetParam().available()) GTEST_SKIP() << GetParam().name << " is not available on this processor";
  }
};

TEST_P(ConvertFast, MatchesTheScalarLoopBitForBit) {
  const Convert convert = GetParam().convert;
  std::mt19937 rng(20261209);
  constexpr int32_t MAX_FRAMES = 77;
  constexpr int16_t GUARD = 0x5A5A;
  for (int round = 0; round < 4000; ++round) {
    int32_t frames = std::uniform_int_distribution<int32_t>(1, MAX_FRAMES)(rng);
    size_t offset = rng() % 4;  // buffers not 16-byte aligned
    std::vector<float> in(offset + 2 * MAX_FRAMES + 2);
    for (float& v : in) v = awkward_value(rng);
    const std::vector<float> copy = in;
    std::vector<int16_t> fast(offset + 2 * MAX_FRAMES + 2, GUARD);
    std::vector<int16_t> reference = fast;
    convert(fast.data() + offset, in.data() + offset, frames);
    convert_to_pcm16_reference(reference.data() + offset, in.data() + offset, frames);
    ASSERT_EQ(std::memcmp(fast.data(), reference.data(), fast.size() * sizeof(int16_t)), 0)
        << "round " << round << ", " << frames << " frames";
    ASSERT_EQ(fast[offset + 2 * static_cast<size_t>(frames)], GUARD);
    ASSERT_EQ(std::memcmp(in.data(), copy.data(), in.size() * sizeof(float)), 0);
  }
}

// Every float between -32769 and 32769 in steps of a quarter, plus the special
// values, in one long block so the vector loop sees each of them in every lane.
TEST_P(ConvertFast, MatchesOnEveryQuarterAcrossTheRange) {
  const Convert convert = GetParam().convert;
  const float inf = std::numeric_limits<float>::infinity();
  std::vector<float> in = {inf, -inf, std::nanf(""), -std::nanf(""), -0.0f, 0.0f, 1e38f, -1e38f,
                           2147483648.0f, -2147483904.0f, 2147483520.0f, -2147483648.0f};
  for (int32_t q = -32769 * 4; q <= 32769 * 4; ++q) in.push_back(static_cast<float>(q) * 0.25f);
  for (int shift = 0; shift < 8; ++shift) {
    std::vector<float> shifted(in.begin() + shift, in.end());
    if (shifted.size() % 2) shifted.pop_back();
    int32_t frames = static_cast<int32_t>(shifted.size() / 2);
    std::vector<int16_t> fast(shifted.size()), reference(shifted.size());
    convert(fast.data(), shifted.data(), frames);
    convert_to_pcm16_reference(reference.data(), shifted.data(), frames);
    ASSERT_EQ(fast, reference) << "shift " << shift;
  }
}

INSTANTIATE_TEST_SUITE_P(Paths, ConvertFast, ::testing::ValuesIn(PATHS),
                         [](const ::testing::TestParamInfo<ConvertPath>& info) { return std::string(info.param.name); });

}  // namespace
