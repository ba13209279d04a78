// render_job.h: one song rendered into one output: load (the loader's
// reason, its warnings, --strict), a player set up with the mixing options,
// the render in chunks (fade, mono), the encoder, and the output file
// renamed into place only when all went well. Messages are collected in the
// job, not printed, so that main prints each song's messages together.
// Owns: the song, the player and the output while it runs. Thread: one
// worker thread per job at a time; main reads what the stage allows.
//
//   Job job;  job.input = "song.xm";  job.output = "song.wav";  job.format = ...;
//   run_job(options, &job);   // on a worker thread
//   // main: job.stage == STAGE_LOADED: job.head is complete; STAGE_DONE: job.tail and job.status too
#pragma once
#include <atomic>
#include <cstdint>
#include <string>

#include "tools/xmrender/formats.h"
#include "tools/xmrender/options.h"

enum JobStage : int {
  STAGE_WAITING,  // not started
  STAGE_LOADED,   // head holds the loading messages (the song loaded and renders)
  STAGE_DONE,     // head, tail and status are final
};

// What a job ended with.
enum JobStatus : int {
  JOB_OK = 0,
  JOB_FAILED = EXIT_FAILED,
  JOB_REFUSED_STRICT = EXIT_STRICT,
  JOB_STOPPED = -1,  // a stop signal came first
  JOB_SKIPPED = -2,  // --no-clobber and the output exists: nothing to do, not a failure
};

struct Job {
  std::string input;     // the song's path
  std::string output;    // where to write; empty for none (--trace alone)
  Format format;         // the output's format
  std::string refusal;   // set by main: why this job must not run (its output is an input)
  // Written by the worker; each read by main once `stage` says it is complete.
  std::string head;      // messages of the load, one per line
  std::string tail;      // messages of the render, one per line
  int status = JOB_OK;   // JobStatus
  std::atomic<int> stage{STAGE_WAITING};  // JobStage
  std::atomic<uint64_t> frames_done{0};   // frames rendered so far
  std::atomic<uint64_t> frames_total{0};  // frames the render will give; 0 while unknown
};

// Loads, renders and writes one job, then sets job->stage to STAGE_DONE.
void run_job(const Options& options, Job* job);

// Collects "xmrender: FILE: text" lines.
void add_message(std::string* to, const std::string& file, const std::string& text);
