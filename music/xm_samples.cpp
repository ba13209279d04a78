// xm_samples.cpp: the sample stage of the XM loader: an instrument's sample
// headers, then their delta-coded data turned into 16-bit frames with the
// lead, spare and guard frames the interpolating mixer reads.
// Owns: the Sample records and data blocks it allocates, until the Module
// that holds them is freed (free_sample).
// Thread: the loading thread.
//
// Limits for broken files (well-formed files never meet them):
// - a sample whose data the rest of the file cannot hold keeps the frames
//   that are there: its length is cut to them, so nothing is allocated for
//   data the file does not have;
// - a loop starting at or past the end plays without loop; a loop reaching
//   past the end is cut at the end, so the guard frame lies inside the block;
// - a volume above 64 is read as 64.
#include <algorithm>
#include <cstdlib>

#include "music/xm_loader_internal.h"

namespace {

constexpr size_t XM_SAMPLE_HEADER_BYTES = 40;
constexpr uint8_t XM_SAMPLE_FORWARD_BIT = 0x01;
constexpr uint8_t XM_SAMPLE_PINGPONG_BIT = 0x02;
constexpr uint8_t XM_SAMPLE_16BIT_BIT = 0x10;
constexpr uint8_t MAX_SAMPLE_VOLUME = 64;
constexpr uint32_t DECODE_CHUNK_BYTES = 4096;

// The fields of one 40-byte sample header; lengths become frames.
void parse_sample_header(const uint8_t* h, Sample* s) {
  s->length = read_le32(h);
  s->loop_start = read_le32(h + 4);
  s->loop_length = read_le32(h + 8);
  s->volume = std::min(h[12], MAX_SAMPLE_VOLUME);
  s->finetune = static_cast<int8_t>(h[13]);
  s->loop_type = LOOP_NONE;
  s->bits = 8;
  uint8_t type = h[14];
  if (type & XM_SAMPLE_FORWARD_BIT) s->loop_type = LOOP_FORWARD;
  if (type & XM_SAMPLE_PINGPONG_BIT) s->loop_type = LOOP_PINGPONG; // also with both bits
  if (type & XM_SAMPLE_16BIT_BIT) s->bits = 16;
  if (s->loop_type == LOOP_NONE) {
    s->loop_start = 0;
    s->loop_length = s->length;
  }
  if (s->bits == 16) { // byte counts become frame counts; an odd byte is dropped
    s->length /= 2;
    s->loop_start /= 2;
    s->loop_length /= 2;
  }
  if (s->loop_length == 0) {
    s->loop_start = 0;
    s->loop_length = s->length;
    s->loop_type = LOOP_NONE;
  }
  s->panning = h[15];
  s->relative_note = static_cast<int8_t>(h[16]);
}

// Keeps the loop inside the sample's final length.
void limit_loop(Sample* s) {
  if (s->loop_type != LOOP_NONE && s->loop_start >= s->length) s->loop_type = LOOP_NONE;
  if (s->loop_type == LOOP_NONE) {
    s->loop_start = 0;
    s->loop_length = s->length;
    return;
  }
  s->loop_length = std::min(s->loop_length, s->length - s->loop_start);
}

// Reads and decodes one data block; the running sum is taken modulo 65536,
// so widened 8-bit deltas decode as 8-bit values in the upper byte.
void decode_frames(XmReader* r, Sample* s) {
  uint32_t frame_bytes = s->bits / 8;
  uint8_t chunk[DECODE_CHUNK_BYTES];
  uint16_t sum = 0;
  for (uint32_t k = 0; k < s->length;) {
    uint32_t frames = std::min(s->length - k, DECODE_CHUNK_BYTES / frame_bytes);
    reader_read(r, chunk, static_cast<size_t>(frames) * frame_bytes);
    for (uint32_t i = 0; i < frames; ++i) {
      uint16_t value = frame_bytes == 2 ? read_le16(chunk + 2 * i) : static_cast<uint16_t>(chunk[i] << 8);
      sum = static_cast<uint16_t>(sum + value);
      s->data[k + i] = static_cast<int16_t>(sum);
    }
    k += frames;
  }
}

// The frame after the loop end repeats the frame the mixer goes on with:
// the loop start for a forward loop, the last loop frame for ping-pong.
void write_guard_frame(Sample* s) {
  uint32_t end = s->loop_start + s->loop_length;
  if (s->loop_type == LOOP_FORWARD) s->data[end] = s->data[s->loop_start];
  if (s->loop_type == LOOP_PINGPONG) s->data[end] = s->data[end - 1];
}

bool read_sample_data(XmReader* r, Sample* s) {
  uint32_t frame_bytes = s->bits / 8;
  int64_t available = reader_remaining(r) / frame_bytes;
  if (s->length > available) s->length = static_cast<uint32_t>(available);
  limit_loop(s);
  if (s->length == 0) return true;
  size_t frames = SAMPLE_LEAD_FRAMES + static_cast<size_t>(s->length) + SAMPLE_SPARE_FRAMES;
  auto* block = static_cast<int16_t*>(std::calloc(frames, sizeof(int16_t)));
  if (block == nullptr) return false;
  s->data = block + SAMPLE_LEAD_FRAMES;
  decode_frames(r, s);
  write_guard_frame(s);
  s->bits = 16;
  return true;
}

} // namespace

bool load_instrument_samples(XmReader* r, Instrument* ins) {
  int32_t count = std::clamp(ins->sample_count, 0, INSTRUMENT_SAMPLES);
  for (int32_t j = 0; j < count; ++j) {
    uint8_t header[XM_SAMPLE_HEADER_BYTES];
    reader_read(r, header, sizeof header);
    auto* s = static_cast<Sample*>(std::calloc(1, sizeof(Sample)));
    if (s == nullptr) return false;
    ins->samples[j] = s;
    parse_sample_header(header, s);
  }
  for (int32_t j = count; j < INSTRUMENT_SAMPLES; ++j) ins->samples[j] = &empty_sample;
  for (int32_t j = 0; j < count; ++j)
    if (!read_sample_data(r, const_cast<Sample*>(ins->samples[j]))) return false;
  return true;
}

void free_sample(const Sample* s) {
  if (s == nullptr || s == &empty_sample) return;
  if (s->data != nullptr) std::free(s->data - SAMPLE_LEAD_FRAMES);
  std::free(const_cast<Sample*>(s));
}
