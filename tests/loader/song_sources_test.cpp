// Loading songs from paths, memory and callbacks: the same song from each,
// a reason for every refusal, sources that fail or change between the two
// passes, and the one block a song lives in.
#include <gtest/gtest.h>

#include <cstring>

#include "tests/loader/loader_test_util.h"
#include "tests/loader/module_invariants.h"
#include "tests/loader/mutate.h"
#include "tests/loader/song_compare.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

namespace fs = std::filesystem;

// Callbacks over bytes in memory that can fail, lie or change: the second
// time the loader seeks to offset 0 (its second pass) they serve `second`.
struct TestSource {
  const std::vector<uint8_t>* first;
  const std::vector<uint8_t>* second = nullptr; // null: always first
  int64_t pos = 0;
  int rewinds = 0;
  int64_t fail_read_at = -1; // a read covering this offset returns -1
  int64_t claimed_size = -1; // what seeking to the end says, -1: the real size
  int fail_seek = 0;         // 1: every seek fails, 2: tell fails
  const void* expected_user = nullptr;
  int wrong_user_calls = 0;
};

TestSource* source_of(void* user) {
  auto* s = static_cast<TestSource*>(user);
  if (s->expected_user != nullptr && s->expected_user != user) ++s->wrong_user_calls;
  return s;
}

int64_t test_read(void* user, void* buffer, int64_t size) {
  TestSource* s = source_of(user);
  const std::vector<uint8_t>& bytes = s->second != nullptr && s->rewinds >= 2 ? *s->second : *s->first;
  if (s->fail_read_at >= s->pos && s->fail_read_at < s->pos + size) return -1;
  if (s->pos >= static_cast<int64_t>(bytes.size())) return 0;
  int64_t n = std::min<int64_t>(size, static_cast<int64_t>(bytes.size()) - s->pos);
  std::memcpy(buffer, bytes.data() + s->pos, static_cast<size_t>(n));
  s->pos += n;
  return n;
}

int test_seek(void* user, int64_t offset, int whence) {
  TestSource* s = source_of(user);
  if (s->fail_seek == 1) return -1;
  int64_t size = s->claimed_size >= 0 ? s->claimed_size : static_cast<int64_t>(s->first->size());
  s->pos = whence == 0 ? offset : whence == 1 ? s->pos + offset : size + offset;
  if (whence == 0 && offset == 0) ++s->rewinds;
  return 0;
}

int64_t test_tell(void* user) {
  TestSource* s = source_of(user);
  return s->fail_seek == 2 ? -1 : s->pos;
}

const qm_io test_io = {test_read, test_seek, test_tell};

LoadResult load_from(TestSource* source, const SongLoadOptions* options = nullptr) {
  Module* song = nullptr;
  qm_load_error error{};
  qm_status status = load_song_with(&test_io, source, options, &song, &error);
  return LoadResult{status, error.detail, ModulePtr(song)};
}

// A small song with every kind of part: patterns, an empty and two real
// instruments, 8- and 16-bit looped samples.
XmFile rich_song() {
  XmFile f;
  f.channel_count = 3;
  f.song_length = 3;
  f.order_table = {0, 1, 0};
  for (int i = 0; i < 2; ++i) {
    XmPattern p;
    p.rows = static_cast<uint16_t>(6 + i);
    for (int r = 0; r < p.rows; ++r) xm_cell(p, 3, r, r % 3) = Cell{static_cast<uint8_t>(r + 1), 1, 0x20, 0x0A, 0x0F};
    f.patterns.push_back(p);
  }
  XmInstrument a = one_sample_instrument({1, -2, 3, -4, 5, -6, 7, -8}, XM_SAMPLE_FORWARD);
  a.samples[0].loop_start = 2;
  a.samples[0].loop_length = 4;
  XmInstrument b = one_sample_instrument({1000, -1000, 2000, 0}, XM_SAMPLE_16BIT | XM_SAMPLE_PINGPONG);
  b.samples[0].loop_length = 8;
  b.samples.push_back(a.samples[0]);
  f.instruments = {a, XmInstrument{}, b};
  return f;
}

std::vector<fs::path> real_songs() {
  std::vector<fs::path> songs = {typing_xm_path};
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(corpus_dir / "songs", ec)) songs.push_back(e.path());
  return songs;
}

TEST(SongSources, PathMemoryCallbacksAndFileCallbacksGiveTheSameSong) {
  for (const fs::path& path : real_songs()) {
    std::vector<uint8_t> bytes = read_bytes(path);
    Module* from_path = nullptr;
    ASSERT_EQ(load_song_file(path.c_str(), &from_path, nullptr), QM_OK) << path;
    ModulePtr a(from_path);
    LoadResult b = load_result(bytes);
    TestSource source{&bytes};
    source.expected_user = &source;
    LoadResult c = load_from(&source);
    install_stdio_callbacks();
    ModulePtr d(as_module(load_module(path.c_str())));
    ASSERT_EQ(b.status, QM_OK);
    ASSERT_EQ(c.status, QM_OK);
    EXPECT_EQ(source.wrong_user_calls, 0);
    EXPECT_EQ(song_difference(a.get(), b.song.get()), "") << path;
    EXPECT_EQ(song_difference(a.get(), c.song.get()), "") << path;
    EXPECT_EQ(song_difference(a.get(), d.get()), "") << path;
    EXPECT_EQ(a->warning_count, 0) << path << ": " << a->warnings[0].text;
  }
}

TEST(SongSources, RefusalsNameTheirReason) {
  Module* song = nullptr;
  qm_load_error e{};
  EXPECT_EQ(load_song_file("/nonexistent/dir/none.xm", &song, &e), QM_ERROR_CANNOT_OPEN);
  EXPECT_STREQ(e.detail, "No such file or directory");
  EXPECT_EQ(load_song_file(QM_SOURCE_DIR, &song, &e), QM_ERROR_CANNOT_OPEN);
  EXPECT_STREQ(e.detail, "Is a directory");
  EXPECT_EQ(song, nullptr);

  std::vector<uint8_t> ice = {'I', 'c', 'e', '!', 0, 1, 'E', 'x', 't'};
  EXPECT_EQ(load_result(ice).status, QM_ERROR_NOT_XM);
  EXPECT_EQ(load_result(ice).detail, "it starts with \"Ice!??Ext\", not \"Extended Module: \"");
  EXPECT_EQ(load_result({}).detail, "the file is empty");
  std::vector<uint8_t> prefix = {'E', 'x', 't', 'e', 'n'};
  EXPECT_EQ(load_result(prefix).status, QM_ERROR_HEADER_INCOMPLETE);
  EXPECT_EQ(load_result(prefix).detail, "the file holds 5 bytes; its module header needs 80");

  EXPECT_EQ(load_song_memory(nullptr, 4, &song, &e), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(load_song(nullptr, nullptr, &song, &e), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(load_song_file(nullptr, &song, &e), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(load_song_memory(ice.data(), ice.size(), nullptr, &e), QM_ERROR_INVALID_ARGUMENT);
}

// The module header: max(80, min(60 + header size, 336)) bytes.
TEST(SongSources, EveryCutOfTheModuleHeaderIsIncomplete) {
  for (const fs::path& path : real_songs()) {
    std::vector<uint8_t> bytes = read_bytes(path);
    for (size_t cut = 1; cut < 336; ++cut) {
      LoadResult r = load_result(std::vector<uint8_t>(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(cut)));
      ASSERT_EQ(r.status, QM_ERROR_HEADER_INCOMPLETE) << path << " cut at " << cut;
      std::string needs = cut < 64 ? "80" : "336";
      ASSERT_EQ(r.detail, "the file holds " + std::to_string(cut) + " bytes; its module header needs " + needs);
    }
    EXPECT_EQ(load_result(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 336)).status, QM_OK) << path;
  }
  XmFile f; // a header that stores only the song's two orders
  f.header_size = 22;
  f.song_length = 2;
  f.patterns.resize(1);
  std::vector<uint8_t> bytes = write_xm(f);
  EXPECT_EQ(load_result(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 81)).status, QM_ERROR_HEADER_INCOMPLETE);
  EXPECT_EQ(load_result(std::vector<uint8_t>(bytes.begin(), bytes.begin() + 82)).status, QM_OK);
  f.header_size = 4; // shorter than the fixed fields: they are still needed
  bytes = write_xm(f);
  bytes.resize(79);
  EXPECT_EQ(load_result(bytes).detail, "the file holds 79 bytes; its module header needs 80");
  f.header_size = 0xFFFFFFFFu; // 60 + size does not wrap
  f.header_bytes = 276;
  bytes = write_xm(f);
  bytes.resize(335);
  EXPECT_EQ(load_result(bytes).detail, "the file holds 335 bytes; its module header needs 336");
}

TEST(SongSources, FailingSourcesGiveReadErrors) {
  std::vector<uint8_t> bytes = write_xm(rich_song());
  for (int64_t at : {int64_t{0}, int64_t{400}, static_cast<int64_t>(bytes.size()) - 2}) {
    TestSource source{&bytes};
    source.fail_read_at = at; // header, pattern data, sample data (second pass only)
    LoadResult r = load_from(&source);
    EXPECT_EQ(r.status, QM_ERROR_READ) << at;
    EXPECT_EQ(r.detail, "the source's read failed") << at;
  }
  for (int how : {1, 2}) {
    TestSource source{&bytes};
    source.fail_seek = how;
    EXPECT_EQ(load_from(&source).status, QM_ERROR_READ) << how;
  }
  // A size that claims more than the source holds is measured, not trusted.
  TestSource lying{&bytes};
  lying.claimed_size = static_cast<int64_t>(bytes.size()) + 123456;
  LoadResult r = load_from(&lying);
  ASSERT_EQ(r.status, QM_OK) << r.detail;
  EXPECT_EQ(song_difference(r.song.get(), load_result(bytes).song.get()), "");
}

TEST(SongSources, ASourceThatChangesBetweenThePassesIsAReadError) {
  XmFile f = rich_song();
  std::vector<uint8_t> base = write_xm(f);
  std::vector<std::vector<uint8_t>> changed;
  for (auto change : std::vector<void (*)(XmFile&)>{
           [](XmFile& x) { x.patterns[1].rows = 9; },
           [](XmFile& x) { x.instruments[0].samples[0].pcm.push_back(9); },
           [](XmFile& x) { x.instruments[1].samples.push_back(XmSample{}); },
           [](XmFile& x) { xm_cell(x.patterns[0], 3, 1, 1).note = 60; },
           [](XmFile& x) { x.channel_count = 4; },
           [](XmFile& x) { x.song_name = "another"; },
           [](XmFile& x) { x.magic[0] = 'e'; },
       }) {
    XmFile g = f;
    change(g);
    changed.push_back(write_xm(g));
  }
  changed.push_back(std::vector<uint8_t>(base.begin(), base.end() - 5)); // shorter
  for (size_t i = 0; i < changed.size(); ++i) {
    TestSource source{&base, &changed[i]};
    LoadResult r = load_from(&source);
    EXPECT_EQ(r.status, QM_ERROR_READ) << "change " << i << ": " << r.detail;
    EXPECT_EQ(source.rewinds, 2) << "change " << i;
  }
  // Any change: a read error, or (sample data only, which the first pass
  // skips) exactly the song the second bytes hold.
  MutationRng rng{0x5EC0DDu};
  for (int i = 0; i < 500; ++i) {
    std::vector<uint8_t> second = mutate(base, rng);
    TestSource source{&base, &second};
    LoadResult r = load_from(&source);
    ASSERT_TRUE(r.status == QM_OK || r.status == QM_ERROR_READ) << i << ": " << r.detail;
    if (r.status == QM_OK) {
      ASSERT_EQ(song_difference(r.song.get(), load_result(second).song.get()), "") << "mutation " << i;
    }
  }
}

// Allocations through the load options: each is logged; fail_at makes that
// call (counting from 0) fail.
struct AllocationLog {
  std::vector<std::pair<void*, size_t>> calls;
  int fail_at = -1;
};

void* logged_allocate(void* context, size_t bytes) {
  auto* log = static_cast<AllocationLog*>(context);
  bool fail = static_cast<int>(log->calls.size()) == log->fail_at;
  void* p = fail ? nullptr : std::calloc(1, bytes);
  log->calls.push_back({p, bytes});
  return p;
}

TEST(SongSources, ASongIsOneAllocation) {
  std::vector<std::vector<uint8_t>> files = {write_xm(rich_song())};
  for (const fs::path& path : real_songs()) files.push_back(read_bytes(path));
  for (const std::vector<uint8_t>& bytes : files) {
    AllocationLog log;
    SongLoadOptions options{logged_allocate, &log, 0, false};
    TestSource source{&bytes};
    LoadResult r = load_from(&source, &options);
    ASSERT_EQ(r.status, QM_OK) << r.detail;
    // The loader's bookkeeping (released before it returns), then the song.
    ASSERT_EQ(log.calls.size(), 2u);
    EXPECT_EQ(log.calls[0].second, song_load_bookkeeping_bytes());
    EXPECT_LT(song_load_bookkeeping_bytes(), 64u * 1024);
    EXPECT_EQ(log.calls[1].first, r.song.get());
    EXPECT_EQ(song_outside_block(r.song.get(), log.calls[1].first, log.calls[1].second), "");
    EXPECT_EQ(module_invariant_error(r.song.get()), "");
  }
}

std::string with_commas(size_t value) {
  std::string digits = std::to_string(value);
  for (size_t at = digits.size(); at > 3; at -= 3) digits.insert(at - 3, ",");
  return digits;
}

TEST(SongSources, OutOfMemoryNamesTheSize) {
  std::vector<uint8_t> bytes = write_xm(rich_song());
  AllocationLog log;
  SongLoadOptions options{logged_allocate, &log, 1000, false};
  TestSource source{&bytes};
  LoadResult r = load_from(&source, &options);
  EXPECT_EQ(r.status, QM_ERROR_OUT_OF_MEMORY);
  EXPECT_NE(r.detail.find("; the limit is 1,000"), std::string::npos) << r.detail;
  EXPECT_EQ(log.calls.size(), 1u); // the bookkeeping only
  for (int fail_at : {0, 1}) {
    AllocationLog failing;
    failing.fail_at = fail_at;
    SongLoadOptions o{logged_allocate, &failing, 0, false};
    TestSource s{&bytes};
    LoadResult f = load_from(&s, &o);
    EXPECT_EQ(f.status, QM_ERROR_OUT_OF_MEMORY);
    EXPECT_EQ(f.detail, fail_at == 0 ? "cannot allocate the loader's bookkeeping"
                                     : "cannot allocate " + with_commas(failing.calls[1].second) + " bytes for the song");
  }
}

// A source of 3 GiB whose one sample claims all of it: refused above 1 GiB
// without reading the data.
int64_t huge_read(void* user, void* buffer, int64_t size) {
  auto* s = static_cast<TestSource*>(user);
  const int64_t total = int64_t{3} << 30;
  int64_t n = std::max<int64_t>(0, std::min(size, total - s->pos));
  std::memset(buffer, 0, static_cast<size_t>(n));
  int64_t header = static_cast<int64_t>(s->first->size());
  if (s->pos < header) std::memcpy(buffer, s->first->data() + s->pos, static_cast<size_t>(std::min(n, header - s->pos)));
  s->pos += n;
  return n;
}

TEST(SongSources, ASongAboveTheLimitIsRefusedBeforeAllocating) {
  XmFile f;
  f.patterns.resize(1);
  XmInstrument ins = one_sample_instrument({1});
  ins.samples[0].length = 0xFFFFFFFFu;
  f.instruments.push_back(ins);
  std::vector<uint8_t> header = write_xm(f);
  TestSource source{&header};
  source.claimed_size = int64_t{3} << 30;
  const qm_io huge_io = {huge_read, test_seek, test_tell};
  Module* song = nullptr;
  qm_load_error e{};
  EXPECT_EQ(load_song(&huge_io, &source, &song, &e), QM_ERROR_OUT_OF_MEMORY);
  EXPECT_EQ(song, nullptr);
  EXPECT_NE(std::string(e.detail).find("; the limit is 1,073,741,824"), std::string::npos) << e.detail;
}

} // namespace
