// xm_samples.cpp: the sample stage of the XM loader: an instrument's sample
// headers, then their data blocks turned into 16-bit frames with the lead,
// spare and guard frames the interpolating mixer reads.
// Owns: nothing; the Sample records and frames live in the song block
// (song_block.cpp), a scratch record while measuring.
// Thread: the loading thread.
//
// Data blocks come in three kinds: 8-bit and 16-bit deltas (each value the
// difference from the one before, the first from 0), and 8-bit values packed
// as 4-bit deltas, which one popular tracker writes for a sample whose header
// has 0xAD in its reserved byte (an 8-bit sample; a 16-bit one with that byte
// is read as plain deltas): 16 signed bytes of deltas, then two frames per
// byte, low nibble first, each frame the previous one plus the delta its
// nibble picks (the first from 0). Strict loading refuses packed samples.
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
// A song of more than MAX_SONG_SAMPLES samples is refused as unsupported.
#include <algorithm>
#include <cstring>

#include "music/xm_samples.h"

#include "music/interpolate.h"

namespace qm {

namespace {

constexpr size_t XM_SAMPLE_HEADER_BYTES = 40;
constexpr size_t XM_SAMPLE_NAME_OFFSET = 18;
constexpr uint8_t XM_SAMPLE_FORWARD_BIT = 0x01;
constexpr uint8_t XM_SAMPLE_PINGPONG_BIT = 0x02;
constexpr uint8_t XM_SAMPLE_16BIT_BIT = 0x10;
constexpr size_t XM_SAMPLE_RESERVED_OFFSET = 17;
constexpr uint8_t XM_SAMPLE_PACKED_MARK = 0xAD;  // the reserved byte of a packed sample
constexpr uint32_t PACKED_TABLE_BYTES = 16;      // the deltas the nibbles pick
constexpr uint32_t PACKED_FRAMES_PER_BYTE = 2;
constexpr uint8_t NIBBLE_MASK = 0x0F;
constexpr int NIBBLE_BITS = 4;
constexpr uint8_t MAX_SAMPLE_VOLUME = 64;
constexpr uint32_t DECODE_CHUNK_BYTES = 4096;

// The fields of one 40-byte sample header; lengths become frames. number is
// the song's number of the sample, from 0. Returns its SAMPLE_DATA_* kind.
uint8_t parse_sample_header(XmLoad* load, const uint8_t* h, Sample* s, int32_t number, int32_t instrument,
                            int32_t slot) {
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
  s->number = static_cast<uint16_t>(number + 1);
  if (s->bits == 16) return SAMPLE_DATA_16BIT;
  return h[XM_SAMPLE_RESERVED_OFFSET] == XM_SAMPLE_PACKED_MARK ? SAMPLE_DATA_PACKED : 0;
}

// Bytes of the data block of frames frames of a kind.
int64_t data_bytes(uint8_t kind, uint32_t frames) {
  if (kind & SAMPLE_DATA_PACKED)
    return frames == 0 ? 0 : PACKED_TABLE_BYTES + (int64_t{frames} + 1) / PACKED_FRAMES_PER_BYTE;
  return int64_t{frames} * ((kind & SAMPLE_DATA_16BIT) ? 2 : 1);
}

// The frames of a data block of a kind that `available` bytes hold whole.
uint32_t frames_held(uint8_t kind, uint32_t frames, int64_t available) {
  int64_t held = available / ((kind & SAMPLE_DATA_16BIT) ? 2 : 1);
  if (kind & SAMPLE_DATA_PACKED)
    held = available > PACKED_TABLE_BYTES ? (available - PACKED_TABLE_BYTES) * PACKED_FRAMES_PER_BYTE : 0;
  return static_cast<uint32_t>(std::min<int64_t>(frames, held));
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

// Reads and decodes one data block of deltas; the running sum is taken
// modulo 65536, so widened 8-bit deltas decode as 8-bit values in the upper byte.
void decode_deltas(ByteReader* r, Sample* s) {
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

// Reads and decodes one packed data block: 8-bit values in the upper byte.
void decode_packed(ByteReader* r, Sample* s) {
  int8_t deltas[PACKED_TABLE_BYTES];
  reader_read(r, deltas, sizeof deltas);
  uint8_t chunk[DECODE_CHUNK_BYTES];
  uint8_t value = 0;
  for (uint32_t k = 0; k < s->length;) {
    uint32_t frames = std::min(s->length - k, DECODE_CHUNK_BYTES * PACKED_FRAMES_PER_BYTE);
    reader_read(r, chunk, (frames + 1) / PACKED_FRAMES_PER_BYTE);
    for (uint32_t i = 0; i < frames; ++i) {
      uint8_t nibble = (chunk[i / PACKED_FRAMES_PER_BYTE] >> (NIBBLE_BITS * (i % PACKED_FRAMES_PER_BYTE))) & NIBBLE_MASK;
      value = static_cast<uint8_t>(value + deltas[nibble]);
      s->data[k + i] = static_cast<int16_t>(static_cast<uint16_t>(value << 8));
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

// The data block of the song's sample number (0-based), slot of instrument.
// The measuring pass learns how many frames the file holds and skips them;
// the filling pass decodes them into the block.
bool read_sample_block(XmLoad* load, int32_t number, int32_t instrument, int32_t slot) {
  ByteReader* r = &load->reader;
  uint8_t kind = load->plan.kinds[number];
  Sample* s = load->pass == LoadPass::FILL ? &load->block.samples[number] : nullptr;
  uint32_t declared = s != nullptr ? s->length : load->plan.frames[number];
  int64_t end = r->pos + data_bytes(kind, declared);  // where the next block starts
  uint32_t kept = frames_held(kind, declared, reader_remaining(r));
  if (load->pass == LoadPass::MEASURE) {
    load->plan.frames[number] = kept;  // the filling pass takes room for them
    reader_seek(r, end);
    return load_ok(load);
  }
  check_declared_loop(load, s, instrument, slot);
  if (kept < declared && first_end(&load->instrument_end_warned))
    load_warn(load, QM_WARNING_SAMPLE_DATA_SHORT, "sample %d of instrument %d holds %s of %s frames", slot,
              instrument + 1, count_text(kept).text, count_text(declared).text);
  s->length = kept;
  limit_loop(s);
  if (kept > 0) {
    s->data = take_frames(load, number, instrument, slot, kept);
    if (s->data == nullptr) return false;
    r->hashing = false;  // the measuring pass skipped these bytes
    if (kind & SAMPLE_DATA_PACKED) {
      decode_packed(r, s);
    } else {
      decode_deltas(r, s);
    }
    r->hashing = true;
    write_guard_frame(s);
    fill_loop_windows(s);
    s->bits = 16;
  }
  reader_seek(r, end);
  return load_ok(load);
}

} // namespace

bool read_sample_headers(XmLoad* load, Instrument* ins, int32_t index) {
  ByteReader* r = &load->reader;
  SongPlan& plan = load->plan;
  const int32_t count = ins->sample_count;
  if (load->pass == LoadPass::MEASURE) {
    if (count > MAX_SONG_SAMPLES - plan.sample_total)
      return load_fail(load, QM_ERROR_UNSUPPORTED, "the song holds more than %s samples",
                       count_text(MAX_SONG_SAMPLES).text);
    plan.first_samples[index] = plan.sample_total;
    plan.sample_total += count;
  }
  const int32_t first = plan.first_samples[index];
  const Sample** slots = take_slots(load, index, count);
  if (load->pass == LoadPass::FILL && slots == nullptr && count > 0) return false;
  for (int32_t j = 0; j < count; ++j) {
    uint8_t header[XM_SAMPLE_HEADER_BYTES];
    bool whole = reader_read(r, header, sizeof header) == sizeof header;
    if (!whole && first_end(&load->instrument_end_warned))
      load_warn(load, QM_WARNING_SAMPLE_DATA_SHORT, "the sample headers of instrument %d are cut short", index + 1);
    Sample* s = take_sample(load, first + j, index, j);
    if (s == nullptr) return false;
    std::memset(s, 0, sizeof *s);
    uint8_t kind = parse_sample_header(load, header, s, first + j, index, j);
    if (load->strict && (kind & SAMPLE_DATA_PACKED))
      return load_fail(load, QM_ERROR_UNSUPPORTED,
                       "sample %d of instrument %d is packed with 4-bit deltas; only unpacked samples are supported",
                       j, index + 1);
    if (load->pass == LoadPass::MEASURE) {
      plan.kinds[first + j] = kind;
      plan.frames[first + j] = s->length;  // declared; the data stage keeps what the file holds
    } else if (plan.kinds[first + j] != kind) {
      return load_fail(load, QM_ERROR_READ, "instrument %d changed while the file was read", index + 1);
    }
    if (slots != nullptr) slots[j] = s;
  }
  ins->samples = slots;
  if (count > 0) load->module->sample_numbers = first + count + 1;
  return load_ok(load);
}

bool read_sample_data(XmLoad* load, int32_t first, int32_t end) {
  for (int32_t i = first; i < end; ++i) {
    for (int32_t j = 0; j < load->plan.sample_counts[i]; ++j)
      if (!read_sample_block(load, load->plan.first_samples[i] + j, i, j)) return false;
  }
  return load_ok(load);
}

}  // namespace qm
