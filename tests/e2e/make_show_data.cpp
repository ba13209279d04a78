// make_show_data.cpp: fills a directory with the ten files the show loads, for
// the end-to-end tests. The nine pictures are copied from the source tree's
// data/ when all of them are there, else drawn here as patterned 24-bit TGA
// files (some uncompressed, some run-length encoded). "typing.xm" is copied
// when the source tree has one, else a short silent module is written.
//
//   make_show_data OUT_DIR SOURCE_DATA_DIR
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/support/xm_writer.h"

namespace {

namespace fs = std::filesystem;

struct Picture {
  const char* name;
  int width, height;
  int type;      // 2 uncompressed, 10 run-length encoded
  int seed;      // varies the pattern between pictures
};

const Picture PICTURES[] = {
    {"kanji-rgb.tga", 300, 150, 2, 1},  {"kana-rgb.tga", 60, 100, 10, 2},
    {"qv-rgb.tga", 280, 80, 10, 3},     {"brell-rgb.tga", 200, 100, 2, 4},
    {"itsadot.tga", 120, 120, 10, 5},   {"bluedot.tga", 120, 120, 2, 6},
    {"fin.tga", 272, 150, 10, 7},       {"proudly.tga", 272, 150, 2, 8},
    {"vessa.tga", 200, 100, 10, 9},
};

// Blue, green, red of pixel (x, y): bands 8 pixels wide so that the
// run-length files hold runs as well as raw packets.
void pattern(const Picture& p, int x, int y, uint8_t bgr[3]) {
  bgr[0] = static_cast<uint8_t>((x / 8) * 37 + p.seed * 11);
  bgr[1] = static_cast<uint8_t>(y * 3 + p.seed * 29 + ((x / 8) & 1) * 64);
  bgr[2] = static_cast<uint8_t>(x < 8 ? y : x * 5 + p.seed);
}

// Pixels of one file row (image row height-1-r, bottom row first).
std::vector<uint8_t> file_row(const Picture& p, int r) {
  std::vector<uint8_t> row(3 * p.width);
  for (int x = 0; x < p.width; ++x) pattern(p, x, p.height - 1 - r, &row[3 * x]);
  return row;
}

// Run-length packets for all pixels; packets run across row ends.
void encode_rle(const std::vector<uint8_t>& px, std::vector<uint8_t>& out) {
  const size_t n = px.size() / 3;
  size_t i = 0;
  auto same = [&](size_t a, size_t b) { return px[3 * a] == px[3 * b] && px[3 * a + 1] == px[3 * b + 1] && px[3 * a + 2] == px[3 * b + 2]; };
  while (i < n) {
    size_t run = 1;
    while (i + run < n && run < 128 && same(i, i + run)) ++run;
    if (run >= 2) {
      out.push_back(static_cast<uint8_t>(127 + run));
      out.insert(out.end(), &px[3 * i], &px[3 * i] + 3);
      i += run;
      continue;
    }
    size_t raw = 1;
    while (i + raw < n && raw < 128 && !(i + raw + 1 < n && same(i + raw, i + raw + 1))) ++raw;
    out.push_back(static_cast<uint8_t>(raw - 1));
    out.insert(out.end(), &px[3 * i], &px[3 * (i + raw)]);
    i += raw;
  }
}

bool write_file(const fs::path& path, const std::vector<uint8_t>& bytes) {
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), f) == bytes.size();
  return std::fclose(f) == 0 && ok;
}

bool write_picture(const fs::path& dir, const Picture& p) {
  std::vector<uint8_t> bytes = {0, 0, static_cast<uint8_t>(p.type), 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                static_cast<uint8_t>(p.width), static_cast<uint8_t>(p.width >> 8),
                                static_cast<uint8_t>(p.height), static_cast<uint8_t>(p.height >> 8), 24, 0};
  std::vector<uint8_t> pixels;
  for (int r = 0; r < p.height; ++r) {
    const std::vector<uint8_t> row = file_row(p, r);
    pixels.insert(pixels.end(), row.begin(), row.end());
  }
  if (p.type == 10) {
    encode_rle(pixels, bytes);
  } else {
    bytes.insert(bytes.end(), pixels.begin(), pixels.end());
  }
  return write_file(dir / p.name, bytes);
}

// A module of one empty pattern: loads and plays, silently.
std::vector<uint8_t> silent_module() {
  XmFile xm;
  xm.channel_count = 2;
  xm.patterns.push_back(XmPattern{});
  return write_xm(xm);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: make_show_data OUT_DIR SOURCE_DATA_DIR\n");
    return 2;
  }
  const fs::path out = argv[1], source = argv[2];
  std::error_code ec;
  fs::create_directories(out, ec);
  bool all_pictures = true;
  for (const Picture& p : PICTURES) all_pictures = all_pictures && fs::is_regular_file(source / p.name);
  for (const Picture& p : PICTURES) {
    const bool ok = all_pictures ? fs::copy_file(source / p.name, out / p.name, fs::copy_options::overwrite_existing, ec)
                                 : write_picture(out, p);
    if (!ok) {
      std::fprintf(stderr, "make_show_data: cannot write %s\n", (out / p.name).c_str());
      return 1;
    }
  }
  const bool ok = fs::is_regular_file(source / "typing.xm")
                      ? fs::copy_file(source / "typing.xm", out / "typing.xm", fs::copy_options::overwrite_existing, ec)
                      : write_file(out / "typing.xm", silent_module());
  if (!ok) {
    std::fprintf(stderr, "make_show_data: cannot write typing.xm\n");
    return 1;
  }
  std::printf("%s pictures, %s typing.xm\n", all_pictures ? "copied" : "generated",
              fs::is_regular_file(source / "typing.xm") ? "copied" : "generated");
  return 0;
}
