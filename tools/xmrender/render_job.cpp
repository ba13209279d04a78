// render_job.cpp: loading, rendering and writing one song.
// Owns: see render_job.h. Thread: the job's worker.
#include "tools/xmrender/render_job.h"

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <vector>

#include "quillmere/music.h"
#include "tools/common/stop_signals.h"
#include "tools/common/text.h"
#include "tools/xmrender/encoder.h"
#include "tools/xmrender/output_file.h"

namespace {

// Frames asked of the player at a time: whole blocks of the player's, so
// that it converts straight into the chunk's buffer, and enough of them
// (1.3 s at 44,100 Hz) that the output writes the buffer without a copy.
constexpr int32_t CHUNK_BLOCKS = 64;

// How a render ended.
struct Rendered {
  uint64_t frames = 0;
  bool stopped = false;      // a stop signal came
  bool write_failed = false; // the encoder or the output refused a chunk
  qm_position end{};         // the player's position after the last frame
};

struct TraceState {
  uint64_t limit = 0;  // row ticks at or past this frame are mixed ahead but never heard
  int error = 0;       // the errno of the first line standard output refused; 0 while none
};

void print_row_tick(void* user, const qm_row_event* e) {
  auto* trace = static_cast<TraceState*>(user);
  if (e->frame >= trace->limit) return;
  if (std::printf("%llu %d %d %d %d\n", static_cast<unsigned long long>(e->frame), e->order, e->row, e->speed,
                  e->bpm) < 0 &&
      trace->error == 0)
    trace->error = errno;
}

// The trace's lines reach standard output, or the job fails with the reason.
void finish_trace(Job* job, TraceState* trace) {
  if (std::fflush(stdout) != 0 && trace->error == 0) trace->error = errno;
  if (trace->error == 0) return;
  add_message(&job->tail, "standard output", std::strerror(trace->error));
  job->status = JOB_FAILED;
}

// Loads job->input; on success the loader's warnings are in job->head.
// A refused load, or a warning under --strict, sets job->status.
qm_song* load_song(const Options& o, Job* job) {
  qm_song* song = nullptr;
  qm_load_error error{};
  if (qm_song_load_file_ex(job->input.c_str(), &song, &error) != QM_OK) {
    std::string reason = qm_status_text(error.status);
    if (error.detail[0] != '\0') reason += std::string(": ") + error.detail;
    add_message(&job->head, job->input, reason);
    job->status = JOB_FAILED;
    return nullptr;
  }
  const int32_t warnings = qm_song_warning_count(song);
  for (int32_t i = 0; i < warnings; ++i) {
    add_message(&job->head, job->input, std::string("warning: ") + qm_song_warning_text(song, i));
  }
  if (o.strict && warnings > 0) {
    add_message(&job->head, job->input, "refused: the song loaded with warnings (--strict); nothing written");
    job->status = JOB_REFUSED_STRICT;
    qm_song_free(song);
    return nullptr;
  }
  return song;
}

// Keeps the left value of each frame (both carry the same mid signal).
template <typename T>
void keep_left(T* values, int32_t frames) {
  for (int32_t f = 0; f < frames; ++f) values[f] = values[2 * f];
}

// Renders up to plan.limit frames into encoder (null: rendered and
// dropped, for --trace alone).
Rendered render_frames(const Options& o, Job* job, qm_player* player, Encoder* encoder, const PlayPlan& plan) {
  const bool through_floats = encoder != nullptr && encoder->layout.format.type != SampleType::S16;
  const int32_t chunk = CHUNK_BLOCKS * qm_player_block_frames(player);
  std::vector<int16_t> pcm_chunk(through_floats ? 0 : 2 * static_cast<size_t>(chunk));
  std::vector<float> mix_chunk(through_floats ? 2 * static_cast<size_t>(chunk) : 0);
  int16_t* pcm = pcm_chunk.data();
  float* mix = mix_chunk.data();
  Rendered r;
  while (r.frames < plan.limit) {
    if (stop_requested()) {
      r.stopped = true;
      break;
    }
    const int32_t ask = static_cast<int32_t>(std::min<uint64_t>(chunk, plan.limit - r.frames));
    const int32_t got =
        through_floats ? qm_player_render_f32(player, mix, ask) : qm_player_render_s16(player, pcm, ask);
    if (o.mix.mono) through_floats ? keep_left(mix, got) : keep_left(pcm, got);
    if (encoder != nullptr && got > 0) {
      const bool ok = through_floats ? encoder_write_mix(encoder, mix, got) : encoder_write_s16(encoder, pcm, got);
      if (!ok) {
        r.write_failed = true;
        break;
      }
    }
    r.frames += static_cast<uint64_t>(got);
    job->frames_done.store(r.frames, std::memory_order_relaxed);
    if (got < ask) break;
  }
  qm_player_get_position(player, &r.end);
  return r;
}

std::string describe(const Options& o, const Job& job, const Rendered& r) {
  char text[256];
  const double seconds = static_cast<double>(r.frames) / o.mix.rate;
  const std::string where = job.output.empty()  ? "rendered"
                            : job.output == "-" ? "wrote standard output"
                                                : "wrote " + job.output;
  std::snprintf(text, sizeof text, "%s: %.3f s (%llu frames at %d Hz)", where.c_str(), seconds,
                static_cast<unsigned long long>(r.frames), o.mix.rate);
  std::string line = text;
  if (r.end.ended && r.end.end_order >= 0) {
    const int passes = r.end.pass + 1;
    std::snprintf(text, sizeof text, ", %s; the song goes on at order %d row %d",
                  passes == 1 ? "one pass" : (std::to_string(passes) + " passes").c_str(), r.end.end_order,
                  r.end.end_row);
    line += text;
  } else if (o.length.seconds == 0.0) {
    line += ", stopped at the cap of one hour per play";
  }
  return line;
}

// A player of song set up with the mixing and length options, and its plan;
// null (with the job's message and status set) when that fails. The length
// is measured in advance when something needs it: the fade, a streamed WAV
// header, the progress bar.
qm_player* open_player(const Options& o, Job* job, const qm_song* song, PlayPlan* plan) {
  qm_player* player = nullptr;
  if (qm_player_create(song, o.mix.rate, &player) != QM_OK) {
    add_message(&job->tail, job->input, "cannot render at " + std::to_string(o.mix.rate) + " Hz");
    job->status = JOB_FAILED;
    return nullptr;
  }
  const bool stream = !job->output.empty() && output_is_stream(job->output);
  PlayLimits limits;
  // Without --seconds a render stops after the cap, in case the song never
  // comes back to a row it played.
  limits.default_limit = CAP_SECONDS_PER_PLAY * static_cast<uint64_t>(o.mix.rate) * static_cast<uint64_t>(o.mix.loops);
  limits.measure_cap = UINT64_MAX;
  limits.need_total = o.progress == ProgressMode::ON || (stream && job->format.container == Container::WAV);
  std::string why;
  if (!start_playback(player, song, o.mix, o.length, limits, plan, &why)) {
    add_message(&job->tail, job->input, why);
    job->status = JOB_FAILED;
    qm_player_free(player);
    return nullptr;
  }
  return player;
}

// Completes the encoder and renames the output into place, or removes it;
// the job's status and messages say which and why.
void finish_output(const Options& o, Job* job, OutputFile* out, Encoder* encoder, const Rendered& r) {
  std::string why;
  bool ok = encoder_finish(encoder, &why) && !r.write_failed;
  const bool silent = ok && !encoder->audible && r.frames > 0;
  if (silent) add_message(&job->tail, job->input, "warning: the whole render is silent");
  if (ok && encoder->clipped > 0)
    add_message(&job->tail, job->input,
                "warning: " + std::to_string(encoder->clipped) + " samples clipped at full scale (lower --gain)");
  if ((silent || (ok && encoder->clipped > 0)) && o.strict) {
    // A file is not made; a stream cannot be taken back, so it is finished
    // whole (its header promised every frame) and the refusal says so.
    const bool streamed = out->file.temp.empty();
    if (streamed && !output_commit(out, o.no_clobber, &why)) add_message(&job->tail, job->input, why);
    if (!streamed) output_discard(out);
    add_message(&job->tail, job->input,
                streamed ? "refused: the render has a warning (--strict); " +
                               (job->output == "-" ? std::string("standard output") : quoted(job->output)) +
                               " has it already, whole"
                         : "refused: the render has a warning (--strict); nothing written");
    job->status = JOB_REFUSED_STRICT;
    return;
  }
  if (ok) ok = output_commit(out, o.no_clobber, &why);
  if (ok) {
    if (!o.quiet) add_message(&job->tail, job->input, describe(o, *job, r));
    return;
  }
  output_discard(out);
  if (stop_requested()) {
    job->status = JOB_STOPPED;
    return;
  }
  if (why.empty()) why = "cannot write " + quoted(job->output) + ": " + std::strerror(out->sink.error);
  add_message(&job->tail, job->input, why);
  job->status = JOB_FAILED;
}

// Renders the loaded song into job->output (or nowhere, for --trace alone).
void render_song(const Options& o, Job* job, const qm_song* song) {
  PlayPlan plan;
  qm_player* player = open_player(o, job, song, &plan);
  if (player == nullptr) return;
  const bool writing = !job->output.empty();
  job->frames_total.store(plan.total > 0 ? plan.total : plan.limit, std::memory_order_relaxed);
  TraceState trace{plan.start + plan.limit};
  if (o.trace) qm_player_set_row_callback(player, print_row_tick, &trace);

  OutputFile out;
  Encoder encoder;
  std::string why;
  const StreamLayout layout{job->format, o.mix.rate, o.mix.mono ? 1 : 2, plan.total};
  if (writing &&
      (!output_open(job->output, o.no_clobber, &out, &why) || !encoder_begin(&encoder, &out.sink, layout, &why))) {
    add_message(&job->tail, job->input, why);
    job->status = JOB_FAILED;
    output_discard(&out);
    qm_player_free(player);
    return;
  }
  const Rendered r = render_frames(o, job, player, writing ? &encoder : nullptr, plan);
  qm_player_free(player);
  if (o.trace) finish_trace(job, &trace);
  if (r.stopped || job->status == JOB_FAILED) {  // stopped, or the trace was lost: no file
    encoder_abandon(&encoder);
    output_discard(&out);
    if (r.stopped) job->status = JOB_STOPPED;
  } else if (writing) {
    finish_output(o, job, &out, &encoder, r);
  } else if (!o.quiet) {
    add_message(&job->tail, job->input, describe(o, *job, r));
  }
}

// Whether path names something, a dangling link too (Windows' C runtime
// has no lstat: there stat answers).
bool path_exists(const std::string& path) {
  struct stat st {};
#ifdef _WIN32
  return stat(path.c_str(), &st) == 0;
#else
  return lstat(path.c_str(), &st) == 0;
#endif
}

}  // namespace

void add_message(std::string* to, const std::string& file, const std::string& text) {
  *to += std::string(PROGRAM) + ": " + printable(file) + ": " + text + "\n";
}

// --no-clobber and an output file already there: the job was done before
// (a batch resumed), so it is skipped before any work, and that is no failure.
bool skip_existing(const Options& o, Job* job) {
  if (!o.no_clobber || job->output.empty() || output_is_stream(job->output) || !path_exists(job->output)) return false;
  if (!o.quiet) add_message(&job->head, job->input, quoted(job->output) + " exists; skipped (--no-clobber)");
  job->status = JOB_SKIPPED;
  return true;
}

void run_job(const Options& o, Job* job) {
  if (!job->refusal.empty()) {
    add_message(&job->head, job->input, job->refusal);
    job->status = JOB_FAILED;
  } else if (!skip_existing(o, job)) {
    if (qm_song* song = load_song(o, job); song != nullptr) {
      job->stage.store(STAGE_LOADED, std::memory_order_release);
      render_song(o, job, song);
      qm_song_free(song);
    }
  }
  job->stage.store(STAGE_DONE, std::memory_order_release);
}
