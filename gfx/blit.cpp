// blit.cpp: the opaque copy, the three blends and the line drawer.
// Owns: nothing. Touches: the pixels of the target image only; sources and
// masks are only read. Thread: main thread only.
//
// Every operation is plain integer arithmetic. Positions and sizes are taken
// as signed 16-bit values; blend factors as 8-bit values. The four blits share
// one clipping rule (clip_blit) and walk their rows with running indices.
// Each blend takes the widest path the processor has (blend_wide.h): AVX2,
// else SSE2 (every x86-64), else the per-pixel reference (blit_reference.h).
// All of them give the same bits.
#include "gfx/blit.h"

#include <cstring>
#include <functional>

#include "common/cpu_features.h"
#include "gfx/blend_wide.h"
#include "gfx/blit_internal.h"
#include "gfx/blit_reference.h"

bool clip_blit(const Image& src, const Image& dst, int x, int y, BlitSpan& span) {
  const int px = static_cast<int16_t>(x);
  const int py = static_cast<int16_t>(y);
  const int w = static_cast<int16_t>(src.width);
  const int h = static_cast<int16_t>(src.height);
  const int dw = static_cast<int16_t>(dst.width);
  const int dh = static_cast<int16_t>(dst.height);

  const int left = px < 0 ? -px : 0;
  const int right = px + w > dw ? px + w - dw : 0;
  const int columns = w - left - right;
  if (columns <= 0) return false;
  const int top = py < 0 ? -py : 0;
  const int bottom = py + h > dh ? py + h - dh : 0;
  const int rows = h - top - bottom;
  if (rows <= 0) return false;

  const int dst_x = px > 0 ? px : 0;
  const int dst_y = py > 0 ? py : 0;
  span.columns = columns;
  span.rows = rows;
  span.src_at = static_cast<uint32_t>(top * w + left);
  span.dst_at = static_cast<uint32_t>(dst_y * dw + dst_x);
  span.src_skip = static_cast<uint32_t>(left + right);
  span.dst_skip = static_cast<uint32_t>(dw - columns);
  return true;
}

bool overlaps(const uint32_t* a, uint32_t a_count, const uint32_t* b, uint32_t b_count) {
  const std::less<const uint32_t*> before;
  return before(a, b + b_count) && before(b, a + a_count);
}

void blit(const Image& src, Image& dst, int x, int y) {
  BlitSpan span;
  if (!clip_blit(src, dst, x, y, span)) return;
  uint32_t si = span.src_at;
  uint32_t di = span.dst_at;
  const size_t row_bytes = static_cast<size_t>(span.columns) * sizeof(uint32_t);
  for (int j = 0; j < span.rows; ++j) {
    std::memcpy(dst.pixels + di, src.pixels + si, row_bytes);
    si += span.columns + span.src_skip;
    di += span.columns + span.dst_skip;
  }
}

void blit_alpha(const Image& src, Image& dst, int x, int y, const Image& mask) {
  if (cpu_has_avx2()) {
    blit_alpha_avx2(src, dst, x, y, mask);
  } else if (cpu_has_sse2()) {
    blit_alpha_sse2(src, dst, x, y, mask);
  } else {
    blit_alpha_reference(src, dst, x, y, mask);
  }
}

void blit_fade_masked(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  if (cpu_has_avx2()) {
    blit_fade_masked_avx2(src, dst, x, y, fade, mask);
  } else if (cpu_has_sse2()) {
    blit_fade_masked_sse2(src, dst, x, y, fade, mask);
  } else {
    blit_fade_masked_reference(src, dst, x, y, fade, mask);
  }
}

void blit_cross_fade(const Image& src, Image& dst, int x, int y, int keep) {
  if (cpu_has_avx2()) {
    blit_cross_fade_avx2(src, dst, x, y, keep);
  } else if (cpu_has_sse2()) {
    blit_cross_fade_sse2(src, dst, x, y, keep);
  } else {
    blit_cross_fade_reference(src, dst, x, y, keep);
  }
}

// The minor axis steps only when the accumulated error exceeds the major
// length, so the line lags behind the ideal one and may stop short of
// (x1, y1); it always plots max(|dx|, |dy|) + 1 pixels from (x0, y0). The
// pixels move monotonically, so the line stays inside the image when its
// first and last pixels do; any other line is refused whole instead of
// writing outside the block.
void draw_line(Image& image, int x0, int y0, int x1, int y1, uint32_t colour) {
  const int ax = static_cast<int16_t>(x0), ay = static_cast<int16_t>(y0);
  const int bx = static_cast<int16_t>(x1), by = static_cast<int16_t>(y1);
  const int width = static_cast<int16_t>(image.width);
  const int height = static_cast<int16_t>(image.height);
  int dx = bx - ax, x_sign = 1;
  if (dx < 0) dx = -dx, x_sign = -1;
  int dy = by - ay, y_sign = 1;
  if (dy < 0) dy = -dy, y_sign = -1;

  // Before the last pixel the major axis has taken all its steps and the
  // minor axis one for each time the error passed the major length.
  const int64_t major = dx > dy ? dx : dy, minor = dx > dy ? dy : dx;
  const int lag_steps = minor ? static_cast<int>((major * minor - 1) / major) : 0;
  const int last_x = dx > dy ? bx : ax + x_sign * lag_steps;
  const int last_y = dx > dy ? ay + y_sign * lag_steps : by;
  const auto inside = [&](int px, int py) { return px >= 0 && px < width && py >= 0 && py < height; };
  if (!inside(ax, ay) || !inside(last_x, last_y)) return;

  long at = static_cast<long>(ay) * width + ax;
  const int x_step = x_sign, y_step = y_sign * width;
  int err = 0;
  if (dx > dy) {
    for (int k = 0; k <= dx; ++k) {
      err += dy;
      image.pixels[at] = colour;
      at += x_step;
      if (err > dx) at += y_step, err -= dx;
    }
  } else {
    for (int k = 0; k <= dy; ++k) {
      err += dx;
      image.pixels[at] = colour;
      at += y_step;
      if (err > dy) at += x_step, err -= dy;
    }
  }
}
