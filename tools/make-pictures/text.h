// text.h: text set with FreeType into coverage masks for the picture generator.
// Owns: the FreeType library handle and the faces it opens.
// Touches: the font files named in fonts.h. Thread: main thread only.
#pragma once
#include <string>

#include "tools/make-pictures/raster.h"

// A set line of text: coverage cut tight to the ink.
struct TextInk {
  Coverage cov;      // the ink box
  int baseline = 0;  // row of the baseline, counted from the top of cov
};

// Opens FreeType; false (with a message on stderr) when it cannot start.
bool text_open();
// Closes every face and FreeType itself.
void text_close();

// Sets text on one line with the font file at pixel_size (pixels per em),
// adding tracking pixels between letters. An empty result (0 x 0) means the
// font could not be used or the text has no ink; the reason goes to stderr.
TextInk set_line(const char* font_path, int pixel_size, const std::u32string& text,
                 int tracking = 0);
