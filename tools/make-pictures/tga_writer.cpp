// tga_writer.cpp: the TGA encoder of the picture generator.
// Owns: nothing. Touches: the output file. Thread: any.
// Run-length packets never cross the end of a row, so any TGA reader can
// decode the files; a run of two equal pixels already pays for a packet.
#include "tools/make-pictures/tga_writer.h"

#include <cstdio>

namespace {

constexpr int kHeaderSize = 18;
constexpr int kMaxPacket = 128;     // pixels in one run or raw packet
constexpr uint8_t kRunFlag = 0x80;  // header bit of a run packet

void put_u16(std::vector<uint8_t>& out, int value) {
  out.push_back(static_cast<uint8_t>(value & 0xFF));
  out.push_back(static_cast<uint8_t>((value >> 8) & 0xFF));
}

// Appends one pixel as blue, green, red.
void put_pixel(std::vector<uint8_t>& out, uint32_t pixel) {
  out.push_back(static_cast<uint8_t>(pixel & 0xFF));
  out.push_back(static_cast<uint8_t>((pixel >> 8) & 0xFF));
  out.push_back(static_cast<uint8_t>((pixel >> 16) & 0xFF));
}

void put_header(std::vector<uint8_t>& out, int width, int height, TgaType type) {
  out.push_back(0);     // no image ID
  out.push_back(0);     // no colour map
  out.push_back(type);  // image type
  for (int i = 0; i < 5; ++i) out.push_back(0);  // colour map fields: first entry, length, entry size
  put_u16(out, 0);      // x origin
  put_u16(out, 0);      // y origin
  put_u16(out, width);
  put_u16(out, height);
  out.push_back(24);    // bits per pixel
  out.push_back(0);     // descriptor: no alpha bits, bottom row first
}

// Length of the run of pixels equal to row[i], at most kMaxPacket.
int run_length(const uint32_t* row, int i, int width) {
  int n = 1;
  while (i + n < width && n < kMaxPacket && row[i + n] == row[i]) ++n;
  return n;
}

// Encodes one row as run packets (two or more equal pixels) and raw packets.
void put_rle_row(std::vector<uint8_t>& out, const uint32_t* row, int width) {
  int i = 0;
  while (i < width) {
    const int run = run_length(row, i, width);
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(kRunFlag | (run - 1)));
      put_pixel(out, row[i]);
      i += run;
      continue;
    }
    // Raw packet: gather pixels until a run of two starts or the packet is full.
    int n = 1;
    while (i + n < width && n < kMaxPacket && run_length(row, i + n, width) < 2) ++n;
    out.push_back(static_cast<uint8_t>(n - 1));
    for (int k = 0; k < n; ++k) put_pixel(out, row[i + k]);
    i += n;
  }
}

}  // namespace

std::vector<uint8_t> encode_tga(const std::vector<uint32_t>& pixels, int width,
                                int height, TgaType type) {
  std::vector<uint8_t> out;
  out.reserve(kHeaderSize + static_cast<size_t>(width) * height * 3);
  put_header(out, width, height, type);
  for (int y = height - 1; y >= 0; --y) {
    const uint32_t* row = pixels.data() + static_cast<size_t>(y) * width;
    if (type == TGA_TYPE_RLE) {
      put_rle_row(out, row, width);
    } else {
      for (int x = 0; x < width; ++x) put_pixel(out, row[x]);
    }
  }
  return out;
}

bool write_file(const std::string& path, const std::vector<uint8_t>& bytes) {
  FILE* file = std::fopen(path.c_str(), "wb");
  if (!file) return false;
  const size_t written = std::fwrite(bytes.data(), 1, bytes.size(), file);
  const bool closed = std::fclose(file) == 0;
  return written == bytes.size() && closed;
}
