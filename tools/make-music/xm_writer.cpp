// xm_writer.cpp: serialises an XmSong into Extended Module bytes.
// Owns: nothing global. Thread: any.
// Layout written: 60-byte preamble, a 276-byte header (order table of 256),
// patterns with 9-byte headers and packed cells, instruments with 263-byte
// headers, 40-byte sample headers and delta-coded data. Little-endian.
#include "xm_writer.h"

constexpr uint32_t HEADER_SIZE = 276; // from offset 60, order table included
constexpr uint32_t INSTRUMENT_HEADER = 263;
constexpr uint32_t SAMPLE_HEADER = 40;
constexpr uint16_t FLAG_LINEAR = 0x0001;
constexpr uint8_t TYPE_16BIT = 0x10;
// Packed-cell mask bits: which fields follow the mask byte.
constexpr uint8_t PACKED = 0x80;
constexpr uint8_t HAS_NOTE = 0x01, HAS_INSTRUMENT = 0x02, HAS_VOLUME = 0x04;
constexpr uint8_t HAS_EFFECT = 0x08, HAS_PARAM = 0x10;

namespace {

struct Bytes {
  std::vector<uint8_t> data;
  void u8(uint32_t v) { data.push_back(static_cast<uint8_t>(v)); }
  void u16(uint32_t v) { u8(v & 0xFF); u8((v >> 8) & 0xFF); }
  void u32(uint32_t v) { u16(v & 0xFFFF); u16(v >> 16); }
  void text(const std::string& s, size_t width) {
    for (size_t i = 0; i < width; ++i) u8(i < s.size() ? static_cast<uint8_t>(s[i]) : 0);
  }
  void zeros(size_t n) { data.insert(data.end(), n, 0); }
};

void write_cell(Bytes& out, const XmCell& c) {
  uint8_t mask = PACKED;
  if (c.note) mask |= HAS_NOTE;
  if (c.instrument) mask |= HAS_INSTRUMENT;
  if (c.volume) mask |= HAS_VOLUME;
  if (c.effect) mask |= HAS_EFFECT;
  if (c.param) mask |= HAS_PARAM;
  if (mask == (PACKED | 0x1F)) { // all five present: the plain form is as short
    out.u8(c.note); out.u8(c.instrument); out.u8(c.volume); out.u8(c.effect); out.u8(c.param);
    return;
  }
  out.u8(mask);
  if (c.note) out.u8(c.note);
  if (c.instrument) out.u8(c.instrument);
  if (c.volume) out.u8(c.volume);
  if (c.effect) out.u8(c.effect);
  if (c.param) out.u8(c.param);
}

void write_pattern(Bytes& out, const XmPattern& p) {
  Bytes packed;
  for (const XmCell& c : p.cells) write_cell(packed, c);
  out.u32(9);
  out.u8(0);
  out.u16(static_cast<uint32_t>(p.rows));
  out.u16(static_cast<uint32_t>(packed.data.size()));
  out.data.insert(out.data.end(), packed.data.begin(), packed.data.end());
}

void write_envelope_points(Bytes& out, const XmEnvelope& e) {
  for (int i = 0; i < 12; ++i) {
    out.u16(i < e.point_count ? e.x[i] : 0);
    out.u16(i < e.point_count ? e.y[i] : 0);
  }
}

void write_sample_header(Bytes& out, const XmSample& s) {
  uint32_t unit = s.sixteen_bit ? 2 : 1;
  out.u32(static_cast<uint32_t>(s.frames.size()) * unit);
  out.u32(s.loop ? s.loop_start * unit : 0);
  out.u32(s.loop ? s.loop_length * unit : 0);
  out.u8(s.volume);
  out.u8(static_cast<uint8_t>(s.finetune));
  out.u8(s.loop | (s.sixteen_bit ? TYPE_16BIT : 0));
  out.u8(s.panning);
  out.u8(static_cast<uint8_t>(s.relative_note));
  out.u8(0);
  out.text(s.name, 22);
}

void write_sample_data(Bytes& out, const XmSample& s) {
  int32_t previous = 0;
  for (int16_t frame : s.frames) {
    int32_t delta = frame - previous;
    previous = frame;
    if (s.sixteen_bit) {
      out.u16(static_cast<uint32_t>(delta) & 0xFFFF);
    } else {
      out.u8(static_cast<uint32_t>(delta) & 0xFF);
    }
  }
}

void write_instrument(Bytes& out, const XmInstrument& ins) {
  size_t start = out.data.size();
  out.u32(INSTRUMENT_HEADER);
  out.text(ins.name, 22);
  out.u8(0);
  out.u16(static_cast<uint32_t>(ins.samples.size()));
  out.u32(SAMPLE_HEADER);
  for (uint8_t s : ins.sample_map) out.u8(s);
  write_envelope_points(out, ins.volume_envelope);
  write_envelope_points(out, ins.panning_envelope);
  const XmEnvelope& v = ins.volume_envelope;
  const XmEnvelope& p = ins.panning_envelope;
  out.u8(static_cast<uint32_t>(v.point_count));
  out.u8(static_cast<uint32_t>(p.point_count));
  out.u8(v.sustain); out.u8(v.loop_start); out.u8(v.loop_end);
  out.u8(p.sustain); out.u8(p.loop_start); out.u8(p.loop_end);
  out.u8(v.flags); out.u8(p.flags);
  out.u8(ins.vibrato_type); out.u8(ins.vibrato_sweep);
  out.u8(ins.vibrato_depth); out.u8(ins.vibrato_rate);
  out.u16(ins.fadeout);
  out.zeros(start + INSTRUMENT_HEADER - out.data.size()); // reserved rest of the header
  for (const XmSample& s : ins.samples) write_sample_header(out, s);
  for (const XmSample& s : ins.samples) write_sample_data(out, s);
}

} // namespace

XmPattern make_pattern(int rows, int channels) {
  XmPattern p;
  p.rows = rows;
  p.cells.assign(static_cast<size_t>(rows * channels), XmCell{0, 0, 0, 0, 0});
  return p;
}

std::vector<uint8_t> write_xm(const XmSong& song) {
  Bytes out;
  out.text("Extended Module: ", 17);
  out.text(song.name, 20);
  out.u8(0x1A);
  out.text("make-music", 20);
  out.u16(0x0104);
  out.u32(HEADER_SIZE);
  out.u16(static_cast<uint32_t>(song.orders.size()));
  out.u16(static_cast<uint32_t>(song.restart_position));
  out.u16(static_cast<uint32_t>(song.channels));
  out.u16(static_cast<uint32_t>(song.patterns.size()));
  out.u16(static_cast<uint32_t>(song.instruments.size()));
  out.u16(FLAG_LINEAR);
  out.u16(static_cast<uint32_t>(song.default_speed));
  out.u16(static_cast<uint32_t>(song.default_bpm));
  for (size_t i = 0; i < 256; ++i) out.u8(i < song.orders.size() ? song.orders[i] : 0);
  for (const XmPattern& p : song.patterns) write_pattern(out, p);
  for (const XmInstrument& ins : song.instruments) write_instrument(out, ins);
  return out.data;
}
