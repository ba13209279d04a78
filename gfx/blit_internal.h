// blit_internal.h: what the blit operations share inside gfx/: the clipping
// rule, the scalar blend and the per-pixel span walk.
// Owns: nothing. Touches: nothing by itself. Thread: main thread only.
// Not part of the imaging library's public interface (that is blit.h).
#pragma once
#include <cstdint>

#include "gfx/image.h"

// The visible part of a source placed at (x, y) in a target, in row terms.
struct BlitSpan {
  int columns;       // visible pixels per row, > 0 when anything is drawn
  int rows;          // visible rows, > 0 when anything is drawn
  uint32_t src_at;   // first source (and mask) element drawn
  uint32_t dst_at;   // first target element written
  uint32_t src_skip; // source elements passed over after each row (left + right cut)
  uint32_t dst_skip; // target elements passed over after each row
};

// Clips src at (x, y) against dst (positions and sizes as signed 16-bit
// values). Returns false when nothing of src lands inside dst.
bool clip_blit(const Image& src, const Image& dst, int x, int y, BlitSpan& span);

// True when the blocks [a, a + a_count) and [b, b + b_count) share memory.
bool overlaps(const uint32_t* a, uint32_t a_count, const uint32_t* b, uint32_t b_count);

// A mask smaller than the source would be read past its end: such a call
// draws nothing.
inline bool mask_covers(const Image& src, const Image& mask) { return mask.count >= src.count; }

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

// Walks the clipped span one pixel at a time, calling mix(target, source,
// mask) for each pixel pair. The mask is indexed like the source and holds at
// least as many pixels.
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
