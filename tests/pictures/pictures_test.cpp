// Tests of the show's pictures as committed in data/: format, size and layout
// against the places where the show draws them, the two pictures blended by
// their green channel, and equality with the generator's output.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <unistd.h>
#include <vector>

#include "gfx/image.h"
#include "gfx/tga.h"
#include "tools/make-pictures/fonts.h"

namespace {

constexpr int kFrameW = 512, kFrameH = 384;

// A rectangle of the frame: left, top, and one past right and bottom.
struct Rect {
  int x0, y0, x1, y1;
};

bool overlaps(const Rect& a, const Rect& b) {
  return a.x0 < b.x1 && b.x0 < a.x1 && a.y0 < b.y1 && b.y0 < a.y1;
}

// Where the show draws each picture (top-left corner in the frame).
struct Placement {
  const char* file;
  int x, y;
};
constexpr Placement kPlacements[] = {
    {"kanji-rgb.tga", 100, 100}, {"kana-rgb.tga", 35, 260}, {"qv-rgb.tga", 108, 270},
    {"brell-rgb.tga", 105, 260}, {"itsadot.tga", 190, 10},  {"bluedot.tga", 190, 235},
    {"fin.tga", 120, 170},       {"proudly.tga", 120, 170}, {"vessa.tga", 150, 210},
};

// Every point of the rotating pointer lies within 40 pixels of (256, 192).
constexpr Rect kPointer = {216, 152, 297, 233};

std::string data_path(const char* file) { return std::string(QM_SOURCE_DIR "/data/") + file; }

std::vector<unsigned char> read_bytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// A decoded picture with the rectangle it covers in the frame.
struct Placed {
  Image image;
  Rect rect{};
};

void load(const char* file, Placed& out) {
  ASSERT_EQ(decode_tga(out.image, data_path(file).c_str()), TGA_OK) << file;
  for (const Placement& p : kPlacements)
    if (std::string(p.file) == file)
      out.rect = {p.x, p.y, p.x + out.image.width, p.y + out.image.height};
}

uint32_t pixel(const Image& image, int x, int y) { return image.pixels[y * image.width + x]; }
int red(uint32_t p) { return (p >> 16) & 0xFF; }
int green(uint32_t p) { return (p >> 8) & 0xFF; }
int blue(uint32_t p) { return p & 0xFF; }

TEST(Pictures, EveryPictureLoadsHasInkAndFitsTheFrameWhereItIsDrawn) {
  int raw = 0, rle = 0;
  for (const Placement& p : kPlacements) {
    const std::vector<unsigned char> bytes = read_bytes(data_path(p.file));
    ASSERT_GE(bytes.size(), 18u) << p.file;
    EXPECT_EQ(bytes[16], 24) << p.file << ": pixel depth";
    EXPECT_EQ(bytes[17] & 0x20, 0) << p.file << ": rows must be stored bottom first";
    raw += bytes[2] == 2;
    rle += bytes[2] == 10;

    Placed pic;
    load(p.file, pic);
    ASSERT_GT(pic.image.count, 0u) << p.file;
    EXPECT_LE(pic.rect.x1, kFrameW) << p.file << " runs off the right edge";
    EXPECT_LE(pic.rect.y1, kFrameH) << p.file << " runs off the bottom edge";
    bool ink = false;
    for (uint32_t k = 0; k < pic.image.count; ++k) ink |= (pic.image.pixels[k] & 0xFFFFFF) != 0;
    EXPECT_TRUE(ink) << p.file << " is all black";
  }
  EXPECT_EQ(raw + rle, 9);
  EXPECT_GE(raw, 3) << "uncompressed pictures";
  EXPECT_GE(rle, 3) << "run-length encoded pictures";
}

TEST(Pictures, OpeningSceneKeepsItsLayout) {
  Placed kanji, kana, qv, brell;
  load("kanji-rgb.tga", kanji);
  load("kana-rgb.tga", kana);
  load("qv-rgb.tga", qv);
  load("brell-rgb.tga", brell);
  EXPECT_LE(kanji.rect.y1, 260) << "the kanji reach into the row of pictures below";
  EXPECT_FALSE(overlaps(kana.rect, brell.rect)) << "the katakana column runs into the panel";
  EXPECT_LT(qv.image.width, 640) << "the wipe would not start hidden";
  EXPECT_LE(qv.rect.x1, brell.rect.x1) << "the wordmark sticks out of its panel";
  EXPECT_LE(qv.rect.y1, brell.rect.y1) << "the wordmark sticks out of its panel";
}

TEST(Pictures, CaptionsLeaveThePointerAndTheTitleLeavesProudlyClear) {
  Placed above, below, proudly, vessa;
  load("itsadot.tga", above);
  load("bluedot.tga", below);
  load("proudly.tga", proudly);
  load("vessa.tga", vessa);
  EXPECT_FALSE(overlaps(above.rect, kPointer)) << "itsadot.tga covers the pointer";
  EXPECT_FALSE(overlaps(below.rect, kPointer)) << "bluedot.tga covers the pointer";
  // vessa is drawn opaque over proudly: what it covers must be black.
  for (int y = vessa.rect.y0; y < vessa.rect.y1; ++y)
    for (int x = vessa.rect.x0; x < vessa.rect.x1; ++x)
      if (x >= proudly.rect.x0 && x < proudly.rect.x1 && y >= proudly.rect.y0 &&
          y < proudly.rect.y1) {
        ASSERT_EQ(pixel(proudly.image, x - proudly.rect.x0, y - proudly.rect.y0) & 0xFFFFFF, 0u)
            << "the title hides ink of proudly.tga at " << x << ", " << y;
      }
}

// Both pictures blended by their green channel are also copied opaque (the
// wordmark's wipe) or faded by their blue channel (the kanji): where green is
// 0 the pixel must be black, and red and blue are premultiplied (never above
// green) so the fade shows no pixel brighter than its final alpha allows.
TEST(Pictures, GreenAlphaPicturesAreBlackOutsideTheirShapes) {
  for (const char* file : {"kanji-rgb.tga", "qv-rgb.tga"}) {
    Placed pic;
    load(file, pic);
    int opaque = 0;
    for (uint32_t k = 0; k < pic.image.count; ++k) {
      const uint32_t p = pic.image.pixels[k];
      if (green(p) == 0) {
        ASSERT_EQ(p & 0xFFFFFF, 0u) << file << " pixel " << k;
      }
      ASSERT_LE(blue(p), green(p)) << file << " pixel " << k;
      ASSERT_LE(red(p), green(p)) << file << " pixel " << k;
      opaque += green(p) == 255;
    }
    EXPECT_GT(opaque, 1000) << file << " has almost no solid shape";
  }
}

// Inside the glyphs the kanji's fade mask only takes values whose set bits
// are all above their clear ones (0x80, 0xC0 ... 0xFF): level AND mask then
// never falls as the level rises, so no pixel flickers during the dissolve,
// and several such stages make the reveal sweep rather than pop.
TEST(Pictures, KanjiFadeMaskRevealsInStagesWithoutFlicker) {
  Placed kanji;
  load("kanji-rgb.tga", kanji);
  bool stage[256] = {};
  for (uint32_t k = 0; k < kanji.image.count; ++k) {
    const uint32_t p = kanji.image.pixels[k];
    if (green(p) != 255) continue;
    const int mask = blue(p);
    const int below = (~mask) & 0xFF;  // the clear bits, which must be the low ones
    ASSERT_EQ(below & (below + 1), 0) << "mask " << mask << " at pixel " << k;
    ASSERT_NE(mask, 0) << "a solid pixel that never appears, pixel " << k;
    stage[mask] = true;
  }
  int stages = 0;
  for (bool used : stage) stages += used;
  EXPECT_GE(stages, 3);
}

TEST(Pictures, CommittedFilesEqualTheGeneratorsOutput) {
#ifndef QM_MAKE_PICTURES
  GTEST_SKIP() << "make-pictures is not built (FreeType not found)";
#else
  for (const char* font : kAllFonts)
    if (!std::filesystem::exists(font)) GTEST_SKIP() << "font not installed: " << font;
  if (std::string(QM_FREETYPE_VERSION) != kPicturesFreetype)
    GTEST_SKIP() << "FreeType " << QM_FREETYPE_VERSION << " draws edges differently from "
                 << kPicturesFreetype << ", which drew the committed pictures";
  const std::filesystem::path dir = std::filesystem::temp_directory_path() /
                                    ("qm-pictures-" + std::to_string(::getpid()));
  std::filesystem::create_directories(dir);
  const std::string command = std::string("\"") + QM_MAKE_PICTURES + "\" \"" + dir.string() +
                              "\" > /dev/null";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  for (const Placement& p : kPlacements) {
    const std::vector<unsigned char> made = read_bytes((dir / p.file).string());
    EXPECT_FALSE(made.empty()) << p.file;
    EXPECT_TRUE(made == read_bytes(data_path(p.file)))
        << p.file << " differs from the generator's; rebuild the pictures";
  }
  std::filesystem::remove_all(dir);
#endif
}

}  // namespace
