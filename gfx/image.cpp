// image.cpp: the Image record's block management: resize, fill, release.
// Owns: each Image's pixel block. Touches nothing else.
// Thread: main thread only.
#include "gfx/image.h"

#include <algorithm>
#include <new>

Image::~Image() { delete[] pixels; }

// The sizes are kept as 16-bit values and their product is taken in 32 bits,
// so the block never holds more than 65535 x 65535 pixels. The new block is
// left uninitialised. When it cannot be allocated the image is left empty
// (0 x 0, no block) rather than claiming pixels it does not have, so every
// blit and fill treats it as nothing to draw.
void resize(Image& image, int width, int height) {
  const uint16_t w = static_cast<uint16_t>(width);
  const uint16_t h = static_cast<uint16_t>(height);
  const uint32_t count = static_cast<uint32_t>(w) * h;
  delete[] image.pixels;
  image.pixels = count ? new (std::nothrow) uint32_t[count] : nullptr;
  if (count && !image.pixels) {
    image.width = image.height = 0;
    image.count = 0;
    return;
  }
  image.width = w;
  image.height = h;
  image.count = count;
}

// The count is read once: stores through the pixel pointer could otherwise
// alias it, which keeps the compiler from vectorising the loop.
void fill(Image& image, uint32_t value) {
  if (image.pixels == nullptr) return;
  std::fill_n(image.pixels, image.count, value);
}
