// fuzz_xm_load.cpp: feeds arbitrary bytes to the XM loader through in-memory
// file callbacks, as load_module reads any file. Any crash, hang, leak or
// undefined behaviour is a finding; a refusal (null) is a valid outcome. A
// module that loads must keep every guarantee the replayer and mixer rely on.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "music/music.h"
#include "tests/loader/module_invariants.h"
#include "tests/support/xm_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Module* module = load_module_from_memory(data, size);
  if (module == nullptr) return 0;
  const std::string error = module_invariant_error(module);
  if (!error.empty()) {
    std::fprintf(stderr, "loaded module breaks an invariant: %s\n", error.c_str());
    std::abort();
  }
  if (!free_module(module)) std::abort();
  return 0;
}
