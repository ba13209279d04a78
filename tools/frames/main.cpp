// main.cpp: quillmere-frames, draws the show's timeline at chosen times and
// writes each frame as a PNG, through the same code the show runs.
// Owns: one Timeline and one frame buffer. Touches: the pictures under the
// data folder and the PNG files it writes. Thread: main thread only.
//
//   quillmere-frames [--data DIR] [-o DIR] T...      frames at T ms
//   quillmere-frames [--data DIR] [-o DIR] --fps N   every frame of the show
//   quillmere-frames [--data DIR] --fps N --time     compose only; print timings
//
// Each frame depends on its time alone, whatever frames were drawn before.
// Exit status (tools/common/status.h): EXIT_OK done, EXIT_FAILED a picture
// or a frame file failed, EXIT_USAGE a bad command line; a stop signal ends
// it by that signal, the frame being written removed.
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include "app/show_driver.h"
#include "gfx/tga.h"
#include "tools/common/atomic_output.h"
#include "tools/common/command_line.h"
#include "tools/common/stop_signals.h"
#include "tools/frames/png_writer.h"

namespace {

constexpr const char* PROGRAM = "quillmere-frames";
constexpr int32_t MIN_FPS = 1;
constexpr int32_t MAX_FPS = 1000;

constexpr const char* USAGE =
    "usage: quillmere-frames [--data DIR] [-o DIR] T...\n"
    "       quillmere-frames [--data DIR] [-o DIR] --fps N\n"
    "       quillmere-frames [--data DIR] --fps N --time\n"
    "       quillmere-frames --help | --version\n";

constexpr const char* HELP =
    "Draws frames of the Quillmere show through the same code the show runs\n"
    "and writes each one as a 512 x 384 PNG file.\n"
    "\n"
    "  T          a time in ms into the show, 0..30719; writes frame_tTTTTT.png\n"
    "  --fps N    every frame of the show at N frames per second, N in 1..1000;\n"
    "             writes frame_NNNNN.png\n"
    "  --time     with --fps: compose the frames without writing them and print\n"
    "             how long composing took\n"
    "  --data DIR the folder that holds the show's nine pictures\n"
    "             (default: the current folder)\n"
    "  -o DIR     where the PNG files go, created if missing\n"
    "             (default: the current folder)\n"
    "  --help     print this help and exit\n"
    "  --version  print the version and exit\n"
    "\n"
    "Exit status: 0 when every frame is written, 1 when a picture does not\n"
    "load or a frame cannot be written, 2 for a bad command line.\n";

struct Options {
  std::string data_dir;         // prefix of the picture paths; empty: the current folder
  std::string out_dir = ".";    // where the PNG files go
  int32_t fps = 0;              // 0: explicit times; else frames per second, MIN_FPS..MAX_FPS
  bool time_only = false;       // measure composition instead of writing
  std::vector<int32_t> times;   // explicit times, ms, 0..SHOW_LENGTH_MS - 1
};

bool looks_negative(const char* a) { return a[0] == '-' && a[1] >= '0' && a[1] <= '9'; }

// A time in ms at the scanner, refused when it is none or outside the show.
void take_time(OptionScanner* s, Options* o) {
  const std::string text = s->arg;
  int64_t v = 0;
  if (!parse_whole(s->arg, INT64_MIN, INT64_MAX, &v)) {
    scan_refuse(s, "not a time in ms: '" + text + "'");
  } else if (v < 0) {
    scan_refuse(s, "negative time '" + text + "'");
  } else if (v >= SHOW_LENGTH_MS) {
    scan_refuse(s, "time '" + text + "' is past the end of the show (0.." + std::to_string(SHOW_LENGTH_MS - 1) +
                       " ms)");
  } else {
    o->times.push_back(static_cast<int32_t>(v));
  }
}

// True when the scanner's argument is an option with a value: taken, or
// refused when the value is missing or bad.
bool parse_value_option(OptionScanner* s, Options* o) {
  const char* v = nullptr;
  std::string* text = nullptr;
  if (scan_value(s, "--data", &v)) text = &o->data_dir;
  else if (scan_value(s, "-o", &v)) text = &o->out_dir;
  else if (!scan_value(s, "--fps", &v)) return false;
  int64_t fps = 0;
  if (v == nullptr) {
    scan_refuse(s, std::string("option needs a value: ") + s->arg);
  } else if (text != nullptr) {
    *text = v;
  } else if (!parse_whole(v, MIN_FPS, MAX_FPS, &fps)) {
    scan_refuse(s, std::string("frame rate '") + v + "' is out of range " + std::to_string(MIN_FPS) + ".." +
                       std::to_string(MAX_FPS));
  } else {
    o->fps = static_cast<int32_t>(fps);
  }
  return true;
}

CommandLine parse(int argc, char** argv, Options* o) {
  OptionScanner s = scan_begin(PROGRAM, USAGE, argc, argv);
  while (scan_next(&s)) {
    if (const CommandLine c = scan_help_or_version(s); c != COMMAND_RUN) return c;
    if (!s.is_option || looks_negative(s.arg)) take_time(&s, o);
    else if (scan_flag(s, "--time")) o->time_only = true;
    else if (!parse_value_option(&s, o)) return scan_refuse(&s, std::string("unknown option '") + s.arg + "'");
  }
  if (s.refused) return COMMAND_BAD;
  if (o->fps && !o->times.empty()) return scan_refuse(&s, "give times or --fps, not both");
  if (!o->fps && o->times.empty()) return scan_refuse(&s, "no times given");
  if (o->time_only && !o->fps) return scan_refuse(&s, "--time needs --fps");
  if (!o->data_dir.empty() && o->data_dir.back() != '/') o->data_dir += '/';
  return COMMAND_RUN;
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

// Loads the pictures; false, reported, when one does not load. A picture
// that is not there usually means the wrong folder, so that message says
// how to name the right one.
bool load_pictures(Show& show, const Options& o) {
  ShowFailure failure;
  if (show_load(show, ShowData{o.data_dir, false}, &failure) == SHOW_OK) return true;
  const char* hint = failure.reason == tga_result_text(TGA_WILL_NOT_OPEN)
                         ? "; run from the folder that holds the pictures, or give --data DIR"
                         : "";
  std::fprintf(stderr, "quillmere-frames: %s: %s%s\n", failure.path.c_str(), failure.reason.c_str(), hint);
  return false;
}

// The file name of frame i at time t.
std::string frame_path(const Options& o, size_t i, int32_t t) {
  char name[32];
  if (o.fps) {
    std::snprintf(name, sizeof name, "frame_%05zu.png", i);
  } else {
    std::snprintf(name, sizeof name, "frame_t%05d.png", t);
  }
  return o.out_dir + "/" + name;
}

// Composes (and unless only timing, writes) every frame; the exit status.
int draw_frames(Show& show, const Options& o) {
  const std::vector<int32_t> times = o.fps ? show_times(o.fps) : o.times;
  std::vector<Timing> timings;
  for (size_t i = 0; i < times.size(); ++i) {
    const double cpu_before = thread_cpu_us();
    const auto before = std::chrono::steady_clock::now();
    show_step(show, times[i]);
    const auto after = std::chrono::steady_clock::now();
    timings.push_back({times[i], std::chrono::duration<double, std::micro>(after - before).count(),
                       thread_cpu_us() - cpu_before});
    if (o.time_only) continue;
    if (stop_requested()) return EXIT_FAILED;
    const std::string path = frame_path(o, i, times[i]);
    if (const int error = png_write(path.c_str(), show.frame)) {
      if (!stop_requested()) print_failure(PROGRAM, path, std::strerror(error));
      return EXIT_FAILED;
    }
  }
  if (o.time_only) print_timings(timings);
  return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
  keep_standard_streams();
  Options o;
  const CommandLine command = parse(argc, argv, &o);
  if (command != COMMAND_RUN) return command_line_done(command, PROGRAM, std::string(USAGE) + "\n" + HELP);
  remember_umask();
  install_stop_handlers();
  Show show;
  if (!load_pictures(show, o)) return EXIT_FAILED;
  if (!o.time_only) {
    std::error_code error;
    std::filesystem::create_directories(o.out_dir, error);
    if (error) {
      print_failure(PROGRAM, o.out_dir, error.message());
      return EXIT_FAILED;
    }
  }
  const int status = draw_frames(show, o);
  if (stop_requested()) end_by_stop_signal();
  return status;
}
