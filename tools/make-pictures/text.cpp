// text.cpp: FreeType text setting for the picture generator.
// Owns: the process-wide FreeType library and a small cache of opened faces
// (main thread only). Glyphs are rendered with FreeType's default hinting and
// 8-bit anti-aliasing, which gives the same bitmaps on every run for a given
// font file and FreeType version.
#include "tools/make-pictures/text.h"

#include <ft2build.h>
#include FT_FREETYPE_H

#include <algorithm>
#include <climits>
#include <cstdio>
#include <map>

namespace {

FT_Library g_library = nullptr;              // set by text_open, cleared by text_close
std::map<std::string, FT_Face> g_faces;      // opened faces by file path

FT_Face face_for(const char* path) {
  const auto found = g_faces.find(path);
  if (found != g_faces.end()) return found->second;
  FT_Face face = nullptr;
  if (!g_library || FT_New_Face(g_library, path, 0, &face) != 0) {
    std::fprintf(stderr, "make-pictures: cannot open font %s\n", path);
    return nullptr;
  }
  g_faces[path] = face;
  return face;
}

// One rendered glyph placed on the line: its pen position and bitmap.
struct Placed {
  int x = 0;  // left of the bitmap relative to the line's origin
  int y = 0;  // top of the bitmap relative to the baseline (down is positive)
  int w = 0, h = 0, pitch = 0;
  std::vector<uint8_t> pixels;  // h rows of w coverage values
};

bool render_glyph(FT_Face face, char32_t code, int pen_x, Placed& out) {
  if (FT_Load_Char(face, code, FT_LOAD_RENDER) != 0) {
    std::fprintf(stderr, "make-pictures: no glyph U+%04X\n", static_cast<unsigned>(code));
    return false;
  }
  const FT_GlyphSlot slot = face->glyph;
  const FT_Bitmap& bm = slot->bitmap;
  out.x = pen_x + slot->bitmap_left;
  out.y = -slot->bitmap_top;
  out.w = static_cast<int>(bm.width);
  out.h = static_cast<int>(bm.rows);
  out.pixels.assign(static_cast<size_t>(out.w) * out.h, 0);
  for (int row = 0; row < out.h; ++row)
    for (int col = 0; col < out.w; ++col)
      out.pixels[static_cast<size_t>(row) * out.w + col] = bm.buffer[row * bm.pitch + col];
  return true;
}

}  // namespace

bool text_open() {
  if (g_library) return true;
  if (FT_Init_FreeType(&g_library) != 0) {
    std::fprintf(stderr, "make-pictures: FreeType does not start\n");
    g_library = nullptr;
    return false;
  }
  return true;
}

void text_close() {
  for (auto& entry : g_faces) FT_Done_Face(entry.second);
  g_faces.clear();
  if (g_library) FT_Done_FreeType(g_library);
  g_library = nullptr;
}

TextInk set_line(const char* font_path, int pixel_size, const std::u32string& text,
                 int tracking) {
  TextInk ink;
  FT_Face face = face_for(font_path);
  if (!face || FT_Set_Pixel_Sizes(face, 0, static_cast<FT_UInt>(pixel_size)) != 0) return ink;

  std::vector<Placed> glyphs;
  long pen = 0;  // 26.6 fixed point
  for (char32_t code : text) {
    Placed placed;
    if (!render_glyph(face, code, static_cast<int>((pen + 32) >> 6), placed)) return TextInk{};
    pen += face->glyph->advance.x + tracking * 64;
    if (placed.w > 0 && placed.h > 0) glyphs.push_back(std::move(placed));
  }
  if (glyphs.empty()) return ink;

  int left = INT_MAX, top = INT_MAX, right = INT_MIN, bottom = INT_MIN;
  for (const Placed& g : glyphs) {
    left = std::min(left, g.x);
    top = std::min(top, g.y);
    right = std::max(right, g.x + g.w);
    bottom = std::max(bottom, g.y + g.h);
  }
  ink.cov = Coverage(right - left, bottom - top);
  ink.baseline = -top;
  for (const Placed& g : glyphs) {
    for (int row = 0; row < g.h; ++row) {
      for (int col = 0; col < g.w; ++col) {
        uint8_t& dst = ink.cov.value[static_cast<size_t>(g.y - top + row) * ink.cov.width +
                                     (g.x - left + col)];
        dst = static_cast<uint8_t>(std::min(255, dst + g.pixels[static_cast<size_t>(row) * g.w + col]));
      }
    }
  }
  return ink;
}
