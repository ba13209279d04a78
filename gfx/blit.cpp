// blit.cpp: the opaque copy, the three blends and the line drawer.
// Owns: nothing. Touches: the pixels of the target image only; sources and
// masks are only read. Thread: main thread only.
//
// Every operation is plain integer arithmetic. Positions and sizes are taken
// as signed 16-bit values; blend factors as 8-bit values. The four blits share
// one clipping rule (clip_blit) and walk their rows with running indices.
#include "gfx/blit.h"

#include <cstring>

namespace {

// The visible part of a source placed at (x, y) in a target, in row terms.
struct BlitSpan {
  int columns;       // visible pixels per row, > 0 when anything is drawn
  int rows;          // visible rows, > 0 when anything is drawn
  uint32_t src_at;   // first source (and mask) element drawn
  uint32_t dst_at;   // first target element written
  uint32_t src_skip; // source elements passed over after each row (left + right cut)
  uint32_t dst_skip; // target elements passed over after each row
};

// Returns false when nothing of src lands inside dst.
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

// One channel pair: both products are shifted before the add, then clamped.
inline uint32_t blend_channel(uint32_t d, uint32_t s, uint32_t a) {
  const uint32_t out = ((d * (255 - a)) >> 8) + ((s * a) >> 8);
  return out > 255 ? 255 : out;
}

// Blends source word s over target word d with factor a (0..255); top byte 0.
inline uint32_t blend(uint32_t d, uint32_t s, uint32_t a) {
  const uint32_t r = blend_channel((d >> 16) & 0xFF, (s >> 16) & 0xFF, a);
  const uint32_t g = blend_channel((d >> 8) & 0xFF, (s >> 8) & 0xFF, a);
  const uint32_t b = blend_channel(d & 0xFF, s & 0xFF, a);
  return (r << 16) | (g << 8) | b;
}

// Walks the clipped span, calling mix(target, source, mask) for each pixel
// pair. The mask is indexed like the source and holds at least as many pixels.
template <typename Mix>
void blit_span(const Image& src, Image& dst, int x, int y, const uint32_t* mask, Mix mix) {
  BlitSpan span;
  if (!clip_blit(src, dst, x, y, span)) return;
  uint32_t si = span.src_at;
  uint32_t di = span.dst_at;
  for (int j = 0; j < span.rows; ++j) {
    for (int i = 0; i < span.columns; ++i, ++si, ++di) {
      dst.pixels[di] = mix(dst.pixels[di], src.pixels[si], mask[si]);
    }
    si += span.src_skip;
    di += span.dst_skip;
  }
}

// A mask smaller than the source would be read past its end: such a call
// draws nothing.
bool mask_covers(const Image& src, const Image& mask) { return mask.count >= src.count; }

}  // namespace

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
  if (!mask_covers(src, mask)) return;
  blit_span(src, dst, x, y, mask.pixels, [](uint32_t d, uint32_t s, uint32_t m) {
    return blend(d, s, (m >> 8) & 0xFF);
  });
}

void blit_fade_masked(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  if (!mask_covers(src, mask)) return;
  const uint32_t level = 255 - (static_cast<uint32_t>(fade) & 0xFF);
  blit_span(src, dst, x, y, mask.pixels, [level](uint32_t d, uint32_t s, uint32_t m) {
    return blend(d, s, level & m & 0xFF);
  });
}

void blit_cross_fade(const Image& src, Image& dst, int x, int y, int keep) {
  const uint32_t a = 255 - (static_cast<uint32_t>(keep) & 0xFF);
  // The source stands in as the mask; its value is not used.
  blit_span(src, dst, x, y, src.pixels, [a](uint32_t d, uint32_t s, uint32_t) { return blend(d, s, a); });
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
