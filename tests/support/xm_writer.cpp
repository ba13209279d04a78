// xm_writer.cpp: XM bytes from a test's description, temporary files, and
// the in-place load of such bytes.
// Owns: nothing.
// Thread: the test's thread.
#include "tests/support/xm_writer.h"

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>

#include "music/song_load.h"

using namespace qm;

namespace {

struct ByteWriter {
  std::vector<uint8_t> out;
  void u8(uint8_t v) { out.push_back(v); }
  void u16(uint16_t v) {
    u8(static_cast<uint8_t>(v));
    u8(static_cast<uint8_t>(v >> 8));
  }
  void u32(uint32_t v) {
    u16(static_cast<uint16_t>(v));
    u16(static_cast<uint16_t>(v >> 16));
  }
  // Text in a fixed-size field, cut or padded with zeros.
  void text(const std::string& s, size_t size) {
    for (size_t i = 0; i < size; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
  }
  void bytes(const std::vector<uint8_t>& b) { out.insert(out.end(), b.begin(), b.end()); }
};

// Writes the first `count` bytes of an image, padding with zeros beyond it.
void write_image(ByteWriter& w, const std::vector<uint8_t>& image, size_t count) {
  for (size_t i = 0; i < count; ++i) w.u8(i < image.size() ? image[i] : 0);
}

void write_cell(ByteWriter& w, const Cell& c, XmPacking packing) {
  const uint8_t fields[5] = {c.note, c.instrument, c.volume, c.effect, c.param};
  uint8_t mask = 0;
  for (int i = 0; i < 5; ++i)
    if (fields[i] != 0) mask |= static_cast<uint8_t>(1 << i);
  bool plain = packing == XmPacking::UNPACKED || (packing == XmPacking::FT2 && mask == 0x1F);
  if (plain) {
    for (uint8_t f : fields) w.u8(f);
    return;
  }
  w.u8(static_cast<uint8_t>(0x80 | mask));
  for (int i = 0; i < 5; ++i)
    if (mask & (1 << i)) w.u8(fields[i]);
}

void write_pattern(ByteWriter& w, const XmPattern& p, uint16_t channel_count, uint16_t version) {
  ByteWriter cells;
  if (!p.raw_cells.empty()) {
    cells.bytes(p.raw_cells);
  } else if (!p.cells.empty()) {
    size_t total = static_cast<size_t>(p.rows) * channel_count;
    for (size_t i = 0; i < total; ++i)
      write_cell(cells, i < p.cells.size() ? p.cells[i] : Cell{}, p.packing);
  }
  const bool one_byte_rows = version == 0x0102;
  w.u32(one_byte_rows && p.header_length == XM_STANDARD_PATTERN_HEADER_LENGTH ? 8 : p.header_length);
  w.u8(p.packing_type);
  if (one_byte_rows) {
    w.u8(static_cast<uint8_t>(p.rows - 1));
  } else {
    w.u16(p.rows);
  }
  w.u16(p.packed_size.value_or(static_cast<uint16_t>(cells.out.size())));
  w.bytes(cells.out);
}

std::vector<uint8_t> sample_data(const XmSample& s) {
  if (s.raw_data) return *s.raw_data;
  if (s.packed_deltas) return xm_pack_encode(s.pcm, *s.packed_deltas);
  return xm_delta_encode(s.pcm, (s.type & XM_SAMPLE_16BIT) != 0);
}

void write_sample_header(ByteWriter& w, const XmSample& s, size_t data_size) {
  const size_t length = s.packed_deltas && !s.raw_data ? s.pcm.size() : data_size;
  w.u32(s.length.value_or(static_cast<uint32_t>(length)));
  w.u32(s.loop_start);
  w.u32(s.loop_length);
  w.u8(s.volume);
  w.u8(static_cast<uint8_t>(s.finetune));
  w.u8(s.type);
  w.u8(s.panning);
  w.u8(static_cast<uint8_t>(s.relative_note));
  w.u8(s.packed_deltas ? uint8_t{0xAD} : s.reserved);
  w.text(s.name, 22);
}

// The 263-byte standard instrument header, size field included.
std::vector<uint8_t> instrument_header_image(const XmInstrument& ins, uint32_t size) {
  ByteWriter h;
  h.u32(size);
  h.text(ins.name, 22);
  h.u8(ins.type);
  h.u16(ins.sample_count.value_or(static_cast<uint16_t>(ins.samples.size())));
  h.u32(ins.sample_header_size);
  for (uint8_t m : ins.sample_map) h.u8(m);
  for (const EnvelopePoint& p : ins.volume_envelope) {
    h.u16(p.x);
    h.u16(p.y);
  }
  for (const EnvelopePoint& p : ins.panning_envelope) {
    h.u16(p.x);
    h.u16(p.y);
  }
  const uint8_t tail[] = {ins.volume_point_count,  ins.panning_point_count, ins.volume_sustain_point,
                          ins.volume_loop_start,   ins.volume_loop_end,     ins.panning_sustain_point,
                          ins.panning_loop_start,  ins.panning_loop_end,    ins.volume_flags,
                          ins.panning_flags,       ins.vibrato_type,        ins.vibrato_sweep,
                          ins.vibrato_depth,       ins.vibrato_rate};
  for (uint8_t b : tail) h.u8(b);
  h.u16(ins.fadeout);
  h.u16(0); // reserved
  h.out.resize(XM_STANDARD_INSTRUMENT_HEADER_SIZE, 0);
  return h.out;
}

// The instrument header and its sample headers; the data blocks go to `data`.
void write_instrument(ByteWriter& w, const XmInstrument& ins, ByteWriter& data) {
  uint32_t size = ins.header_size.value_or(XM_STANDARD_INSTRUMENT_HEADER_SIZE);
  uint32_t count = std::max<uint32_t>(4, ins.header_bytes.value_or(size));
  write_image(w, instrument_header_image(ins, size), count);
  std::vector<std::vector<uint8_t>> blocks;
  for (const XmSample& s : ins.samples) blocks.push_back(sample_data(s));
  for (size_t i = 0; i < ins.samples.size(); ++i) write_sample_header(w, ins.samples[i], blocks[i].size());
  for (const std::vector<uint8_t>& d : blocks) data.bytes(d);
}

// Offsets 60 .. 335 of a standard header: size field, counts, order table.
std::vector<uint8_t> module_header_image(const XmFile& f, uint32_t size) {
  ByteWriter h;
  h.u32(size);
  h.u16(f.song_length);
  h.u16(f.restart_position);
  h.u16(f.channel_count);
  h.u16(f.pattern_count.value_or(static_cast<uint16_t>(f.patterns.size())));
  h.u16(f.instrument_count.value_or(static_cast<uint16_t>(f.instruments.size())));
  h.u16(f.flags);
  h.u16(f.default_speed);
  h.u16(f.default_bpm);
  for (uint8_t o : f.order_table) h.u8(o);
  return h.out;
}

} // namespace

std::vector<uint8_t> xm_delta_encode(const std::vector<int32_t>& pcm, bool sixteen_bit) {
  ByteWriter w;
  int32_t previous = 0;
  for (int32_t v : pcm) {
    uint32_t delta = static_cast<uint32_t>(v) - static_cast<uint32_t>(previous);
    if (sixteen_bit) {
      w.u16(static_cast<uint16_t>(delta));
    } else {
      w.u8(static_cast<uint8_t>(delta));
    }
    previous = v;
  }
  return w.out;
}

std::vector<uint8_t> xm_pack_encode(const std::vector<int32_t>& pcm, const std::array<int8_t, 16>& deltas,
                                    std::vector<int32_t>* decoded) {
  ByteWriter w;
  for (int8_t d : deltas) w.u8(static_cast<uint8_t>(d));
  int32_t value = 0;  // as the decoder holds it: 8-bit, wrapping
  uint8_t pending = 0;
  for (size_t k = 0; k < pcm.size(); ++k) {
    int best = 0;
    for (int n = 1; n < 16; ++n) {
      auto error = [&](int i) { return std::abs(static_cast<int8_t>(value + deltas[static_cast<size_t>(i)]) - pcm[k]); };
      if (error(n) < error(best)) best = n;
    }
    value = static_cast<int8_t>(value + deltas[static_cast<size_t>(best)]);
    if (decoded != nullptr) decoded->push_back(value);
    if (k % 2 == 0) {
      pending = static_cast<uint8_t>(best);
    } else {
      w.u8(static_cast<uint8_t>(pending | (best << 4)));
    }
  }
  if (pcm.size() % 2 == 1) w.u8(pending);
  if (pcm.empty()) w.out.clear();  // an empty sample has no data block
  return w.out;
}

std::vector<uint8_t> write_xm(const XmFile& f) {
  ByteWriter w;
  w.text(f.magic, 17);
  w.text(f.song_name, 20);
  w.u8(f.marker);
  w.text(f.tracker_name, 20);
  w.u16(f.version);
  uint32_t size = f.header_size.value_or(XM_STANDARD_HEADER_SIZE);
  write_image(w, module_header_image(f, size), std::max<uint32_t>(4, f.header_bytes.value_or(size)));
  if (f.version >= 0x0104) {
    for (const XmPattern& p : f.patterns) write_pattern(w, p, f.channel_count, f.version);
    for (const XmInstrument& ins : f.instruments) {
      ByteWriter data;
      write_instrument(w, ins, data);
      w.bytes(data.out);
    }
  } else {  // the early layout: every sample's data after the patterns
    ByteWriter data;
    for (const XmInstrument& ins : f.instruments) write_instrument(w, ins, data);
    for (const XmPattern& p : f.patterns) write_pattern(w, p, f.channel_count, f.version);
    w.bytes(data.out);
  }
  w.bytes(f.trailing);
  if (f.truncate_at && *f.truncate_at < w.out.size()) w.out.resize(*f.truncate_at);
  return w.out;
}

Cell& xm_cell(XmPattern& pattern, uint16_t channel_count, int row, int channel) {
  size_t total = static_cast<size_t>(pattern.rows) * channel_count;
  if (pattern.cells.size() < total) pattern.cells.resize(total, Cell{});
  return pattern.cells[static_cast<size_t>(row) * channel_count + static_cast<size_t>(channel)];
}

// ---- temporary files ----

std::string write_temp_file(const std::vector<uint8_t>& bytes) {
  const char* dir = std::getenv("TMPDIR");
  std::string path = std::string(dir != nullptr && *dir != 0 ? dir : "/tmp") + "/qm_xm_XXXXXX";
  int fd = mkstemp(path.data());
  if (fd < 0) return std::string();
  size_t done = 0;
  while (done < bytes.size()) {
    ssize_t n = write(fd, bytes.data() + done, bytes.size() - done);
    if (n <= 0) break;
    done += static_cast<size_t>(n);
  }
  close(fd);
  if (done != bytes.size()) {
    std::remove(path.c_str());
    return std::string();
  }
  return path;
}

TempFile::~TempFile() {
  if (!path.empty()) std::remove(path.c_str());
}

Module* load_module_from_memory(const uint8_t* data, size_t size) {
  static const uint8_t empty_buffer[1] = {0};
  Module* module = nullptr;
  load_song_memory(data != nullptr ? data : empty_buffer, data != nullptr ? size : 0, &module, nullptr);
  return module;
}
