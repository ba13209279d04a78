// blit_reference.h: the straightforward per-pixel versions of the three blends.
// Owns: nothing. Touches: the pixels of the target image only.
// Thread: main thread only.
//
// Same arguments, clipping and results as the blends of blit.h, computed one
// pixel and one channel at a time with no vector instructions. Every wide
// path (blend_wide.h) must match them bit for bit; tests compare the two.
#pragma once
#include "gfx/image.h"

void blit_alpha_reference(const Image& src, Image& dst, int x, int y, const Image& mask);
void blit_fade_masked_reference(const Image& src, Image& dst, int x, int y, int fade, const Image& mask);
void blit_cross_fade_reference(const Image& src, Image& dst, int x, int y, int keep);
