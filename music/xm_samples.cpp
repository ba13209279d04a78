// xm_samples.cpp: the sample stage of the XM loader: an instrument's sample
// headers, then their delta-coded data turned into 16-bit frames with the
// lead, spare and guard frames the interpolating mixer reads.
// Owns: nothing; the Sample records and frames live in the song block
// (song_block.cpp), scratch records while measuring.
// Thread: the loading thread.
//
// Limits for broken files (well-formed files never meet them), each with a
// warning in the song:
// - a sample whose data the rest of the file cannot hold keeps the frames
//   that are there: its length is cut to them, so no room is taken for data
//   the file does not have ("sample 2 of instrument 5 holds 1,000 of 4,096
//   frames"; only the first such sample is named, later ones follow from it);
// - a loop starting at or past the end plays without loop; a loop reaching
//   past the end is cut at the end, so the guard frame lies inside the block;
// - a volume above 64 is read as 64.
#include <algorithm>
#include <cstring>

#include "music/xm_samples.h"

namespace qm {

namespace {

constexpr size_t XM_SAMPLE_HEADER_BYTES = 40;
constexpr size_t XM_SAMPLE_NAME_OFFSET = 18;
constexpr uint8_t XM_SAMPLE_FORWARD_BIT = 0x01;
constexpr uint8_t XM_SAMPLE_PINGPONG_BIT = 0x02;
constexpr uint8_t XM_SAMPLE_16BIT_BIT = 0x10;
constexpr uint8_t MAX_SAMPLE_VOLUME = 64;
constexpr uint32_t DECODE_CHUNK_BYTES = 4096;

// The fields of one 40-byte sample header; lengths become frames.
void parse_sample_header(XmLoad* load, const uint8_t* h, Sample* s, int32_t instrument, int32_t slot) {
  s->length = read_le32(h);
  s->loop_start = read_le32(h + 4);
  s->loop_length = read_le32(h + 8);
  s->volume = std::min(h[12], MAX_SAMPLE_VOLUME);
  if (h[12] > MAX_SAMPLE_VOLUME)
    load_warn(load, QM_WARNING_VALUE_LIMITED, "sample %d of instrument %d has volume %d; limited to 64", slot,
              instrument + 1, h[12]);
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
  copy_name(s->name, h + XM_SAMPLE_NAME_OFFSET, XM_NAME_FIELD_BYTES);
  s->number = static_cast<uint16_t>(instrument * INSTRUMENT_SAMPLES + slot + 1);
}

// Says what limit_loop will do to a loop that the header itself puts past
// the sample's end (cuts by the file's end follow from the data warning).
void check_declared_loop(XmLoad* load, const Sample* s, int32_t instrument, int32_t slot) {
  if (s->loop_type == LOOP_NONE || s->length == 0) return;
  uint64_t loop_end = uint64_t{s->loop_start} + s->loop_length;
  if (s->loop_start >= s->length) {
    load_warn(load, QM_WARNING_VALUE_LIMITED,
              "the loop of sample %d of instrument %d starts at frame %s, past its end at %s; it plays without loop",
              slot, instrument + 1, count_text(s->loop_start).text, count_text(s->length).text);
  } else if (loop_end > s->length) {
    load_warn(load, QM_WARNING_VALUE_LIMITED,
              "the loop of sample %d of instrument %d ends at frame %s, past its end at %s; it is cut there", slot,
              instrument + 1, count_text(loop_end).text, count_text(s->length).text);
  }
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
void decode_frames(ByteReader* r, Sample* s) {
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

bool read_sample_data(XmLoad* load, Sample* s, int32_t instrument, int32_t slot) {
  ByteReader* r = &load->reader;
  uint32_t frame_bytes = s->bits / 8;
  check_declared_loop(load, s, instrument, slot);
  int64_t available = reader_remaining(r) / frame_bytes;
  if (s->length > available) {
    if (first_end(&load->instrument_end_warned))
      load_warn(load, QM_WARNING_SAMPLE_DATA_SHORT, "sample %d of instrument %d holds %s of %s frames", slot,
                instrument + 1, count_text(static_cast<uint64_t>(available)).text, count_text(s->length).text);
    s->length = static_cast<uint32_t>(available);
  }
  limit_loop(s);
  if (s->length == 0) return load_ok(load);
  s->data = take_frames(load, instrument, slot, s->length);
  if (s->data == nullptr) { // measuring (the data is skipped) or the plan disagrees
    reader_seek(r, r->pos + static_cast<int64_t>(s->length) * frame_bytes);
    return load->pass == LoadPass::MEASURE && load_ok(load);
  }
  r->hashing = false; // the measuring pass skipped these bytes
  decode_frames(r, s);
  r->hashing = true;
  write_guard_frame(s);
  s->bits = 16;
  return load_ok(load);
}

} // namespace

bool load_instrument_samples(XmLoad* load, Instrument* ins, int32_t index) {
  ByteReader* r = &load->reader;
  int32_t count = std::clamp(ins->sample_count, 0, INSTRUMENT_SAMPLES);
  Sample* taken[INSTRUMENT_SAMPLES] = {};
  for (int32_t j = 0; j < count; ++j) {
    uint8_t header[XM_SAMPLE_HEADER_BYTES];
    bool whole = reader_read(r, header, sizeof header) == sizeof header;
    if (!whole && first_end(&load->instrument_end_warned))
      load_warn(load, QM_WARNING_SAMPLE_DATA_SHORT, "the sample headers of instrument %d are cut short", index + 1);
    Sample* s = take_sample(load, index, j);
    if (s == nullptr) return false;
    std::memset(s, 0, sizeof *s);
    parse_sample_header(load, header, s, index, j);
    ins->samples[j] = s;
    taken[j] = s;
  }
  for (int32_t j = count; j < INSTRUMENT_SAMPLES; ++j) ins->samples[j] = &empty_sample;
  for (int32_t j = 0; j < count; ++j)
    if (!read_sample_data(load, taken[j], index, j)) return false;
  if (count > 0)
    load->module->sample_numbers = std::max(load->module->sample_numbers, index * INSTRUMENT_SAMPLES + count + 1);
  return load_ok(load);
}

}  // namespace qm
