// Warnings for what a load repaired: each kind with the sentence that names
// the object, none for well-formed files, and a bounded list.
#include <gtest/gtest.h>

#include <functional>

#include "tests/loader/loader_test_util.h"

using namespace qm;

namespace {

using Warnings = std::vector<std::pair<int, std::string>>;

Warnings warnings_of(const std::vector<uint8_t>& bytes) {
  LoadResult r = load_result(bytes);
  EXPECT_EQ(r.status, QM_OK) << r.detail;
  Warnings w;
  if (r.song == nullptr) return w;
  for (int i = 0; i < std::min(r.song->warning_count, SONG_WARNINGS_KEPT + 1); ++i)
    w.push_back({r.song->warnings[i].kind, r.song->warnings[i].text});
  return w;
}

XmFile one_pattern() {
  XmFile f;
  f.patterns.resize(1);
  return f;
}

struct Case {
  const char* name;
  std::function<void(XmFile&)> build;
  Warnings expected;
};

TEST(SongWarnings, EachRepairIsNamed) {
  const std::vector<Case> cases = {
      {"well-formed", [](XmFile&) {}, {}},
      {"newer version", [](XmFile& f) { f.version = 0x0105; }, {{QM_WARNING_NEWER_VERSION, "version 1.05 is newer than 1.04"}}},
      {"restart", [](XmFile& f) { f.song_length = 4; f.restart_position = 9; },
       {{QM_WARNING_VALUE_LIMITED, "restart position 9 is past the song length 4; restarting at 0"}}},
      {"restart at the length", [](XmFile& f) { f.song_length = 4; f.restart_position = 4; },
       {{QM_WARNING_VALUE_LIMITED, "restart position 4 is past the song length 4; restarting at 0"}}},
      {"restart at the last order", [](XmFile& f) { f.song_length = 4; f.restart_position = 3; }, {}},
      {"channels 40", [](XmFile& f) { f.channel_count = 40; }, {{QM_WARNING_COUNT_CLAMPED, "channel count 40 limited to 32"}}},
      {"channels 0", [](XmFile& f) { f.channel_count = 0; }, {{QM_WARNING_COUNT_CLAMPED, "channel count 0 raised to 1"}}},
      {"song length", [](XmFile& f) { f.song_length = 300; }, {{QM_WARNING_COUNT_CLAMPED, "song length 300 limited to 256"}}},
      {"orders past header", [](XmFile& f) { f.header_size = 22; f.song_length = 210; },
       {{QM_WARNING_ORDERS_PAST_HEADER, "song length 210 reaches past the 2 orders the header holds; the rest read as 0"}}},
      {"only the song's orders", [](XmFile& f) { f.header_size = 22; f.song_length = 2; }, {}},
      {"pattern count", [](XmFile& f) { f.patterns.resize(257); }, {{QM_WARNING_COUNT_CLAMPED, "pattern count 257 limited to 256"}}},
      {"rows", [](XmFile& f) { f.patterns.resize(2); f.patterns[0].rows = 0; f.patterns[1].rows = 300; },
       {{QM_WARNING_COUNT_CLAMPED, "pattern 0 has 0 rows; it plays as 64 empty rows"},
        {QM_WARNING_COUNT_CLAMPED, "pattern 1 has 300 rows; the first 256 are kept"}}},
      {"pattern header", [](XmFile& f) { f.patterns[0].header_length = 10; },
       {{QM_WARNING_VALUE_LIMITED, "pattern 0 has header length 10; read as 9"}}},
      {"1.02 pattern header", [](XmFile& f) { f.version = 0x0102; f.patterns[0].header_length = 10; },
       {{QM_WARNING_VALUE_LIMITED, "pattern 0 has header length 10; read as 8"}}},
      {"1.02 pattern", [](XmFile& f) { f.version = 0x0102; }, {}},
      {"instrument count", [](XmFile& f) { f.instruments.resize(130); },
       {{QM_WARNING_COUNT_CLAMPED, "instrument count 130 limited to 128"}}},
      {"instrument header", [](XmFile& f) {
         f.instruments = {one_sample_instrument({1}), XmInstrument{}};
         f.instruments[0].header_size = 129;
         f.instruments[1].header_size = 0;
       },
       {{QM_WARNING_VALUE_LIMITED, "the header of instrument 1 holds 129 of its 241 bytes; the fields past it read as 0"},
        {QM_WARNING_VALUE_LIMITED, "instrument 2 has header size 0; read as 4"}}},
      {"twelve envelope points", [](XmFile& f) {
         f.instruments = {one_sample_instrument({1})};
         f.instruments[0].volume_point_count = 12;
         f.instruments[0].panning_point_count = 12;
         f.instruments[0].volume_loop_end = 11;
       },
       {}},
      {"envelope", [](XmFile& f) {
         f.instruments = {one_sample_instrument({1})};
         f.instruments[0].volume_point_count = 40;
         f.instruments[0].panning_loop_end = 12;
       },
       {{QM_WARNING_COUNT_CLAMPED, "the volume envelope of instrument 1 has 40 points; limited to 12"},
        {QM_WARNING_VALUE_LIMITED, "the panning loop end of instrument 1 is 12; limited to 11"}}},
      {"sample values", [](XmFile& f) {
         XmInstrument ins = one_sample_instrument({1, 2, 3, 4, 5, 6, 7, 8}, XM_SAMPLE_FORWARD);
         ins.samples[0].loop_start = 6;
         ins.samples[0].loop_length = 0xFFFFFFF0u;
         ins.samples.push_back(ins.samples[0]);
         ins.samples[1].loop_start = 8;
         ins.samples[1].volume = 200;
         f.instruments = {XmInstrument{}, ins};
       },
       {{QM_WARNING_VALUE_LIMITED, "sample 1 of instrument 2 has volume 200; limited to 64"},
        {QM_WARNING_VALUE_LIMITED, "the loop of sample 0 of instrument 2 ends at frame 4,294,967,286, past its end at 8; it is cut there"},
        {QM_WARNING_VALUE_LIMITED, "the loop of sample 1 of instrument 2 starts at frame 8, past its end at 8; it plays without loop"}}},
      {"trailing empty instruments left out", [](XmFile& f) { f.instrument_count = 5; f.instruments.resize(2); }, {}},
  };
  for (const Case& c : cases) {
    XmFile f = one_pattern();
    c.build(f);
    EXPECT_EQ(warnings_of(write_xm(f)), c.expected) << c.name;
  }
}

// One warning marks where the file ends among the patterns, one where it
// ends among the instruments' data.
TEST(SongWarnings, TruncationsSayWhereTheFileEnds) {
  XmFile f;
  f.channel_count = 2;
  for (int p = 0; p < 5; ++p) {
    XmPattern pattern;
    pattern.packing = XmPacking::UNPACKED; // 10 bytes a row
    for (int r = 0; r < 64; ++r) xm_cell(pattern, 2, r, 0) = Cell{1, 1, 0, 0, 0};
    f.patterns.push_back(pattern);
  }
  f.instruments.resize(5);
  std::vector<int32_t> pcm(4096, 1);
  for (int j = 0; j < 3; ++j) f.instruments[4].samples.push_back(one_sample_instrument(pcm).samples[0]);
  std::vector<uint8_t> bytes = write_xm(f);
  const size_t pattern_bytes = 9 + 640;
  const size_t pattern_3 = 336 + 3 * pattern_bytes;
  const size_t samples_end = bytes.size();
  auto cut = [&bytes](size_t at) { return std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(at)); };
  EXPECT_EQ(warnings_of(cut(pattern_3 + 9 + 125)), (Warnings{{QM_WARNING_PATTERN_DATA_SHORT, "pattern 3 ends after row 12 of 64"}}));
  EXPECT_EQ(warnings_of(cut(pattern_3 + 4)), (Warnings{{QM_WARNING_PATTERN_DATA_SHORT, "the header of pattern 3 is cut short"}}));
  EXPECT_EQ(warnings_of(cut(pattern_3)), (Warnings{{QM_WARNING_PATTERN_DATA_SHORT, "the file ends before pattern 3 of 5"}}));
  EXPECT_EQ(warnings_of(cut(samples_end - 3096)),
            (Warnings{{QM_WARNING_SAMPLE_DATA_SHORT, "sample 2 of instrument 5 holds 1,000 of 4,096 frames"}}));
  const size_t instrument_5 = samples_end - 3 * 4096 - 3 * 40 - 263;
  EXPECT_EQ(warnings_of(cut(instrument_5 + 263 + 50)),
            (Warnings{{QM_WARNING_SAMPLE_DATA_SHORT, "the sample headers of instrument 5 are cut short"}}));
  EXPECT_EQ(warnings_of(cut(instrument_5 + 100)),
            (Warnings{{QM_WARNING_SAMPLE_DATA_SHORT, "the header of instrument 5 is cut short"}}));
  // Before its sample count an instrument reads as one a tracker left out.
  EXPECT_EQ(warnings_of(cut(instrument_5 + 20)), Warnings{});
}

TEST(SongWarnings, SixteenAreKeptAndTheRestCounted) {
  for (int volumes : {15, 16, 20}) { // one more warning: the version
    XmFile f = one_pattern();
    f.version = 0x0106;
    for (int i = 0; i < volumes; ++i) {
      f.instruments.push_back(one_sample_instrument({1}));
      f.instruments.back().samples[0].volume = 65;
    }
    LoadResult r = load_result(write_xm(f));
    ASSERT_EQ(r.status, QM_OK);
    auto* song = reinterpret_cast<const qm_song*>(r.song.get());
    EXPECT_EQ(r.song->warning_count, volumes + 1);
    EXPECT_STREQ(qm_song_warning_text(song, 0), "version 1.06 is newer than 1.04");
    EXPECT_STREQ(qm_song_warning_text(song, 15), "sample 0 of instrument 15 has volume 65; limited to 64");
    int rest = volumes + 1 - 16;
    ASSERT_EQ(qm_song_warning_count(song), rest > 0 ? 17 : 16);
    if (rest > 0) {
      std::string summary = std::to_string(rest) + (rest == 1 ? " more repair is" : " more repairs are") + " not listed";
      EXPECT_EQ(qm_song_warning_text(song, 16), summary);
      EXPECT_EQ(qm_song_warning_kind(song, 16), QM_WARNING_VALUE_LIMITED);
    }
    EXPECT_STREQ(qm_song_warning_text(song, 17), "");
    EXPECT_EQ(qm_song_warning_kind(song, -1), 0);
  }
}

} // namespace
