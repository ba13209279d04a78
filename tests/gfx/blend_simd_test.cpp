// Every path of the blends (the dispatched one the show takes, and each wide
// path forced on its own: SSE2, AVX2) against the per-pixel reference
// versions: every channel combination at every factor, then randomised
// sizes, positions (clipped at every edge), factors and pixel words (top
// bytes included), and finally a mask or source that shares memory with the
// target. A path the processor lacks is skipped.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <ostream>
#include <random>

#include "common/cpu_features.h"
#include "gfx/blend_wide.h"
#include "gfx/blit.h"
#include "gfx/blit_reference.h"

namespace {

enum class Op { Alpha, FadeMasked, CrossFade };
constexpr Op OPS[] = {Op::Alpha, Op::FadeMasked, Op::CrossFade};

const char* op_name(Op op) {
  return op == Op::Alpha ? "blit_alpha" : op == Op::FadeMasked ? "blit_fade_masked" : "blit_cross_fade";
}

// The ways to run a blend.
enum class Path { Reference, Dispatched, Sse2, Avx2 };

const char* path_name(Path path) {
  switch (path) {
    case Path::Reference: return "reference";
    case Path::Dispatched: return "dispatched";
    case Path::Sse2: return "sse2";
    case Path::Avx2: return "avx2";
  }
  return "?";
}

// Names the path in test names and messages instead of its bytes.
void PrintTo(Path path, std::ostream* out) { *out << path_name(path); }

bool path_available(Path path) {
  switch (path) {
    case Path::Sse2: return cpu_has_sse2();
    case Path::Avx2: return cpu_has_avx2();
    default: return true;
  }
}

void run_alpha(Path path, const Image& src, Image& dst, int x, int y, const Image& mask) {
  switch (path) {
    case Path::Reference: blit_alpha_reference(src, dst, x, y, mask); break;
    case Path::Dispatched: blit_alpha(src, dst, x, y, mask); break;
    case Path::Sse2: blit_alpha_sse2(src, dst, x, y, mask); break;
    case Path::Avx2: blit_alpha_avx2(src, dst, x, y, mask); break;
  }
}

void run_fade_masked(Path path, const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  switch (path) {
    case Path::Reference: blit_fade_masked_reference(src, dst, x, y, fade, mask); break;
    case Path::Dispatched: blit_fade_masked(src, dst, x, y, fade, mask); break;
    case Path::Sse2: blit_fade_masked_sse2(src, dst, x, y, fade, mask); break;
    case Path::Avx2: blit_fade_masked_avx2(src, dst, x, y, fade, mask); break;
  }
}

void run_cross_fade(Path path, const Image& src, Image& dst, int x, int y, int keep) {
  switch (path) {
    case Path::Reference: blit_cross_fade_reference(src, dst, x, y, keep); break;
    case Path::Dispatched: blit_cross_fade(src, dst, x, y, keep); break;
    case Path::Sse2: blit_cross_fade_sse2(src, dst, x, y, keep); break;
    case Path::Avx2: blit_cross_fade_avx2(src, dst, x, y, keep); break;
  }
}

// Runs one blend on the given path.
void run(Op op, Path path, const Image& src, Image& dst, int x, int y, int factor, const Image& mask) {
  switch (op) {
    case Op::Alpha: run_alpha(path, src, dst, x, y, mask); break;
    case Op::FadeMasked: run_fade_masked(path, src, dst, x, y, factor, mask); break;
    case Op::CrossFade: run_cross_fade(path, src, dst, x, y, factor); break;
  }
}

void copy_into(const Image& from, Image& to) {
  resize(to, from.width, from.height);
  for (uint32_t i = 0; i < from.count; ++i) to.pixels[i] = from.pixels[i];
}

// Blends src over a copy of dst on the path and by the reference, and
// requires identical targets.
void expect_same(Path path, Op op, const Image& src, const Image& dst, int x, int y, int factor,
                 const Image& mask) {
  Image fast, slow;
  copy_into(dst, fast);
  copy_into(dst, slow);
  run(op, path, src, fast, x, y, factor, mask);
  run(op, Path::Reference, src, slow, x, y, factor, mask);
  if (std::memcmp(fast.pixels, slow.pixels, dst.count * sizeof(uint32_t)) == 0) return;
  for (uint32_t i = 0; i < dst.count; ++i) {
    ASSERT_EQ(fast.pixels[i], slow.pixels[i])
        << op_name(op) << " (" << path_name(path) << ") element " << i << " of " << dst.width << "x" << dst.height << ", source "
        << src.width << "x" << src.height << " at (" << x << ", " << y << "), factor " << factor;
  }
}

// Every (target, source) channel pair under every factor. Row v of the
// target holds v in all three channels; the source's columns carry every
// source value once across its three channels; both have nonzero top bytes.
// The mask's green walks every factor, its blue a scattered pattern.
// Each test runs once per path; a path the processor lacks is skipped.
class BlendPath : public ::testing::TestWithParam<Path> {
 protected:
  void SetUp() override {
    if (!path_available(GetParam())) GTEST_SKIP() << path_name(GetParam()) << " is not available here";
  }
  void expect_same(Op op, const Image& src, const Image& dst, int x, int y, int factor, const Image& mask) {
    ::expect_same(GetParam(), op, src, dst, x, y, factor, mask);
  }
};

TEST_P(BlendPath, EveryChannelPairAtEveryFactorMatchesReference) {
  constexpr uint32_t COLUMNS = 86; // 3 x 86 >= 256 source values per row
  Image dst, src, mask;
  resize(dst, COLUMNS, 256);
  resize(src, COLUMNS, 256);
  resize(mask, COLUMNS, 256);
  for (uint32_t v = 0; v < 256; ++v) {
    for (uint32_t u = 0; u < COLUMNS; ++u) {
      dst.pixels[v * COLUMNS + u] = 0xA5000000u | (v << 16) | (v << 8) | v;
      src.pixels[v * COLUMNS + u] = 0x5A000000u | (u << 16) | ((u + COLUMNS) << 8) | ((u + 2 * COLUMNS) & 0xFF);
    }
  }
  for (uint32_t a = 0; a < 256; ++a) {
    for (uint32_t i = 0; i < mask.count; ++i) {
      mask.pixels[i] = 0xC3000000u | (((a * 7) & 0xFF) << 16) | (a << 8) | ((a * 37 + i) & 0xFF);
    }
    const int factor = static_cast<int>(a);
    expect_same(Op::Alpha, src, dst, 0, 0, 0, mask);
    expect_same(Op::FadeMasked, src, dst, 0, 0, factor, mask);
    expect_same(Op::CrossFade, src, dst, 0, 0, factor, mask);
  }
}

void fill_random(Image& image, int w, int h, std::mt19937& rng) {
  resize(image, w, h);
  for (uint32_t i = 0; i < image.count; ++i) image.pixels[i] = static_cast<uint32_t>(rng());
}

// Random sizes (widths of every residue modulo four), positions that clip
// any edge or miss the target, and factors including the extremes and values
// outside 0..255 whose low byte counts.
TEST_P(BlendPath, RandomisedImagesMatchReference) {
  std::mt19937 rng(0x5EED1234u);
  const auto pick = [&rng](int lo, int hi) { return std::uniform_int_distribution<int>(lo, hi)(rng); };
  Image dst, src, mask;
  for (int round = 0; round < 600; ++round) {
    fill_random(dst, pick(1, 97), pick(1, 41), rng);
    const int w = pick(1, 70), h = pick(1, 30);
    fill_random(src, w, h, rng);
    // The mask may be larger than the source; it is still indexed like it.
    fill_random(mask, w, h + pick(0, 3), rng);
    const int x = pick(-w - 3, dst.width + 3), y = pick(-h - 3, dst.height + 3);
    const int extremes[] = {0, 255, 256, -1, 511};
    const int factor = round % 4 == 0 ? extremes[pick(0, 4)] : pick(0, 255);
    for (Op op : OPS) {
      expect_same(op, src, dst, x, y, factor, mask);
      expect_same(op, src, dst, x, y, factor, src);
    }
  }
}

// A target row wider than the source, with the source placed so that rows
// start at every alignment, across every factor class.
TEST_P(BlendPath, EveryRowOffsetAndTailLengthMatchesReference) {
  std::mt19937 rng(77);
  Image dst, src;
  fill_random(dst, 40, 6, rng);
  for (int w = 1; w <= 13; ++w) {
    fill_random(src, w, 5, rng);
    for (int x = -4; x <= 8; ++x) {
      for (Op op : OPS) expect_same(op, src, dst, x, 1, 0x37, src);
    }
  }
}

// Reading several pixels ahead is only safe when the target shares no memory
// with the source or mask. With the target as its own mask and the source one
// or three pixels to the right, each mask word read is a target word written
// one or three pixels earlier; the result must still be the per-pixel one.
TEST_P(BlendPath, MaskSharingTheTargetMatchesReference) {
  std::mt19937 rng(4242);
  Image src, fast, slow;
  fill_random(src, 37, 12, rng);
  fill_random(fast, 37, 12, rng);
  copy_into(fast, slow);
  run(Op::Alpha, GetParam(), src, fast, 1, 0, 0, fast);
  run(Op::Alpha, Path::Reference, src, slow, 1, 0, 0, slow);
  run(Op::FadeMasked, GetParam(), src, fast, 3, 0, 40, fast);
  run(Op::FadeMasked, Path::Reference, src, slow, 3, 0, 40, slow);
  for (uint32_t i = 0; i < fast.count; ++i) ASSERT_EQ(fast.pixels[i], slow.pixels[i]) << "element " << i;
}

INSTANTIATE_TEST_SUITE_P(Paths, BlendPath, ::testing::Values(Path::Dispatched, Path::Sse2, Path::Avx2),
                         [](const ::testing::TestParamInfo<Path>& info) { return path_name(info.param); });

}  // namespace
