// xmrender: renders XM modules offline through the Quillmere music library
// into WAV, raw PCM or FLAC files, or describes them (--info). See --help.
//   xmrender song.xm -o song.wav [--rate HZ] [--loops N] [--fade S] ...
//   xmrender *.xm --out-dir out/ --format flac -j 2
//   xmrender song.xm --info [--json]
// This file: the plan of the outputs (names, formats, refusals), the
// worker threads, the messages in the order of the songs, the progress bar,
// the summary and the exit status.
// Owns: the command line, the jobs, the threads and the progress bar's line
// on the terminal. Thread: main.
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <deque>
#include <string>
#include <thread>
#include <vector>

#include "quillmere/music.h"
#include "tools/common/progress_bar.h"
#include "tools/common/stop_signals.h"
#include "tools/common/text.h"
#include "tools/xmrender/info.h"
#include "tools/xmrender/options.h"
#include "tools/xmrender/output_file.h"
#include "tools/xmrender/render_job.h"

namespace {

constexpr auto POLL_INTERVAL = std::chrono::milliseconds(20);

// Draws the bar: for one song the share rendered, for several the songs done.
void draw_jobs_progress(ProgressBar* bar, const std::deque<Job>& jobs) {
  if (!bar->on) return;
  double share = 0.0;
  size_t done = 0;
  for (const Job& job : jobs) {
    const uint64_t total = job.frames_total.load(std::memory_order_relaxed);
    const uint64_t frames = job.frames_done.load(std::memory_order_relaxed);
    if (job.stage.load(std::memory_order_acquire) == STAGE_DONE) {
      share += 1.0;
      ++done;
    } else if (total > 0) {
      share += static_cast<double>(frames) / static_cast<double>(total);
    }
  }
  share /= static_cast<double>(jobs.size());
  const std::string detail =
      jobs.size() > 1 ? std::to_string(done) + " of " + std::to_string(jobs.size()) + " songs" : jobs.front().input;
  progress_draw(bar, share, detail);
}

// The song's file name without its folder and its last extension.
std::string stem_of(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  std::string name = slash == std::string::npos ? path : path.substr(slash + 1);
  const size_t dot = name.find_last_of('.');
  if (dot != std::string::npos && dot > 0) name.erase(dot);
  return name;
}

// pattern with %n replaced by the song's stem and %% by %.
std::string expand_pattern(const std::string& pattern, const std::string& input) {
  std::string out;
  for (size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 'n' || pattern[i + 1] == '%')) {
      out += pattern[i + 1] == 'n' ? stem_of(input) : "%";
      ++i;
    } else {
      out += pattern[i];
    }
  }
  return out;
}

// The format of an output: --format, checked against the extension; else
// the extension's; WAV on streams. False (with a message) when they disagree
// or nothing names it.
bool output_format(const Options& o, const std::string& path, Format* format) {
  Container named{};
  const bool has_extension = !output_is_stream(path) && container_from_extension(path, &named);
  if (o.format_given) {
    if (has_extension && named != o.format.container) {
      std::fprintf(stderr, "%s: '%s' names a %s file but --format %s writes %s\n", PROGRAM, path.c_str(),
                   container_name(named), format_name(o.format), container_name(o.format.container));
      return false;
    }
    *format = o.format;
    return true;
  }
  if (output_is_stream(path)) {
    *format = Format{};
    return true;
  }
  if (!has_extension) {
    std::fprintf(stderr,
                 "%s: '%s': cannot tell the format from the name; end it in .wav, .flac or .raw, "
                 "or give --format\n",
                 PROGRAM, path.c_str());
    return false;
  }
  *format = Format{named, SampleType::S16};
  return true;
}

// The output path of each song, its format, and the refusal of an output
// that is one of the inputs. False on a usage error.
bool plan_jobs(const Options& o, std::deque<Job>* jobs) {
  if (o.output == "-" && isatty(STDOUT_FILENO)) {
    std::fprintf(stderr, "%s: standard output is a terminal; redirect it to a file or a pipe\n", PROGRAM);
    return false;
  }
  for (const std::string& input : o.inputs) {
    Job& job = jobs->emplace_back();
    job.input = input;
    if (o.trace && o.output.empty()) continue;
    if (!o.out_dir.empty()) {
      const Format f = o.format_given ? o.format : Format{};
      job.output = o.out_dir + "/" + stem_of(input) + container_extension(f.container);
    } else {
      job.output = expand_pattern(o.output, input);
    }
    for (const std::string& other : o.inputs) {
      if (!same_file(job.output, other)) continue;
      const std::string which = same_file(other, input) ? "the input itself" : "the input '" + other + "'";
      job.refusal = "the output '" + job.output + "' is " + which + "; nothing written";
    }
    if (job.refusal.empty() && !output_format(o, job.output, &job.format)) return false;
  }
  for (size_t a = 0; a < jobs->size(); ++a) {
    for (size_t b = a + 1; b < jobs->size(); ++b) {
      const Job& ja = (*jobs)[a];
      const Job& jb = (*jobs)[b];
      if (!ja.output.empty() && ja.output != "-" &&
          (ja.output == jb.output || same_file(ja.output, jb.output))) {
        std::fprintf(stderr, "%s: %s and %s would both be written to %s\n", PROGRAM, quoted(ja.input).c_str(),
                     quoted(jb.input).c_str(), quoted(ja.output).c_str());
        return false;
      }
    }
  }
  return true;
}

void run_workers(const Options& o, std::deque<Job>* jobs, std::atomic<size_t>* next) {
  block_stop_signals();
  for (size_t i = next->fetch_add(1); i < jobs->size(); i = next->fetch_add(1)) {
    Job& job = (*jobs)[i];
    if (stop_requested()) {
      job.status = JOB_STOPPED;
      job.stage.store(STAGE_DONE, std::memory_order_release);
      continue;
    }
    run_job(o, &job);
  }
}

// Prints, in the order of the songs, what the jobs have finished saying;
// returns true once every job is done and printed.
bool print_ready(std::deque<Job>* jobs, size_t* printed, bool* head_printed, ProgressBar* bar) {
  while (*printed < jobs->size()) {
    Job& job = (*jobs)[*printed];
    const int stage = job.stage.load(std::memory_order_acquire);
    if (stage == STAGE_WAITING) return false;
    if (!*head_printed && !job.head.empty()) {
      progress_clear(bar);
      std::fputs(job.head.c_str(), stderr);
    }
    *head_printed = true;
    if (stage != STAGE_DONE) return false;
    if (!job.tail.empty()) {
      progress_clear(bar);
      std::fputs(job.tail.c_str(), stderr);
    }
    ++*printed;
    *head_printed = false;
  }
  return true;
}

// The exit status of the jobs, and for several songs a summary of those
// that failed.
int finish(const std::deque<Job>& jobs, bool quiet) {
  int status = 0;
  std::string failed;
  size_t failures = 0;
  for (const Job& job : jobs) {
    if (job.status == JOB_OK || job.status == JOB_SKIPPED) continue;
    if (job.status == JOB_FAILED || status == 0) status = job.status;
    failed += (failures++ == 0 ? "" : ", ") + job.input;
  }
  if (jobs.size() > 1 && failures > 0 && !quiet) {  // -q: each failure said so already
    std::fprintf(stderr, "%s: %zu of %zu songs failed: %s\n", PROGRAM, failures, jobs.size(), failed.c_str());
  }
  return status;
}

int render_all(Options o) {
  std::deque<Job> jobs;  // a deque: jobs hold atomics and never move
  if (!plan_jobs(o, &jobs)) return EXIT_USAGE;
  o.progress = progress_wanted(o.progress, o.quiet) ? ProgressMode::ON : ProgressMode::OFF;
  remember_umask();
  install_stop_handlers();
  std::atomic<size_t> next{0};
  std::vector<std::thread> workers;
  const size_t count = std::min<size_t>(static_cast<size_t>(o.jobs), jobs.size());
  for (size_t i = 0; i < count; ++i) workers.emplace_back(run_workers, std::cref(o), &jobs, &next);
  ProgressBar bar = progress_bar(o.progress == ProgressMode::ON);
  size_t printed = 0;
  bool head_printed = false;
  while (!print_ready(&jobs, &printed, &head_printed, &bar)) {
    if (stop_requested()) break;
    draw_jobs_progress(&bar, jobs);
    std::this_thread::sleep_for(POLL_INTERVAL);
  }
  for (std::thread& t : workers) t.join();
  progress_clear(&bar);
  std::fflush(stdout);
  if (stop_requested()) end_by_stop_signal();
  return finish(jobs, o.quiet);
}

int show_info(const Options& o) {
  int status = 0;
  for (const std::string& input : o.inputs) {
    qm_song* song = nullptr;
    qm_load_error error{};
    if (qm_song_load_file_ex(input.c_str(), &song, &error) != QM_OK) {
      const std::string why =
          std::string(qm_status_text(error.status)) + (error.detail[0] != '\0' ? ": " : "") + error.detail;
      std::fprintf(stderr, "%s: %s: %s\n", PROGRAM, printable(input).c_str(), why.c_str());
      if (o.json) print_refusal_json(stdout, input.c_str(), why);  // a line for every song given
      status = EXIT_FAILED;
      continue;
    }
    const int32_t warnings = qm_song_warning_count(song);
    for (int32_t i = 0; i < warnings; ++i) {
      std::fprintf(stderr, "%s: %s: warning: %s\n", PROGRAM, printable(input).c_str(), qm_song_warning_text(song, i));
    }
    if (o.strict && warnings > 0) {
      std::fprintf(stderr, "%s: %s: refused: the song loaded with warnings (--strict)\n", PROGRAM,
                   printable(input).c_str());
      if (o.json) print_refusal_json(stdout, input.c_str(), "refused: the song loaded with warnings (--strict)");
      if (status == 0) status = EXIT_STRICT;
    } else {
      print_song_info(stdout, input.c_str(), song, o.mix.rate, o.json);
    }
    qm_song_free(song);
  }
  if (std::fflush(stdout) != 0) {
    std::perror("xmrender: standard output");
    return EXIT_FAILED;
  }
  return status;
}

}  // namespace

int main(int argc, char** argv) {
  keep_standard_streams();
  Options options;
  const CommandLine command = parse_command_line(argc, argv, &options);
  if (command != COMMAND_RUN) return command_line_done(command, PROGRAM, xmrender_help());
  return options.info ? show_info(options) : render_all(options);
}
