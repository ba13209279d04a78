// Round trips through the generator's TGA encoder and the show's loader:
// packet limits of the run-length coder, row order and channel order.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <unistd.h>
#include <vector>

#include "gfx/image.h"
#include "gfx/tga.h"
#include "tools/make-pictures/tga_writer.h"

namespace {

// Writes the encoded pixels to a temporary file and decodes it again.
void round_trip(const std::vector<uint32_t>& pixels, int width, int height, TgaType type,
                Image& out, std::vector<uint8_t>& bytes) {
  bytes = encode_tga(pixels, width, height, type);
  const std::string path = ::testing::TempDir() + "qm-writer-" + std::to_string(::getpid()) +
                           "-" + std::to_string(type) + ".tga";
  ASSERT_TRUE(write_file(path, bytes));
  ASSERT_EQ(decode_tga(out, path.c_str()), TGA_OK);
  std::remove(path.c_str());
}

// One row of 300 pixels: single pixels, a run of two, a run of 129 (longer
// than one packet), then 140 all-different pixels (longer than one raw packet).
std::vector<uint32_t> awkward_row() {
  std::vector<uint32_t> row = {0x102030, 0x405060, 0x708090, 0x708090};
  row.insert(row.end(), 129, 0xA0B0C0);
  for (uint32_t i = 0; row.size() < 300; ++i) row.push_back(0x010203 * (i % 80) + i);
  return row;
}

TEST(TgaWriter, BothTypesRoundTripThroughTheLoader) {
  const int width = 300, height = 3;
  std::vector<uint32_t> pixels;
  for (int y = 0; y < height; ++y) {
    std::vector<uint32_t> row = awkward_row();
    row[0] = 0x0000FF << (8 * y);  // tells the rows apart
    pixels.insert(pixels.end(), row.begin(), row.end());
  }
  for (TgaType type : {TGA_TYPE_RAW, TGA_TYPE_RLE}) {
    Image image;
    std::vector<uint8_t> bytes;
    round_trip(pixels, width, height, type, image, bytes);
    ASSERT_EQ(image.width, width);
    ASSERT_EQ(image.height, height);
    for (size_t k = 0; k < pixels.size(); ++k)
      ASSERT_EQ(image.pixels[k] & 0xFFFFFF, pixels[k]) << "type " << type << " pixel " << k;
    EXPECT_EQ(bytes[2], type);
    EXPECT_EQ(bytes[16], 24);
  }
}

TEST(TgaWriter, RunLengthPacketsStayWithinOneRowAndStoreTheBottomRowFirst) {
  // Two rows of one colour each: a packet crossing the row end would merge them.
  const std::vector<uint32_t> pixels = {0x112233, 0x112233, 0x445566, 0x445566};
  Image image;
  std::vector<uint8_t> bytes;
  round_trip(pixels, 2, 2, TGA_TYPE_RLE, image, bytes);
  // Header, then a run of two of the bottom row, then a run of two of the top row.
  const std::vector<uint8_t> expected_data = {0x81, 0x66, 0x55, 0x44, 0x81, 0x33, 0x22, 0x11};
  ASSERT_EQ(bytes.size(), 18 + expected_data.size());
  EXPECT_EQ(std::vector<uint8_t>(bytes.begin() + 18, bytes.end()), expected_data);
}

}  // namespace
