// Placeholder until this unit is written; every entry aborts.
#include "gfx/tga.h"
#include <cstdlib>
TgaResult decode_tga(Image&, const char*) { std::abort(); }
int load_tga(Image&, const char*) { std::abort(); }
