// main.cpp: make-pictures, the generator of the show's nine pictures.
// Usage: make-pictures <output folder>. Draws every picture with FreeType
// from the fonts of fonts.h and writes the nine TGA files into the folder;
// the same fonts and FreeType version give byte-identical files every run.
// Exit status: 0 written, 1 a font or file failed, 2 bad usage.
#include <cstdio>
#include <filesystem>
#include <string>

#include "tools/make-pictures/fonts.h"
#include "tools/make-pictures/pictures.h"
#include "tools/make-pictures/text.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-pictures <output folder>\n");
    return 2;
  }
  for (const char* font : kAllFonts) {
    if (!std::filesystem::exists(font)) {
      std::fprintf(stderr, "make-pictures: missing font %s (install fonts-dejavu-core "
                           "and fonts-ipafont-gothic)\n", font);
      return 1;
    }
  }
  if (!text_open()) return 1;
  std::vector<Picture> pictures;
  const bool drawn = draw_opening(pictures) && draw_captions(pictures);
  text_close();
  if (!drawn) return 1;

  const std::filesystem::path folder = argv[1];
  for (const Picture& pic : pictures) {
    const std::string path = (folder / pic.file).string();
    if (!write_file(path, encode_tga(pic.pixels, pic.width, pic.height, pic.type))) {
      std::fprintf(stderr, "make-pictures: cannot write %s\n", path.c_str());
      return 1;
    }
    std::printf("%s  %d x %d  type %d\n", path.c_str(), pic.width, pic.height,
                static_cast<int>(pic.type));
  }
  return 0;
}
