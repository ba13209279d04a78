// png_writer.h: writes an Image as a 24-bit RGB PNG file.
// Owns: nothing. Touches: the output file and its temporary only.
// Thread: caller's.
// The image data is stored uncompressed (deflate "stored" blocks), which every
// PNG reader accepts and which needs no compression library.
#pragma once
#include <cstddef>
#include <cstdint>
#include <vector>

#include "gfx/image.h"

// The PNG file's bytes for image (an empty image gives an empty vector,
// since PNG has no 0-pixel pictures).
std::vector<uint8_t> png_encode(const Image& image);

// Writes png_encode(image) to path: into a temporary file beside it, renamed
// to path once complete, so path is either the whole new file or untouched.
// Returns 0, or the errno value of the failure (strerror gives its text;
// EINVAL for an empty image).
int png_write(const char* path, const Image& image);

// Checksums of the PNG container, exposed for tests.
uint32_t png_crc32(const uint8_t* data, size_t length, uint32_t crc = 0);
uint32_t png_adler32(const uint8_t* data, size_t length);
