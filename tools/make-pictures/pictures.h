// pictures.h: the nine pictures of the show, drawn from text and shapes.
// Owns: the finished pixels of each picture. Touches: the fonts of fonts.h.
// Thread: main thread only (text setting uses the process-wide FreeType).
#pragma once
#include <string>
#include <vector>

#include "tools/make-pictures/tga_writer.h"

// One finished picture and how it is stored.
struct Picture {
  std::string file;              // file name inside data/
  int width = 0;                 // pixels per row
  int height = 0;                // rows
  TgaType type = TGA_TYPE_RAW;   // storage in the file
  std::vector<uint32_t> pixels;  // 0x00RRGGBB, rows top to bottom
};

// Draws the four pictures of the opening scene: the kanji logo, the katakana
// column, the panel and the wordmark. False when a font cannot be used.
bool draw_opening(std::vector<Picture>& out);

// Draws the five text pictures: the presentation line, the title, the two
// captions of the dot and the closing word. False when a font cannot be used.
bool draw_captions(std::vector<Picture>& out);
