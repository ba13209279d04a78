// The C functions about loading and songs, as a program calls them: statuses,
// the version, the loads, names and what a song holds.
#include <gtest/gtest.h>

#include <cstring>

#include "quillmere/music.h"
#include "tests/loader/loader_test_util.h"

using namespace qm;

namespace {

struct SongFree {
  void operator()(qm_song* s) const { qm_song_free(s); }
};
using SongPtr = std::unique_ptr<qm_song, SongFree>;

SongPtr load_song_bytes(const std::vector<uint8_t>& bytes) {
  qm_song* song = nullptr;
  EXPECT_EQ(qm_song_load_memory(bytes.data(), bytes.size(), &song), QM_OK);
  return SongPtr(song);
}

XmFile named_song() {
  XmFile f;
  f.song_name = std::string("  My Song\x01\xFF  ", 13);
  f.tracker_name = "FastTracker v2.00";
  f.song_length = 3;
  f.restart_position = 1;
  f.channel_count = 6;
  f.default_speed = 5;
  f.default_bpm = 140;
  f.flags = 0;
  f.order_table = {1, 0, 1, 7};
  f.patterns.resize(2);
  f.patterns[1].rows = 32;
  XmInstrument ins = one_sample_instrument({1, 2, 3, 4, 5, 6, 7, 8}, XM_SAMPLE_16BIT | XM_SAMPLE_PINGPONG);
  ins.name = "abcdefghijklmnopqrstuv"; // all 22 bytes
  XmSample& s = ins.samples[0];
  s.name = std::string("ab\0cd", 5);
  s.loop_start = 4;
  s.loop_length = 8;
  s.volume = 40;
  s.finetune = -16;
  s.panning = 200;
  s.relative_note = -12;
  ins.samples.push_back(one_sample_instrument({1, 2}, XM_SAMPLE_FORWARD).samples[0]);
  ins.samples[1].loop_length = 2;
  f.instruments = {XmInstrument{}, ins};
  return f;
}

TEST(SongApi, StatusTextsAndVersion) {
  const char* texts[] = {"ok", "invalid argument", "cannot open", "read error", "not an XM file",
                         "header incomplete", "unsupported", "out of memory"};
  for (int s = 0; s < QM_STATUS_COUNT; ++s) EXPECT_STREQ(qm_status_text(static_cast<qm_status>(s)), texts[s]);
  EXPECT_STREQ(qm_status_text(QM_STATUS_COUNT), "unknown status");
  EXPECT_STREQ(qm_version(), "1.0.0");
}

TEST(SongApi, LoadsSetTheSongOrNull) {
  std::vector<uint8_t> bytes = write_xm(named_song());
  TempFile file(bytes);
  qm_song* song = reinterpret_cast<qm_song*>(&file); // overwritten by every load
  EXPECT_EQ(qm_song_load_file(file.path.c_str(), &song), QM_OK);
  ASSERT_NE(song, nullptr);
  qm_song_free(song);
  qm_load_error error{};
  EXPECT_EQ(qm_song_load_memory_ex(bytes.data(), 10, &song, &error), QM_ERROR_HEADER_INCOMPLETE);
  EXPECT_EQ(song, nullptr);
  EXPECT_EQ(error.status, QM_ERROR_HEADER_INCOMPLETE);
  EXPECT_STREQ(error.detail, "the file holds 10 bytes; its module header needs 80");
  EXPECT_EQ(qm_song_load_file_ex("/nonexistent.xm", &song, nullptr), QM_ERROR_CANNOT_OPEN);
  EXPECT_EQ(qm_song_load_io(nullptr, nullptr, &song, &error), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_song_load_memory(bytes.data(), bytes.size(), nullptr), QM_ERROR_INVALID_ARGUMENT);
  qm_song_free(nullptr);
}

TEST(SongApi, InfoNamesAndContents) {
  SongPtr song = load_song_bytes(write_xm(named_song()));
  ASSERT_NE(song, nullptr);
  qm_song_info info;
  ASSERT_EQ(qm_song_get_info(song.get(), &info), QM_OK);
  EXPECT_STREQ(info.name, "  My Song??");
  EXPECT_STREQ(info.tracker, "FastTracker v2.00");
  EXPECT_EQ(info.version, 0x0104);
  EXPECT_EQ(info.channels, 6);
  EXPECT_EQ(info.length, 3);
  EXPECT_EQ(info.restart, 1);
  EXPECT_EQ(info.patterns, 8); // order 3, past the song, names pattern 7
  EXPECT_EQ(info.instruments, 2);
  EXPECT_EQ(info.speed, 5);
  EXPECT_EQ(info.bpm, 140);
  EXPECT_EQ(info.linear_periods, 0);
  EXPECT_EQ(qm_song_order(song.get(), 0), 1);
  EXPECT_EQ(qm_song_order(song.get(), 2), 1);
  EXPECT_EQ(qm_song_order(song.get(), 3), -1);
  EXPECT_EQ(qm_song_order(song.get(), -1), -1);
  EXPECT_EQ(qm_song_pattern_rows(song.get(), 1), 32);
  EXPECT_EQ(qm_song_pattern_rows(song.get(), 7), 64);
  EXPECT_EQ(qm_song_pattern_rows(song.get(), 8), -1);

  qm_instrument_info ins;
  ASSERT_EQ(qm_song_get_instrument(song.get(), 1, &ins), QM_OK);
  EXPECT_STREQ(ins.name, "abcdefghijklmnopqrstuv");
  EXPECT_EQ(ins.samples, 2);
  ASSERT_EQ(qm_song_get_instrument(song.get(), 0, &ins), QM_OK);
  EXPECT_EQ(ins.samples, 0);

  qm_sample_info s;
  ASSERT_EQ(qm_song_get_sample(song.get(), 1, 0, &s), QM_OK);
  EXPECT_STREQ(s.name, "ab?cd");
  EXPECT_EQ(s.length, 8u); // frames of 16-bit data
  EXPECT_EQ(s.loop_start, 2u);
  EXPECT_EQ(s.loop_length, 4u);
  EXPECT_EQ(s.loop_type, 2);
  EXPECT_EQ(s.volume, 40);
  EXPECT_EQ(s.finetune, -16);
  EXPECT_EQ(s.panning, 200);
  EXPECT_EQ(s.relative_note, -12);
  ASSERT_EQ(qm_song_get_sample(song.get(), 1, 1, &s), QM_OK);
  EXPECT_EQ(s.loop_type, 1);
}

TEST(SongApi, OutOfRangeLeavesTheInfoZeroed) {
  SongPtr song = load_song_bytes(write_xm(named_song()));
  qm_instrument_info ins;
  qm_sample_info s;
  qm_song_info info;
  const int32_t bad[][2] = {{-1, 0}, {2, 0}, {1, 2}, {1, -1}, {0, 0}};
  for (const auto& b : bad) {
    std::memset(&s, 0xAB, sizeof s);
    EXPECT_EQ(qm_song_get_sample(song.get(), b[0], b[1], &s), QM_ERROR_INVALID_ARGUMENT);
    EXPECT_EQ(s.length, 0u);
    EXPECT_EQ(s.name[0], 0);
  }
  std::memset(&ins, 0xAB, sizeof ins);
  EXPECT_EQ(qm_song_get_instrument(song.get(), 2, &ins), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(ins.samples, 0);
  std::memset(&info, 0xAB, sizeof info);
  EXPECT_EQ(qm_song_get_info(nullptr, &info), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(info.channels, 0);
  EXPECT_EQ(qm_song_get_info(song.get(), nullptr), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_song_warning_count(nullptr), 0);
  EXPECT_STREQ(qm_song_warning_text(nullptr, 0), "");
  EXPECT_EQ(qm_song_order(nullptr, 0), -1);
}

TEST(SongApi, RowsGiveTheCellsAsStoredWithKeyOffAsTheFileWritesIt) {
  XmFile f = named_song();
  f.patterns[1].cells.resize(32 * 6);
  f.patterns[1].cells[5 * 6 + 0] = Cell{49, 1, 0x30, 0x0F, 0x06};       // C-4, instrument 1, volume 32, F06
  f.patterns[1].cells[5 * 6 + 5] = Cell{FILE_KEY_OFF_NOTE, 0, 0, 0x14, 3};  // key-off, K03
  SongPtr song = load_song_bytes(write_xm(f));
  ASSERT_NE(song, nullptr);
  qm_cell row[8];
  std::memset(row, 0xAB, sizeof row);
  ASSERT_EQ(qm_song_get_row(song.get(), 1, 5, row, 8), QM_OK);
  EXPECT_EQ(row[0].note, 49);
  EXPECT_EQ(row[0].instrument, 1);
  EXPECT_EQ(row[0].volume, 0x30);
  EXPECT_EQ(row[0].effect, 0x0F);
  EXPECT_EQ(row[0].param, 0x06);
  EXPECT_EQ(row[1].note, 0);
  EXPECT_EQ(row[5].note, 97);
  EXPECT_EQ(row[5].effect, 0x14);
  EXPECT_EQ(row[5].param, 3);
  for (int i = 6; i < 8; ++i) EXPECT_EQ(row[i].note + row[i].instrument + row[i].volume + row[i].effect + row[i].param, 0);

  std::memset(row, 0xAB, sizeof row);
  EXPECT_EQ(qm_song_get_row(song.get(), 1, 32, row, 8), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_song_get_row(song.get(), 8, 0, row, 8), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_song_get_row(song.get(), -1, 0, row, 8), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_song_get_row(song.get(), 1, -1, row, 8), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_song_get_row(song.get(), 1, 0, row, -1), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_song_get_row(song.get(), 1, 0, nullptr, 1), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_song_get_row(nullptr, 1, 0, row, 1), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(row[0].note, 0xAB);  // nothing written on a refusal
  ASSERT_EQ(qm_song_get_row(song.get(), 1, 5, row, 1), QM_OK);  // fewer cells than channels
  EXPECT_EQ(row[0].note, 49);
  EXPECT_EQ(row[1].note, 0xAB);
}

// Each player keeps its own per-sample state indexed by Sample::number: the
// song's samples in instrument and slot order, from 1.
TEST(SongApi, SampleNumbersCountTheSongsSamples) {
  XmFile f = named_song();
  f.instruments.push_back(f.instruments[1]);
  LoadResult r = load_result(write_xm(f));
  ASSERT_EQ(r.status, QM_OK);
  const Module* m = r.song.get();
  EXPECT_EQ(m->sample_numbers, 2 + 2 + 1);
  EXPECT_EQ(m->instruments[0].sample_count, 0);
  EXPECT_EQ(m->instruments[1].samples[0]->number, 1);
  EXPECT_EQ(m->instruments[1].samples[1]->number, 2);
  EXPECT_EQ(m->instruments[2].samples[0]->number, 3);
  EXPECT_EQ(m->instruments[2].samples[1]->number, 4);
  EXPECT_EQ(load_result(write_xm(XmFile{})).song->sample_numbers, 1);
}

} // namespace
