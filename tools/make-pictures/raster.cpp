// raster.cpp: canvas, colour mixing and flattening for the picture generator.
// Owns: nothing beyond its records. Thread: any.
#include "tools/make-pictures/raster.h"

#include <cmath>

Canvas::Canvas(int w, int h) : width(w), height(h) {
  const size_t n = static_cast<size_t>(w) * h;
  r.assign(n, 0);
  g.assign(n, 0);
  b.assign(n, 0);
  a.assign(n, 0);
}

void paint_flat(Canvas& canvas, const Coverage& cov, int x, int y, Rgb colour) {
  paint(canvas, cov, x, y, [colour](int, int) { return colour; });
}

Rgb mix(Rgb a, Rgb b, int t) {
  if (t < 0) t = 0;
  if (t > 256) t = 256;
  return {a.r + ((b.r - a.r) * t) / 256, a.g + ((b.g - a.g) * t) / 256,
          a.b + ((b.b - a.b) * t) / 256};
}

std::vector<uint32_t> flatten_on_black(const Canvas& canvas) {
  std::vector<uint32_t> out(canvas.r.size());
  for (size_t k = 0; k < out.size(); ++k)
    out[k] = (uint32_t{canvas.r[k]} << 16) | (uint32_t{canvas.g[k]} << 8) | canvas.b[k];
  return out;
}

std::vector<uint32_t> flatten_green_alpha(const Canvas& canvas) {
  std::vector<uint32_t> out(canvas.r.size());
  for (size_t k = 0; k < out.size(); ++k)
    out[k] = (uint32_t{canvas.r[k]} << 16) | (uint32_t{canvas.a[k]} << 8) | canvas.b[k];
  return out;
}

double wave(double phase) {
  const double f = phase - std::floor(phase);
  if (f < 0.5) return 16.0 * f * (0.5 - f);
  return -16.0 * (f - 0.5) * (1.0 - f);
}
