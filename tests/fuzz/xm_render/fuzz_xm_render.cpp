// fuzz_xm_render.cpp: loads arbitrary bytes as an XM module from memory and,
// when the loader accepts them, renders the first two seconds at 44,100 Hz
// through configure_output, start_playback and fill_block, the path both the
// mixer thread and offline rendering take. Any crash, hang, leak or undefined
// behaviour is a finding, and so is a render that uses more processor time
// than QM_FUZZ_RENDER_CPU_MS (default 1000 ms; raise it for slow builds).
#include <time.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "music/music.h"
#include "music/output.h"
#include "tests/loader/module_invariants.h"
#include "tests/support/xm_writer.h"

namespace {

constexpr int32_t RENDER_RATE = 44100;
constexpr int64_t RENDER_FRAMES = 2 * RENDER_RATE;

int64_t thread_cpu_ns() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<int64_t>(t.tv_sec) * 1000000000 + t.tv_nsec;
}

// The processor-time budget of one render, read once from the environment.
int64_t cpu_budget_ns() {
  static const int64_t budget = [] {
    const char* text = std::getenv("QM_FUZZ_RENDER_CPU_MS");
    long ms = text != nullptr ? std::strtol(text, nullptr, 10) : 0;
    return static_cast<int64_t>(ms > 0 ? ms : 1000) * 1000000;
  }();
  return budget;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  Module* module = load_module_from_memory(data, size);
  if (module == nullptr) return 0;
  const std::string error = module_invariant_error(module);
  if (!error.empty()) {
    std::fprintf(stderr, "loaded module breaks an invariant: %s\n", error.c_str());
    std::abort();
  }
  if (!configure_output(RENDER_RATE) || !start_playback(module)) std::abort();
  const int64_t start = thread_cpu_ns();
  for (int64_t frames = 0; frames < RENDER_FRAMES; frames += block_frames) fill_block();
  const int64_t used = thread_cpu_ns() - start;
  release_playback_buffers();
  if (!free_module(module)) std::abort();
  if (used > cpu_budget_ns()) {
    std::fprintf(stderr, "two seconds rendered in %.3f s of processor time\n", used / 1e9);
    std::abort();
  }
  return 0;
}
