// png_writer.cpp: minimal PNG encoder: IHDR, one IDAT holding a zlib stream
// of stored deflate blocks, IEND. Rows use filter 0; pixels are R, G, B bytes.
// Owns: the encoded byte vector it returns and, while it writes, a temporary
// file beside the target. Thread: caller's.
#include "tools/frames/png_writer.h"

#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <string>

namespace {

constexpr uint8_t PNG_SIGNATURE[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
constexpr size_t STORED_BLOCK_MAX = 65535; // bytes in one stored deflate block
constexpr uint8_t COLOUR_TYPE_RGB = 2;
constexpr uint8_t BIT_DEPTH = 8;

std::array<uint32_t, 256> make_crc_table() {
  std::array<uint32_t, 256> table{};
  for (uint32_t n = 0; n < 256; ++n) {
    uint32_t c = n;
    for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
    table[n] = c;
  }
  return table;
}

void put_u32_be(std::vector<uint8_t>& out, uint32_t v) {
  out.push_back(static_cast<uint8_t>(v >> 24));
  out.push_back(static_cast<uint8_t>(v >> 16));
  out.push_back(static_cast<uint8_t>(v >> 8));
  out.push_back(static_cast<uint8_t>(v));
}

// Appends one chunk: length, type, body, CRC over type and body.
void put_chunk(std::vector<uint8_t>& out, const char type[4], const std::vector<uint8_t>& body) {
  put_u32_be(out, static_cast<uint32_t>(body.size()));
  const size_t type_at = out.size();
  out.insert(out.end(), type, type + 4);
  out.insert(out.end(), body.begin(), body.end());
  put_u32_be(out, png_crc32(out.data() + type_at, out.size() - type_at));
}

// The filtered scanlines: a 0 filter byte, then R, G, B per pixel.
std::vector<uint8_t> scanlines(const Image& image) {
  std::vector<uint8_t> raw;
  raw.reserve(static_cast<size_t>(image.height) * (1 + 3 * static_cast<size_t>(image.width)));
  const uint32_t* p = image.pixels;
  for (uint32_t y = 0; y < image.height; ++y) {
    raw.push_back(0);
    for (uint32_t x = 0; x < image.width; ++x, ++p) {
      raw.push_back(static_cast<uint8_t>(*p >> 16));
      raw.push_back(static_cast<uint8_t>(*p >> 8));
      raw.push_back(static_cast<uint8_t>(*p));
    }
  }
  return raw;
}

// A zlib stream (no compression) of raw: header, stored blocks, Adler-32.
std::vector<uint8_t> zlib_stored(const std::vector<uint8_t>& raw) {
  std::vector<uint8_t> z = {0x78, 0x01};
  size_t at = 0;
  do {
    const size_t n = std::min(STORED_BLOCK_MAX, raw.size() - at);
    const bool last = at + n == raw.size();
    z.push_back(last ? 1 : 0); // BFINAL, BTYPE 00 (stored)
    z.push_back(static_cast<uint8_t>(n));
    z.push_back(static_cast<uint8_t>(n >> 8));
    z.push_back(static_cast<uint8_t>(~n));
    z.push_back(static_cast<uint8_t>(~n >> 8));
    z.insert(z.end(), raw.begin() + static_cast<std::ptrdiff_t>(at), raw.begin() + static_cast<std::ptrdiff_t>(at + n));
    at += n;
  } while (at < raw.size());
  put_u32_be(z, png_adler32(raw.data(), raw.size()));
  return z;
}

}  // namespace

uint32_t png_crc32(const uint8_t* data, size_t length, uint32_t crc) {
  static const std::array<uint32_t, 256> table = make_crc_table();
  uint32_t c = crc ^ 0xFFFFFFFFu;
  for (size_t i = 0; i < length; ++i) c = table[(c ^ data[i]) & 0xFF] ^ (c >> 8);
  return c ^ 0xFFFFFFFFu;
}

uint32_t png_adler32(const uint8_t* data, size_t length) {
  constexpr uint32_t MOD = 65521;
  uint32_t a = 1, b = 0;
  for (size_t i = 0; i < length; ++i) {
    a = (a + data[i]) % MOD;
    b = (b + a) % MOD;
  }
  return (b << 16) | a;
}

std::vector<uint8_t> png_encode(const Image& image) {
  std::vector<uint8_t> out;
  if (image.count == 0 || !image.pixels) return out;
  out.assign(PNG_SIGNATURE, PNG_SIGNATURE + sizeof PNG_SIGNATURE);
  std::vector<uint8_t> header;
  put_u32_be(header, image.width);
  put_u32_be(header, image.height);
  header.insert(header.end(), {BIT_DEPTH, COLOUR_TYPE_RGB, 0, 0, 0}); // no compression/filter/interlace variants
  put_chunk(out, "IHDR", header);
  put_chunk(out, "IDAT", zlib_stored(scanlines(image)));
  put_chunk(out, "IEND", {});
  return out;
}

int png_write(const char* path, const Image& image) {
  const std::vector<uint8_t> bytes = png_encode(image);
  if (bytes.empty() || !path) return EINVAL;
  const std::string temporary = std::string(path) + ".tmp-" + std::to_string(getpid());
  FILE* f = std::fopen(temporary.c_str(), "wbx"); // x: never takes over an existing file
  if (!f) return errno;
  int error = 0;
  if (std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) error = errno ? errno : EIO;
  if (std::fclose(f) != 0 && error == 0) error = errno ? errno : EIO;
  if (error == 0 && std::rename(temporary.c_str(), path) != 0) error = errno;
  if (error != 0) std::remove(temporary.c_str());
  return error;
}
