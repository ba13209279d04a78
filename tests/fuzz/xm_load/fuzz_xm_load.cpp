// fuzz_xm_load.cpp: feeds arbitrary bytes to the XM loader in place
// (load_song_memory), as a load from any source reads them. Any crash, hang,
// leak or undefined behaviour is a finding. A refusal must come with a
// status that bytes can cause and a reason; a song that loads must keep
// every guarantee the replayer and mixer rely on, and its warnings and
// information must read back through the C functions.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "quillmere/music.h"
#include "music/song_load.h"
#include "tests/loader/module_invariants.h"

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

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Module* module = nullptr;
  qm_load_error error{};
  qm_status status = load_song_memory(data, size, &module, &error);
  if (status != QM_OK) {
    bool from_bytes = status == QM_ERROR_NOT_XM || status == QM_ERROR_HEADER_INCOMPLETE ||
                      status == QM_ERROR_UNSUPPORTED || status == QM_ERROR_OUT_OF_MEMORY;
    if (!from_bytes || module != nullptr || error.detail[0] == 0) fail(qm_status_text(status), error.detail);
    return 0;
  }
  const std::string invariant = module_invariant_error(module);
  if (!invariant.empty()) fail("loaded module breaks an invariant", invariant.c_str());
  check_song(reinterpret_cast<const qm_song*>(module));
  free_song(module);
  return 0;
}
