// make_fuzz_seeds.cpp: writes small well-formed XM modules into a folder as
// starting points for the XM fuzz targets. Each one exercises a different
// part of the loader and replayer (sample kinds and loops, envelopes, every
// effect, the volume column, pattern flow, the early layouts, packed samples
// and instruments of many samples), so that mutations start from files
// that get deep into the code instead of bouncing off the header checks.
// Usage: make_fuzz_seeds DIR
#include <cstdio>
#include <string>
#include <vector>

#include "tests/support/xm_writer.h"

using namespace qm;

namespace {

constexpr uint8_t NOTE_C4 = 49;
constexpr uint8_t NOTE_KEY_OFF = 97;
constexpr uint8_t EFFECT_COUNT = 36; // 0..9 and A..Z

// A short waveform: a saw of period frames, as plain values.
std::vector<int32_t> saw(int frames, int period, bool sixteen_bit) {
  std::vector<int32_t> pcm(static_cast<size_t>(frames));
  const int32_t top = sixteen_bit ? 30000 : 120;
  for (int i = 0; i < frames; ++i) pcm[static_cast<size_t>(i)] = -top + 2 * top * (i % period) / period;
  return pcm;
}

XmSample make_sample(uint8_t type, int frames, uint32_t loop_start, uint32_t loop_length) {
  const bool wide = (type & XM_SAMPLE_16BIT) != 0;
  XmSample s;
  s.pcm = saw(frames, 32, wide);
  s.type = type;
  s.loop_start = loop_start * (wide ? 2 : 1);
  s.loop_length = loop_length * (wide ? 2 : 1);
  return s;
}

// An instrument with one sample on every note; envelopes when asked.
XmInstrument make_instrument(XmSample sample, bool envelopes) {
  XmInstrument ins;
  ins.samples.push_back(std::move(sample));
  if (envelopes) {
    ins.volume_envelope[0] = {0, 64};
    ins.volume_envelope[1] = {8, 32};
    ins.volume_envelope[2] = {20, 48};
    ins.volume_envelope[3] = {40, 0};
    ins.volume_point_count = 4;
    ins.volume_sustain_point = 1;
    ins.volume_loop_start = 1;
    ins.volume_loop_end = 2;
    ins.volume_flags = 0x07;
    ins.panning_envelope[0] = {0, 0};
    ins.panning_envelope[1] = {16, 64};
    ins.panning_point_count = 2;
    ins.panning_flags = 0x01;
    ins.vibrato_type = 1;
    ins.vibrato_sweep = 4;
    ins.vibrato_depth = 8;
    ins.vibrato_rate = 20;
    ins.fadeout = 800;
  }
  return ins;
}

XmFile base_song(uint16_t channels) {
  XmFile f;
  f.channel_count = channels;
  f.patterns.resize(1);
  f.patterns[0].rows = 32;
  f.instruments.push_back(make_instrument(make_sample(XM_SAMPLE_FORWARD, 256, 64, 128), false));
  f.instruments.push_back(make_instrument(make_sample(XM_SAMPLE_PINGPONG | XM_SAMPLE_16BIT, 300, 20, 200), true));
  f.instruments.push_back(make_instrument(make_sample(0, 500, 0, 0), true));
  return f;
}

void put(XmFile& f, int row, int channel, Cell cell) {
  xm_cell(f.patterns[0], f.channel_count, row, channel) = cell;
}

// Notes on every channel, then each effect letter with a busy parameter.
XmFile effects_song(uint8_t first_effect, uint8_t last_effect, bool amiga) {
  XmFile f = base_song(4);
  if (amiga) f.flags = 0;
  for (int ch = 0; ch < 4; ++ch) put(f, 0, ch, {static_cast<uint8_t>(NOTE_C4 + 3 * ch), static_cast<uint8_t>(1 + ch % 3), 0, 0, 0});
  int row = 1;
  for (uint8_t e = first_effect; e <= last_effect && row < 32; ++e, ++row) {
    put(f, row, row % 4, {0, 0, 0, e, static_cast<uint8_t>(0x37 + 16 * (e % 5))});
    put(f, row, (row + 1) % 4, {static_cast<uint8_t>(NOTE_C4 + e % 12), 2, 0x40, e, 0x0F});
  }
  return f;
}

// Every volume-column command with notes, key-offs and instrument changes.
XmFile volume_column_song() {
  XmFile f = base_song(6);
  for (int row = 0; row < 32; ++row) {
    const uint8_t volume = static_cast<uint8_t>(0x10 + row * 7);
    const uint8_t note = row % 8 == 7 ? NOTE_KEY_OFF : static_cast<uint8_t>(NOTE_C4 - 12 + row);
    put(f, row, row % 6, {note, static_cast<uint8_t>(1 + row % 3), volume, 0, 0});
  }
  return f;
}

// Pattern flow: loops, jumps, breaks, delays and a restart position.
XmFile flow_song() {
  XmFile f = base_song(4);
  f.patterns.resize(3);
  for (XmPattern& p : f.patterns) p.rows = 16;
  f.song_length = 4;
  f.restart_position = 1;
  f.order_table = {0, 1, 2, 1};
  xm_cell(f.patterns[0], 4, 0, 0) = {NOTE_C4, 1, 0, 0, 0};
  xm_cell(f.patterns[0], 4, 2, 1) = {0, 0, 0, 0x0E, 0x60};      // E60 loop start
  xm_cell(f.patterns[0], 4, 5, 1) = {NOTE_C4 + 5, 2, 0, 0x0E, 0x62}; // E62 loop twice
  xm_cell(f.patterns[0], 4, 8, 2) = {0, 0, 0, 0x0E, 0xE2};      // EE2 pattern delay
  xm_cell(f.patterns[0], 4, 10, 3) = {NOTE_C4, 3, 0, 0x0E, 0xD3}; // ED3 note delay
  xm_cell(f.patterns[0], 4, 12, 0) = {0, 0, 0, 0x0D, 0x04};     // D04 break to row 4
  xm_cell(f.patterns[1], 4, 3, 0) = {0, 0, 0, 0x0F, 0x03};      // F03 speed
  xm_cell(f.patterns[1], 4, 6, 0) = {0, 0, 0, 0x0F, 0xA0};      // FA0 tempo
  xm_cell(f.patterns[1], 4, 9, 0) = {0, 0, 0, 0x0B, 0x02};      // B02 jump
  xm_cell(f.patterns[2], 4, 1, 2) = {NOTE_KEY_OFF, 0, 0, 0x14, 0x04}; // K04 key off
  xm_cell(f.patterns[2], 4, 4, 1) = {0, 0, 0, 0x10, 0x20};      // G20 global volume
  return f;
}

// A file that packs its cells in the other ways and carries extra bytes.
XmFile packing_song() {
  XmFile f = effects_song(0, 8, false);
  f.patterns[0].packing = XmPacking::UNPACKED;
  f.patterns.push_back(f.patterns[0]);
  f.patterns[1].packing = XmPacking::ALWAYS;
  f.song_length = 2;
  f.order_table = {0, 1};
  f.trailing = {1, 2, 3, 4};
  return f;
}

// Many channels playing at once, with instrument 2's long fadeout.
XmFile wide_song() {
  XmFile f = base_song(32);
  for (int row = 0; row < 32; row += 2)
    for (int ch = 0; ch < 32; ++ch)
      put(f, row, ch, {static_cast<uint8_t>(NOTE_C4 - 24 + ch + row), static_cast<uint8_t>(1 + (ch + row) % 3), 0, 0, 0});
  f.default_speed = 2;
  return f;
}

// The early layout of version (0x0102 or 0x0103): instruments with their
// sample headers first, the patterns, then every sample's data.
XmFile early_song(uint16_t version) {
  XmFile f = effects_song(0, 15, false);
  f.version = version;
  f.patterns.push_back(f.patterns[0]);
  f.patterns[1].rows = 256;
  f.song_length = 2;
  f.order_table = {0, 1};
  return f;
}

// Samples packed as 4-bit deltas (one looped, one 16-bit sample marked as
// packed but read plain) and an instrument of 20 samples across its keymap.
XmFile packed_and_many_song() {
  XmFile f = base_song(4);
  constexpr std::array<int8_t, 16> deltas = {0, 1, 2, 4, 8, 16, 32, 64, -1, -2, -4, -8, -16, -32, -64, -128};
  for (XmInstrument& ins : f.instruments) {
    XmSample& s = ins.samples[0];
    if ((s.type & XM_SAMPLE_16BIT) == 0) s.packed_deltas = deltas;
    else s.reserved = 0xAD;
  }
  XmInstrument many;
  for (int j = 0; j < 20; ++j) many.samples.push_back(make_sample(j % 2 ? XM_SAMPLE_FORWARD : 0, 40 + j, 4, 16));
  for (int n = 0; n < 96; ++n) many.sample_map[static_cast<size_t>(n)] = static_cast<uint8_t>(n % 20);
  f.instruments.push_back(many);
  for (int row = 0; row < 32; row += 2) put(f, row, row % 4, {static_cast<uint8_t>(NOTE_C4 - 12 + row), 4, 0, 0, 0});
  return f;
}

bool write(const std::string& dir, const char* name, const XmFile& f) {
  const std::vector<uint8_t> bytes = write_xm(f);
  const std::string path = dir + "/" + name;
  FILE* out = std::fopen(path.c_str(), "wb");
  if (out == nullptr) return false;
  const bool ok = std::fwrite(bytes.data(), 1, bytes.size(), out) == bytes.size();
  return std::fclose(out) == 0 && ok;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: make_fuzz_seeds DIR\n");
    return 2;
  }
  const std::string dir = argv[1];
  bool ok = write(dir, "seed-empty.xm", XmFile{.patterns = {XmPattern{}}}) &&
            write(dir, "seed-effects-0-F.xm", effects_song(0, 15, false)) &&
            write(dir, "seed-effects-G-Z.xm", effects_song(16, EFFECT_COUNT - 1, false)) &&
            write(dir, "seed-effects-amiga.xm", effects_song(0, EFFECT_COUNT - 1, true)) &&
            write(dir, "seed-volume-column.xm", volume_column_song()) &&
            write(dir, "seed-flow.xm", flow_song()) && write(dir, "seed-packing.xm", packing_song()) &&
            write(dir, "seed-wide.xm", wide_song()) && write(dir, "seed-early-1.02.xm", early_song(0x0102)) &&
            write(dir, "seed-early-1.03.xm", early_song(0x0103)) &&
            write(dir, "seed-packed-and-many.xm", packed_and_many_song());
  if (!ok) std::fprintf(stderr, "make_fuzz_seeds: cannot write into %s\n", dir.c_str());
  return ok ? 0 : 1;
}
