// Blits, blends and the line drawer: clipping at every edge, the blend's
// rounding at its extreme factors, the AND fade and the lagging line.
#include <gtest/gtest.h>

#include <algorithm>
#include <utility>
#include <vector>

#include "gfx/blit.h"

namespace {

constexpr uint32_t BACKGROUND = 0xDEADBEEF;

// A source whose every pixel says where it came from.
uint32_t source_tag(int x, int y) { return 0x01000000u | (static_cast<uint32_t>(y) << 12) | static_cast<uint32_t>(x); }

void make_tagged(Image& image, int w, int h) {
  resize(image, w, h);
  for (int y = 0; y < h; ++y)
    for (int x = 0; x < w; ++x) image.pixels[y * w + x] = source_tag(x, y);
}

void make_filled(Image& image, int w, int h, uint32_t value) {
  resize(image, w, h);
  fill(image, value);
}

// Each target pixel must hold the source pixel that lands on it, or be
// untouched; positions are taken as signed 16-bit values.
void expect_copy(const Image& src, const Image& dst, int x, int y) {
  const int px = static_cast<int16_t>(x), py = static_cast<int16_t>(y);
  for (int ty = 0; ty < dst.height; ++ty) {
    for (int tx = 0; tx < dst.width; ++tx) {
      const int sx = tx - px, sy = ty - py;
      const bool covered = sx >= 0 && sx < src.width && sy >= 0 && sy < src.height;
      const uint32_t want = covered ? source_tag(sx, sy) : BACKGROUND;
      ASSERT_EQ(dst.pixels[ty * dst.width + tx], want)
          << "target (" << tx << ", " << ty << ") for source at (" << x << ", " << y << ")";
    }
  }
}

TEST(BlitClip, NamedCases) {
  Image dst, src;
  make_filled(dst, 512, 384, BACKGROUND);
  make_tagged(src, 100, 50);
  blit(src, dst, -30, 10);  // source columns 30..99 land on target columns 0..69
  EXPECT_EQ(dst.pixels[10 * 512 + 0], source_tag(30, 0));
  EXPECT_EQ(dst.pixels[59 * 512 + 69], source_tag(99, 49));
  EXPECT_EQ(dst.pixels[10 * 512 + 70], BACKGROUND);
  expect_copy(src, dst, -30, 10);

  Image wide;
  make_tagged(wide, 600, 3);
  make_filled(dst, 512, 384, BACKGROUND);
  blit(wide, dst, -50, 0);  // source columns 50..561 fill the whole row
  EXPECT_EQ(dst.pixels[0], source_tag(50, 0));
  EXPECT_EQ(dst.pixels[511], source_tag(561, 0));
  expect_copy(wide, dst, -50, 0);
}

TEST(BlitClip, EveryEdgeMatchesPerPixelPlacement) {
  Image small, wide, tall, dst;
  make_tagged(small, 7, 5);
  make_tagged(wide, 40, 3);  // wider than the target
  make_tagged(tall, 3, 30);  // taller than the target
  const int positions[] = {-41, -40, -39, -8, -7, -6, -1, 0, 1, 10, 19, 20, 21, 25, 26};
  for (const Image* src : {&small, &wide, &tall}) {
    for (int x : positions) {
      for (int y : positions) {
        make_filled(dst, 20, 16, BACKGROUND);
        blit(*src, dst, x, y);
        expect_copy(*src, dst, x, y);
        if (testing::Test::HasFatalFailure()) return;
      }
    }
  }
}

TEST(BlitClip, PositionsUseTheirLow16BitsAsSigned) {
  Image src, dst;
  make_tagged(src, 4, 4);
  make_filled(dst, 16, 16, BACKGROUND);
  blit(src, dst, 65536 + 3, -65536 + 2);  // same as (3, 2)
  expect_copy(src, dst, 3, 2);
  make_filled(dst, 16, 16, BACKGROUND);
  blit(src, dst, 65534, 0);  // -2: the left two columns are cut
  expect_copy(src, dst, -2, 0);
  make_filled(dst, 16, 16, BACKGROUND);
  blit(src, dst, 40000, 3);  // -25536: far off to the left
  expect_copy(src, dst, 40000, 3);
}

TEST(BlitClip, NothingDrawnFromOrIntoEmptyImages) {
  Image empty, src, dst;
  make_tagged(src, 4, 4);
  make_filled(dst, 8, 8, BACKGROUND);
  resize(empty, 0, 0);
  blit(empty, dst, 0, 0);
  blit_cross_fade(empty, dst, 0, 0, 0);
  blit(src, empty, 0, 0);
  blit_alpha(src, empty, 0, 0, src);
  for (uint32_t i = 0; i < dst.count; ++i) ASSERT_EQ(dst.pixels[i], BACKGROUND);
}

// One pixel of each operand, blended into a 1 x 1 target.
uint32_t alpha_1px(uint32_t target, uint32_t source, uint32_t mask_pixel) {
  Image src, dst, mask;
  make_filled(src, 1, 1, source);
  make_filled(dst, 1, 1, target);
  make_filled(mask, 1, 1, mask_pixel);
  blit_alpha(src, dst, 0, 0, mask);
  return dst.pixels[0];
}

uint32_t fade_1px(uint32_t target, uint32_t source, int fade, uint32_t mask_pixel) {
  Image src, dst, mask;
  make_filled(src, 1, 1, source);
  make_filled(dst, 1, 1, target);
  make_filled(mask, 1, 1, mask_pixel);
  blit_fade_masked(src, dst, 0, 0, fade, mask);
  return dst.pixels[0];
}

uint32_t cross_1px(uint32_t target, uint32_t source, int keep) {
  Image src, dst;
  make_filled(src, 1, 1, source);
  make_filled(dst, 1, 1, target);
  blit_cross_fade(src, dst, 0, 0, keep);
  return dst.pixels[0];
}

TEST(Blend, ExtremeFactorsScaleBy255Over256) {
  EXPECT_EQ(alpha_1px(0x000000, 0xFFFFFF, 0x00FF00), 0xFEFEFEu);  // a = 255: source arrives as 254
  EXPECT_EQ(alpha_1px(0xFFFFFF, 0x000000, 0xFF00FF), 0xFEFEFEu);  // a = 0: target scaled, green is the factor
  EXPECT_EQ(alpha_1px(0x010101, 0xFFFFFF, 0x000000), 0x000000u);  // a = 0: 1 becomes 0
  EXPECT_EQ(alpha_1px(0xFF000000, 0x12345678, 0x00FF00), 0x00335577u);  // top bytes dropped
}

TEST(Blend, ProductsAreShiftedSeparatelyAndChannelsStayApart) {
  // (255 * 127) >> 8 + (255 * 128) >> 8 = 126 + 127: shifting the sum would give 254.
  EXPECT_EQ(alpha_1px(0xFFFFFF, 0xFFFFFF, 0x008000), 0xFDFDFDu);
  // red: (0xAB*0x7F>>8) + (0x12*0x80>>8) = 84 + 9; green: 101 + 26; blue: 118 + 43
  EXPECT_EQ(alpha_1px(0xABCDEF, 0x123456, 0x008000), 0x5D7FA1u);
}

TEST(Blend, FadeIsABitwiseAndWithTheMaskBlue) {
  // Mask blue 0x80 stays hidden until the level 255 - fade reaches 128.
  EXPECT_EQ(fade_1px(0x000000, 0xFFFFFF, 128, 0x000080), 0x000000u);
  EXPECT_EQ(fade_1px(0x000000, 0xFFFFFF, 127, 0x000080), 0x7F7F7Fu);
  // Level 0x7F: mask 0xFF acts as 0x7F, mask 0x80 as 0.
  EXPECT_EQ(fade_1px(0x000000, 0xFFFFFF, 128, 0x0000FF), 0x7E7E7Eu);
  EXPECT_EQ(fade_1px(0xFFFFFF, 0x000000, 128, 0x000080), 0xFEFEFEu);
  // Fade 255 shows the target scaled whatever the mask; only the low 8 bits count.
  EXPECT_EQ(fade_1px(0xFFFFFF, 0x000000, 255, 0x0000FF), 0xFEFEFEu);
  EXPECT_EQ(fade_1px(0xFFFFFF, 0x000000, 255 + 512, 0x0000FF), 0xFEFEFEu);
  // The green of the mask plays no part.
  EXPECT_EQ(fade_1px(0x000000, 0xFFFFFF, 0, 0x00FF00), 0x000000u);
}

TEST(Blend, FadeZeroEqualsAlphaFromTheMaskBlue) {
  Image src, dst_fade, dst_alpha, mask_blue, mask_green;
  make_tagged(src, 16, 16);
  make_filled(dst_fade, 16, 16, 0x00A0B0C0);
  make_filled(dst_alpha, 16, 16, 0x00A0B0C0);
  resize(mask_blue, 16, 16);
  resize(mask_green, 16, 16);
  for (uint32_t i = 0; i < 256; ++i) {
    mask_blue.pixels[i] = (0xFF - i) << 8 | i;  // green differs from blue
    mask_green.pixels[i] = i << 8;
  }
  blit_fade_masked(src, dst_fade, 0, 0, 0, mask_blue);
  blit_alpha(src, dst_alpha, 0, 0, mask_green);
  for (uint32_t i = 0; i < 256; ++i) ASSERT_EQ(dst_fade.pixels[i], dst_alpha.pixels[i]) << i;
}

TEST(Blend, CrossFadeKeepsTheTargetShare) {
  EXPECT_EQ(cross_1px(0x000000, 0xFFFFFF, 128), 0x7E7E7Eu);
  EXPECT_EQ(cross_1px(0xFFFFFF, 0x000000, 255), 0xFEFEFEu);
  EXPECT_EQ(cross_1px(0x000000, 0xFFFFFF, 0), 0xFEFEFEu);
  EXPECT_EQ(cross_1px(0x000000, 0xFFFFFF, 256 + 128), 0x7E7E7Eu);
  EXPECT_EQ(cross_1px(0x00FF0000, 0x000000FF, 128), 0x007F007Eu);
}

TEST(Blend, MaskIsIndexedLikeTheSourceUnderClipping) {
  Image src, dst, mask;
  make_filled(src, 4, 2, 0xFFFFFF);
  make_filled(dst, 2, 2, 0);
  resize(mask, 4, 2);
  for (uint32_t i = 0; i < 8; ++i) mask.pixels[i] = (i % 2 ? 0xFF : 0x00) << 8;
  blit_alpha(src, dst, -1, 0, mask);  // source columns 1 and 2
  EXPECT_EQ(dst.pixels[0], 0xFEFEFEu);
  EXPECT_EQ(dst.pixels[1], 0x000000u);
  EXPECT_EQ(dst.pixels[2], 0xFEFEFEu);
  EXPECT_EQ(dst.pixels[3], 0x000000u);
}

TEST(Blend, MaskSmallerThanSourceDrawsNothing) {
  Image src, dst, mask;
  make_filled(src, 4, 4, 0xFFFFFF);
  make_filled(dst, 4, 4, BACKGROUND);
  make_filled(mask, 2, 2, 0xFFFFFF);
  blit_alpha(src, dst, 0, 0, mask);
  blit_fade_masked(src, dst, 0, 0, 0, mask);
  for (uint32_t i = 0; i < dst.count; ++i) ASSERT_EQ(dst.pixels[i], BACKGROUND);
}

using Points = std::vector<std::pair<int, int>>;

Points line_pixels(int x0, int y0, int x1, int y1) {
  Image image;
  make_filled(image, 16, 16, 0);
  draw_line(image, x0, y0, x1, y1, 0xFF123456);
  Points points;
  for (int y = 0; y < 16; ++y)
    for (int x = 0; x < 16; ++x)
      if (image.pixels[y * 16 + x]) {
        EXPECT_EQ(image.pixels[y * 16 + x], 0xFF123456u);
        points.emplace_back(x, y);
      }
  std::sort(points.begin(), points.end());
  return points;
}

Points sorted(Points p) {
  std::sort(p.begin(), p.end());
  return p;
}

TEST(DrawLine, LagsBehindTheIdealLine) {
  EXPECT_EQ(line_pixels(0, 0, 4, 2), sorted({{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}}));
  EXPECT_EQ(line_pixels(0, 0, 3, 3), sorted({{0, 0}, {0, 1}, {1, 2}, {2, 3}}));
  EXPECT_EQ(line_pixels(0, 0, 3, 0), sorted({{0, 0}, {1, 0}, {2, 0}, {3, 0}}));
  EXPECT_EQ(line_pixels(5, 5, 5, 5), sorted({{5, 5}}));
  EXPECT_EQ(line_pixels(4, 2, 0, 0), sorted({{4, 2}, {3, 2}, {2, 2}, {1, 1}, {0, 1}}));
  EXPECT_EQ(line_pixels(0, 0, 2, 4), sorted({{0, 0}, {0, 1}, {0, 2}, {1, 3}, {1, 4}}));
}

TEST(DrawLine, EveryOctantMirrorsTheFirst) {
  const Points x_major = {{0, 0}, {1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 2}, {6, 2}};  // to (6, 3)
  const Points y_major = {{0, 0}, {0, 1}, {0, 2}, {1, 3}, {1, 4}, {2, 5}, {2, 6}};  // to (3, 6)
  for (int sx : {1, -1}) {
    for (int sy : {1, -1}) {
      for (const Points* base : {&x_major, &y_major}) {
        const int ex = base == &x_major ? 6 : 3, ey = base == &x_major ? 3 : 6;
        Points want;
        for (auto [x, y] : *base) want.emplace_back(8 + sx * x, 8 + sy * y);
        EXPECT_EQ(line_pixels(8, 8, 8 + sx * ex, 8 + sy * ey), sorted(want)) << sx << " " << sy << " " << ex;
      }
    }
  }
}

TEST(DrawLine, LineLeavingTheImageIsRefused) {
  EXPECT_TRUE(line_pixels(-1, 0, 5, 5).empty());
  EXPECT_TRUE(line_pixels(0, 0, 16, 3).empty());
  EXPECT_TRUE(line_pixels(3, 15, 3, 16).empty());
  EXPECT_TRUE(line_pixels(12, 12, 16, 16).empty());  // its fifth pixel is (15, 16)
  EXPECT_EQ(line_pixels(15, 15, 15, 14).size(), 2u);
}

TEST(DrawLine, EndPointOutsideIsFineWhenTheLagKeepsTheLineInside) {
  // The minor axis lags one row short of y = 16, so every pixel is inside.
  EXPECT_EQ(line_pixels(11, 14, 15, 16), sorted({{11, 14}, {12, 14}, {13, 14}, {14, 15}, {15, 15}}));
  EXPECT_EQ(line_pixels(14, 11, 16, 15), sorted({{14, 11}, {14, 12}, {14, 13}, {15, 14}, {15, 15}}));
}

TEST(DrawLine, RefusedExactlyWhenSomePixelWouldLeaveTheImage) {
  // The same lines drawn into a roomy image (shifted by 16) show where every
  // pixel lands; the 16 x 16 image must take each line whole or not at all.
  Image roomy, small;
  for (int x1 = -6; x1 < 22; ++x1) {
    for (int y1 = -6; y1 < 22; ++y1) {
      make_filled(roomy, 48, 48, 0);
      make_filled(small, 16, 16, 0);
      draw_line(roomy, 16 + 9, 16 + 6, 16 + x1, 16 + y1, 1);
      draw_line(small, 9, 6, x1, y1, 1);
      int inside = 0, outside = 0;
      for (int y = 0; y < 48; ++y)
        for (int x = 0; x < 48; ++x)
          if (roomy.pixels[y * 48 + x]) (x >= 16 && x < 32 && y >= 16 && y < 32 ? inside : outside)++;
      int drawn = 0;
      for (uint32_t i = 0; i < small.count; ++i) drawn += small.pixels[i] != 0;
      ASSERT_EQ(drawn, outside ? 0 : inside) << "to (" << x1 << ", " << y1 << ")";
    }
  }
}

}  // namespace
