// The test-support XM writer: the byte layout the loader tests rely on.
#include <gtest/gtest.h>

#include "tests/support/xm_writer.h"

using namespace qm;

namespace {

uint32_t u32_at(const std::vector<uint8_t>& b, size_t at) {
  return b[at] | (b[at + 1] << 8) | (b[at + 2] << 16) | (static_cast<uint32_t>(b[at + 3]) << 24);
}
uint16_t u16_at(const std::vector<uint8_t>& b, size_t at) {
  return static_cast<uint16_t>(b[at] | (b[at + 1] << 8));
}

TEST(XmWriter, HeaderFieldsAtTheirOffsets) {
  XmFile f;
  f.song_length = 3;
  f.restart_position = 1;
  f.channel_count = 2;
  f.default_speed = 5;
  f.default_bpm = 140;
  f.order_table[2] = 7;
  f.patterns.resize(1);
  std::vector<uint8_t> b = write_xm(f);
  ASSERT_EQ(b.size(), 336u + 9u);
  EXPECT_EQ(std::string(b.begin(), b.begin() + 17), "Extended Module: ");
  EXPECT_EQ(b[37], 0x1A);
  EXPECT_EQ(u32_at(b, 60), 276u);
  EXPECT_EQ(u16_at(b, 64), 3);
  EXPECT_EQ(u16_at(b, 66), 1);
  EXPECT_EQ(u16_at(b, 68), 2);
  EXPECT_EQ(u16_at(b, 70), 1);
  EXPECT_EQ(u16_at(b, 72), 0);
  EXPECT_EQ(u16_at(b, 76), 5);
  EXPECT_EQ(u16_at(b, 78), 140);
  EXPECT_EQ(b[82], 7);
  EXPECT_EQ(u16_at(b, 336 + 5), 64); // rows
  EXPECT_EQ(u16_at(b, 336 + 7), 0);  // no cells: packed size 0
}

TEST(XmWriter, PackedAndUnpackedCells) {
  XmFile f;
  f.channel_count = 2;
  XmPattern p;
  p.rows = 1;
  xm_cell(p, 2, 0, 0) = Cell{97, 0, 0, 0x0F, 0};
  xm_cell(p, 2, 0, 1) = Cell{1, 2, 3, 4, 5};
  f.patterns.push_back(p);
  std::vector<uint8_t> b = write_xm(f);
  std::vector<uint8_t> cells(b.begin() + 345, b.end());
  EXPECT_EQ(u16_at(b, 343), cells.size());
  EXPECT_EQ(cells, (std::vector<uint8_t>{0x89, 97, 0x0F, 1, 2, 3, 4, 5}));
  f.patterns[0].packing = XmPacking::UNPACKED;
  b = write_xm(f);
  EXPECT_EQ(std::vector<uint8_t>(b.begin() + 345, b.end()),
            (std::vector<uint8_t>{97, 0, 0, 0x0F, 0, 1, 2, 3, 4, 5}));
}

TEST(XmWriter, SamplesAreDeltaCodedAfterTheirHeaders) {
  XmFile f;
  XmInstrument ins;
  XmSample s8;
  s8.pcm = {1, 2, 0, -1};
  XmSample s16;
  s16.type = XM_SAMPLE_16BIT;
  s16.pcm = {1000, -1000};
  ins.samples = {s8, s16};
  f.instruments.push_back(ins);
  std::vector<uint8_t> b = write_xm(f);
  size_t ins_at = 336;
  EXPECT_EQ(u32_at(b, ins_at), 263u);
  EXPECT_EQ(u16_at(b, ins_at + 27), 2);
  size_t headers = ins_at + 263;
  EXPECT_EQ(u32_at(b, headers), 4u);
  EXPECT_EQ(u32_at(b, headers + 40), 4u);
  EXPECT_EQ(b[headers + 40 + 14], XM_SAMPLE_16BIT);
  std::vector<uint8_t> data(b.begin() + static_cast<long>(headers + 80), b.end());
  EXPECT_EQ(data, (std::vector<uint8_t>{1, 1, 0xFE, 0xFF, 0xE8, 0x03, 0x30, 0xF8}));
}

TEST(XmWriter, BrokenFieldsAndTruncation) {
  XmFile f;
  f.header_size = 1000;
  f.header_bytes = 8;
  f.instrument_count = 9;
  f.truncate_at = 50;
  std::vector<uint8_t> b = write_xm(f);
  EXPECT_EQ(b.size(), 50u);
  f.truncate_at.reset();
  b = write_xm(f);
  ASSERT_EQ(b.size(), 68u);
  EXPECT_EQ(u32_at(b, 60), 1000u);
  EXPECT_EQ(u16_at(b, 64), 1);
}

} // namespace
