// wav_header.cpp: the WAV header (see wav_header.h).
// Owns: nothing. Thread: any.
#include "tools/common/wav_header.h"

#include <cstring>

namespace {

constexpr uint16_t WAV_TAG_PCM = 1;
constexpr uint16_t WAV_TAG_FLOAT = 3;
constexpr uint32_t PCM_HEADER_BYTES = 44;      // RIFF, fmt (16 bytes), data
constexpr uint32_t FLOAT_HEADER_BYTES = 58;    // RIFF, fmt (18 bytes), fact, data
constexpr uint32_t PCM_FMT_BYTES = 16;
constexpr uint32_t FLOAT_FMT_BYTES = 18;       // with a zero-length extension
constexpr uint32_t FACT_BYTES = 4;
constexpr uint32_t RIFF_SIZE_EXCLUDES = 8;     // "RIFF" and the size itself
constexpr uint64_t RIFF_LIMIT = 0xFFFFFFFFull; // sizes in a RIFF header are 32-bit
constexpr int BITS_PER_BYTE = 8;

static_assert(FLOAT_HEADER_BYTES == WAV_MAX_HEADER_BYTES);

}  // namespace

size_t wav_header_bytes(const WavFormat& format) { return format.is_float ? FLOAT_HEADER_BYTES : PCM_HEADER_BYTES; }

uint32_t wav_frame_bytes(const WavFormat& format) {
  return static_cast<uint32_t>(format.channels * (format.bits / BITS_PER_BYTE));
}

uint64_t wav_frame_limit(const WavFormat& format) {
  return (RIFF_LIMIT - wav_header_bytes(format)) / wav_frame_bytes(format);
}

size_t wav_header(unsigned char* h, const WavFormat& format, uint64_t frames) {
  const uint32_t header = static_cast<uint32_t>(wav_header_bytes(format));
  const uint32_t block = wav_frame_bytes(format);
  const uint32_t data = static_cast<uint32_t>(frames * block);
  const uint32_t rate = static_cast<uint32_t>(format.rate);
  std::memcpy(h, "RIFF", 4);
  put_le(h + 4, data + header - RIFF_SIZE_EXCLUDES, 4);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_le(h + 16, format.is_float ? FLOAT_FMT_BYTES : PCM_FMT_BYTES, 4);
  put_le(h + 20, format.is_float ? WAV_TAG_FLOAT : WAV_TAG_PCM, 2);
  put_le(h + 22, static_cast<uint32_t>(format.channels), 2);
  put_le(h + 24, rate, 4);                                   // frames per second
  put_le(h + 28, rate * block, 4);                           // bytes per second
  put_le(h + 32, block, 2);                                  // bytes per frame
  put_le(h + 34, static_cast<uint32_t>(format.bits), 2);     // bits per sample
  unsigned char* p = h + 36;
  if (format.is_float) {
    put_le(p, 0, 2);  // no extension of the fmt chunk
    std::memcpy(p + 2, "fact", 4);
    put_le(p + 6, FACT_BYTES, 4);
    put_le(p + 10, static_cast<uint32_t>(frames), 4);  // frames of audio
    p += 2 + 8 + FACT_BYTES;
  }
  std::memcpy(p, "data", 4);
  put_le(p + 4, data, 4);
  return header;
}

void put_le(unsigned char* p, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(value >> (BITS_PER_BYTE * i));
}
