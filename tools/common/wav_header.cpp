// wav_header.cpp: the WAV header (see wav_header.h).
// Owns: nothing. Thread: any.
#include "tools/common/wav_header.h"

#include <cstring>

namespace {

constexpr uint16_t WAV_TAG_PCM = 1;
constexpr uint16_t WAV_TAG_EXTENSIBLE = 0xFFFE;
constexpr uint16_t SUBFORMAT_PCM = 1;
constexpr uint16_t SUBFORMAT_FLOAT = 3;
constexpr uint32_t PCM_HEADER_BYTES = 44;         // RIFF, fmt (16 bytes), data
constexpr uint32_t EXTENSIBLE_HEADER_BYTES = 68;  // RIFF, fmt (40 bytes), data
constexpr uint32_t FLOAT_HEADER_BYTES = 80;       // RIFF, fmt (40 bytes), fact, data
constexpr uint32_t PCM_FMT_BYTES = 16;
constexpr uint32_t EXTENSIBLE_FMT_BYTES = 40;
constexpr uint32_t EXTENSION_BYTES = 22;          // valid bits, channel mask, subformat
constexpr uint32_t FACT_BYTES = 4;
constexpr uint32_t SPEAKERS_STEREO = 0x3;         // front left, front right
constexpr uint32_t SPEAKERS_MONO = 0x4;           // front centre
// The subformat GUID after its first two bytes (the format tag):
// xxxxxxxx-0000-0010-8000-00AA00389B71, stored little-endian.
constexpr unsigned char SUBFORMAT_TAIL[14] = {0, 0, 0, 0, 0x10, 0, 0x80, 0, 0, 0xAA, 0, 0x38, 0x9B, 0x71};
constexpr uint32_t RIFF_SIZE_EXCLUDES = 8;     // "RIFF" and the size itself
constexpr uint64_t RIFF_LIMIT = 0xFFFFFFFFull; // sizes in a RIFF header are 32-bit
constexpr int BITS_PER_BYTE = 8;
constexpr int PLAIN_PCM_BITS = 16;

static_assert(FLOAT_HEADER_BYTES == WAV_MAX_HEADER_BYTES);

// Samples of more than 16 bits and floats take the extensible fmt chunk,
// which names the channels and the sample kind, as readers expect of them.
bool extensible(const WavFormat& format) { return format.is_float || format.bits > PLAIN_PCM_BITS; }

// The 22 bytes that extend the fmt chunk.
unsigned char* put_extension(unsigned char* p, const WavFormat& format) {
  put_le(p, EXTENSION_BYTES, 2);
  put_le(p + 2, static_cast<uint32_t>(format.bits), 2);  // valid bits: all of them
  put_le(p + 4, format.channels == 1 ? SPEAKERS_MONO : SPEAKERS_STEREO, 4);
  put_le(p + 8, format.is_float ? SUBFORMAT_FLOAT : SUBFORMAT_PCM, 2);
  std::memcpy(p + 10, SUBFORMAT_TAIL, sizeof SUBFORMAT_TAIL);
  return p + 2 + EXTENSION_BYTES;
}

}  // namespace

size_t wav_header_bytes(const WavFormat& format) {
  if (format.is_float) return FLOAT_HEADER_BYTES;
  return extensible(format) ? EXTENSIBLE_HEADER_BYTES : PCM_HEADER_BYTES;
}

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
  const bool extended = extensible(format);
  std::memcpy(h, "RIFF", 4);
  put_le(h + 4, data + header - RIFF_SIZE_EXCLUDES, 4);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_le(h + 16, extended ? EXTENSIBLE_FMT_BYTES : PCM_FMT_BYTES, 4);
  put_le(h + 20, extended ? WAV_TAG_EXTENSIBLE : WAV_TAG_PCM, 2);
  put_le(h + 22, static_cast<uint32_t>(format.channels), 2);
  put_le(h + 24, rate, 4);                                   // frames per second
  put_le(h + 28, rate * block, 4);                           // bytes per second
  put_le(h + 32, block, 2);                                  // bytes per frame
  put_le(h + 34, static_cast<uint32_t>(format.bits), 2);     // bits per sample
  unsigned char* p = h + 36;
  if (extended) p = put_extension(p, format);
  if (format.is_float) {  // a format other than integer PCM counts its frames
    std::memcpy(p, "fact", 4);
    put_le(p + 4, FACT_BYTES, 4);
    put_le(p + 8, static_cast<uint32_t>(frames), 4);
    p += 8 + FACT_BYTES;
  }
  std::memcpy(p, "data", 4);
  put_le(p + 4, data, 4);
  return header;
}

void put_le(unsigned char* p, uint32_t value, int bytes) {
  for (int i = 0; i < bytes; ++i) p[i] = static_cast<unsigned char>(value >> (BITS_PER_BYTE * i));
}
