// png_writer.h: writes an Image as a 24-bit RGB PNG file through libpng, and
// reads such a file back (for the tests and tools that compare frames).
// Owns: nothing. Touches: the output file and its temporary only.
// Thread: caller's.
#pragma once
#include <cstdint>
#include <string>

#include "gfx/image.h"

// Writes image to path as an atomic output of the tools' kit
// (tools/common/atomic_output.h): into a temporary file beside it, renamed
// to path once complete, so path is either the whole new file or untouched.
// Returns 0, or the errno value of the failure (strerror gives its text;
// EINVAL for an empty image or a null path, EIO when libpng fails).
int png_write(const char* path, const Image& image);

// Reads an 8-bit RGB or RGBA PNG into image as 0x00RRGGBB pixels (alpha
// dropped). False, leaving image as it was, with the reason in *why.
bool png_read(const char* path, Image& image, std::string* why);
