// main.cpp: make-music writes the show's music, "typing.xm".
// Usage: make-music OUTPUT.xm
// Owns: nothing global. Thread: the main thread only.
// The output is the same, byte for byte, on every run.
#include <cstdio>

#include "tune.h"

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make-music OUTPUT.xm\n");
    return 2;
  }
  XmSong song{};
  song.name = "typing";
  song.instruments = make_instruments();
  compose(song);
  std::vector<uint8_t> bytes = write_xm(song);
  std::FILE* f = std::fopen(argv[1], "wb");
  if (!f) {
    std::fprintf(stderr, "make-music: cannot write %s\n", argv[1]);
    return 1;
  }
  size_t written = std::fwrite(bytes.data(), 1, bytes.size(), f);
  bool ok = std::fclose(f) == 0 && written == bytes.size();
  if (!ok) {
    std::fprintf(stderr, "make-music: write to %s failed\n", argv[1]);
    return 1;
  }
  return 0;
}
