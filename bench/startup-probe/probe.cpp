// probe.cpp: preloaded into the show (LD_PRELOAD) by bench/startup. It takes
// the place of SDL_RenderPresent: the first call, the first frame handed to
// the screen, is allowed to complete and then the milliseconds since
// QM_STARTUP_T0_NS (set by startup_launch) are appended as one line to the
// file named by QM_STARTUP_OUT, and the process ends at once with status 0.
// On the way it stamps the stages of start-up by wrapping the calls that end
// them, so the platform's share (audio device, video subsystem, window,
// renderer, texture) can be told from the show's own (pictures, module, 100
// blocks mixed ahead, first frame):
//   loaded    the probe's constructor ran: exec and the dynamic loader
//   audio     SDL_OpenAudioDevice returned (the output opened at construction)
//   video     SDL_InitSubSystem returned with the video subsystem up
//   window    SDL_CreateWindow returned
//   renderer  the last successful SDL_CreateRenderer returned
//   texture   SDL_CreateTexture returned
//   pictures  the module's file was opened: the nine pictures are loaded
//   playing   the device was unpaused: the module is loaded, blocks mixed
//   present   the first SDL_RenderPresent returned
// Line: "present_ms cpu_ms" then "name=ms" for every stage seen, in the
// order above, and "renderer_cpu=ms", the processor time (all threads, user
// + sys) when the renderer was ready, which a busy machine does not inflate.
// Thread: every stage is stamped on the show's main thread.
#include <dlfcn.h>
#include <sys/resource.h>
#include <time.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

enum Stage { LOADED, AUDIO, VIDEO, WINDOW, RENDERER, TEXTURE, PICTURES, PLAYING, STAGE_COUNT };
constexpr const char* STAGE_NAMES[STAGE_COUNT] = {"loaded",  "audio",   "video",    "window",
                                                  "renderer", "texture", "pictures", "playing"};
constexpr uint32_t SDL_INIT_VIDEO_FLAG = 0x20;  // SDL_INIT_VIDEO
constexpr const char* MODULE_FILE = "typing.xm";

// Milliseconds since the stamp for each stage; negative until it is seen.
double stage_ms[STAGE_COUNT] = {-1, -1, -1, -1, -1, -1, -1, -1};
double renderer_cpu_ms = -1.0;  // processor time when the renderer was ready

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

void stamp(Stage stage) { stage_ms[stage] = now_ms_since_start(); }

// Looks up the wrapped function in the next library that defines it.
template <typename Fn>
Fn next(const char* name) {
  return reinterpret_cast<Fn>(dlsym(RTLD_NEXT, name));
}

__attribute__((constructor)) void probe_loaded() { stamp(LOADED); }

}  // namespace

extern "C" uint32_t SDL_OpenAudioDevice(const char* name, int capture, const void* want, void* have, int changes) {
  using Fn = uint32_t (*)(const char*, int, const void*, void*, int);
  static const auto real = next<Fn>("SDL_OpenAudioDevice");
  const uint32_t device = real != nullptr ? real(name, capture, want, have, changes) : 0;
  stamp(AUDIO);
  return device;
}

extern "C" void SDL_PauseAudioDevice(uint32_t device, int pause_on) {
  using Fn = void (*)(uint32_t, int);
  static const auto real = next<Fn>("SDL_PauseAudioDevice");
  if (real != nullptr) real(device, pause_on);
  if (pause_on == 0 && stage_ms[PLAYING] < 0) stamp(PLAYING);
}

extern "C" int SDL_InitSubSystem(uint32_t flags) {
  using Fn = int (*)(uint32_t);
  static const auto real = next<Fn>("SDL_InitSubSystem");
  const int result = real != nullptr ? real(flags) : -1;
  if (result == 0 && (flags & SDL_INIT_VIDEO_FLAG)) stamp(VIDEO);
  return result;
}

extern "C" void* SDL_CreateWindow(const char* title, int x, int y, int w, int h, uint32_t flags) {
  using Fn = void* (*)(const char*, int, int, int, int, uint32_t);
  static const auto real = next<Fn>("SDL_CreateWindow");
  void* window = real != nullptr ? real(title, x, y, w, h, flags) : nullptr;
  stamp(WINDOW);
  return window;
}

extern "C" void* SDL_CreateRenderer(void* window, int index, uint32_t flags) {
  using Fn = void* (*)(void*, int, uint32_t);
  static const auto real = next<Fn>("SDL_CreateRenderer");
  void* renderer = real != nullptr ? real(window, index, flags) : nullptr;
  if (renderer != nullptr) {
    stamp(RENDERER);
    renderer_cpu_ms = process_cpu_ms();
  }
  return renderer;
}

extern "C" void* SDL_CreateTexture(void* renderer, uint32_t format, int access, int w, int h) {
  using Fn = void* (*)(void*, uint32_t, int, int, int);
  static const auto real = next<Fn>("SDL_CreateTexture");
  void* texture = real != nullptr ? real(renderer, format, access, w, h) : nullptr;
  stamp(TEXTURE);
  return texture;
}

namespace {

// The show opens its files through fopen (fopen64 where large-file offsets
// are compiled in); the first opening of the module ends the pictures stage.
void note_opened(const char* path) {
  if (path != nullptr && std::strcmp(path, MODULE_FILE) == 0 && stage_ms[PICTURES] < 0) stamp(PICTURES);
}

}  // namespace

extern "C" FILE* fopen(const char* path, const char* mode) {
  using Fn = FILE* (*)(const char*, const char*);
  static const auto real = next<Fn>("fopen");
  note_opened(path);
  return real != nullptr ? real(path, mode) : nullptr;
}

extern "C" FILE* fopen64(const char* path, const char* mode) {
  using Fn = FILE* (*)(const char*, const char*);
  static const auto real = next<Fn>("fopen64");
  note_opened(path);
  return real != nullptr ? real(path, mode) : nullptr;
}

extern "C" void SDL_RenderPresent(void* renderer) {
  using Fn = void (*)(void*);
  static const auto real = next<Fn>("SDL_RenderPresent");
  if (real != nullptr) real(renderer);
  const double first_present_ms = now_ms_since_start();
  const double cpu_ms = process_cpu_ms();
  if (const char* out = std::getenv("QM_STARTUP_OUT")) {
    if (FILE* f = fopen(out, "a")) {
      std::fprintf(f, "%.3f %.3f", first_present_ms, cpu_ms);
      for (int s = 0; s < STAGE_COUNT; ++s) {
        if (stage_ms[s] >= 0) std::fprintf(f, " %s=%.3f", STAGE_NAMES[s], stage_ms[s]);
      }
      std::fprintf(f, " renderer_cpu=%.3f\n", renderer_cpu_ms);
      std::fclose(f);
    }
  }
  _exit(0);
}
