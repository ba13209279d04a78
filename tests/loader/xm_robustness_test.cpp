// Robustness: every corpus module loads or is refused cleanly, and
// deterministic mutation loops over corpus files and over modules built with
// the XM writer load or refuse every variant with the invariants intact.
// QM_LOADER_MUTATIONS sets the mutations per file (default 2000, 400 when
// built with a sanitizer).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>

#include "tests/loader/loader_test_util.h"
#include "tests/loader/module_invariants.h"
#include "tests/loader/mutate.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

namespace fs = std::filesystem;

constexpr size_t CELL_STORAGE_LIMIT = 256u * 256 * 32 * sizeof(Cell);
// Mutations of large files work on their first bytes: the structure lies
// there, and decoding a megabyte of sample data thousands of times adds no
// coverage.
constexpr size_t MUTATION_BASE_BYTES = 16 * 1024;

// Sanitized builds run the loops five times slower; they get fewer mutations
// per file (still thousands in all) to keep the suite quick.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
constexpr size_t DEFAULT_MUTATIONS = 400;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
constexpr size_t DEFAULT_MUTATIONS = 400;
#else
constexpr size_t DEFAULT_MUTATIONS = 2000;
#endif
#else
constexpr size_t DEFAULT_MUTATIONS = 2000;
#endif

size_t mutations_per_file() {
  const char* v = std::getenv("QM_LOADER_MUTATIONS");
  return v != nullptr && std::atoi(v) > 0 ? static_cast<size_t>(std::atoi(v)) : DEFAULT_MUTATIONS;
}

std::vector<uint8_t> read_file(const fs::path& path) { return read_bytes(path); }

std::vector<fs::path> corpus_files(const std::string& folder) {
  std::vector<fs::path> files;
  std::error_code ec;
  for (const auto& e : fs::directory_iterator(corpus_dir / folder, ec))
    if (e.is_regular_file()) files.push_back(e.path());
  std::sort(files.begin(), files.end());
  return files;
}

// Loads bytes; a refusal must be one that bytes in memory can cause, with a
// reason; a loaded module must hold its invariants and no more payload than
// the pattern storage cap plus two bytes per file byte.
::testing::AssertionResult loads_cleanly(const std::vector<uint8_t>& bytes, bool* loaded) {
  LoadResult r = load_result(bytes);
  ModulePtr& m = r.song;
  *loaded = m != nullptr;
  if (m == nullptr) {
    bool file_reason = r.status == QM_ERROR_NOT_XM || r.status == QM_ERROR_HEADER_INCOMPLETE ||
                       r.status == QM_ERROR_UNSUPPORTED;
    if (file_reason && !r.detail.empty()) return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "refused with " << qm_status_text(r.status) << ": " << r.detail;
  }
  std::string e = module_invariant_error(m.get());
  if (!e.empty()) return ::testing::AssertionFailure() << e;
  if (module_payload_bytes(m.get()) > CELL_STORAGE_LIMIT + 2 * bytes.size())
    return ::testing::AssertionFailure() << "payload " << module_payload_bytes(m.get());
  return ::testing::AssertionSuccess();
}

void mutation_loop(const std::vector<uint8_t>& file, uint64_t seed, const std::string& name) {
  std::vector<uint8_t> base(file.begin(), file.begin() + static_cast<std::ptrdiff_t>(std::min(file.size(), MUTATION_BASE_BYTES)));
  MutationRng rng{seed};
  size_t n = mutations_per_file();
  for (size_t i = 0; i < n; ++i) {
    std::vector<uint8_t> bytes = mutate(base, rng);
    bool loaded = false;
    ASSERT_TRUE(loads_cleanly(bytes, &loaded)) << name << " mutation " << i;
  }
}

TEST(XmCorpus, EveryFileLoadsOrIsRefused) {
  if (!fs::is_directory(corpus_dir)) GTEST_SKIP() << "no corpus at " << corpus_dir;
  for (const std::string folder : {"songs", "behaviour", "malformed"}) {
    int loaded_count = 0;
    std::vector<fs::path> files = corpus_files(folder);
    for (const fs::path& path : files) {
      bool loaded = false;
      EXPECT_TRUE(loads_cleanly(read_file(path), &loaded)) << path;
      // Real songs and behaviour tests load unless they are not plain XM
      // (one is a packed file); broken ones may be refused.
      std::vector<uint8_t> bytes = read_file(path);
      bool plain_xm = bytes.size() >= 17 && std::memcmp(bytes.data(), "Extended Module: ", 17) == 0;
      if (folder != "malformed" && plain_xm) {
        EXPECT_TRUE(loaded) << path;
      }
      loaded_count += loaded;
      // The stdio path reads the same file in place.
      install_stdio_callbacks();
      ModulePtr m(as_module(load_module(path.c_str())));
      EXPECT_EQ(m != nullptr, loaded) << path;
    }
    std::printf("%s: %d of %zu loaded\n", folder.c_str(), loaded_count, files.size());
  }
}

// What each corpus file gives: the damaged ones are named with what is
// repaired; every other file loads without a warning.
TEST(XmCorpus, DamagedFilesWarnAndOthersDoNot) {
  if (!fs::is_directory(corpus_dir)) GTEST_SKIP() << "no corpus at " << corpus_dir;
  const std::map<std::string, std::vector<std::string>> damaged = {
      {"malformed/load_xm_invalid_instsize.xm", {"the header of instrument 1 is cut short"}},
      {"malformed/load_xm_invalid_pattern_length.xm",
       {"pattern 0 has header length 2147483648; read as 9", "pattern 1 has header length 2198487427; read as 9",
        "pattern 1 has 33538 rows; the first 256 are kept", "pattern 1 ends after row 445 of 33538"}},
      {"malformed/load_xm_orders_mismatch.xm",
       {"song length 210 reaches past the 2 orders the header holds; the rest read as 0"}},
      {"malformed/load_xm_zero_samples.xm", {"channel count 0 raised to 1"}},
      {"malformed/play_xm_bad_env_sustain.xm", {"the volume sustain point of instrument 1 is 255; limited to 11"}},
      {"behaviour/format_xm_pattrunc.xm", {"pattern 0 ends after row 39 of 64"}},
      {"behaviour/pathead.xm", {"pattern 0 has header length 272; read as 9", "instrument 1 has header size 0; read as 4"}},
  };
  for (const std::string folder : {"songs", "behaviour", "malformed"}) {
    for (const fs::path& path : corpus_files(folder)) {
      std::string name = folder + "/" + path.filename().string();
      LoadResult r = load_result(read_file(path));
      if (name == "behaviour/ice21_ambiguous.xm") { // a packed file
        EXPECT_EQ(r.status, QM_ERROR_NOT_XM);
        continue;
      }
      ASSERT_EQ(r.status, QM_OK) << name << ": " << r.detail;
      std::vector<std::string> texts;
      for (int i = 0; i < r.song->warning_count; ++i) texts.push_back(r.song->warnings[i].text);
      auto expected = damaged.find(name);
      EXPECT_EQ(texts, expected == damaged.end() ? std::vector<std::string>{} : expected->second) << name;
    }
  }
}

class XmCorpusMutations : public ::testing::TestWithParam<const char*> {};

TEST_P(XmCorpusMutations, MutatedFilesLoadOrAreRefused) {
  if (!fs::is_directory(corpus_dir)) GTEST_SKIP() << "no corpus at " << corpus_dir;
  uint64_t seed = 0x51554C4Cu;
  for (const fs::path& path : corpus_files(GetParam())) {
    mutation_loop(read_file(path), seed++, path.filename().string());
    if (HasFatalFailure()) return;
  }
}

INSTANTIATE_TEST_SUITE_P(Folders, XmCorpusMutations, ::testing::Values("songs", "behaviour", "malformed"));

XmFile writer_song(int variant) {
  XmFile f;
  f.channel_count = static_cast<uint16_t>(2 + variant * 3);
  f.song_length = 3;
  f.restart_position = 1;
  f.order_table = {0, 1, static_cast<uint8_t>(variant % 2)};
  for (int i = 0; i < 2; ++i) {
    XmPattern p;
    p.rows = static_cast<uint16_t>(8 + 4 * i);
    p.packing = variant == 1 ? XmPacking::UNPACKED : XmPacking::FT2;
    for (int r = 0; r < p.rows; ++r)
      xm_cell(p, f.channel_count, r, r % f.channel_count) =
          Cell{static_cast<uint8_t>(r * 7 % 98), static_cast<uint8_t>(1 + r % 3), 0x40, static_cast<uint8_t>(r % 36), 0x11};
    f.patterns.push_back(p);
  }
  for (int i = 0; i < 3; ++i) {
    XmInstrument ins;
    ins.volume_point_count = 3;
    ins.volume_envelope[1] = {4, 64};
    ins.volume_envelope[2] = {9, 0};
    ins.volume_flags = ENVELOPE_ON | ENVELOPE_SUSTAIN;
    ins.fadeout = static_cast<uint16_t>(100 * i);
    for (int j = 0; j < i + 1; ++j) {
      XmSample s;
      s.type = static_cast<uint8_t>((j % 2 ? XM_SAMPLE_16BIT : 0) | (1 + (i + j) % 3));
      for (int k = 0; k < 40 + 10 * j; ++k) s.pcm.push_back((k * 37 % 200) - 100);
      s.loop_start = 4;
      s.loop_length = 20;
      ins.samples.push_back(s);
      ins.sample_map[static_cast<size_t>(10 * j)] = static_cast<uint8_t>(j);
    }
    f.instruments.push_back(ins);
  }
  return f;
}

TEST(XmWriterMutations, MutatedModulesLoadOrAreRefused) {
  for (int variant = 0; variant < 3; ++variant) {
    std::vector<uint8_t> bytes = write_xm(writer_song(variant));
    bool loaded = false;
    ASSERT_TRUE(loads_cleanly(bytes, &loaded));
    ASSERT_TRUE(loaded) << "variant " << variant;
    mutation_loop(bytes, 0xC0FFEEu + static_cast<uint64_t>(variant), "variant " + std::to_string(variant));
    if (HasFatalFailure()) return;
  }
}

} // namespace
