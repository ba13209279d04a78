// The XM loader on broken files: each value a well-formed file never holds
// is limited or refused, truncated bytes read as 0, and what follows a broken
// part is still read in step.
#include <gtest/gtest.h>

#include <cstring>

#include "music/song_load.h"
#include "tests/loader/loader_test_util.h"
#include "tests/loader/module_invariants.h"
#include "tests/loader/mutate.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

XmFile one_pattern_song(uint16_t channels) {
  XmFile f;
  f.channel_count = channels;
  f.patterns.resize(1);
  return f;
}

// No channels: no cell bytes are read; one silent channel gives every row storage.
TEST(XmHostile, ChannelCountZeroLoadsOneSilentChannel) {
  XmFile f = one_pattern_song(0);
  f.patterns[0].rows = 2;
  f.patterns[0].packed_size = 1;
  f.instruments.push_back(one_sample_instrument({4}));
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(module_invariant_error(m.get()), "");
  EXPECT_EQ(m->channel_count, 1);
  EXPECT_EQ(cell_at(m.get(), 0, 1, 0).note, 0);
  EXPECT_EQ(m->instruments[0].samples[0]->data[0], 4 * 256);
}

TEST(XmHostile, ChannelsAbove32KeepTheFirst32InStep) {
  XmFile f = one_pattern_song(40);
  XmPattern& p = f.patterns[0];
  p.rows = 2;
  xm_cell(p, 40, 0, 31) = Cell{31, 1, 0, 0, 0};
  xm_cell(p, 40, 0, 39) = Cell{39, 2, 0, 0, 0};
  xm_cell(p, 40, 1, 0) = Cell{1, 3, 0, 0, 0};
  XmPattern q;
  q.rows = 1;
  xm_cell(q, 40, 0, 5) = Cell{5, 5, 0, 0, 0};
  f.patterns.push_back(q);
  f.instruments.push_back(one_sample_instrument({9}));
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(module_invariant_error(m.get()), "");
  EXPECT_EQ(m->channel_count, 32);
  EXPECT_EQ(cell_at(m.get(), 0, 0, 31).note, 31);
  EXPECT_EQ(cell_at(m.get(), 0, 1, 0).note, 1);
  EXPECT_EQ(cell_at(m.get(), 1, 0, 5).note, 5);
  EXPECT_EQ(m->instruments[0].samples[0]->data[0], 9 * 256);
}

TEST(XmHostile, SongLengthAndRestartStayInsideTheOrderTable) {
  XmFile f = one_pattern_song(2);
  f.song_length = 300;
  f.restart_position = 299;
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->song_length, 256);
  EXPECT_EQ(m->restart_position, 0);
  f.song_length = 4;
  f.restart_position = 3;
  m = load(f);
  EXPECT_EQ(m->restart_position, 3);
  f.restart_position = 4;
  m = load(f);
  EXPECT_EQ(m->restart_position, 0);
  f.song_length = 0; // nothing used, but order 0 still names a pattern
  m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->used_pattern_count, 0);
  EXPECT_EQ(module_invariant_error(m.get()), "");
}

TEST(XmHostile, RowCountsLimitedAndReadInStep) {
  XmFile f = one_pattern_song(1);
  f.patterns[0].rows = 0;
  XmPattern tall;
  tall.rows = 300;
  xm_cell(tall, 1, 255, 0) = Cell{2, 0, 0, 0, 0};
  xm_cell(tall, 1, 299, 0) = Cell{3, 0, 0, 0, 0};
  XmPattern after;
  after.rows = 1;
  xm_cell(after, 1, 0, 0) = Cell{4, 0, 0, 0, 0};
  f.patterns.push_back(tall);
  f.patterns.push_back(after);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(module_invariant_error(m.get()), "");
  EXPECT_EQ(m->patterns[0].row_count, 64);
  EXPECT_EQ(m->patterns[1].row_count, 256);
  EXPECT_EQ(cell_at(m.get(), 1, 255, 0).note, 2);
  EXPECT_EQ(cell_at(m.get(), 2, 0, 0).note, 4);
}

TEST(XmHostile, PatternsBeyond255AreReadPastNotKept) {
  XmFile f = one_pattern_song(2);
  f.patterns.resize(300);
  f.patterns[299].rows = 1;
  f.patterns[299].raw_cells = {0x81, 0x11, 0x81, 0x22};
  f.instruments.push_back(one_sample_instrument({3}));
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->pattern_count, 256);
  EXPECT_EQ(m->instruments[0].samples[0]->data[0], 3 * 256);
}

TEST(XmHostile, InstrumentsBeyond128AreNotRead) {
  XmFile f = one_pattern_song(2);
  for (int i = 0; i < 130; ++i) f.instruments.push_back(one_sample_instrument({i}));
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  ASSERT_EQ(m->instrument_count, 128);
  EXPECT_EQ(m->instruments[127].samples[0]->data[0], 127 * 256);
}

TEST(XmHostile, ShortInstrumentHeaderReadsNoFieldBeyondItsSize) {
  XmFile f = one_pattern_song(2);
  XmInstrument shortened = one_sample_instrument({6, 7});
  shortened.sample_map.fill(3);
  shortened.volume_point_count = 2;
  shortened.volume_flags = ENVELOPE_ON;
  shortened.fadeout = 100;
  shortened.header_size = 129; // holds the sample map, not the envelopes
  f.instruments.push_back(shortened);
  XmInstrument tiny = one_sample_instrument({1});
  tiny.header_size = 0; // counts as the size field alone: no sample count, no samples
  f.instruments.push_back(tiny);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  const Instrument& a = m->instruments[0];
  EXPECT_EQ(a.sample_map[95], 3);
  EXPECT_EQ(a.volume_point_count, 0);
  EXPECT_EQ(a.volume_flags, 0);
  EXPECT_EQ(a.fadeout, 0);
  ASSERT_EQ(a.samples[0]->length, 2u);
  EXPECT_EQ(a.samples[0]->data[1], 7 * 256);
  EXPECT_EQ(m->instruments[1].sample_count, 0);
}

TEST(XmHostile, EnvelopeCountsAndPointsStayInsideTheTables) {
  XmFile f = one_pattern_song(2);
  XmInstrument ins = one_sample_instrument({1});
  ins.volume_point_count = 40;
  ins.panning_point_count = 13;
  ins.volume_sustain_point = 200;
  ins.volume_loop_start = 12;
  ins.volume_loop_end = 11;
  ins.panning_loop_end = 255;
  f.instruments.push_back(ins);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(module_invariant_error(m.get()), "");
  EXPECT_EQ(m->instruments[0].volume_point_count, 12);
  EXPECT_EQ(m->instruments[0].volume_loop_end, 11);
  EXPECT_EQ(m->instruments[0].panning_loop_end, 11);
}

TEST(XmHostile, LoopsPastTheEndAreCut) {
  XmFile f = one_pattern_song(2);
  XmInstrument ins;
  XmSample s;
  s.pcm = {1, 2, 3, 4, 5, 6, 7, 8};
  s.type = XM_SAMPLE_FORWARD;
  s.loop_start = 6;
  s.loop_length = 0xFFFFFFF0u; // would wrap a 32-bit loop end
  ins.samples.push_back(s);
  s.loop_start = 8;
  s.loop_length = 4;
  ins.samples.push_back(s);
  s.type = XM_SAMPLE_PINGPONG;
  s.loop_start = 0xFFFFFFFFu;
  ins.samples.push_back(s);
  s.volume = 200;
  s.type = 0;
  ins.samples.push_back(s);
  f.instruments.push_back(ins);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(module_invariant_error(m.get()), "");
  const Instrument& i = m->instruments[0];
  EXPECT_EQ(i.samples[0]->loop_type, LOOP_FORWARD);
  EXPECT_EQ(i.samples[0]->loop_start, 6u);
  EXPECT_EQ(i.samples[0]->loop_length, 2u);
  EXPECT_EQ(i.samples[0]->data[8], 7 * 256); // guard in the spare frames
  EXPECT_EQ(i.samples[1]->loop_type, LOOP_NONE);
  EXPECT_EQ(i.samples[2]->loop_type, LOOP_NONE);
  EXPECT_EQ(i.samples[2]->loop_length, 8u);
  EXPECT_EQ(i.samples[3]->volume, 64);
}

TEST(XmHostile, SampleLengthsBeyondTheFileAreCutToTheData) {
  XmFile f = one_pattern_song(2);
  XmInstrument ins;
  XmSample s;
  s.pcm = {1, 2, 3};
  s.length = 0x7FFFFFFFu;
  s.type = XM_SAMPLE_FORWARD;
  s.loop_length = 0x7FFFFFF0u;
  ins.samples.push_back(s);
  f.instruments.push_back(ins);
  ModulePtr m = load(f);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(module_invariant_error(m.get()), "");
  const Sample* a = m->instruments[0].samples[0];
  EXPECT_EQ(a->length, 3u);
  EXPECT_EQ(a->data[2], 3 * 256);
  EXPECT_EQ(a->loop_length, 3u);
  // 16-bit data cut after an odd number of bytes: whole frames only.
  f.instruments[0].samples[0].type = XM_SAMPLE_16BIT;
  f.instruments[0].samples[0].pcm = {100, 200, 300};
  f.trailing.clear();
  std::vector<uint8_t> bytes = write_xm(f);
  bytes.pop_back();
  m = load(bytes);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(m->instruments[0].samples[0]->length, 2u);
  EXPECT_EQ(m->instruments[0].samples[0]->data[1], 200);
}

XmFile rich_song() {
  XmFile f;
  f.channel_count = 3;
  f.song_length = 4;
  f.order_table = {0, 1, 2, 1};
  for (int i = 0; i < 3; ++i) {
    XmPattern p;
    p.rows = static_cast<uint16_t>(4 + i);
    p.packing = i == 1 ? XmPacking::UNPACKED : XmPacking::FT2;
    for (int r = 0; r < p.rows; ++r) xm_cell(p, 3, r, r % 3) = Cell{static_cast<uint8_t>(r + 1), 1, 0x20, 0x0A, 0x0F};
    f.patterns.push_back(p);
  }
  XmInstrument a = one_sample_instrument({1, -2, 3, -4, 5, -6}, XM_SAMPLE_FORWARD);
  a.samples[0].loop_start = 1;
  a.samples[0].loop_length = 4;
  a.volume_point_count = 2;
  a.volume_envelope[1] = {16, 64};
  a.volume_flags = ENVELOPE_ON;
  XmInstrument b = one_sample_instrument({1000, -1000, 2000, 0}, XM_SAMPLE_16BIT | XM_SAMPLE_PINGPONG);
  b.samples[0].loop_length = 8;
  b.samples.push_back(a.samples[0]);
  b.sample_map[60] = 1;
  f.instruments = {a, XmInstrument{}, b};
  return f;
}

// Cut at every length: a cut inside the module header is refused as
// incomplete; every longer cut loads with its invariants intact.
TEST(XmHostile, EveryTruncationLoadsCleanly) {
  std::vector<uint8_t> bytes = write_xm(rich_song());
  constexpr size_t HEADER_END = 336;
  for (size_t cut = 1; cut <= bytes.size(); ++cut) {
    Module* raw = nullptr;
    qm_load_error error{};
    qm_status status = load_song_memory(bytes.data(), cut, &raw, &error);
    ModulePtr m(raw);
    if (cut < HEADER_END) {
      ASSERT_EQ(status, QM_ERROR_HEADER_INCOMPLETE) << "cut at " << cut;
      continue;
    }
    ASSERT_EQ(status, QM_OK) << "cut at " << cut << ": " << error.detail;
    ASSERT_EQ(module_invariant_error(m.get()), "") << "cut at " << cut;
  }
}

// Callbacks whose file claims more bytes than it has and whose reads fill
// the whole destination with junk before reporting a short count.
const std::vector<uint8_t>* lying_file = nullptr;
size_t lying_pos = 0;
void* lying_open(const char*) { return &lying_pos; }
int lying_close(void*) { return 0; }
int32_t lying_read(void* dst, int32_t length, void*) {
  std::memset(dst, 0xAA, static_cast<size_t>(length));
  size_t n = lying_pos < lying_file->size() ? std::min<size_t>(length, lying_file->size() - lying_pos) : 0;
  std::memcpy(dst, lying_file->data() + lying_pos, n);
  lying_pos += n;
  return static_cast<int32_t>(n);
}
int lying_seek(void*, int32_t offset, int32_t whence) {
  lying_pos = whence == 0 ? offset : whence == 1 ? lying_pos + offset : lying_file->size() + 100000 + offset;
  return 0;
}
int32_t lying_tell(void*) { return static_cast<int32_t>(lying_pos); }

TEST(XmHostile, ShortReadsNeverLeaveStaleBytes) {
  XmFile f = rich_song();
  f.order_table[200] = 0;
  std::vector<uint8_t> bytes = write_xm(f);
  for (size_t cut : {size_t{340}, bytes.size() - 3}) {
    std::vector<uint8_t> part(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut));
    lying_file = &part;
    lying_pos = 0;
    set_file_callbacks(lying_open, lying_close, lying_read, lying_seek, lying_tell);
    ModulePtr m(as_module(load_module("lying")));
    ASSERT_NE(m, nullptr) << cut;
    EXPECT_EQ(module_invariant_error(m.get()), "");
    EXPECT_EQ(m->order_table[200], 0);
    if (cut == 340) {
      EXPECT_EQ(m->patterns[0].row_count, 64); // pattern header read as zeros
    }
    if (cut > 340) {
      const Sample* last = m->instruments[2].samples[1];
      EXPECT_EQ(last->length, 3u); // six frames declared, three in the file
      EXPECT_EQ(last->data[last->length], last->data[1]); // guard of the cut loop 1..2
      EXPECT_EQ(last->data[last->length + 1], 0);
    }
  }
}

// Counts that promise far more than the file holds: loading stays quick and
// allocates about what the file holds (the cell storage of 256 patterns at
// most, plus the sample data present).
TEST(XmHostile, HugeCountsInATinyFile) {
  XmFile f;
  f.channel_count = 0xFFFF;
  f.pattern_count = 0xFFFF;
  f.instrument_count = 0xFFFF;
  f.song_length = 0xFFFF;
  f.order_table.fill(255);
  XmPattern p;
  p.rows = 0xFFFF;
  p.packed_size = 0xFFFF;
  p.raw_cells = {0x80, 0x80, 0x00, 0x01};
  f.patterns.push_back(p);
  std::vector<uint8_t> bytes = write_xm(f);
  ModulePtr m = load(bytes);
  ASSERT_NE(m, nullptr);
  EXPECT_EQ(module_invariant_error(m.get()), "");
  EXPECT_EQ(m->pattern_count, 256);
  EXPECT_LE(module_payload_bytes(m.get()), 256u * 256 * 32 * sizeof(Cell));
}

} // namespace
