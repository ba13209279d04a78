// Every layout of real XM files: versions 1.02 and 1.03 in their own layout,
// instruments with more than 16 samples, samples packed as 4-bit deltas;
// strict loading refusing them with their reasons; and what a path names
// (a device, a pipe, an empty file).
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <thread>

#include "music/byte_source.h"
#include "music/row.h"
#include "tests/loader/loader_test_util.h"
#include "tests/loader/module_invariants.h"
#include "tests/loader/song_compare.h"

using namespace qm;

namespace {

constexpr uint8_t NOTE_C4 = 49;
// A table of deltas as a packing tracker writes one.
constexpr std::array<int8_t, 16> DELTAS = {0, 1, 2, 4, 8, 16, 32, 64, -1, -2, -4, -8, -16, -32, -64, -128};

LoadResult load_strict(const std::vector<uint8_t>& bytes) {
  SongLoadOptions options{};
  options.strict = true;
  Module* song = nullptr;
  qm_load_error error{};
  qm_status status = load_song_memory_with(bytes.data(), bytes.size(), &options, &song, &error);
  return LoadResult{status, error.detail, ModulePtr(song)};
}

// 8-bit values that a walk through DELTAS reaches exactly.
std::vector<int32_t> packable(size_t frames, uint32_t seed) {
  std::vector<int32_t> pcm;
  int8_t value = 0;
  for (size_t k = 0; k < frames; ++k) {
    seed = seed * 1664525u + 1013904223u;
    value = static_cast<int8_t>(value + DELTAS[seed >> 28]);
    pcm.push_back(value);
  }
  return pcm;
}

XmSample packed_sample(size_t frames, uint32_t seed) {
  XmSample s;
  s.pcm = packable(frames, seed);
  s.packed_deltas = DELTAS;
  return s;
}

// A song that touches every part of a layout: patterns of 64, 256 and 1 rows
// (the largest and smallest a one-byte row count holds), an instrument with
// 8- and 16-bit looped samples and envelopes, an empty one, a packed sample.
XmFile varied_song(uint16_t version) {
  XmFile f;
  f.version = version;
  f.channel_count = 5;
  f.song_length = 4;
  f.order_table = {0, 1, 2, 1};
  f.patterns.resize(3);
  f.patterns[1].rows = 256;
  f.patterns[2].rows = 1;
  for (int r = 0; r < 64; r += 3) xm_cell(f.patterns[0], 5, r, r % 5) = Cell{static_cast<uint8_t>(NOTE_C4 + r % 12), 1, 0x40, 0x0A, 0x12};
  for (int r = 0; r < 256; r += 7) xm_cell(f.patterns[1], 5, r, 4 - r % 5) = Cell{97, 3, 0, 0x0F, 0x06};
  xm_cell(f.patterns[2], 5, 0, 2) = Cell{NOTE_C4, 3, 0x10, 0, 0};
  XmInstrument a = one_sample_instrument({10, -20, 30, -40, 50, -60}, XM_SAMPLE_FORWARD);
  a.samples[0].loop_start = 2;
  a.samples[0].loop_length = 4;
  a.samples.push_back(one_sample_instrument({1000, -2000, 3000, -4000}, XM_SAMPLE_16BIT | XM_SAMPLE_PINGPONG).samples[0]);
  a.samples[1].loop_length = 8;
  a.sample_map.fill(1);
  a.volume_envelope[1] = {10, 32};
  a.volume_point_count = 2;
  a.volume_flags = ENVELOPE_ON;
  a.fadeout = 300;
  XmInstrument packed;
  packed.samples = {packed_sample(101, 7)};
  f.instruments = {a, XmInstrument{}, packed};
  return f;
}

TEST(XmLayouts, EarlyVersionsHoldTheSameSongInTheirOwnLayout) {
  ModulePtr today = load(varied_song(0x0104));
  ASSERT_NE(today, nullptr);
  EXPECT_EQ(today->warning_count, 0);
  for (uint16_t version : {uint16_t{0x0102}, uint16_t{0x0103}}) {
    std::vector<uint8_t> bytes = write_xm(varied_song(version));
    LoadResult r = load_result(bytes);
    ASSERT_EQ(r.status, QM_OK) << r.detail;
    EXPECT_EQ(module_invariant_error(r.song.get()), "");
    EXPECT_EQ(r.song->version, version);
    EXPECT_EQ(r.song->warning_count, 0) << r.song->warnings[0].text;
    EXPECT_EQ(r.song->patterns[1].row_count, 256);
    EXPECT_EQ(r.song->patterns[2].row_count, 1);
    r.song->version = XM_VERSION_1_04;
    EXPECT_EQ(song_difference(r.song.get(), today.get()), "") << version;
    // Read in the 1.04 layout, the same bytes are another song.
    bytes[58] = 0x04;
    LoadResult as_today = load_result(bytes);
    EXPECT_TRUE(as_today.song == nullptr || song_difference(as_today.song.get(), today.get()) != "");
  }
}

// Instruments past 128 are not kept; in an early file the patterns follow
// them, so their headers and sample headers are read past.
TEST(XmLayouts, EarlyFilesReadPastInstrumentsTheyDoNotKeep) {
  XmFile f = varied_song(0x0103);
  XmInstrument extra = one_sample_instrument({5, 6, 7});
  extra.samples.push_back(extra.samples[0]);
  f.instruments.resize(128);
  f.instruments.push_back(extra);
  f.instruments.push_back(extra);
  LoadResult early = load_result(write_xm(f));
  ASSERT_EQ(early.status, QM_OK) << early.detail;
  f.version = 0x0104;
  ModulePtr today = load(f);
  ASSERT_NE(today, nullptr);
  ASSERT_EQ(early.song->warning_count, 1);
  EXPECT_STREQ(early.song->warnings[0].text, "instrument count 130 limited to 128");
  early.song->version = 0x0104;
  EXPECT_EQ(song_difference(early.song.get(), today.get()), "");
}

// Every cut of an early file, and of one with packed samples, loads (keeping
// every guarantee) or is refused for what its bytes are.
TEST(XmLayouts, EveryCutLoadsOrIsRefusedCleanly) {
  for (uint16_t version : {uint16_t{0x0102}, uint16_t{0x0104}}) {
    std::vector<uint8_t> bytes = write_xm(varied_song(version));
    for (size_t cut = 0; cut < bytes.size(); ++cut) {
      LoadResult r = load_result(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
      if (r.status != QM_OK) {
        ASSERT_TRUE(r.status == QM_ERROR_NOT_XM || r.status == QM_ERROR_HEADER_INCOMPLETE) << cut << ": " << r.detail;
        continue;
      }
      ASSERT_EQ(module_invariant_error(r.song.get()), "") << version << " cut at " << cut;
    }
  }
}

// An instrument with 23 samples, the last one named by its keymap.
XmFile many_samples_song(int samples, int mapped) {
  XmFile f;
  f.patterns.resize(1);
  xm_cell(f.patterns[0], 4, 0, 0) = Cell{NOTE_C4, 2, 0, 0, 0};
  XmInstrument many;
  for (int j = 0; j < samples; ++j) {
    XmSample s;
    s.pcm.assign(64, j == mapped ? 100 : 0);
    s.type = XM_SAMPLE_FORWARD;
    s.loop_length = 64;
    s.name = "sample " + std::to_string(j);
    many.samples.push_back(s);
  }
  many.sample_map.fill(static_cast<uint8_t>(mapped));
  f.instruments = {one_sample_instrument({1, 2, 3}), many, one_sample_instrument({4, 5})};
  return f;
}

// The peak of the first 10,000 frames the song renders.
int peak_of(const std::vector<uint8_t>& bytes) {
  qm_song* song = nullptr;
  EXPECT_EQ(qm_song_load_memory(bytes.data(), bytes.size(), &song), QM_OK);
  qm_player* player = nullptr;
  EXPECT_EQ(qm_player_create(song, 44100, &player), QM_OK);
  std::vector<int16_t> frames(2 * 10000);
  qm_player_render_s16(player, frames.data(), 10000);
  qm_player_free(player);
  qm_song_free(song);
  int peak = 0;
  for (int16_t v : frames) peak = std::max(peak, std::abs(static_cast<int>(v)));
  return peak;
}

TEST(XmLayouts, InstrumentsHoldAsManySamplesAsTheirKeymapNames) {
  std::vector<uint8_t> bytes = write_xm(many_samples_song(23, 22));
  LoadResult r = load_result(bytes);
  ASSERT_EQ(r.status, QM_OK) << r.detail;
  EXPECT_EQ(module_invariant_error(r.song.get()), "");
  const Instrument& many = r.song->instruments[1];
  ASSERT_EQ(many.sample_count, 23);
  EXPECT_EQ(many.samples[22]->data[0], 100 * 256);
  EXPECT_EQ(many.samples[21]->data[0], 0);
  EXPECT_EQ(r.song->instruments[2].samples[0]->data[1], 5 * 256);  // read past all 23
  EXPECT_EQ(r.song->sample_numbers, 1 + 23 + 1 + 1);
  Channel channel{};
  channel.note = NOTE_C4 - 1;
  EXPECT_EQ(channel_sample(&many, &channel), many.samples[22]);
  auto* song = reinterpret_cast<const qm_song*>(r.song.get());
  qm_instrument_info info;
  ASSERT_EQ(qm_song_get_instrument(song, 1, &info), QM_OK);
  EXPECT_EQ(info.samples, 23);
  qm_sample_info sample;
  ASSERT_EQ(qm_song_get_sample(song, 1, 22, &sample), QM_OK);
  EXPECT_STREQ(sample.name, "sample 22");
  EXPECT_EQ(qm_song_get_sample(song, 1, 23, &sample), QM_ERROR_INVALID_ARGUMENT);
  // Only the mapped sample sounds: the note plays sample 22, not sample 0.
  EXPECT_GT(peak_of(bytes), 1000);
  EXPECT_GT(peak_of(write_xm(many_samples_song(23, 0))), 1000);
  XmFile silent = many_samples_song(23, 22);
  silent.instruments[1].samples[22].pcm.assign(64, 0);
  EXPECT_EQ(peak_of(write_xm(silent)), 0);
}

TEST(XmLayouts, SampleCountsBeyondWhatAKeymapOrASongHoldsAreRefused) {
  LoadResult most = load_result(write_xm(many_samples_song(256, 255)));
  ASSERT_EQ(most.status, QM_OK) << most.detail;
  EXPECT_EQ(most.song->instruments[1].samples[255]->data[0], 100 * 256);
  XmFile over = many_samples_song(1, 0);
  over.instruments[1].sample_count = 257;
  LoadResult too_many = load_result(write_xm(over));
  EXPECT_EQ(too_many.status, QM_ERROR_UNSUPPORTED);
  EXPECT_EQ(too_many.detail, "instrument 2 has 257 samples; its keymap names at most 256, so at most 256 are supported");
  XmFile crowded;
  XmInstrument wide;
  wide.samples.resize(250);  // empty samples: 40 header bytes each
  crowded.instruments.assign(16, wide);
  EXPECT_EQ(load_result(write_xm(crowded)).status, QM_OK);
  crowded.instruments.push_back(wide);
  LoadResult full = load_result(write_xm(crowded));
  EXPECT_EQ(full.status, QM_ERROR_UNSUPPORTED);
  EXPECT_EQ(full.detail, "the song holds more than 4,000 samples");
}

TEST(XmLayouts, PackedSamplesDecodeToTheirValues) {
  for (uint16_t version : {uint16_t{0x0103}, uint16_t{0x0104}}) {
    XmFile f;
    f.version = version;
    XmInstrument ins;
    ins.samples = {packed_sample(101, 3), packed_sample(64, 4), packed_sample(0, 5)};
    ins.samples[1].type = XM_SAMPLE_FORWARD;
    ins.samples[1].loop_start = 10;
    ins.samples[1].loop_length = 20;
    XmSample marked_16 = one_sample_instrument({300, -300, 7}, XM_SAMPLE_16BIT).samples[0];
    marked_16.reserved = 0xAD;  // only 8-bit samples are packed
    ins.samples.push_back(marked_16);
    f.instruments = {ins, one_sample_instrument({9, 8})};
    LoadResult r = load_result(write_xm(f));
    ASSERT_EQ(r.status, QM_OK) << r.detail;
    EXPECT_EQ(module_invariant_error(r.song.get()), "");
    EXPECT_EQ(r.song->warning_count, 0);
    const Instrument& loaded = r.song->instruments[0];
    for (int j = 0; j < 2; ++j) {
      const std::vector<int32_t>& pcm = ins.samples[static_cast<size_t>(j)].pcm;
      const Sample* s = loaded.samples[j];
      ASSERT_EQ(s->length, pcm.size());
      const size_t played = s->loop_start + s->loop_length;  // a looped sample's later frames are never played
      for (size_t k = 0; k < played; ++k) ASSERT_EQ(s->data[k], pcm[k] * 256) << j << " frame " << k;
    }
    EXPECT_EQ(loaded.samples[1]->data[30], loaded.samples[1]->data[10]);  // the guard frame
    EXPECT_EQ(loaded.samples[2]->length, 0u);
    EXPECT_EQ(loaded.samples[3]->data[1], -300);
    EXPECT_EQ(r.song->instruments[1].samples[0]->data[1], 8 * 256);
  }
}

TEST(XmLayouts, CutPackedDataKeepsTheFramesItHolds) {
  XmFile f;
  XmInstrument ins;
  ins.samples = {packed_sample(100, 9)};
  f.instruments = {ins};
  std::vector<uint8_t> bytes = write_xm(f);
  const size_t data_start = bytes.size() - (16 + 50);
  for (size_t held : {size_t{0}, size_t{10}, size_t{16}, size_t{36}}) {
    LoadResult r = load_result(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(data_start + held)));
    ASSERT_EQ(r.status, QM_OK) << r.detail;
    uint32_t kept = held > 16 ? static_cast<uint32_t>(2 * (held - 16)) : 0;
    const Sample* s = r.song->instruments[0].samples[0];
    ASSERT_EQ(s->length, kept) << held;
    for (uint32_t k = 0; k < kept; ++k) ASSERT_EQ(s->data[k], ins.samples[0].pcm[k] * 256) << k;
    ASSERT_EQ(r.song->warning_count, 1);
    EXPECT_EQ(std::string(r.song->warnings[0].text), "sample 0 of instrument 1 holds " + std::to_string(kept) + " of 100 frames");
  }
}

TEST(XmLayouts, StrictLoadingRefusesWhatTheShowNeverLoads) {
  const std::pair<XmFile, const char*> refused[] = {
      {varied_song(0x0102), "version 1.02; only 1.04 and later are supported"},
      {varied_song(0x0103), "version 1.03; only 1.04 and later are supported"},
      {many_samples_song(17, 16), "instrument 2 has 17 samples; at most 16 are supported"},
      {varied_song(0x0104), "sample 0 of instrument 3 is packed with 4-bit deltas; only unpacked samples are supported"},
  };
  for (const auto& [file, reason] : refused) {
    LoadResult r = load_strict(write_xm(file));
    EXPECT_EQ(r.status, QM_ERROR_UNSUPPORTED) << reason;
    EXPECT_EQ(r.detail, reason);
    EXPECT_EQ(load_result(write_xm(file)).status, QM_OK) << reason;
  }
  XmFile early = varied_song(0x0101);
  LoadResult r = load_result(write_xm(early));
  EXPECT_EQ(r.status, QM_ERROR_UNSUPPORTED);
  EXPECT_EQ(r.detail, "version 1.01; only 1.02 and later are supported");
  // What a strict load takes, it takes as the default load does.
  std::vector<uint8_t> plain = write_xm(many_samples_song(16, 15));
  LoadResult strict = load_strict(plain);
  ASSERT_EQ(strict.status, QM_OK) << strict.detail;
  EXPECT_EQ(song_difference(strict.song.get(), load(plain).get()), "");
  std::vector<uint8_t> typing = read_bytes(typing_xm_path);
  EXPECT_EQ(load_strict(typing).status, QM_OK);
}

LoadResult load_path(const std::string& path, const SongLoadOptions* options = nullptr) {
  Module* song = nullptr;
  qm_load_error error{};
  qm_status status = load_song_file_with(path.c_str(), options, &song, &error);
  return LoadResult{status, error.detail, ModulePtr(song)};
}

TEST(XmLayouts, PathsSayWhatTheyName) {
  if (access("/dev/zero", R_OK) == 0) {
    LoadResult zero = load_path("/dev/zero");
    EXPECT_EQ(zero.status, QM_ERROR_CANNOT_OPEN);
    EXPECT_EQ(zero.detail, "it is a character device, not a file");
  }
  TempFile empty(std::vector<uint8_t>{});
  LoadResult nothing = load_path(empty.path);
  EXPECT_EQ(nothing.status, QM_ERROR_NOT_XM);
  EXPECT_EQ(nothing.detail, "the file is empty");
}

// A pipe cannot seek: its bytes are read whole, then loaded as from memory.
TEST(XmLayouts, PipesLoadAsTheirBytes) {
  std::vector<uint8_t> bytes = write_xm(varied_song(0x0104));
  bytes.resize(bytes.size() + 200000, 0);  // more than one read buffer
  ModulePtr expected = load(bytes);
  TempFile dir_marker(std::vector<uint8_t>{});
  const std::string fifo = dir_marker.path + ".fifo";
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  std::signal(SIGPIPE, SIG_IGN);  // the refused load closes the pipe before its writer is done
  // No limit; one byte short of the stream; exactly the stream.
  for (size_t limit : {size_t{0}, bytes.size() - 1, bytes.size()}) {
    std::thread writer([&] {
      FILE* out = std::fopen(fifo.c_str(), "wb");
      if (out == nullptr) return;
      std::fwrite(bytes.data(), 1, bytes.size(), out);
      std::fclose(out);
    });
    SongLoadOptions options{};
    options.memory_limit = limit;
    LoadResult r = load_path(fifo, &options);
    writer.join();
    if (limit != bytes.size() - 1) {
      ASSERT_EQ(r.status, QM_OK) << r.detail;
      EXPECT_EQ(song_difference(r.song.get(), expected.get()), "");
    } else {
      EXPECT_EQ(r.status, QM_ERROR_OUT_OF_MEMORY);
      EXPECT_EQ(r.detail, "the stream holds more bytes than the memory limit");
    }
  }
  std::remove(fifo.c_str());
}

// ---- the public options ----

TEST(LoadOptions, GrowWithoutBreakingCallers) {
  qm_load_options o;
  std::memset(&o, 0xFF, sizeof o);
  qm_load_options_init(&o);
  EXPECT_EQ(o.size, sizeof(qm_load_options));
  EXPECT_EQ(o.flags, 0u);
  EXPECT_EQ(o.max_bytes, 0u);
  qm_load_options_init(nullptr);

  std::vector<uint8_t> early = write_xm(varied_song(0x0102));
  qm_song* song = nullptr;
  qm_load_error e{};
  EXPECT_EQ(qm_song_load_memory_with(early.data(), early.size(), nullptr, &song, &e), QM_OK);
  qm_song_free(song);
  EXPECT_EQ(qm_song_load_memory_with(early.data(), early.size(), &o, &song, &e), QM_OK);
  qm_song_free(song);
  o.flags = QM_LOAD_STRICT;
  EXPECT_EQ(qm_song_load_memory_with(early.data(), early.size(), &o, &song, &e), QM_ERROR_UNSUPPORTED);
  EXPECT_STREQ(e.detail, "version 1.02; only 1.04 and later are supported");
  TempFile file(early);
  EXPECT_EQ(qm_song_load_file_with(file.path.c_str(), &o, &song, &e), QM_ERROR_UNSUPPORTED);
  MemorySource source{early.data(), static_cast<int64_t>(early.size()), 0};
  const qm_io io = memory_source_io();
  EXPECT_EQ(qm_song_load_io_with(&io, &source, &o, &song, &e), QM_ERROR_UNSUPPORTED);
  EXPECT_EQ(song, nullptr);

  // A caller built against a later header: unknown fields at their defaults load.
  struct Later {
    qm_load_options known;
    uint64_t unknown;
  } later{};
  qm_load_options_init(&later.known);
  later.known.size = sizeof later;
  EXPECT_EQ(qm_song_load_memory_with(early.data(), early.size(), &later.known, &song, &e), QM_OK);
  qm_song_free(song);
  later.unknown = 1;
  EXPECT_EQ(qm_song_load_memory_with(early.data(), early.size(), &later.known, &song, &e), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_STREQ(e.detail, "the options set fields this version of the library does not know");

  qm_load_options_init(&o);
  o.size = sizeof o - 1;
  EXPECT_EQ(qm_song_load_memory_with(early.data(), early.size(), &o, &song, &e), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(e.status, QM_ERROR_INVALID_ARGUMENT);
  qm_load_options_init(&o);
  o.flags = 0x2;
  EXPECT_EQ(qm_song_load_memory_with(early.data(), early.size(), &o, &song, &e), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_STREQ(e.detail, "the options set load flags this version of the library does not know");
  EXPECT_EQ(song, nullptr);

  qm_load_options_init(&o);
  o.max_bytes = 1000;
  EXPECT_EQ(qm_song_load_memory_with(early.data(), early.size(), &o, &song, &e), QM_ERROR_OUT_OF_MEMORY);
  EXPECT_NE(std::strstr(e.detail, "the limit is 1,000"), nullptr) << e.detail;
}

}  // namespace
