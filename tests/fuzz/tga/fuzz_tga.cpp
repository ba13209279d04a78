// fuzz_tga.cpp: feeds arbitrary bytes to the TGA decoder through a file, as
// the show would read a picture. Any crash, hang, leak or undefined behaviour
// is a finding; every refusal is a valid outcome.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "gfx/tga.h"

namespace {

// One scratch file per fuzzing process, removed after each input (libFuzzer
// may end the process without running exit handlers). It lives in memory
// (/dev/shm) unless TMPDIR names another folder: a file on disk costs more
// than the decoding.
const std::string& scratch_path() {
  static const std::string path = [] {
    const char* dir = std::getenv("TMPDIR");
    if (!dir || !*dir) dir = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    return std::string(dir) + "/qm_fuzz_tga_" + std::to_string(getpid()) + ".tga";
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string& path = scratch_path();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  if (size) std::fwrite(data, 1, size, f);
  std::fclose(f);

  Image image;
  const TgaResult result = decode_tga(image, path.c_str());
  std::remove(path.c_str());
  // A decoded image must be consistent with its sizes.
  if (result == TGA_OK && image.count != static_cast<uint32_t>(image.width) * image.height) std::abort();
  if (result == TGA_OK && image.count && !image.pixels) std::abort();
  return 0;
}
