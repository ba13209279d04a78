// Placeholder until this unit is written; every entry aborts.
#include "gfx/blit.h"
#include <cstdlib>
void blit(const Image&, Image&, int, int) { std::abort(); }
void blit_alpha(const Image&, Image&, int, int, const Image&) { std::abort(); }
void blit_fade_masked(const Image&, Image&, int, int, int, const Image&) { std::abort(); }
void blit_cross_fade(const Image&, Image&, int, int, int) { std::abort(); }
void draw_line(Image&, int, int, int, int, uint32_t) { std::abort(); }
