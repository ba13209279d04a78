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
// Exit status: 0 written, 1 refused or failed, 2 a bad command line, 255 a
// picture or the music did not load (the show's own status and messages).
#include <sys/resource.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "app/show_driver.h"
#include "tools/capture/encoder.h"
#include "tools/capture/options.h"
#include "tools/capture/output_file.h"
#include "tools/capture/progress.h"
#include "tools/capture/show_capture.h"

namespace {

constexpr const char* PROGRAM = "quillmere-capture";
constexpr int STATUS_FAILED = 1;
constexpr double KIB_PER_MIB = 1024.0;
constexpr double MICROSECONDS_PER_SECOND = 1e6;

void report(const std::string& file, const std::string& why) {
  std::fprintf(stderr, "%s: %s: %s\n", PROGRAM, file.c_str(), why.c_str());
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

// Loads the show, encodes the range into out.temp and renames it into
// place; the exit status. The temporary file is gone whatever happens.
int capture(const CaptureOptions& o, const CaptureRange& range, OutputFile& out) {
  const auto start = std::chrono::steady_clock::now();
  ShowCapture show;
  const int loaded = capture_load(show, o.data_dir, PROGRAM);
  if (loaded != STATUS_DONE) {
    output_discard(out);
    return loaded;
  }
  EncoderSettings settings;
  settings.lossless = o.lossless;
  settings.width = FRAME_WIDTH;
  settings.height = FRAME_HEIGHT;
  settings.scale = o.scale;
  settings.fps = o.fps;
  settings.crf = o.crf;
  settings.sample_rate = qm::SHOW_MIX_RATE;
  std::string why;
  Encoder* encoder = encoder_open(out.temp.c_str(), settings, why);
  if (encoder == nullptr) {
    output_discard(out);
    report(out.target, why);
    return STATUS_FAILED;
  }
  Progress progress = progress_start(range.end - range.first, !o.quiet);
  int64_t done = 0;
  CaptureSink sink;
  sink.frame = [&](const Image& frame, int64_t) {
    progress_update(progress, ++done);
    return encoder_video(encoder, frame, why);
  };
  sink.audio = [&](const int16_t* samples, int32_t frames) { return encoder_audio(encoder, samples, frames, why); };
  CaptureReport run;
  const bool written = capture_run(show, range, sink, run) && encoder_finish(encoder, why);
  progress_end(progress, done);
  const EncoderTimes times = encoder_times(encoder);
  encoder_free(encoder);
  if (!written) {
    output_discard(out);
    report(out.target, why);
    return STATUS_FAILED;
  }
  if (!output_commit(out, why)) {
    report(out.target, why);
    return STATUS_FAILED;
  }
  const double wall = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (o.time) print_times(range, run, times, wall);
  return EXIT_SUCCESS;
}

}  // namespace

int main(int argc, char** argv) {
  CaptureOptions o;
  switch (parse_capture_options(argc, argv, o)) {
    case CAPTURE_HELP:
      print_capture_help();
      return EXIT_SUCCESS;
    case CAPTURE_VERSION:
      print_capture_version();
      return EXIT_SUCCESS;
    case CAPTURE_BAD:
      return CAPTURE_STATUS_BAD_COMMAND_LINE;
    case CAPTURE_RUN:
      break;
  }
  const CaptureRange range = capture_range(o.fps, o.from_ms, o.to_ms);
  if (range.first >= range.end) {
    std::fprintf(stderr, "%s: --from %d --to %d: no frame at %d frames per second falls in that stretch\n", PROGRAM,
                 o.from_ms, o.to_ms, o.fps);
    return CAPTURE_STATUS_BAD_COMMAND_LINE;
  }
  guard_output_against_signals();
  OutputFile out;
  std::string why;
  if (!output_prepare(out, o.output, o.force, show_data_files(o.data_dir), why)) {
    report(o.output, why);
    return STATUS_FAILED;
  }
  return capture(o, range, out);
}
