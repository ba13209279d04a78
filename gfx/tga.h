// tga.h: the 24-bit TGA loader (types 2 and 10).
// Owns: temporary decode buffers. Touches: the target Image, the console log.
// Thread: main thread.
#pragma once
#include "gfx/image.h"

// Why a decode failed; TGA_OK on success.
enum TgaResult {
  TGA_OK = 0,
  TGA_WILL_NOT_OPEN,  // "file will not open"
  TGA_UNKNOWN_MODE,   // image type not 2 or 10
  TGA_NOT_24_BIT,     // pixel depth not 24
  TGA_TRUNCATED,      // a run-length file ended before its last pixel
  TGA_TOO_LARGE,      // the header asks for more pixels than the file can hold
  TGA_NO_MEMORY,      // the pixel block could not be allocated
};

// Decodes the file into image and returns the result; never exits.
// On failure the image is left as it was.
TgaResult decode_tga(Image& image, const char* path);

// Loads the file into image. Returns 0; on any failure logs the loader's
// message at level 255 and ends the process with status -1.
int load_tga(Image& image, const char* path);
