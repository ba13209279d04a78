// png_writer_test.cpp: the frame tool's PNG files decode back to the frame.
// The decoder here reads exactly what a PNG reader would: chunk CRCs, the zlib
// header, stored deflate blocks with their length checks, and the Adler-32.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tools/frames/png_writer.h"

namespace {

uint32_t be32(const uint8_t* p) { return uint32_t{p[0]} << 24 | uint32_t{p[1]} << 16 | uint32_t{p[2]} << 8 | p[3]; }

struct Decoded {
  uint32_t width = 0, height = 0;
  std::vector<uint8_t> raw; // filtered scanlines
};

// Decodes a PNG of stored deflate blocks; fails the test on any broken field.
Decoded decode(const std::vector<uint8_t>& png) {
  static const uint8_t sig[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
  Decoded d;
  EXPECT_EQ(std::memcmp(png.data(), sig, 8), 0);
  std::vector<uint8_t> z;
  size_t at = 8;
  std::vector<std::string> order;
  while (at + 12 <= png.size()) {
    const uint32_t len = be32(&png[at]);
    const std::string type(reinterpret_cast<const char*>(&png[at + 4]), 4);
    order.push_back(type);
    EXPECT_EQ(png_crc32(&png[at + 4], len + 4), be32(&png[at + 8 + len])) << type;
    if (type == "IHDR") {
      d.width = be32(&png[at + 8]);
      d.height = be32(&png[at + 12]);
      EXPECT_EQ(png[at + 16], 8);  // bit depth
      EXPECT_EQ(png[at + 17], 2);  // RGB
    } else if (type == "IDAT") {
      z.insert(z.end(), &png[at + 8], &png[at + 8 + len]);
    }
    at += 12 + len;
  }
  EXPECT_EQ(at, png.size());
  EXPECT_EQ(order, (std::vector<std::string>{"IHDR", "IDAT", "IEND"}));
  EXPECT_EQ((z[0] * 256 + z[1]) % 31, 0); // zlib header check
  size_t p = 2;
  for (bool last = false; !last;) {
    last = z[p] & 1;
    EXPECT_EQ(z[p] >> 1, 0); // stored block
    const uint16_t n = static_cast<uint16_t>(z[p + 1] | z[p + 2] << 8);
    const uint16_t nn = static_cast<uint16_t>(z[p + 3] | z[p + 4] << 8);
    EXPECT_EQ(static_cast<uint16_t>(~n), nn);
    d.raw.insert(d.raw.end(), &z[p + 5], &z[p + 5 + n]);
    p += 5 + n;
  }
  EXPECT_EQ(be32(&z[p]), png_adler32(d.raw.data(), d.raw.size()));
  EXPECT_EQ(p + 4, z.size());
  return d;
}

TEST(PngWriter, ChecksumsMatchKnownValues) {
  EXPECT_EQ(png_crc32(reinterpret_cast<const uint8_t*>("IEND"), 4), 0xAE426082u);
  EXPECT_EQ(png_adler32(reinterpret_cast<const uint8_t*>("Wikipedia"), 9), 0x11E60398u);
  EXPECT_EQ(png_adler32(nullptr, 0), 1u);
}

TEST(PngWriter, FrameDecodesBackAcrossManyStoredBlocks) {
  Image image;
  resize(image, 512, 384); // about 590 KB of scanlines: ten stored blocks
  for (uint32_t i = 0; i < image.count; ++i) image.pixels[i] = (i * 2654435761u) & 0xFFFFFF;
  const Decoded d = decode(png_encode(image));
  ASSERT_EQ(d.width, 512u);
  ASSERT_EQ(d.height, 384u);
  ASSERT_EQ(d.raw.size(), 384u * (1 + 3 * 512));
  for (uint32_t y = 0; y < 384; ++y) {
    const uint8_t* row = &d.raw[y * (1 + 3 * 512)];
    ASSERT_EQ(row[0], 0) << y;
    for (uint32_t x = 0; x < 512; ++x) {
      const uint32_t v = image.pixels[y * 512 + x];
      ASSERT_EQ(row[1 + 3 * x], v >> 16 & 255);
      ASSERT_EQ(row[2 + 3 * x], v >> 8 & 255);
      ASSERT_EQ(row[3 + 3 * x], v & 255);
    }
  }
}

TEST(PngWriter, ExactBlockSizeAndEmptyImage) {
  Image image;
  resize(image, 28, 771); // 771 * (1 + 3 * 28) = 65535: one full stored block
  fill(image, 0x010203);
  EXPECT_EQ(decode(png_encode(image)).raw.size(), 65535u);
  Image empty;
  EXPECT_TRUE(png_encode(empty).empty());
  EXPECT_EQ(png_write("/nonexistent-dir/x.png", image), ENOENT);
  EXPECT_EQ(png_write("/tmp/never-written.png", empty), EINVAL);
}

// The file appears whole or not at all: the bytes go to a temporary file
// that is renamed over the target, and a failed rename leaves nothing behind.
TEST(PngWriter, WritesThroughATemporaryFileAndLeavesNothingOnFailure) {
  namespace fs = std::filesystem;
  char pattern[] = "/tmp/qm-png-XXXXXX";
  ASSERT_NE(mkdtemp(pattern), nullptr);
  const fs::path dir = pattern;
  Image image;
  resize(image, 3, 2);
  fill(image, 0x102030);
  const fs::path target = dir / "frame.png";
  { std::ofstream(target) << "old contents"; }
  ASSERT_EQ(png_write(target.c_str(), image), 0);
  std::ifstream in(target, std::ios::binary);
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  EXPECT_EQ(bytes, png_encode(image));

  // A directory in the target's place: the rename fails, the temporary goes.
  fs::create_directory(dir / "taken.png");
  fs::create_directory(dir / "taken.png" / "inside");
  EXPECT_NE(png_write((dir / "taken.png").c_str(), image), 0);
  size_t entries = 0;
  for (const auto& entry : fs::directory_iterator(dir)) entries += entry.path().filename() != "frame.png";
  EXPECT_EQ(entries, 1u); // only taken.png
  fs::remove_all(dir);
}

}  // namespace
