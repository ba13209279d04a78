// blend_wide.h: each wide (SIMD) path of the three blends, callable on its
// own, so that a test can force a path and compare it with the reference
// blends (blit_reference.h) bit for bit.
// Owns: nothing. Touches: the pixels of the target image only.
// Thread: main thread only.
//
// Same arguments, clipping and results as the blends of blit.h, which pick
// the widest of these paths the processor has. A path may only be called
// when its question in common/cpu_features.h answers true (cpu_has_sse2,
// cpu_has_avx2); on targets without x86-64 instructions every path runs the
// reference blend. When the target shares memory with the source or the
// mask, each path blends pixel by pixel instead, so the result never depends
// on the path.
#pragma once
#include "gfx/image.h"

// Four pixels at a time, the row's last 0..3 pixels one at a time.
void blit_alpha_sse2(const Image& src, Image& dst, int x, int y, const Image& mask);
void blit_fade_masked_sse2(const Image& src, Image& dst, int x, int y, int fade, const Image& mask);
void blit_cross_fade_sse2(const Image& src, Image& dst, int x, int y, int keep);

// Eight pixels at a time, then one group of four with SSE2, then the last
// 0..3 pixels one at a time.
void blit_alpha_avx2(const Image& src, Image& dst, int x, int y, const Image& mask);
void blit_fade_masked_avx2(const Image& src, Image& dst, int x, int y, int fade, const Image& mask);
void blit_cross_fade_avx2(const Image& src, Image& dst, int x, int y, int keep);
