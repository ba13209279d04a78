// raster.h: the drawing surface of the picture generator: coverage masks,
// shapes sampled 8 x 8 per pixel, and a premultiplied RGBA canvas that
// coverage is painted onto. Integer colour arithmetic; shapes use only
// + - * / and comparisons in double, so every run gives the same bytes.
// Owns: the pixel vectors of its records. Touches nothing else.
// Thread: any; no shared state.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

// A colour channel triple, 0..255 each.
struct Rgb {
  int r = 0;  // red 0..255
  int g = 0;  // green 0..255
  int b = 0;  // blue 0..255
};

// Coverage of a shape or of rendered text: 0 (none) .. 255 (full).
struct Coverage {
  int width = 0;              // pixels per row
  int height = 0;             // rows
  std::vector<uint8_t> value; // width * height, rows top to bottom

  Coverage() = default;
  Coverage(int w, int h) : width(w), height(h), value(static_cast<size_t>(w) * h, 0) {}
  uint8_t at(int x, int y) const { return value[static_cast<size_t>(y) * width + x]; }
};

// Premultiplied RGBA picture; starts fully transparent.
struct Canvas {
  int width = 0;  // pixels per row
  int height = 0; // rows
  std::vector<uint8_t> r, g, b, a;  // premultiplied channels, 0..255

  Canvas(int w, int h);
  size_t index(int x, int y) const { return static_cast<size_t>(y) * width + x; }
};

// Samples inside(x, y) at 8 x 8 points of each pixel of a w x h mask; the
// point (x, y) is in pixel units of the mask.
template <class Inside>
Coverage sample_shape(int w, int h, Inside inside) {
  Coverage cov(w, h);
  for (int py = 0; py < h; ++py) {
    for (int px = 0; px < w; ++px) {
      int hits = 0;
      for (int sy = 0; sy < 8; ++sy)
        for (int sx = 0; sx < 8; ++sx)
          if (inside(px + (sx + 0.5) / 8.0, py + (sy + 0.5) / 8.0)) ++hits;
      cov.value[static_cast<size_t>(py) * w + px] = static_cast<uint8_t>((hits * 255 + 32) / 64);
    }
  }
  return cov;
}

// Paints coverage at (x, y) over the canvas, clipped, with colour_at(cx, cy)
// giving the straight colour at canvas pixel (cx, cy).
template <class ColourAt>
void paint(Canvas& canvas, const Coverage& cov, int x, int y, ColourAt colour_at) {
  for (int j = 0; j < cov.height; ++j) {
    const int cy = y + j;
    if (cy < 0 || cy >= canvas.height) continue;
    for (int i = 0; i < cov.width; ++i) {
      const int cx = x + i;
      const int c = cov.at(i, j);
      if (cx < 0 || cx >= canvas.width || c == 0) continue;
      const Rgb colour = colour_at(cx, cy);
      const size_t k = canvas.index(cx, cy);
      const int keep = 255 - c;
      canvas.r[k] = static_cast<uint8_t>((colour.r * c + canvas.r[k] * keep + 127) / 255);
      canvas.g[k] = static_cast<uint8_t>((colour.g * c + canvas.g[k] * keep + 127) / 255);
      canvas.b[k] = static_cast<uint8_t>((colour.b * c + canvas.b[k] * keep + 127) / 255);
      canvas.a[k] = static_cast<uint8_t>((255 * c + canvas.a[k] * keep + 127) / 255);
    }
  }
}

// Paints coverage in one flat colour.
void paint_flat(Canvas& canvas, const Coverage& cov, int x, int y, Rgb colour);

// Mixes two colours: t = 0 gives a, t = 256 gives b.
Rgb mix(Rgb a, Rgb b, int t);

// The canvas over black, as 0x00RRGGBB pixels.
std::vector<uint32_t> flatten_on_black(const Canvas& canvas);

// The canvas as a picture whose green channel is its alpha: red and blue stay
// premultiplied (so the pixels also read right when copied opaque onto
// black), green is the coverage.
std::vector<uint32_t> flatten_green_alpha(const Canvas& canvas);

// Centre line of a gentle wave: y offset in -1..1 for a phase in periods,
// built from parabolic arcs (no trigonometry, so results never vary).
double wave(double phase);
