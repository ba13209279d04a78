// blit.h: opaque copy, three blends and the line drawer over Images.
// Owns: nothing. Touches: the pixels of the target image only.
// Thread: main thread only. Integer arithmetic only.
#pragma once
#include <cstdint>
#include "gfx/image.h"

// Positions use their low 16 bits as signed values; factors their low 8 bits.
// The mask is indexed like src (element j * src.width + i) and must be at
// least as large as src; callers pass src itself.
void blit(const Image& src, Image& dst, int x, int y);
void blit_alpha(const Image& src, Image& dst, int x, int y, const Image& mask);
void blit_fade_masked(const Image& src, Image& dst, int x, int y, int fade, const Image& mask);
void blit_cross_fade(const Image& src, Image& dst, int x, int y, int keep);

// Unclipped: every plotted pixel must lie inside the image (caller's duty).
// Plots max(|dx|, |dy|) + 1 pixels starting at (x0, y0).
void draw_line(Image& image, int x0, int y0, int x1, int y1, uint32_t colour);
