// probe.cpp: preloaded into the show (LD_PRELOAD) by bench/startup. It takes
// the place of SDL_RenderPresent: the first call, the first frame handed to
// the screen, is allowed to complete and then the milliseconds since
// QM_STARTUP_T0_NS (set by startup_launch) are appended as one line to the
// file named by QM_STARTUP_OUT, and the process ends at once with status 0.
// Also written: the processor time the process used up to then (all threads,
// user + sys), which a busy machine does not inflate; when the probe itself
// was loaded (exec and the dynamic loader); and when the last call of
// SDL_CreateRenderer returned with its processor time then, so the share of
// the platform's set-up (window, renderer, GL driver) can be told from the
// show's own (pictures, module, 100 blocks mixed ahead, first frame).
// Line: PRESENT_MS CPU_MS LOADED_MS RENDERER_MS RENDERER_CPU_MS
#include <dlfcn.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace {

using PresentFn = void (*)(void* renderer);
using CreateRendererFn = void* (*)(void* window, int index, uint32_t flags);

double now_ms_since_start() {
  const char* t0 = std::getenv("QM_STARTUP_T0_NS");
  if (t0 == nullptr) return -1.0;
  timespec now{};
  clock_gettime(CLOCK_MONOTONIC, &now);
  const long long ns = static_cast<long long>(now.tv_sec) * 1000000000LL + now.tv_nsec;
  return static_cast<double>(ns - std::atoll(t0)) / 1e6;
}

double process_cpu_ms() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return (static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
          static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3);
}

// Milliseconds from the stamp to the probe's constructor: exec and loading.
double loaded_ms = -1.0;

__attribute__((constructor)) void probe_loaded() { loaded_ms = now_ms_since_start(); }

// When the renderer was ready, wall-clock and processor milliseconds.
double renderer_ms = -1.0, renderer_cpu_ms = -1.0;

}  // namespace

extern "C" void* SDL_CreateRenderer(void* window, int index, uint32_t flags) {
  static const auto real = reinterpret_cast<CreateRendererFn>(dlsym(RTLD_NEXT, "SDL_CreateRenderer"));
  void* renderer = real != nullptr ? real(window, index, flags) : nullptr;
  if (renderer != nullptr) {
    renderer_ms = now_ms_since_start();
    renderer_cpu_ms = process_cpu_ms();
  }
  return renderer;
}

extern "C" void SDL_RenderPresent(void* renderer) {
  static const auto real = reinterpret_cast<PresentFn>(dlsym(RTLD_NEXT, "SDL_RenderPresent"));
  if (real != nullptr) real(renderer);
  const double first_present_ms = now_ms_since_start();
  const double cpu_ms = process_cpu_ms();
  if (const char* out = std::getenv("QM_STARTUP_OUT")) {
    if (FILE* f = std::fopen(out, "a")) {
      std::fprintf(f, "%.3f %.3f %.3f %.3f %.3f\n", first_present_ms, cpu_ms, loaded_ms, renderer_ms,
                   renderer_cpu_ms);
      std::fclose(f);
    }
  }
  _exit(0);
}
