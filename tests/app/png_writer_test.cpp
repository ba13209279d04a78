// png_writer_test.cpp: the frame tool's PNG files read back, through libpng,
// to the very pixels of the frame; a failed write leaves nothing behind and
// says why.
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <string>

#include "tools/frames/png_writer.h"

namespace {

std::string temp_dir() {
  char pattern[] = "/tmp/qm-png-XXXXXX";
  const char* made = mkdtemp(pattern);
  return made != nullptr ? made : "";
}

TEST(PngWriter, AFrameReadsBackPixelForPixel) {
  const std::string dir = temp_dir();
  ASSERT_FALSE(dir.empty());
  Image frame;
  resize(frame, 513, 7);  // odd sizes: no row happens to line up with anything
  for (uint32_t i = 0; i < frame.count; ++i) frame.pixels[i] = (i * 2654435761u) & 0x00FFFFFFu;
  const std::string path = dir + "/frame.png";
  ASSERT_EQ(png_write(path.c_str(), frame), 0);
  Image back;
  std::string why;
  ASSERT_TRUE(png_read(path.c_str(), back, &why)) << why;
  ASSERT_EQ(back.width, frame.width);
  ASSERT_EQ(back.height, frame.height);
  for (uint32_t i = 0; i < frame.count; ++i) ASSERT_EQ(back.pixels[i], frame.pixels[i]) << "pixel " << i;
  // Only the file itself is left: the temporary is renamed into place.
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir), std::filesystem::directory_iterator{}), 1);
  std::filesystem::remove_all(dir);
}

TEST(PngWriter, FailuresSayWhyAndLeaveNothing) {
  const std::string dir = temp_dir();
  ASSERT_FALSE(dir.empty());
  Image frame;
  resize(frame, 4, 4);
  fill(frame, 0x123456);
  EXPECT_EQ(png_write((dir + "/no-such-folder/frame.png").c_str(), frame), ENOENT);
  Image empty;
  EXPECT_EQ(png_write((dir + "/empty.png").c_str(), empty), EINVAL);
  EXPECT_EQ(png_write(nullptr, frame), EINVAL);
  chmod(dir.c_str(), 0500);
  if (geteuid() != 0) {  // root writes anywhere
    EXPECT_EQ(png_write((dir + "/frame.png").c_str(), frame), EACCES);
  }
  chmod(dir.c_str(), 0700);
  EXPECT_TRUE(std::filesystem::is_empty(dir));
  Image back;
  std::string why;
  EXPECT_FALSE(png_read((dir + "/missing.png").c_str(), back, &why));
  EXPECT_FALSE(why.empty());
  std::filesystem::remove_all(dir);
}

}  // namespace
