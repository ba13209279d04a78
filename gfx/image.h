// image.h: the one picture type of the system.
// Owns: the Image record and its pixel block. Touches nothing else.
// Thread: main thread only (the frame buffer, loaded pictures, scratch images).
#pragma once
#include <cstdint>

// A rectangle of 32-bit 0x00RRGGBB pixels, rows top to bottom with no gap.
// Pixel (x, y) is pixels[y * width + x]. Bits 24..31 carry no meaning.
struct Image {
  uint16_t width = 0;        // pixels per row; compared as signed 16-bit by the blits
  uint16_t height = 0;       // rows; compared as signed 16-bit by the blits
  uint32_t* pixels = nullptr; // owned block of count pixels; null while empty
  uint32_t count = 0;        // width * height

  Image() = default;
  Image(const Image&) = delete;
  Image& operator=(const Image&) = delete;
  ~Image();
};

// Stores the sizes (low 16 bits of each), replaces the block with a new one of
// width * height pixels. The new block is not initialised.
void resize(Image& image, int width, int height);

// Stores value into each of the count pixels.
void fill(Image& image, uint32_t value);
