// main.cpp: quillmere-frames, draws the show's timeline at chosen times and
// writes each frame as a PNG, through the same code the show runs.
// Owns: one Timeline and one frame buffer. Touches: the pictures under the
// data directory and the PNG files it writes. Thread: main thread only.
//
//   quillmere-frames [--data DIR] [-o DIR] T...      frames at T ms (ascending)
//   quillmere-frames [--data DIR] [-o DIR] --fps N   every frame of the show
//   quillmere-frames [--data DIR] --fps N --time     compose only; print timings
//
// Each frame depends on its time alone, whatever frames were drawn before.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <vector>

#include "app/timeline.h"
#include "gfx/console_log.h"
#include "tools/frames/png_writer.h"

namespace {

constexpr int32_t MAX_FPS = 1000;

struct Options {
  std::string data_dir = "data/";   // prefix of the picture paths
  std::string out_dir = ".";        // where the PNG files go
  int32_t fps = 0;                  // 0: explicit times; else frames per second
  bool time_only = false;           // measure composition instead of writing
  std::vector<int32_t> times;       // explicit times in ms, ascending
};

[[noreturn]] void usage(const char* why) {
  std::fprintf(stderr,
               "quillmere-frames: %s\n"
               "usage: quillmere-frames [--data DIR] [-o DIR] T... | --fps N [--time]\n"
               "  T: time in ms (0..30719, ascending); writes frame_tTTTTT.png\n"
               "  --fps N: every frame of the show at N fps; writes frame_NNNNN.png\n"
               "  --time: with --fps, composes without writing and prints timings\n",
               why);
  std::exit(2);
}

// Parses a whole decimal number in lo..hi; anything else is refused.
int32_t parse_number(const char* text, int32_t lo, int32_t hi, const char* what) {
  char* end = nullptr;
  const long v = std::strtol(text, &end, 10);
  if (end == text || *end != '\0' || v < lo || v > hi) {
    std::string why = std::string("bad ") + what + " '" + text + "'";
    usage(why.c_str());
  }
  return static_cast<int32_t>(v);
}

Options parse(int argc, char** argv) {
  Options o;
  for (int i = 1; i < argc; ++i) {
    const char* a = argv[i];
    const bool has_value = i + 1 < argc;
    if (!std::strcmp(a, "--data") && has_value) {
      o.data_dir = argv[++i];
    } else if (!std::strcmp(a, "-o") && has_value) {
      o.out_dir = argv[++i];
    } else if (!std::strcmp(a, "--fps") && has_value) {
      o.fps = parse_number(argv[++i], 1, MAX_FPS, "frame rate");
    } else if (!std::strcmp(a, "--time")) {
      o.time_only = true;
    } else if (a[0] == '-') {
      usage((std::string("unknown or incomplete option ") + a).c_str());
    } else {
      o.times.push_back(parse_number(a, 0, SHOW_LENGTH_MS - 1, "time"));
    }
  }
  if (o.fps && !o.times.empty()) usage("give times or --fps, not both");
  if (!o.fps && o.times.empty()) usage("no times given");
  if (o.time_only && !o.fps) usage("--time needs --fps");
  if (!std::is_sorted(o.times.begin(), o.times.end())) usage("times must be ascending");
  if (!o.data_dir.empty() && o.data_dir.back() != '/') o.data_dir += '/';
  return o;
}

// Every frame time of the show at fps frames per second.
std::vector<int32_t> show_times(int32_t fps) {
  std::vector<int32_t> times;
  for (int64_t i = 0;; ++i) {
    const auto t = static_cast<int32_t>(i * 1000 / fps);
    if (t >= SHOW_LENGTH_MS) break;
    times.push_back(t);
  }
  return times;
}

// Microseconds of processor time this thread has used: unlike the wall
// clock it leaves out the time other processes had the core.
double thread_cpu_us() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e6 + ts.tv_nsec / 1e3;
}

struct Timing {
  int32_t t;     // frame time, ms
  double wall;   // microseconds of wall-clock time
  double cpu;    // microseconds of this thread's processor time
};

void print_timings(std::vector<Timing> v) {
  const size_t mid = v.size() / 2;
  std::sort(v.begin(), v.end(), [](const Timing& a, const Timing& b) { return a.wall < b.wall; });
  std::printf("%zu frames, wall clock: median %.1f us, worst %.1f us (t = %d ms)\n", v.size(), v[mid].wall,
              v.back().wall, v.back().t);
  std::sort(v.begin(), v.end(), [](const Timing& a, const Timing& b) { return a.cpu < b.cpu; });
  std::printf("%zu frames, processor time: median %.1f us, worst %.1f us (t = %d ms)\n", v.size(), v[mid].cpu,
              v.back().cpu, v.back().t);
}

}  // namespace

int main(int argc, char** argv) {
  console_log.handle = stderr;
  const Options o = parse(argc, argv);
  Timeline timeline;
  const TimelineLoad loaded = timeline_load(timeline, o.data_dir.c_str());
  if (loaded.result != TGA_OK) {
    log_tga_failure(loaded.path.c_str(), loaded.result);
    return -1;
  }
  Image frame;
  resize(frame, FRAME_WIDTH, FRAME_HEIGHT);

  const std::vector<int32_t> times = o.fps ? show_times(o.fps) : o.times;
  std::error_code ec;
  if (!o.time_only) std::filesystem::create_directories(o.out_dir, ec);
  std::vector<Timing> timings;
  for (size_t i = 0; i < times.size(); ++i) {
    const double cpu_before = thread_cpu_us();
    const auto before = std::chrono::steady_clock::now();
    fill(frame, 0);
    timeline_draw(timeline, frame, times[i]);
    const auto after = std::chrono::steady_clock::now();
    timings.push_back({times[i], std::chrono::duration<double, std::micro>(after - before).count(),
                       thread_cpu_us() - cpu_before});
    if (o.time_only) continue;

    char name[32];
    if (o.fps) {
      std::snprintf(name, sizeof name, "frame_%05zu.png", i);
    } else {
      std::snprintf(name, sizeof name, "frame_t%05d.png", times[i]);
    }
    const std::string path = o.out_dir + "/" + name;
    if (!png_write(path.c_str(), frame)) {
      std::fprintf(stderr, "quillmere-frames: cannot write %s\n", path.c_str());
      return 1;
    }
  }
  if (o.time_only) print_timings(timings);
  return 0;
}
