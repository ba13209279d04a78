// The Image block, the console logger's buffer and threshold, and the file
// operations' argument handling.
#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "gfx/console_log.h"
#include "gfx/file_ops.h"
#include "gfx/image.h"

namespace {

TEST(Image, ResizeKeepsSixteenBitSizes) {
  Image image;
  EXPECT_EQ(image.count, 0u);
  EXPECT_EQ(image.pixels, nullptr);
  resize(image, 65536 + 3, 2);
  EXPECT_EQ(image.width, 3);
  EXPECT_EQ(image.height, 2);
  EXPECT_EQ(image.count, 6u);
  resize(image, 0, 0);
  EXPECT_EQ(image.count, 0u);
  EXPECT_EQ(image.pixels, nullptr);
  fill(image, 1);  // nothing to write
}

TEST(Image, FillWritesEveryPixel) {
  Image image;
  resize(image, 512, 384);
  fill(image, 0xA5A5A5A5);
  fill(image, 0xFF000000);
  EXPECT_EQ(image.count, 196608u);
  for (uint32_t i = 0; i < image.count; ++i) ASSERT_EQ(image.pixels[i], 0xFF000000u) << i;
}

// Reads back what a logger wrote into a temporary stream.
std::string written(FILE* f) {
  std::fflush(f);
  std::rewind(f);
  std::string text;
  for (int c; (c = std::getc(f)) != EOF;) text.push_back(static_cast<char>(c));
  return text;
}

TEST(ConsoleLog, CutsLongMessagesAtTheBuffer) {
  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  ConsoleLog log;
  log.handle = f;
  const std::string long_path(400, 'p');
  EXPECT_EQ(log.log(255, "Could not load image %s, file will not open.\n", long_path.c_str()), 299);
  const std::string text = written(f);
  EXPECT_EQ(text, "Could not load image " + std::string(299 - 21, 'p'));
  std::fclose(f);
}

TEST(ConsoleLog, ThresholdAndMissingHandle) {
  ConsoleLog silent;
  EXPECT_EQ(silent.log(255, "%s", "dropped"), 0);

  FILE* f = std::tmpfile();
  ASSERT_NE(f, nullptr);
  ConsoleLog log;
  log.handle = f;
  log.threshold = 10;
  EXPECT_EQ(log.log(9, "below %d\n", 9), 8);  // formatted, not written
  EXPECT_EQ(log.log(10, "at %d\n", 10), 6);
  log.threshold = -5;
  EXPECT_EQ(log.log(-5, "negative\n"), 9);
  EXPECT_EQ(written(f), "at 10\nnegative\n");
  std::fclose(f);
}

TEST(FileOps, PassThroughsAndWhenceAsSignedByte) {
  const std::string path = testing::TempDir() + "qm_file_ops_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) + ".bin";
  FILE* out = std::fopen(path.c_str(), "wb");
  ASSERT_NE(out, nullptr);
  const unsigned char bytes[] = {0x00, 0xFF, 0x10, 0x20, 0x30};
  std::fwrite(bytes, 1, sizeof bytes, out);
  std::fclose(out);

  void* f = stdio_open(path.c_str());
  ASSERT_NE(f, nullptr);
  EXPECT_EQ(stdio_getc(f), 0x00);
  EXPECT_EQ(stdio_getc(f), 0xFF);  // a byte of 255 is not the end
  EXPECT_EQ(stdio_seek(f, -1, 256 + 2), 0);  // whence 2: from the end
  EXPECT_EQ(stdio_tell(f), 4);
  EXPECT_EQ(stdio_getc(f), 0x30);
  EXPECT_EQ(stdio_getc(f), -1);
  EXPECT_NE(stdio_seek(f, 0, 3), 0);
  EXPECT_NE(stdio_seek(f, 0, -1), 0);
  EXPECT_EQ(stdio_seek(f, 1, 0), 0);
  EXPECT_EQ(stdio_seek(f, 1, 1), 0);
  unsigned char buffer[8] = {};
  EXPECT_EQ(stdio_read(buffer, 8, f), 3);
  EXPECT_EQ(buffer[0], 0x10);
  EXPECT_EQ(stdio_read(buffer, -1, f), 0);
  EXPECT_EQ(stdio_close(f), 0);
  EXPECT_EQ(stdio_open("/nonexistent/qm/file"), nullptr);
  std::remove(path.c_str());
}

}  // namespace
