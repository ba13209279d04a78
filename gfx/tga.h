// tga.h: the 24-bit TGA loader (types 2 and 10).
// Owns: temporary decode buffers. Touches: the target Image and, for
// log_tga_failure, the console log. Thread: main thread.
//
// The loader never ends the process: it returns why a file did not load,
// and the caller decides what follows.
#pragma once
#include <string>

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

// Decodes the file into image and returns the result.
// On failure the image is left as it was.
TgaResult decode_tga(Image& image, const char* path);

// The result as a short phrase ("file will not open", "image is not 24 bit").
const char* tga_result_text(TgaResult result);

// The loader's message for a failed load, for example "Could not load image
// fin.tga, file will not open." (no line end).
std::string tga_failure_text(const char* path, TgaResult result);

// Writes tga_failure_text and a line end to the console log at level 255.
void log_tga_failure(const char* path, TgaResult result);
