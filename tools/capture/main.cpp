// main.cpp: quillmere-capture, the show rendered offline into a video file
// with its sound, on a virtual clock: the same file on every machine and
// every run, with no display and no sound device.
// Owns: the command line, the output file and the encoder. Touches: the
// data files, the output's folder, standard output (--time) and standard
// error (messages, progress). Thread: main thread.
//
//   quillmere-capture [--data DIR] -o FILE [--fps N] [--scale K] [--lossless] [--crf Q]
//                     [--from MS] [--to MS] [--force] [-q] [--time]
//
// Exit status (tools/common/status.h): EXIT_OK written, EXIT_FAILED refused
// or failed, EXIT_USAGE a bad command line, EXIT_SHOW_DATA a picture or the
// music did not load (the show's own messages); a stop signal ends it by
// that signal, with nothing left behind.
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/show_driver.h"
#include "tools/capture/encoder.h"
#include "tools/capture/options.h"
#include "tools/capture/output_file.h"
#include "tools/capture/show_capture.h"
#include "tools/common/progress_bar.h"
#include "tools/common/stop_signals.h"

namespace {

constexpr const char* PROGRAM = CAPTURE_PROGRAM;
constexpr double KIB_PER_MIB = 1024.0;
constexpr double MICROSECONDS_PER_SECOND = 1e6;
constexpr int SECONDS_PER_MINUTE = 60;

// Frames done and all, and where the capture stands on the terminal.
struct Progress {
  ProgressBar bar;
  int64_t total = 0;
  std::chrono::steady_clock::time_point start = std::chrono::steady_clock::now();
};

// "12/1844 frames  61.3 fps  0:29 left" for done frames.
std::string progress_detail(const Progress& p, int64_t done) {
  const double elapsed = std::chrono::duration<double>(std::chrono::steady_clock::now() - p.start).count();
  const double fps = elapsed > 0 ? static_cast<double>(done) / elapsed : 0.0;
  char left[32] = "--:--";
  if (fps > 0) {
    const auto seconds = static_cast<int64_t>(static_cast<double>(p.total - done) / fps + 0.5);
    std::snprintf(left, sizeof left, "%lld:%02lld", static_cast<long long>(seconds / SECONDS_PER_MINUTE),
                  static_cast<long long>(seconds % SECONDS_PER_MINUTE));
  }
  char text[96];
  std::snprintf(text, sizeof text, "%lld/%lld frames  %.1f fps  %s left", static_cast<long long>(done),
                static_cast<long long>(p.total), fps, left);
  return text;
}

double share_of(const Progress& p, int64_t done) {
  return p.total > 0 ? static_cast<double>(done) / static_cast<double>(p.total) : 1.0;
}

double process_cpu_seconds() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / MICROSECONDS_PER_SECOND;
}

double peak_resident_mib() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return static_cast<double>(usage.ru_maxrss) / KIB_PER_MIB;  // ru_maxrss is in KiB
}

void print_stage(const char* name, double seconds, double total) {
  std::printf("  %-10s %7.2f s  %5.1f %%\n", name, seconds, total > 0 ? 100.0 * seconds / total : 0.0);
}

// Where the time went, for --time.
void print_times(const CaptureRange& range, const CaptureReport& r, const EncoderTimes& e, double wall) {
  const int64_t frames = range.end - range.first;
  const double length = static_cast<double>(frames) / range.fps;
  std::printf("%lld frames (%.3f s of video) in %.2f s: %.1f frames per second, %.2f x real time\n",
              static_cast<long long>(frames), length, wall, static_cast<double>(frames) / wall, length / wall);
  print_stage("composing", r.compose_seconds, wall);
  print_stage("scaling", e.scale_seconds, wall);
  print_stage("video", e.video_seconds, wall);
  print_stage("music", r.music_seconds, wall);
  print_stage("audio", e.audio_seconds, wall);
  const double rest = wall - r.compose_seconds - e.scale_seconds - e.video_seconds - r.music_seconds - e.audio_seconds;
  print_stage("other", rest, wall);
  std::printf("processor time %.2f s (%.2f cores busy), peak resident memory %.1f MiB\n", process_cpu_seconds(),
              process_cpu_seconds() / wall, peak_resident_mib());
  if (r.stop_frame >= 0) {
    std::printf("the music stopped at video frame %lld (%d ms), sound frame %lld\n",
                static_cast<long long>(r.stop_frame), capture_frame_time(r.stop_frame, range.fps),
                static_cast<long long>(r.stop_audio_frame));
  }
}

// Loads the show, encodes the range into out->temp and renames it into
// place; the exit status. The temporary file is gone whatever happens. A
// stop signal ends the run without a message; main then ends the process.
int capture(const CaptureOptions& o, const CaptureRange& range, AtomicFile* out) {
  const auto start = std::chrono::steady_clock::now();
  ShowCapture show;
  if (capture_load(show, o.data_dir, PROGRAM, o.force) != STATUS_DONE) {
    atomic_discard(out);
    return EXIT_SHOW_DATA;
  }
  EncoderSettings settings;
  settings.lossless = o.lossless;
  settings.matroska = o.matroska;
  settings.width = FRAME_WIDTH;
  settings.height = FRAME_HEIGHT;
  settings.scale = o.scale;
  settings.fps = o.fps;
  settings.crf = o.crf;
  settings.sample_rate = qm::SHOW_MIX_RATE;
  std::string why;
  Encoder* encoder = encoder_open(out->temp.c_str(), settings, why);
  if (encoder == nullptr) {
    atomic_discard(out);
    print_failure(PROGRAM, out->target, why);
    return EXIT_FAILED;
  }
  Progress progress;
  progress.bar = progress_bar(progress_wanted(o.quiet ? ProgressMode::OFF : ProgressMode::AUTO, false));
  progress.total = range.end - range.first;
  int64_t done = 0;
  CaptureSink sink;
  sink.frame = [&](const Image& frame, int64_t) {
    ++done;
    if (progress.bar.on) progress_draw(&progress.bar, share_of(progress, done), progress_detail(progress, done));
    return !stop_requested() && encoder_video(encoder, frame, why);
  };
  sink.audio = [&](const int16_t* samples, int32_t frames) { return encoder_audio(encoder, samples, frames, why); };
  CaptureReport run;
  const bool written = capture_run(show, range, sink, run) && encoder_finish(encoder, why);
  if (stop_requested()) progress_clear(&progress.bar);
  else progress_finish(&progress.bar, share_of(progress, done), progress_detail(progress, done));
  const EncoderTimes times = encoder_times(encoder);
  encoder_free(encoder);
  if (!written) {
    atomic_discard(out);
    if (!stop_requested()) print_failure(PROGRAM, out->target, why);
    return EXIT_FAILED;
  }
  const Status committed = atomic_commit(out, CLOBBER_REPLACE);
  if (failed(committed)) {
    if (!stop_requested()) print_failure(PROGRAM, out->target, committed.message);
    return committed.code;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (o.time) print_times(range, run, times, wall);
  return EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
  keep_standard_streams();
  CaptureOptions o;
  const CommandLine command = parse_capture_options(argc, argv, o);
  if (command != COMMAND_RUN) return command_line_done(command, PROGRAM, capture_help());
  const CaptureRange range = capture_range(o.fps, o.from_ms, o.to_ms);
  if (range.first >= range.end) {
    std::fprintf(stderr, "%s: --from %d --to %d: no frame at %d frames per second falls in that stretch\n", PROGRAM,
                 o.from_ms, o.to_ms, o.fps);
    return EXIT_USAGE;
  }
  remember_umask();
  install_stop_handlers();
  AtomicFile out;
  const Status opened = open_capture_output(&out, o.output, o.force, show_data_files(o.data_dir));
  if (failed(opened)) {
    print_failure(PROGRAM, o.output, opened.message);
    return opened.code;
  }
  const int status = capture(o, range, &out);
  if (stop_requested()) end_by_stop_signal();
  return status;
}
