// fuzz_xm_load.cpp: feeds arbitrary bytes to the XM loader in place
// (load_song_memory), as a load from any source reads them, in every layout
// it takes (versions 1.02 to 1.04, any number of samples per instrument,
// packed samples). Any crash, hang, leak or undefined behaviour is a finding.
// A refusal must come with a status that bytes can cause and a reason; a
// song that loads must keep every guarantee the replayer and mixer rely on,
// and its warnings and information must read back through the C functions.
// The same bytes loaded strictly must give the same song or be refused as
// unsupported, or for the same reason as the default load.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quillmere/music.h"
#include "music/song_load.h"
#include "tests/loader/module_invariants.h"
#include "tests/loader/song_compare.h"

using namespace qm;

namespace {

void fail(const char* what, const char* detail) {
  std::fprintf(stderr, "%s: %s\n", what, detail);
  std::abort();
}

void check_song(const qm_song* song) {
  qm_song_info info;
  if (qm_song_get_info(song, &info) != QM_OK) fail("song information", "refused");
  for (int32_t i = 0; i < qm_song_warning_count(song); ++i)
    if (qm_song_warning_kind(song, i) == 0 || qm_song_warning_text(song, i)[0] == 0) fail("warning", "empty");
  for (int32_t p = 0; p < info.patterns; ++p)
    if (qm_song_pattern_rows(song, p) < 1) fail("pattern rows", "below 1");
}

// A strict load of the same bytes: the default load's song, or a refusal as
// unsupported, or the default load's refusal.
void check_strict(const uint8_t* data, size_t size, qm_status status, const Module* module) {
  SongLoadOptions strict{};
  strict.strict = true;
  Module* strict_module = nullptr;
  qm_load_error error{};
  qm_status strict_status = load_song_memory_with(data, size, &strict, &strict_module, &error);
  if (strict_status == QM_OK) {
    if (module == nullptr) fail("strict load", "took what the default load refused");
    const std::string difference = song_difference(strict_module, module);
    if (!difference.empty()) fail("strict load gave another song", difference.c_str());
    free_song(strict_module);
  } else if (strict_status != QM_ERROR_UNSUPPORTED && strict_status != status) {
    fail("strict load refused for another reason", error.detail);
  }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Module* module = nullptr;
  qm_load_error error{};
  qm_status status = load_song_memory(data, size, &module, &error);
  if (status != QM_OK) {
    bool from_bytes = status == QM_ERROR_NOT_XM || status == QM_ERROR_HEADER_INCOMPLETE ||
                      status == QM_ERROR_UNSUPPORTED || status == QM_ERROR_OUT_OF_MEMORY;
    if (!from_bytes || module != nullptr || error.detail[0] == 0) fail(qm_status_text(status), error.detail);
  } else {
    const std::string invariant = module_invariant_error(module);
    if (!invariant.empty()) fail("loaded module breaks an invariant", invariant.c_str());
    check_song(reinterpret_cast<const qm_song*>(module));
  }
  check_strict(data, size, status, module);
  free_song(module);
  return 0;
}
