// wav_header.h: the RIFF/WAVE header of a PCM or float WAV file, written in
// one place for every writer of WAV: xmrender's renders and the web player's
// downloads (which take it from the WebAssembly side).
// 16-bit PCM: RIFF, a 16-byte fmt chunk, data (44 bytes). 24-bit PCM: RIFF,
// a 40-byte WAVE_FORMAT_EXTENSIBLE fmt chunk (valid bits, speakers, the PCM
// subformat), data (68 bytes). Float: the extensible fmt chunk with the
// float subformat, a fact chunk with the frame count, data (80 bytes).
// Owns: nothing. Thread: any.
//
//   unsigned char header[WAV_MAX_HEADER_BYTES];
//   const size_t size = wav_header(header, WavFormat{2, 44100, 16, false}, frames);
#pragma once
#include <cstddef>
#include <cstdint>

struct WavFormat {
  int channels = 2;        // 1 or 2, interleaved, left first
  int32_t rate = 44100;    // frames per second
  int bits = 16;           // bits of one sample: 16 or 24 (integer), 32 (float)
  bool is_float = false;   // IEEE float samples (full scale 1.0) instead of integers
};

constexpr size_t WAV_MAX_HEADER_BYTES = 80;

// Bytes of the header of this format: 44 (16-bit), 68 (24-bit) or 80 (float).
size_t wav_header_bytes(const WavFormat& format);
// Bytes of one frame: channels x bits / 8.
uint32_t wav_frame_bytes(const WavFormat& format);
// The most frames a WAV file of this format holds (its sizes are 32-bit).
uint64_t wav_frame_limit(const WavFormat& format);
// Writes the header for `frames` frames (at most wav_frame_limit) into out,
// which holds WAV_MAX_HEADER_BYTES; returns its size.
size_t wav_header(unsigned char* out, const WavFormat& format, uint64_t frames);

// Writes value's low `bytes` bytes at p, least significant first: the byte
// order of every number in a WAV file.
void put_le(unsigned char* p, uint32_t value, int bytes);
