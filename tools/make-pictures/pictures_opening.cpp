// pictures_opening.cpp: the opening scene: "kanji-rgb.tga" (羽 feather and
// 湖 lake), "kana-rgb.tga" (クイルミア in a column), "brell-rgb.tga" (the
// panel) and "qv-rgb.tga" (the QUILLMERE wordmark with its quill and wave).
// Owns: nothing beyond the pictures it returns. Thread: main thread.
//
// The kanji and the wordmark are blended by the show with their green
// channel as alpha, so every colour painted on them has green 255 and the
// stored red and blue are premultiplied by the coverage. The kanji's blue
// channel is also the mask of its bit-by-bit fade-in.
#include <cmath>

#include "tools/make-pictures/fonts.h"
#include "tools/make-pictures/pictures.h"
#include "tools/make-pictures/raster.h"
#include "tools/make-pictures/text.h"

namespace {

constexpr int kKanjiW = 312, kKanjiH = 156;   // at (100, 100): above the row at y 260
constexpr int kKanaW = 44, kKanaH = 112;      // at (35, 260): left of the panel at x 105
constexpr int kPanelW = 372, kPanelH = 112;   // at (105, 260)
constexpr int kLogoW = 364, kLogoH = 94;      // at (108, 270): inside the panel

// Small deterministic hash of an integer, 0..255.
int hash8(int n) {
  uint32_t h = static_cast<uint32_t>(n) * 2654435761u;
  h ^= h >> 15;
  h *= 2246822519u;
  h ^= h >> 13;
  return static_cast<int>(h & 0xFF);
}

// Blue channel of the kanji: the fade mask. Values of the form 1..10..0
// (0xFF, 0xFE, ... 0xC0, 0x80) make level AND mask rise steadily with the
// level, so no pixel flickers; a value with z trailing zeros first shows at
// level 2^z. The stages sweep diagonally from the top left like a brush
// stroke, and each dry-brush streak along the sweep runs a little ahead or
// behind its neighbours.
int kanji_mask(int x, int y) {
  const int diagonal = x * 4 + y * 3;                // 0 .. 1716
  const int streak = (x * 3 - y * 4 + 2000) / 20;    // bristles 4 pixels wide along the sweep
  const int jitter = hash8(streak) * 100 / 255 - 50; // -50 .. 50
  const int pos = (diagonal + jitter) * 256 / 1716;  // about 0 .. 256
  // Stage boundaries: the first third fades in from the start, the rest
  // arrives in three steps (levels 32, 64 and 128).
  int zeros = 0;
  if (pos >= 60) zeros = 2;
  if (pos >= 90) zeros = 5;
  if (pos >= 135) zeros = 6;
  if (pos >= 190) zeros = 7;
  return (0xFF << zeros) & 0xFF;
}

Picture kanji_picture() {
  Picture pic{"kanji-rgb.tga", kKanjiW, kKanjiH, TGA_TYPE_RLE, {}};
  const TextInk ink = set_line(kFontGothic, 146, U"羽湖", 14);
  if (ink.cov.width == 0) return pic;
  Canvas canvas(kKanjiW, kKanjiH);
  const int x = (kKanjiW - ink.cov.width) / 2;
  const int y = (kKanjiH - ink.cov.height) / 2;
  paint(canvas, ink.cov, x, y, [](int cx, int cy) {
    const int blue = kanji_mask(cx, cy);
    // Early (bright blue) strokes are lake-cyan, late ones pale spring green.
    return Rgb{110 + (255 - blue) / 4, 255, blue};
  });
  pic.pixels = flatten_green_alpha(canvas);
  return pic;
}

Picture kana_picture() {
  Picture pic{"kana-rgb.tga", kKanaW, kKanaH, TGA_TYPE_RAW, {}};
  const char32_t column[] = U"クイルミア";
  constexpr int kCell = 22;  // vertical pitch of the column
  Canvas canvas(kKanaW, kKanaH);
  for (int i = 0; i < 5; ++i) {
    const TextInk ink = set_line(kFontGothic, 19, std::u32string(1, column[i]));
    if (ink.cov.width == 0) return pic;
    const int x = (kKanaW - ink.cov.width) / 2;
    const int y = 1 + i * kCell + (kCell - ink.cov.height) / 2;
    paint_flat(canvas, ink.cov, x, y, Rgb{120, 190, 220});
  }
  pic.pixels = flatten_on_black(canvas);
  return pic;
}

// The panel: a rounded, bordered rectangle of deep water with faint ripples
// along its foot.
Picture panel_picture() {
  Picture pic{"brell-rgb.tga", kPanelW, kPanelH, TGA_TYPE_RAW, {}};
  constexpr double kRadius = 7.0;
  auto inside_rounded = [](double x, double y, double inset) {
    const double l = inset, t = inset, r = kPanelW - inset, b = kPanelH - inset;
    if (x < l || x > r || y < t || y > b) return false;
    const double rad = kRadius - inset;
    const double cx = x < l + rad ? l + rad : (x > r - rad ? r - rad : x);
    const double cy = y < t + rad ? t + rad : (y > b - rad ? b - rad : y);
    return (x - cx) * (x - cx) + (y - cy) * (y - cy) <= rad * rad;
  };
  Canvas canvas(kPanelW, kPanelH);
  const Coverage outer = sample_shape(kPanelW, kPanelH, [&](double x, double y) {
    return inside_rounded(x, y, 0.0);
  });
  const Coverage inner = sample_shape(kPanelW, kPanelH, [&](double x, double y) {
    return inside_rounded(x, y, 1.25);
  });
  paint_flat(canvas, outer, 0, 0, Rgb{46, 104, 132});
  paint(canvas, inner, 0, 0, [](int, int y) {
    return mix(Rgb{16, 34, 58}, Rgb{5, 12, 26}, y * 256 / kPanelH);
  });
  for (int k = 0; k < 2; ++k) {
    const double y0 = 95.0 + k * 7.0, span = 250.0 - k * 90.0, x0 = 40.0 + k * 60.0;
    const Coverage ripple = sample_shape(kPanelW, kPanelH, [=](double x, double y) {
      const double u = (x - x0) / span;
      if (u <= 0.0 || u >= 1.0) return false;
      const double half = 0.6 * 4.0 * u * (1.0 - u);
      return std::fabs(y - (y0 + 1.0 * wave(x / 23.0))) < half;
    });
    paint_flat(canvas, ripple, 0, 0, Rgb{32, 76, 108});
  }
  pic.pixels = flatten_on_black(canvas);
  return pic;
}

// A quill feather from its nib (nx, ny) to its tip (tx, ty), in pixel units.
bool inside_quill(double px, double py, bool vane_only) {
  constexpr double nx = 292.0, ny = 70.0, tx = 352.0, ty = 5.0;
  const double dx = tx - nx, dy = ty - ny;
  const double len = std::sqrt(dx * dx + dy * dy);
  const double ux = dx / len, uy = dy / len;
  const double u = ((px - nx) * ux + (py - ny) * uy) / len;
  if (u < 0.0 || u > 1.0) return false;
  const double v = (ux * (py - ny) - uy * (px - nx)) - 3.0 * 4.0 * u * (1.0 - u);
  const double shaft = 1.05 * std::fmin(1.0, std::fmin(u * 7.0, (1.0 - u) * 4.0)) + 0.15;
  if (!vane_only && std::fabs(v) < shaft) return true;
  const double s = (u - 0.22) / 0.78;
  if (s <= 0.0 || s >= 1.0) return false;
  const double profile = std::sqrt(4.0 * s * (1.0 - s)) * (1.0 - 0.35 * s);
  const double width = v < 0.0 ? 7.0 * profile : 10.0 * profile;
  if (std::fabs(v) >= width || std::fabs(v) < shaft + 0.6) return false;
  // Two splits in the vane along the slant of the barbs.
  const double barb = u * len - 0.9 * std::fabs(v);
  const double split = v < 0.0 ? 0.52 * len : 0.44 * len;
  return std::fabs(barb - split) > 0.7 || std::fabs(v) < 2.5;
}

Picture logo_picture() {
  Picture pic{"qv-rgb.tga", kLogoW, kLogoH, TGA_TYPE_RAW, {}};
  const TextInk word = set_line(kFontSansBold, 34, U"QUILLMERE", 3);
  if (word.cov.width == 0) return pic;
  Canvas canvas(kLogoW, kLogoH);
  constexpr int kLeft = 14, kBaseline = 52;
  const int top = kBaseline - word.baseline;
  paint(canvas, word.cov, kLeft, top, [&](int, int y) {
    return mix(Rgb{255, 255, 255}, Rgb{110, 255, 235}, (y - top) * 256 / word.cov.height);
  });
  // The mere: a tapering wave under the word that ends at the quill's nib.
  const Coverage mere = sample_shape(kLogoW, kLogoH, [](double x, double y) {
    const double u = (x - 14.0) / 282.0;
    if (u <= 0.0 || u >= 1.0) return false;
    const double half = 0.5 + 1.0 * u * (1.0 - u) * 4.0 * (0.6 + 0.4 * u);
    return std::fabs(y - (71.0 + 2.2 * wave(x / 31.0))) < half;
  });
  paint_flat(canvas, mere, 0, 0, Rgb{70, 255, 230});
  const Coverage vane = sample_shape(kLogoW, kLogoH, [](double x, double y) {
    return inside_quill(x, y, true);
  });
  const Coverage quill = sample_shape(kLogoW, kLogoH, [](double x, double y) {
    return inside_quill(x, y, false);
  });
  paint_flat(canvas, quill, 0, 0, Rgb{200, 255, 255});
  paint_flat(canvas, vane, 0, 0, Rgb{255, 255, 228});
  pic.pixels = flatten_green_alpha(canvas);
  return pic;
}

}  // namespace

bool draw_opening(std::vector<Picture>& out) {
  Picture made[] = {kanji_picture(), kana_picture(), logo_picture(), panel_picture()};
  for (Picture& pic : made) {
    if (pic.pixels.empty()) return false;
    out.push_back(std::move(pic));
  }
  return true;
}
