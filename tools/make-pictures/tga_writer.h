// tga_writer.h: writes 24-bit TGA files, uncompressed (type 2) or run-length
// encoded (type 10), bottom row first, with no image ID, colour map or footer.
// Owns: nothing beyond its output buffer. Touches: the named file only.
// Thread: any; no shared state.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

enum TgaType : uint8_t {
  TGA_TYPE_RAW = 2,   // uncompressed true-colour
  TGA_TYPE_RLE = 10,  // run-length encoded true-colour
};

// Pixels are 0x00RRGGBB, rows top to bottom; width and height 1..65535.
// Returns the complete file: header, then the rows from the bottom one up.
std::vector<uint8_t> encode_tga(const std::vector<uint32_t>& pixels, int width,
                                int height, TgaType type);

// Writes bytes to path; false when the file cannot be written completely.
bool write_file(const std::string& path, const std::vector<uint8_t>& bytes);
