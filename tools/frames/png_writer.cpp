// png_writer.cpp: PNG files of frames through libpng: a frame's
// 0x00RRGGBB pixels as 8-bit RGB rows on the way out, and back on the way in.
// libpng reports its errors by longjmp; every function here sets its jump
// point before the first libpng call that can fail and keeps no C++ object
// with a destructor alive across it.
// Owns: nothing beyond the call. Thread: caller's.
#include "tools/frames/png_writer.h"

#include <png.h>
#include <unistd.h>

#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "tools/common/atomic_output.h"

namespace {

constexpr int BYTES_PER_RGB = 3;
constexpr int BIT_DEPTH = 8;

// The frame's rows as R, G, B bytes, one malloc'd block (freed by the caller).
uint8_t* rgb_rows(const Image& image) {
  const size_t row_bytes = static_cast<size_t>(image.width) * BYTES_PER_RGB;
  auto* rgb = static_cast<uint8_t*>(std::malloc(row_bytes * image.height));
  if (rgb == nullptr) return nullptr;
  for (size_t i = 0; i < image.count; ++i) {
    const uint32_t p = image.pixels[i];
    rgb[3 * i] = static_cast<uint8_t>(p >> 16);
    rgb[3 * i + 1] = static_cast<uint8_t>(p >> 8);
    rgb[3 * i + 2] = static_cast<uint8_t>(p);
  }
  return rgb;
}

// Encodes rgb (height rows of width pixels) into f; false on libpng's failure.
bool encode(FILE* f, const uint8_t* rgb, uint32_t width, uint32_t height) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  png_infop info = png != nullptr ? png_create_info_struct(png) : nullptr;
  if (info == nullptr) {
    png_destroy_write_struct(&png, nullptr);
    return false;
  }
  if (setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, &info);
    return false;
  }
  png_init_io(png, f);
  png_set_IHDR(png, info, width, height, BIT_DEPTH, PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE,
               PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  const size_t row_bytes = static_cast<size_t>(width) * BYTES_PER_RGB;
  for (uint32_t y = 0; y < height; ++y) png_write_row(png, rgb + y * row_bytes);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

// Encodes into the open file fd through stdio on a descriptor of its own
// (the atomic output keeps fd for its sync); 0, or the errno of the failure.
int encode_into(int fd, const uint8_t* rgb, uint32_t width, uint32_t height) {
  const int own = dup(fd);
  FILE* f = own >= 0 ? fdopen(own, "wb") : nullptr;
  if (f == nullptr) {
    const int error = errno;
    if (own >= 0) close(own);
    return error;
  }
  errno = 0;
  int error = encode(f, rgb, width, height) ? 0 : errno != 0 ? errno : EIO;
  if (std::fclose(f) != 0 && error == 0) error = errno != 0 ? errno : EIO;
  return error;
}

// A status as this file's callers take it: 0, or an errno (EIO when the
// system gave none).
int errno_of(const Status& status) {
  if (!failed(status)) return 0;
  return status.error != 0 ? status.error : EIO;
}

}  // namespace

int png_write(const char* path, const Image& image) {
  if (path == nullptr || image.count == 0 || image.pixels == nullptr) return EINVAL;
  uint8_t* rgb = rgb_rows(image);
  if (rgb == nullptr) return ENOMEM;
  AtomicFile file;
  int error = errno_of(atomic_open(&file, path, CLOBBER_REPLACE));
  if (error == 0) error = encode_into(file.fd, rgb, image.width, image.height);
  if (error == 0) {
    error = errno_of(atomic_commit(&file, CLOBBER_REPLACE));
  } else {
    atomic_discard(&file);
  }
  std::free(rgb);
  return error;
}

bool png_read(const char* path, Image& image, std::string* why) {
  png_image png{};
  png.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_file(&png, path)) {
    *why = png.message;
    return false;
  }
  png.format = PNG_FORMAT_RGB;
  const size_t bytes = PNG_IMAGE_SIZE(png);
  auto* rgb = static_cast<uint8_t*>(std::malloc(bytes));
  if (rgb == nullptr || !png_image_finish_read(&png, nullptr, rgb, 0, nullptr)) {
    *why = rgb == nullptr ? "out of memory" : png.message;
    png_image_free(&png);
    std::free(rgb);
    return false;
  }
  if (png.width > 0xFFFF || png.height > 0xFFFF) {
    *why = "the picture is larger than 65535 pixels a side";
    std::free(rgb);
    return false;
  }
  resize(image, static_cast<int>(png.width), static_cast<int>(png.height));
  for (size_t i = 0; i < image.count; ++i) {
    image.pixels[i] = uint32_t{rgb[3 * i]} << 16 | uint32_t{rgb[3 * i + 1]} << 8 | rgb[3 * i + 2];
  }
  std::free(rgb);
  return true;
}
