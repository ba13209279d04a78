// pictures_captions.cpp: the text pictures of the show: "proudly.tga",
// "vessa.tga" (the title), "itsadot.tga" and "bluedot.tga" (the captions
// above and below the rotating pointer) and "fin.tga".
// Owns: nothing beyond the pictures it returns. Thread: main thread.
// Each picture is centred on the frame's middle column (x = 256) at the
// position where the show draws it, so its width is twice its distance from
// that column; all are opaque on black.
#include <cmath>

#include "tools/make-pictures/fonts.h"
#include "tools/make-pictures/pictures.h"
#include "tools/make-pictures/raster.h"
#include "tools/make-pictures/text.h"

namespace {

constexpr int kProudlyW = 272, kProudlyH = 36;  // at (120, 170); the title starts at y 210
constexpr int kTitleW = 212, kTitleH = 64;      // at (150, 210)
constexpr int kDotCapW = 132;                   // both captions at x 190
constexpr int kAboveH = 132;                    // at (190, 10): ends 10 rows above the pointer
constexpr int kBelowH = 40;                     // at (190, 235): starts 3 rows below it
constexpr int kFinW = 272, kFinH = 64;          // at (120, 170)

// A tapering wave stroke centred on cx, span pixels long, around row y.
Coverage wave_stroke(int w, int h, double cx, double y, double span, double thickness) {
  return sample_shape(w, h, [=](double px, double py) {
    const double u = (px - (cx - span / 2)) / span;
    if (u <= 0.0 || u >= 1.0) return false;
    const double half = 0.35 + thickness * u * (1.0 - u) * 2.0;
    return std::fabs(py - (y + 1.8 * wave((px - cx) / 26.0 + 0.25))) < half;
  });
}

// A line of text centred on column cx with its baseline at row baseline.
// False when the text could not be set.
template <class ColourAt>
bool put_text(Canvas& canvas, const char* font, int size, const std::u32string& text,
              int tracking, int cx, int baseline, ColourAt colour_at) {
  const TextInk ink = set_line(font, size, text, tracking);
  if (ink.cov.width == 0) return false;
  paint(canvas, ink.cov, cx - ink.cov.width / 2, baseline - ink.baseline, colour_at);
  return true;
}

Picture flat_text(const char* file, int w, int h, TgaType type, const char* font, int size,
                  const std::u32string& text, int tracking, int baseline, Rgb colour) {
  Picture pic{file, w, h, type, {}};
  Canvas canvas(w, h);
  if (!put_text(canvas, font, size, text, tracking, w / 2, baseline,
                [colour](int, int) { return colour; }))
    return pic;
  pic.pixels = flatten_on_black(canvas);
  return pic;
}

Picture title_picture() {
  Picture pic{"vessa.tga", kTitleW, kTitleH, TGA_TYPE_RLE, {}};
  Canvas canvas(kTitleW, kTitleH);
  constexpr int kBaseline = 38;
  if (!put_text(canvas, kFontSerif, 40, U"Quillmere", 0, kTitleW / 2, kBaseline,
                [](int, int y) {
                  return mix(Rgb{250, 252, 255}, Rgb{120, 220, 235}, (y - 8) * 256 / 32);
                }))
    return pic;
  paint_flat(canvas, wave_stroke(kTitleW, kTitleH, kTitleW / 2.0, 52.0, 96.0, 1.0), 0, 0,
             Rgb{70, 170, 200});
  pic.pixels = flatten_on_black(canvas);
  return pic;
}

Picture fin_picture() {
  Picture pic{"fin.tga", kFinW, kFinH, TGA_TYPE_RLE, {}};
  Canvas canvas(kFinW, kFinH);
  if (!put_text(canvas, kFontSerif, 44, U"fin.", 0, kFinW / 2, 36,
                [](int, int) { return Rgb{215, 228, 240}; }))
    return pic;
  paint_flat(canvas, wave_stroke(kFinW, kFinH, kFinW / 2.0, 52.0, 64.0, 0.9), 0, 0,
             Rgb{70, 170, 200});
  pic.pixels = flatten_on_black(canvas);
  return pic;
}

}  // namespace

bool draw_captions(std::vector<Picture>& out) {
  Picture made[] = {
      flat_text("itsadot.tga", kDotCapW, kAboveH, TGA_TYPE_RLE, kFontSans, 19, U"it's a dot.",
                0, kAboveH - 10, Rgb{228, 232, 238}),
      flat_text("bluedot.tga", kDotCapW, kBelowH, TGA_TYPE_RLE, kFontSans, 19, U"a blue dot.",
                0, 28, Rgb{80, 130, 255}),
      fin_picture(),
      flat_text("proudly.tga", kProudlyW, kProudlyH, TGA_TYPE_RAW, kFontSans, 17,
                U"proudly presents", 2, 22, Rgb{150, 170, 192}),
      title_picture(),
  };
  for (Picture& pic : made) {
    if (pic.pixels.empty()) return false;
    out.push_back(std::move(pic));
  }
  return true;
}
