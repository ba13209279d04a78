// The TGA loader: both image types, the row flip, run-length packets across
// rows and cut at the last pixel, skipped header fields, every refusal and
// the loader's message for it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <utility>
#include <vector>

#include "gfx/console_log.h"
#include "gfx/tga.h"

namespace {

using Bytes = std::vector<uint8_t>;

// The header fields a test sets; the rest are written as zero.
struct TgaDesc {
  int type = 2;
  int width = 0;
  int height = 0;
  int depth = 24;
  int descriptor = 0;
  Bytes id;             // image ID field
  int map_length = 0;   // colour map entries
  int map_entry_bits = 0;
  Bytes data;           // pixel data as stored
};

Bytes tga_bytes(const TgaDesc& s) {
  const auto le16 = [](Bytes& b, int v) {
    b.push_back(static_cast<uint8_t>(v));
    b.push_back(static_cast<uint8_t>(v >> 8));
  };
  Bytes b;
  b.push_back(static_cast<uint8_t>(s.id.size()));
  b.push_back(s.map_length ? 1 : 0);
  b.push_back(static_cast<uint8_t>(s.type));
  le16(b, 0);
  le16(b, s.map_length);
  b.push_back(static_cast<uint8_t>(s.map_entry_bits));
  le16(b, 0);
  le16(b, 0);
  le16(b, s.width);
  le16(b, s.height);
  b.push_back(static_cast<uint8_t>(s.depth));
  b.push_back(static_cast<uint8_t>(s.descriptor));
  b.insert(b.end(), s.id.begin(), s.id.end());
  // The colour map is filled with bytes that would decode as bright pixels.
  b.insert(b.end(), static_cast<size_t>((s.map_entry_bits >> 3) * s.map_length), 0xEE);
  b.insert(b.end(), s.data.begin(), s.data.end());
  return b;
}

// A file in the test's temporary folder, removed when the test ends.
class TempFile {
 public:
  explicit TempFile(const Bytes& bytes) {
    const testing::TestInfo* info = testing::UnitTest::GetInstance()->current_test_info();
    path_ = testing::TempDir() + "qm_" + info->test_suite_name() + "_" + info->name() + "_" +
            std::to_string(getpid()) + "_" + std::to_string(serial_++) + ".tga";
    FILE* f = std::fopen(path_.c_str(), "wb");
    if (!bytes.empty()) std::fwrite(bytes.data(), 1, bytes.size(), f);
    std::fclose(f);
  }
  ~TempFile() { std::remove(path_.c_str()); }
  const char* path() const { return path_.c_str(); }

 private:
  std::string path_;
  static inline int serial_ = 0;
};

TgaResult decode(Image& image, const TgaDesc& desc) {
  TempFile file(tga_bytes(desc));
  return decode_tga(image, file.path());
}

std::vector<uint32_t> pixels_of(const Image& image) {
  return std::vector<uint32_t>(image.pixels, image.pixels + image.count);
}

TEST(TgaDecode, UncompressedRowsAreFlipped) {
  TgaDesc s;
  s.width = 2;
  s.height = 2;
  s.data = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
  Image image;
  ASSERT_EQ(decode(image, s), TGA_OK);
  EXPECT_EQ(image.width, 2);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(pixels_of(image), (std::vector<uint32_t>{0x090807, 0x0C0B0A, 0x030201, 0x060504}));

  s.descriptor = 0x20;  // a top-left origin is not honoured: still flipped
  ASSERT_EQ(decode(image, s), TGA_OK);
  EXPECT_EQ(pixels_of(image), (std::vector<uint32_t>{0x090807, 0x0C0B0A, 0x030201, 0x060504}));
}

TEST(TgaDecode, RunAndRawPackets) {
  TgaDesc s;
  s.type = 10;
  s.width = 3;
  s.height = 1;
  s.data = {0x81, 0x10, 0x20, 0x30, 0x00, 0x40, 0x50, 0x60};
  Image image;
  ASSERT_EQ(decode(image, s), TGA_OK);
  EXPECT_EQ(pixels_of(image), (std::vector<uint32_t>{0x302010, 0x302010, 0x605040}));
}

TEST(TgaDecode, PacketsRunAcrossRows) {
  TgaDesc s;
  s.type = 10;
  s.width = 3;
  s.height = 3;
  // A run of 4 covers the bottom row and one pixel of the next; a raw packet
  // of 4 finishes that row and starts the top one; a run of 2 is cut after
  // its first pixel, the last of the image.
  s.data = {0x83, 1, 1, 1, 0x03, 2, 2, 2, 3, 3, 3, 4, 4, 4, 5, 5, 5, 0x81, 6, 6, 6};
  Image image;
  ASSERT_EQ(decode(image, s), TGA_OK);
  EXPECT_EQ(pixels_of(image), (std::vector<uint32_t>{0x040404, 0x050505, 0x060606,    // top
                                                     0x010101, 0x020202, 0x030303,    // middle
                                                     0x010101, 0x010101, 0x010101})); // bottom
}

TEST(TgaDecode, DecodingStopsAtTheLastPixel) {
  Image image;
  TgaDesc run;
  run.type = 10;
  run.width = 2;
  run.height = 1;
  run.data = {0xFF, 7, 8, 9};  // a run of 128 for 2 pixels
  ASSERT_EQ(decode(image, run), TGA_OK);
  EXPECT_EQ(pixels_of(image), (std::vector<uint32_t>{0x090807, 0x090807}));

  TgaDesc raw = run;
  raw.data = {0x7F, 1, 2, 3, 4, 5, 6};  // a raw packet of 128 whose rest is never read
  ASSERT_EQ(decode(image, raw), TGA_OK);
  EXPECT_EQ(pixels_of(image), (std::vector<uint32_t>{0x030201, 0x060504}));
}

TEST(TgaDecode, IdFieldAndColourMapAreSkipped) {
  TgaDesc s;
  s.width = 1;
  s.height = 1;
  s.id = {9, 9, 9, 9, 9};
  s.map_length = 3;
  s.map_entry_bits = 24;  // 15 bytes passed after the descriptor
  s.data = {0x11, 0x22, 0x33};
  Image image;
  ASSERT_EQ(decode(image, s), TGA_OK);
  EXPECT_EQ(pixels_of(image), (std::vector<uint32_t>{0x332211}));

  s.map_entry_bits = 15;  // whole bytes per entry: 15 >> 3 = 1
  s.type = 10;
  s.data = {0x00, 0x44, 0x55, 0x66};
  ASSERT_EQ(decode(image, s), TGA_OK);
  EXPECT_EQ(pixels_of(image), (std::vector<uint32_t>{0x665544}));
}

TEST(TgaDecode, EmptySizesGiveAnEmptyImage) {
  for (auto [w, h] : {std::pair{0, 0}, std::pair{5, 0}, std::pair{0, 7}}) {
    for (int type : {2, 10}) {
      TgaDesc s;
      s.type = type;
      s.width = w;
      s.height = h;
      Image image;
      resize(image, 4, 4);
      ASSERT_EQ(decode(image, s), TGA_OK) << w << "x" << h << " type " << type;
      EXPECT_EQ(image.count, 0u);
      EXPECT_EQ(image.pixels, nullptr);
    }
  }
}

TEST(TgaDecode, ShortUncompressedFileLeavesTheRestBlack) {
  TgaDesc s;
  s.width = 2;
  s.height = 2;
  s.data = {1, 2, 3, 4, 5, 6, 7};  // one row and a byte: half of the data
  Image image;
  ASSERT_EQ(decode(image, s), TGA_OK);
  EXPECT_EQ(pixels_of(image), (std::vector<uint32_t>{0, 0, 0x030201, 0x060504}));
}

TEST(TgaDecode, HeaderLargerThanTheFileIsRefusedAtTheBoundary) {
  Image image;
  resize(image, 1, 1);
  image.pixels[0] = 0x123456;
  TgaDesc s;
  s.type = 10;
  s.width = 128;
  s.height = 1;
  s.data = {0xFF, 1, 2, 3};  // one run packet holds at most 128 pixels
  EXPECT_EQ(decode(image, s), TGA_OK);
  s.width = 129;
  EXPECT_EQ(decode(image, s), TGA_TOO_LARGE);
  s.width = s.height = 65535;
  EXPECT_EQ(decode(image, s), TGA_TOO_LARGE);

  s.type = 2;
  s.width = 2;
  s.height = 2;
  s.data = Bytes(5, 0);  // less than half of 12 bytes
  EXPECT_EQ(decode(image, s), TGA_TOO_LARGE);
  s.width = s.height = 65535;
  s.data = Bytes(3000, 0);
  EXPECT_EQ(decode(image, s), TGA_TOO_LARGE);
}

TEST(TgaDecode, FailuresLeaveTheImageAsItWas) {
  Image image;
  resize(image, 1, 1);
  image.pixels[0] = 0x123456;
  const uint32_t* block = image.pixels;
  TgaDesc s;
  s.width = 2;
  s.height = 1;
  s.type = 3;
  EXPECT_EQ(decode(image, s), TGA_UNKNOWN_MODE);
  s.type = 1;
  EXPECT_EQ(decode(image, s), TGA_UNKNOWN_MODE);
  s.type = 2;
  s.depth = 32;
  EXPECT_EQ(decode(image, s), TGA_NOT_24_BIT);
  s.type = 10;
  s.depth = 24;
  s.data = {0x80, 1, 2, 3, 0x00, 4};  // one pixel, then the file ends inside a pixel
  EXPECT_EQ(decode(image, s), TGA_TRUNCATED);
  s.data = {0x00, 1, 2, 3};  // one pixel, then no packet header
  EXPECT_EQ(decode(image, s), TGA_TRUNCATED);
  EXPECT_EQ(decode_tga(image, "/nonexistent/qm/picture.tga"), TGA_WILL_NOT_OPEN);
  TempFile stub(Bytes{0, 0, 2, 0, 0});  // ends inside the header
  EXPECT_EQ(decode_tga(image, stub.path()), TGA_TRUNCATED);
  EXPECT_EQ(image.pixels, block);
  EXPECT_EQ(image.width, 1);
  EXPECT_EQ(image.pixels[0], 0x123456u);
}

TgaDesc spec_of(int type, int depth, int width, int height, Bytes data) {
  TgaDesc s;
  s.type = type;
  s.depth = depth;
  s.width = width;
  s.height = height;
  s.data = std::move(data);
  return s;
}

// What log_tga_failure writes for path and result, read back from a
// temporary file attached as the console log's handle.
std::string logged(const char* path, TgaResult result) {
  FILE* sink = std::tmpfile();
  EXPECT_NE(sink, nullptr);
  if (!sink) return "";
  FILE* previous = console_log.handle;
  console_log.handle = sink;
  log_tga_failure(path, result);
  console_log.handle = previous;
  std::rewind(sink);
  char text[512] = {};
  const size_t length = std::fread(text, 1, sizeof text - 1, sink);
  std::fclose(sink);
  return std::string(text, length);
}

// A failed load is returned, never the end of the process; the caller logs
// the loader's message, which names the path as given and the reason.
TEST(TgaLoad, FailuresReturnTheirReasonAndLogTheLoadersMessage) {
  Image image;
  const struct {
    TgaDesc desc;
    TgaResult result;
    const char* message_tail;
  } cases[] = {
      {spec_of(3, 24, 1, 1, {1, 2, 3}), TGA_UNKNOWN_MODE, ", file is of unknown mode.\n"},
      {spec_of(2, 32, 1, 1, {1, 2, 3, 4}), TGA_NOT_24_BIT, ".  Image is not 24 bit.\n"},
      {spec_of(10, 24, 4, 1, {0x81, 1, 2, 3}), TGA_TRUNCATED, ", file is truncated.\n"},
      {spec_of(2, 24, 65535, 65535, {1, 2, 3}), TGA_TOO_LARGE,
       ", file is too short for its width and height.\n"},
  };
  for (const auto& c : cases) {
    TempFile file(tga_bytes(c.desc));
    EXPECT_EQ(decode_tga(image, file.path()), c.result);
    EXPECT_EQ(logged("pic.tga", c.result), std::string("Could not load image pic.tga") + c.message_tail);
  }
  EXPECT_EQ(decode_tga(image, "missing-picture.tga"), TGA_WILL_NOT_OPEN);
  EXPECT_EQ(logged("missing-picture.tga", TGA_WILL_NOT_OPEN),
            "Could not load image missing-picture.tga, file will not open.\n");
  EXPECT_STREQ(tga_result_text(TGA_NO_MEMORY), "not enough memory");
  EXPECT_EQ(image.pixels, nullptr);
}

}  // namespace
