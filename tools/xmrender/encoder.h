// encoder.h: turns rendered frames into the bytes of one output format (WAV,
// raw PCM or FLAC through libFLAC, where the build has it) on a Sink. 16-bit frames from the
// library pass through unchanged; mix values (floats, full scale 32768) are
// converted to the format's sample type.
// Owns: the FLAC encoder and the packing buffers. Thread: the caller's.
//
//   Encoder e;
//   if (!encoder_begin(&e, &sink, layout, &why)) ...
//   encoder_write_s16(&e, frames, n);   // or encoder_write_mix(&e, values, n)
//   if (!encoder_finish(&e, &why)) ...  // always frees what begin made
#pragma once
#include <cstdint>
#include <string>
#include <vector>

#include "tools/xmrender/formats.h"
#include "tools/xmrender/output_file.h"

struct StreamLayout {
  Format format;
  int32_t rate = 0;     // frames per second, 8000..192000
  int channels = 2;     // 1 (mono) or 2 (stereo, left first)
  uint64_t frames = 0;  // frames the render will write, 0 when not known in advance
};

struct Encoder {
  StreamLayout layout;
  Sink* sink = nullptr;
  void* flac = nullptr;                 // FLAC only: libFLAC's stream encoder (flac_stream.h)
  std::vector<unsigned char> packed;    // one chunk of samples in file order
  std::vector<int32_t> wide;            // one chunk of samples for libFLAC
  uint64_t frames = 0;                  // frames written so far
  bool audible = false;                 // some written sample is not zero
  uint64_t clipped = 0;                 // samples clipped to full scale (16-bit: those at full scale)
  bool too_long = false;                // a WAV file would pass 4 GiB
};

// Writes a header (WAV: with layout.frames as its length, put right by
// encoder_finish on a seekable sink; a stream keeps it, so layout.frames must
// be exact there). False with a reason when the format cannot hold the
// layout or the encoder does not start.
bool encoder_begin(Encoder* encoder, Sink* sink, const StreamLayout& layout, std::string* why);
// frames x channels interleaved samples. False when a write fails.
bool encoder_write_s16(Encoder* encoder, const int16_t* samples, int32_t frames);
bool encoder_write_mix(Encoder* encoder, const float* values, int32_t frames);
// Completes the stream (WAV: the header's lengths; FLAC: the last frames
// and, on a seekable sink, its stream information) and frees the encoder.
// False with a reason when that fails or a write failed before.
bool encoder_finish(Encoder* encoder, std::string* why);
// Frees the encoder after a failure, writing nothing more.
void encoder_abandon(Encoder* encoder);
