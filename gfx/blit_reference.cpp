// blit_reference.cpp: the straightforward per-pixel versions of the three
// blends, one pixel and one channel at a time.
// Owns: nothing. Touches: the pixels of the target image only.
// Thread: main thread only.
//
// They are the yardstick of the wide blends (blend_wide.h), which must give
// the same bits, and the blends' own path on processors without wide paths.
#include "gfx/blit_reference.h"

#include "gfx/blit_internal.h"

void blit_alpha_reference(const Image& src, Image& dst, int x, int y, const Image& mask) {
  if (!mask_covers(src, mask)) return;
  blit_span(src, dst, x, y, mask.pixels, [](uint32_t d, uint32_t s, uint32_t m) {
    return blend(d, s, (m >> 8) & 0xFF);
  });
}

void blit_fade_masked_reference(const Image& src, Image& dst, int x, int y, int fade, const Image& mask) {
  if (!mask_covers(src, mask)) return;
  const uint32_t level = 255 - (static_cast<uint32_t>(fade) & 0xFF);
  blit_span(src, dst, x, y, mask.pixels, [level](uint32_t d, uint32_t s, uint32_t m) {
    return blend(d, s, level & m & 0xFF);
  });
}

void blit_cross_fade_reference(const Image& src, Image& dst, int x, int y, int keep) {
  const uint32_t a = 255 - (static_cast<uint32_t>(keep) & 0xFF);
  // The source stands in as the mask; its value is not used.
  blit_span(src, dst, x, y, src.pixels, [a](uint32_t d, uint32_t s, uint32_t) { return blend(d, s, a); });
}
