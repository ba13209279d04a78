// frames_bench: the time to compose one frame of the show, per timeline
// window, as the frame loop does it: clear the 512 x 384 frame, then draw the
// timeline for t. Each benchmark walks its window millisecond by millisecond
// (wrapping around) and times every frame on its own, so besides the mean it
// reports the median and the worst frame (counters "median_us", "worst_us"),
// both in the thread's processor time so that a busy machine's preemptions
// do not count as frame time.
// The cross-fade window starts each pass uncomposed, so its worst frame is the
// one that composes the two scene pictures, as the show's first frame there.
//
// Floor: memset of one frame plus memcpy of it into a second buffer, the
// least any frame costs (clear it, hand it to the screen).
#include <benchmark/benchmark.h>
#include <time.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "app/timeline.h"

namespace {

constexpr size_t FRAME_BYTES = static_cast<size_t>(FRAME_WIDTH) * FRAME_HEIGHT * sizeof(uint32_t);

struct Window {
  const char* name;
  int32_t from_ms; // first millisecond, inclusive
  int32_t to_ms;   // end, exclusive
};

// The timeline's windows; the pointer's is split where its dot picture changes.
constexpr Window WINDOWS[] = {
    {"kanji_fade", 0, 1024},         {"logo_wipe", 1024, 3072},
    {"kana_brell_fade", 3072, 4096}, {"text_still", 4096, 6144},
    {"scene_cross_fade", 6144, 8192}, {"proudly", 8192, 9216},
    {"title", 9216, 14336},          {"pointer_itsadot", 14336, 20480},
    {"pointer_bluedot", 20480, 24576}, {"fin", 24576, 30720},
};

// The pictures, loaded once for all benchmarks.
Timeline& pictures() {
  static Timeline* timeline = [] {
    auto* t = new Timeline;
    timeline_load(*t, QM_SOURCE_DIR "/data/");
    return t;
  }();
  return *timeline;
}

double thread_cpu_us() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) * 1e6 + static_cast<double>(t.tv_nsec) / 1e3;
}

double median_of(std::vector<double>& v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n == 0 ? 0.0 : (n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2);
}

void BM_Window(benchmark::State& state) {
  const Window& w = WINDOWS[state.range(0)];
  Timeline& timeline = pictures();
  Image frame;
  resize(frame, FRAME_WIDTH, FRAME_HEIGHT);
  std::vector<double> frame_us;
  int32_t t = w.from_ms;
  for (auto _ : state) {
    if (t == w.from_ms) timeline.composed = false;
    const double start = thread_cpu_us();
    fill(frame, 0);
    timeline_draw(timeline, frame, t);
    benchmark::DoNotOptimize(frame.pixels);
    benchmark::ClobberMemory();
    const double end = thread_cpu_us();
    frame_us.push_back(end - start);
    t = t + 1 < w.to_ms ? t + 1 : w.from_ms;
  }
  state.SetLabel(w.name);
  state.counters["worst_us"] = frame_us.empty() ? 0.0 : *std::max_element(frame_us.begin(), frame_us.end());
  state.counters["median_us"] = median_of(frame_us);
}

void BM_Floor(benchmark::State& state) {
  std::vector<uint32_t> frame(FRAME_BYTES / sizeof(uint32_t)), screen(frame.size());
  std::vector<double> frame_us;
  for (auto _ : state) {
    const double start = thread_cpu_us();
    std::memset(frame.data(), 0, FRAME_BYTES);
    benchmark::ClobberMemory();
    std::memcpy(screen.data(), frame.data(), FRAME_BYTES);
    benchmark::DoNotOptimize(screen.data());
    benchmark::ClobberMemory();
    const double end = thread_cpu_us();
    frame_us.push_back(end - start);
  }
  state.SetLabel("memset+memcpy 512x384x4");
  state.counters["worst_us"] = frame_us.empty() ? 0.0 : *std::max_element(frame_us.begin(), frame_us.end());
  state.counters["median_us"] = median_of(frame_us);
}

}  // namespace

BENCHMARK(BM_Floor)->Unit(benchmark::kMicrosecond)->MinTime(1.0);
BENCHMARK(BM_Window)->DenseRange(0, static_cast<int>(std::size(WINDOWS)) - 1)->Unit(benchmark::kMicrosecond)->MinTime(1.0);

BENCHMARK_MAIN();
