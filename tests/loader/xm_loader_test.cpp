// The XM loader on well-formed files built byte by byte: header, order table
// and pattern counting, cell decoding, instruments, samples and release.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>

#include "tests/loader/loader_test_util.h"
#include "tests/loader/module_invariants.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

TEST(XmLoader, HeaderFieldsAreMirrored) {
  XmFile f;
  f.song_length = 3;
  f.restart_position = 2;
  f.channel_count = 6;
  f.flags = 0;
  f.default_speed = 3;
  f.default_bpm = 150;
  f.order_table = {0, 1, 0};
  f.patterns.resize(2);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(module_invariant_error(m.get()), "");
  EXPECT_EQ(m->song_length, 3);
  EXPECT_EQ(m->restart_position, 2);
  EXPECT_EQ(m->channel_count, 6);
  EXPECT_EQ(m->flags, 0);
  EXPECT_EQ(m->default_speed, 3);
  EXPECT_EQ(m->default_bpm, 150);
  EXPECT_EQ(m->order_table[1], 1);
  EXPECT_EQ(m->initial_global_volume, 64);
  EXPECT_EQ(m->instrument_count, 0);
}

TEST(XmLoader, EveryMagicByteIsChecked) {
  XmFile f;
  f.patterns.resize(1);
  ASSERT_NE(load(f), nullptr);
  const std::string magic = "Extended Module: ";
  for (size_t i = 0; i < magic.size(); ++i) {
    XmFile broken = f;
    char c = magic[i];
    // Letters change case; the space, colon and the rest change to another byte.
    broken.magic[i] = std::isalpha(static_cast<unsigned char>(c)) ? static_cast<char>(c ^ 0x20) : 'x';
    EXPECT_EQ(load_result(write_xm(broken)).status, QM_ERROR_NOT_XM) << "byte " << i;
  }
  EXPECT_EQ(load_result(std::vector<uint8_t>(10, 'E')).status, QM_ERROR_NOT_XM);
  EXPECT_EQ(load_result(std::vector<uint8_t>()).status, QM_ERROR_NOT_XM);
}

TEST(XmLoader, MissingFileIsNull) {
  install_stdio_callbacks();
  EXPECT_EQ(load_module("/nonexistent/dir/none.xm"), nullptr);
  EXPECT_FALSE(free_module(static_cast<qm_song*>(nullptr)));
  free_song(nullptr);
}

TEST(XmLoader, ThroughARealFile) {
  XmFile f;
  f.patterns.resize(1);
  f.instruments.push_back(one_sample_instrument({5, -5}));
  ModulePtr m(load_module_from_bytes(write_xm(f)));
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->instruments[0].samples[0]->data[1], -5 * 256);
}

// The show's loader, through the file callbacks, keeps to the layout the
// original tracker wrote; the library's own loaders take the wider set.
TEST(XmLoader, TheShowsLoaderRefusesWhatOnlyTheWiderLoaderTakes) {
  XmFile early;
  early.version = 0x0102;
  XmFile many;
  XmInstrument big;
  big.samples.resize(17);
  many.instruments = {big};
  for (const XmFile& f : {early, many}) {
    const std::vector<uint8_t> bytes = write_xm(f);
    qm_song* wide = nullptr;
    ASSERT_EQ(qm_song_load_memory(bytes.data(), bytes.size(), &wide), QM_OK);
    qm_song_free(wide);
    install_stdio_callbacks();
    TempFile file(bytes);
    qm_load_error error{};
    EXPECT_EQ(load_module(file.path.c_str(), &error), nullptr);
    EXPECT_EQ(error.status, QM_ERROR_UNSUPPORTED) << error.detail;
  }
}

TEST(XmLoader, UsedPatternsCountOnlyTheSongsOrders) {
  XmFile f;
  f.song_length = 3;
  f.order_table = {0, 5, 1, 2};
  f.patterns.resize(3);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->used_pattern_count, 6);
  EXPECT_EQ(m->pattern_count, 6);
  for (int p = 3; p < 6; ++p) {
    EXPECT_EQ(m->patterns[p].row_count, 64);
    for (int c = 0; c < 64 * m->channel_count; ++c) EXPECT_EQ(m->patterns[p].cells[c].note, 0);
  }
  // An entry past the song length does not count as used, but still names
  // a pattern that exists.
  f.order_table[3] = 9;
  m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->used_pattern_count, 6);
  EXPECT_EQ(m->pattern_count, 10);
  EXPECT_EQ(m->patterns[9].row_count, 64);
  // More patterns in the file than the orders name: all are loaded.
  f.order_table = {};
  f.patterns.resize(7);
  f.patterns[6].rows = 5;
  m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->used_pattern_count, 1);
  EXPECT_EQ(m->pattern_count, 7);
  EXPECT_EQ(m->patterns[6].row_count, 5);
}

TEST(XmLoader, CellsPackedUnpackedAndPackedSizeZero) {
  XmFile f;
  f.channel_count = 2;
  XmPattern empty; // packed size 0: rows of empty cells, no cell bytes
  empty.rows = 32;
  XmPattern p;
  p.rows = 2;
  xm_cell(p, 2, 0, 0) = Cell{49, 1, 0x40, 0x0F, 0x06};
  xm_cell(p, 2, 0, 1) = Cell{0, 0, 0, 0x0C, 0x20};
  xm_cell(p, 2, 1, 1) = Cell{96, 128, 0x10, 0, 0};
  XmPattern u = p;
  u.packing = XmPacking::UNPACKED;
  XmPattern a = p;
  a.packing = XmPacking::ALWAYS;
  f.patterns = {empty, p, u, a};
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->patterns[0].row_count, 32);
  for (int c = 0; c < 64; ++c) EXPECT_EQ(m->patterns[0].cells[c].effect, 0);
  for (int i = 1; i <= 3; ++i) {
    ASSERT_EQ(m->patterns[i].row_count, 2);
    EXPECT_EQ(0, std::memcmp(m->patterns[i].cells, p.cells.data(), 4 * sizeof(Cell))) << "pattern " << i;
  }
}

TEST(XmLoader, CellBytes0x80And0x00) {
  XmFile f;
  f.channel_count = 1;
  XmPattern p;
  p.rows = 3;
  // 0x80: one byte, empty; 0x00: note 0 and four more bytes; then a packed effect.
  p.raw_cells = {0x80, 0x00, 0x02, 0x03, 0x04, 0x05, 0x98, 0x0A, 0x01};
  f.patterns = {p, XmPattern{}};
  f.patterns[1].rows = 1;
  f.patterns[1].raw_cells = {0x81, 0x30};
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  const Cell& c0 = cell_at(m.get(), 0, 0, 0);
  EXPECT_EQ(c0.note | c0.instrument | c0.volume | c0.effect | c0.param, 0);
  const Cell& c1 = cell_at(m.get(), 0, 1, 0);
  EXPECT_EQ(c1.note, 0);
  EXPECT_EQ(c1.instrument, 2);
  EXPECT_EQ(c1.volume, 3);
  EXPECT_EQ(c1.effect, 4);
  EXPECT_EQ(c1.param, 5);
  EXPECT_EQ(cell_at(m.get(), 0, 2, 0).effect, 0x0A);
  EXPECT_EQ(cell_at(m.get(), 0, 2, 0).param, 0x01);
  EXPECT_EQ(cell_at(m.get(), 1, 0, 0).note, 0x30); // the next pattern starts in step
}

TEST(XmLoader, KeyOffNoteAndInstrumentRange) {
  XmFile f;
  f.channel_count = 1;
  XmPattern p;
  p.rows = 6;
  const uint8_t notes[] = {97, 1, 96, 98, 0, 0};
  const uint8_t instruments[] = {0, 1, 128, 129, 200, 255};
  for (int r = 0; r < 6; ++r) xm_cell(p, 1, r, 0) = Cell{notes[r], instruments[r], 0, 0, 0};
  f.patterns.push_back(p);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  const uint8_t want_notes[] = {255, 1, 96, 98, 0, 0};
  const uint8_t want_instruments[] = {0, 1, 128, 0, 0, 0};
  for (int r = 0; r < 6; ++r) {
    EXPECT_EQ(cell_at(m.get(), 0, r, 0).note, want_notes[r]) << "row " << r;
    EXPECT_EQ(cell_at(m.get(), 0, r, 0).instrument, want_instruments[r]) << "row " << r;
  }
}

XmInstrument rich_instrument() {
  XmInstrument ins = one_sample_instrument({1, 2, 3});
  ins.sample_map.fill(0);
  ins.sample_map[40] = 1;
  ins.samples.push_back(ins.samples[0]);
  ins.volume_envelope[0] = {0, 64};
  ins.volume_envelope[1] = {10, 32};
  ins.volume_envelope[2] = {20, 0};
  ins.panning_envelope[0] = {0, 32};
  ins.volume_point_count = 3;
  ins.panning_point_count = 1;
  ins.volume_sustain_point = 1;
  ins.volume_loop_start = 0;
  ins.volume_loop_end = 2;
  ins.volume_flags = ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP;
  ins.panning_flags = ENVELOPE_ON;
  ins.vibrato_type = 1;
  ins.vibrato_sweep = 2;
  ins.vibrato_depth = 3;
  ins.vibrato_rate = 4;
  ins.fadeout = 300;
  return ins;
}

TEST(XmLoader, InstrumentFields) {
  XmFile f;
  f.instruments.push_back(rich_instrument());
  XmInstrument wrap = rich_instrument();
  wrap.fadeout = 0x8001; // doubled in 16 bits
  wrap.volume_point_count = 0;
  wrap.panning_point_count = 2;
  f.instruments.push_back(wrap);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(module_invariant_error(m.get()), "");
  const Instrument& a = m->instruments[0];
  EXPECT_EQ(a.sample_count, 2);
  EXPECT_EQ(a.sample_map[40], 1);
  EXPECT_EQ(a.volume_envelope[1].x, 10);
  EXPECT_EQ(a.volume_envelope[1].y, 32);
  EXPECT_EQ(a.volume_point_count, 3);
  EXPECT_EQ(a.volume_sustain_point, 1);
  EXPECT_EQ(a.volume_loop_end, 2);
  EXPECT_EQ(a.volume_flags, ENVELOPE_ON | ENVELOPE_SUSTAIN | ENVELOPE_LOOP);
  EXPECT_EQ(a.panning_flags, 0); // one point: forced off
  EXPECT_EQ(a.vibrato_type, 1);
  EXPECT_EQ(a.vibrato_sweep, 2);
  EXPECT_EQ(a.vibrato_depth, 3);
  EXPECT_EQ(a.vibrato_rate, 4);
  EXPECT_EQ(a.fadeout, 600);
  const Instrument& b = m->instruments[1];
  EXPECT_EQ(b.fadeout, 2);
  EXPECT_EQ(b.volume_flags, 0); // no points: forced off
  EXPECT_EQ(b.panning_flags, ENVELOPE_ON);
}

TEST(XmLoader, ZeroSamplesIgnoreTheRestOfTheHeader) {
  XmFile f;
  XmInstrument empty = rich_instrument(); // map, envelopes and fadeout are in the bytes
  empty.samples.clear();
  empty.header_size = 300;                // and 37 bytes beyond the standard header
  f.instruments.push_back(empty);
  f.instruments.push_back(one_sample_instrument({7, 8}));
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  const Instrument& e = m->instruments[0];
  EXPECT_EQ(e.sample_count, 0);
  EXPECT_EQ(e.samples, nullptr);
  EXPECT_EQ(e.sample_map[40], 0);
  EXPECT_EQ(e.volume_point_count, 0);
  EXPECT_EQ(e.volume_flags, 0);
  EXPECT_EQ(e.fadeout, 0);
  const Sample* s = m->instruments[1].samples[0];
  ASSERT_EQ(s->length, 2u);
  EXPECT_EQ(s->data[0], 7 * 256);
  EXPECT_EQ(s->data[1], 8 * 256);
}

TEST(XmLoader, SampleHeaderFieldsAndLoopKinds) {
  XmFile f;
  XmInstrument ins;
  XmSample s;
  s.pcm.assign(10, 0);
  s.volume = 40;
  s.finetune = -16;
  s.panning = 200;
  s.relative_note = -12;
  // no loop bits, loop fields set: no loop
  s.loop_start = 2;
  s.loop_length = 4;
  ins.samples.push_back(s);
  s.type = XM_SAMPLE_FORWARD; // loop length 0: no loop
  s.loop_length = 0;
  ins.samples.push_back(s);
  s.type = XM_SAMPLE_FORWARD | XM_SAMPLE_PINGPONG; // both bits: ping-pong
  s.loop_length = 4;
  ins.samples.push_back(s);
  s.type = XM_SAMPLE_FORWARD | XM_SAMPLE_16BIT; // 16-bit: bytes become frames
  s.loop_start = 4;
  s.loop_length = 9;
  ins.samples.push_back(s);
  f.instruments.push_back(ins);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  const Instrument& i = m->instruments[0];
  EXPECT_EQ(i.samples[0]->volume, 40);
  EXPECT_EQ(i.samples[0]->finetune, -16);
  EXPECT_EQ(i.samples[0]->panning, 200);
  EXPECT_EQ(i.samples[0]->relative_note, -12);
  for (int j = 0; j < 2; ++j) {
    EXPECT_EQ(i.samples[j]->loop_type, LOOP_NONE) << j;
    EXPECT_EQ(i.samples[j]->loop_start, 0u) << j;
    EXPECT_EQ(i.samples[j]->loop_length, 10u) << j;
  }
  EXPECT_EQ(i.samples[2]->loop_type, LOOP_PINGPONG);
  EXPECT_EQ(i.samples[2]->loop_start, 2u);
  EXPECT_EQ(i.samples[2]->loop_length, 4u);
  EXPECT_EQ(i.samples[3]->loop_type, LOOP_FORWARD);
  EXPECT_EQ(i.samples[3]->length, 10u);
  EXPECT_EQ(i.samples[3]->loop_start, 2u);
  EXPECT_EQ(i.samples[3]->loop_length, 4u);
  EXPECT_EQ(i.samples[3]->bits, 16);
}

TEST(XmLoader, DeltaDecoding8And16Bit) {
  XmFile f;
  XmInstrument ins;
  XmSample s8;
  s8.raw_data = std::vector<uint8_t>{0x01, 0x01, 0xFE};
  ins.samples.push_back(s8);
  XmSample w8;
  w8.pcm = {127, -128, 0, 100, -1};
  ins.samples.push_back(w8);
  XmSample s16;
  s16.type = XM_SAMPLE_16BIT;
  s16.pcm = {32767, -32768, 0, 12345, -1};
  ins.samples.push_back(s16);
  f.instruments.push_back(ins);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  const Instrument& i = m->instruments[0];
  const int16_t* d = i.samples[0]->data;
  EXPECT_EQ(d[0], 256);
  EXPECT_EQ(d[1], 512);
  EXPECT_EQ(d[2], 0);
  EXPECT_EQ(i.samples[0]->bits, 16);
  for (size_t k = 0; k < w8.pcm.size(); ++k) EXPECT_EQ(i.samples[1]->data[k], w8.pcm[k] * 256) << k;
  for (size_t k = 0; k < s16.pcm.size(); ++k) EXPECT_EQ(i.samples[2]->data[k], s16.pcm[k]) << k;
}

TEST(XmLoader, SixteenBitOddByteLengthDropsTheHalfFrame) {
  XmFile f;
  XmInstrument ins;
  XmSample odd;
  odd.type = XM_SAMPLE_16BIT;
  std::vector<int32_t> pcm(500, 0);
  for (int k = 0; k < 500; ++k) pcm[k] = k * 3;
  std::vector<uint8_t> raw = xm_delta_encode(pcm, true);
  raw.push_back(0x55); // the odd byte is not part of any frame...
  odd.raw_data = raw;
  ins.samples.push_back(odd);
  XmSample next;
  next.pcm = {0x12};
  ins.samples.push_back(next);
  f.instruments.push_back(ins);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  const Sample* s = m->instruments[0].samples[0];
  ASSERT_EQ(s->length, 500u);
  EXPECT_EQ(s->data[499], 499 * 3);
  // ...so the next block starts at it: 1000 bytes were consumed, not 1001.
  EXPECT_EQ(m->instruments[0].samples[1]->data[0], 0x55 * 256);
}

TEST(XmLoader, LeadSpareAndGuardFrames) {
  XmFile f;
  XmInstrument ins;
  XmSample s;
  s.pcm = {10, 20, 30, 40, 50, 60, 70, 80};
  s.loop_start = 2;
  s.loop_length = 3;
  s.type = XM_SAMPLE_FORWARD;
  ins.samples.push_back(s);
  s.type = XM_SAMPLE_PINGPONG;
  ins.samples.push_back(s);
  s.type = 0;
  ins.samples.push_back(s);
  s.type = XM_SAMPLE_FORWARD; // loop up to the very end: guard in the spare frames
  s.loop_start = 5;
  ins.samples.push_back(s);
  f.instruments.push_back(ins);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  const Instrument& i = m->instruments[0];
  EXPECT_EQ(i.samples[0]->data[5], 30 * 256);
  EXPECT_EQ(i.samples[1]->data[5], 50 * 256);
  EXPECT_EQ(i.samples[2]->data[5], 60 * 256);
  EXPECT_EQ(i.samples[3]->data[8], 60 * 256);
  for (int j = 0; j < 4; ++j) {
    const int16_t* d = i.samples[j]->data;
    for (int k = 1; k <= static_cast<int>(SAMPLE_LEAD_FRAMES); ++k) EXPECT_EQ(d[-k], 0);
    for (uint32_t k = (j == 3 ? 9 : 8); k < 8 + SAMPLE_SPARE_FRAMES; ++k) EXPECT_EQ(d[k], 0) << j << " " << k;
  }
}

} // namespace

namespace {

// Trackers that store only the song's orders end the header inside the order
// table; the first pattern's bytes are not taken as further orders.
TEST(XmLoader, ShortHeaderHoldsOnlyTheSongsOrders) {
  XmFile f;
  f.channel_count = 1;
  f.song_length = 2;
  f.order_table = {1, 0};
  f.header_size = 20 + 2;
  XmPattern p;
  p.rows = 1;
  p.raw_cells = {0x83, 0x31, 0x01};
  f.patterns = {p, p};
  f.patterns[0].header_length = 0xFFFFFFFF; // bytes that would be orders 2..5
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->order_table[0], 1);
  for (int i = 2; i < ORDER_TABLE_SIZE; ++i) EXPECT_EQ(m->order_table[i], 0) << i;
  EXPECT_EQ(m->pattern_count, 2);
  EXPECT_EQ(cell_at(m.get(), 1, 0, 0).note, 0x31);
}

} // namespace
