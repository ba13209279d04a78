// quillmere-play: plays XM modules in real time through the default sound
// device, one after another, with a status line and keys on a terminal.
//   quillmere-play [--loops N] [--start ORDER] [--gain DB] [--shuffle] SONG.xm...
// What it plays is what xmrender renders with the same mixing options: the
// same player, set up by the same shared options, pulled a device buffer at
// a time.
// Owns: the sound device, the playing song and player, the command line.
// Thread: main (keys, status line, files); the device's callback renders on
// SDL's audio thread (see playback.h).
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "quillmere/music.h"
#include "tools/common/stop_signals.h"
#include "tools/play/options.h"
#include "tools/play/playback.h"
#include "tools/play/sound_device.h"
#include "tools/play/terminal.h"

namespace {

// Frames per device buffer: about 23 ms at 44,100 Hz, so a key is heard
// within a buffer or two.
constexpr int32_t DEVICE_FRAMES = 1024;
// The main loop waits at most this long for a key before it looks at the
// playback again.
constexpr int KEY_WAIT_MS = 20;
constexpr auto STATUS_INTERVAL = std::chrono::milliseconds(100);
constexpr double GAIN_STEP_DB = 1.0;
constexpr double MIN_GAIN_DB = -60.0;
constexpr double MAX_GAIN_DB = 24.0;
// Songs that never come back to a row are measured this far (their total is shown as unknown).
constexpr uint64_t MEASURE_MAX_SECONDS = 3600;

// How the playing of one file ended.
enum FileOutcome { FILE_ENDED, FILE_NEXT, FILE_PREVIOUS, FILE_QUIT, FILE_FAILED, FILE_SIGNAL };

// What the whole run shares.
struct Run {
  const PlayOptions* options = nullptr;
  qm::AudioDevice* device = nullptr; // the sound device, playing the Playback through its pull
  Playback* playback = nullptr;
  bool status = false; // a status line is drawn on standard output
  KeyDecoder decoder;
};

// One song being played, and what the status line shows of it.
struct Current {
  const std::string* path = nullptr;
  const qm_song* song = nullptr;
  qm_player* player = nullptr;
  qm_song_info info{};
  uint64_t total = 0; // frames of the whole playback, 0 when unknown or endless
};


void draw_status(Run& run, const Current& c) {
  Playback& pb = *run.playback;
  StatusView v;
  v.file = *c.path;
  v.song = c.info.name;
  v.order = pb.order.load(std::memory_order_relaxed);
  v.orders = c.info.length;
  v.row = pb.row.load(std::memory_order_relaxed);
  v.elapsed = pb.frames.load(std::memory_order_relaxed);
  v.total = c.total;
  v.rate = run.options->mix.rate;
  playback_take_peaks(&pb, &v.peak_left, &v.peak_right);
  v.gain_db = pb.gain_db.load(std::memory_order_relaxed);
  v.paused = pb.paused.load(std::memory_order_relaxed);
  std::printf("\r%s\033[K", status_line(v, terminal_columns()).c_str());
  std::fflush(stdout);
}

void clear_status(const Run& run) {
  if (!run.status) return;
  std::fputs("\r\033[K", stdout);
  std::fflush(stdout);
}

// The order position one step from where the playback is (or is about to be).
int32_t order_step(const Playback& pb, const Current& c, int32_t step) {
  int32_t from = pb.jump_to.load(std::memory_order_relaxed);
  if (from == NO_JUMP) from = pb.order.load(std::memory_order_relaxed);
  const int32_t last = c.info.length > 0 ? c.info.length - 1 : 0;
  return std::clamp(from + step, 0, last);
}

// Acts on one key; returns FILE_ENDED while the file goes on playing.
FileOutcome act_on_key(Run& run, const Current& c, Key key) {
  Playback& pb = *run.playback;
  switch (key) {
    case KEY_PAUSE: pb.paused.store(!pb.paused.load(std::memory_order_relaxed), std::memory_order_relaxed); break;
    case KEY_PREV_ORDER: pb.jump_to.store(order_step(pb, c, -1), std::memory_order_relaxed); break;
    case KEY_NEXT_ORDER: pb.jump_to.store(order_step(pb, c, +1), std::memory_order_relaxed); break;
    case KEY_LOUDER:
    case KEY_SOFTER: {
      const double step = key == KEY_LOUDER ? GAIN_STEP_DB : -GAIN_STEP_DB;
      const double gain = std::clamp(pb.gain_db.load(std::memory_order_relaxed) + step, MIN_GAIN_DB, MAX_GAIN_DB);
      pb.gain_db.store(gain, std::memory_order_relaxed);
      break;
    }
    case KEY_NEXT_FILE: return FILE_NEXT;
    case KEY_PREV_FILE: return FILE_PREVIOUS;
    case KEY_QUIT: return FILE_QUIT;
    case KEY_NONE: break;
  }
  return FILE_ENDED;
}

// Opens the default sound device at rate with playback's pull as its
// source, paused; null, with the reason in *why, when none opens.
qm::AudioDevice* open_device(int32_t rate, Playback& playback, std::string* why) {
  qm::AudioDevice* device = player_device_create();
  if (device == nullptr) {
    *why = "out of memory";
    return nullptr;
  }
  if (device->open(device->self, rate, DEVICE_FRAMES, why) != qm::AUDIO_OK) {
    player_device_destroy(device);
    return nullptr;
  }
  device->start(device->self, qm::pull_source(playback_pull, &playback));
  device->pause(device->self, true);
  return device;
}

// Ctrl-Z: silence and the terminal back while stopped, both taken again after.
void suspend(Run& run) {
  run.device->pause(run.device->self, true);
  clear_status(run);
  terminal_suspend();
  run.device->pause(run.device->self, false);
}

// Plays c.player until it ends or a key or signal moves on.
FileOutcome listen(Run& run, const Current& c) {
  playback_start(run.playback, c.player, run.options->mix.gain_db);
  run.device->pause(run.device->self, false);
  FileOutcome outcome = FILE_ENDED;
  auto drawn = std::chrono::steady_clock::now() - STATUS_INTERVAL;
  for (;;) {
    const Key key = terminal_read_key(&run.decoder, KEY_WAIT_MS);
    if (stop_requested()) {
      outcome = FILE_SIGNAL;
      break;
    }
    if (terminal_suspend_requested()) suspend(run);
    outcome = act_on_key(run, c, key);
    if (outcome != FILE_ENDED || playback_finished(*run.playback)) break;
    const auto now = std::chrono::steady_clock::now();
    if (run.status && (key != KEY_NONE || now - drawn >= STATUS_INTERVAL)) {
      draw_status(run, c);
      drawn = now;
    }
  }
  run.device->pause(run.device->self, true);
  playback_stop(run.playback);
  clear_status(run);
  return outcome;
}

std::string load_reason(const qm_load_error& error) {
  std::string reason = qm_status_text(error.status);
  if (error.detail[0] != '\0') reason += std::string(": ") + error.detail;
  return reason;
}

// Frames of the whole playback with the options, 0 when unknown or endless.
uint64_t playback_frames(const qm_song* song, const MixOptions& mix) {
  uint64_t frames = 0;
  int32_t ended = 0;
  const int32_t repeats = mix.loops == 0 ? 0 : mix.loops - 1;
  const uint64_t cap = MEASURE_MAX_SECONDS * static_cast<uint64_t>(mix.rate);
  if (qm_song_measure(song, mix.rate, mix.start, repeats, cap, &frames, &ended) != QM_OK || ended == 0) return 0;
  return frames;
}

// Loads, announces and plays one file; FILE_FAILED after saying why.
FileOutcome play_file(Run& run, const std::string& path) {
  const PlayOptions& o = *run.options;
  qm_song* song = nullptr;
  qm_load_error error{};
  if (qm_song_load_file_ex(path.c_str(), &song, &error) != QM_OK) {
    print_failure(PROGRAM, path, load_reason(error));
    return FILE_FAILED;
  }
  if (!o.quiet)
    for (int32_t i = 0; i < qm_song_warning_count(song); ++i)
      print_failure(PROGRAM, path, std::string("warning: ") + qm_song_warning_text(song, i));
  Current c;
  c.path = &path;
  c.song = song;
  FileOutcome outcome = FILE_FAILED;
  std::string why;
  if (qm_player_create(song, o.mix.rate, &c.player) != QM_OK) {
    print_failure(PROGRAM, path, "cannot play at " + std::to_string(o.mix.rate) + " Hz");
  } else if (!apply_mix_options(c.player, song, o.mix, &why)) {
    print_failure(PROGRAM, path, why);
  } else {
    qm_song_get_info(song, &c.info);
    // The status line counts the song's time: a start past order 0 is that far in.
    qm_position start{};
    qm_player_get_position(c.player, &start);
    const uint64_t plays = playback_frames(song, o.mix);  // one pass when without end
    c.total = o.mix.loops == 0 ? 0 : start.frame + plays;
    if (!o.quiet) {
      std::printf("%s\n", announce_line(path, c.info.name, plays, o.mix.rate, o.mix.loops == 0).c_str());
      std::fflush(stdout);
    }
    outcome = listen(run, c);
  }
  qm_player_free(c.player);
  qm_song_free(song);
  return outcome;
}

// The file before index that has not failed, or index itself when none.
size_t previous_file(const std::vector<bool>& failed, size_t index) {
  for (size_t i = index; i > 0; --i)
    if (!failed[i - 1]) return i - 1;
  return index;
}

// Plays the list until its end, q or a stop signal; returns the exit status.
int play_list(Run& run, const std::vector<std::string>& files) {
  std::vector<bool> failed(files.size(), false);
  bool any_failed = false;
  size_t index = 0;
  while (index < files.size() && !stop_requested()) {
    if (failed[index]) {
      ++index;
      continue;
    }
    switch (play_file(run, files[index])) {
      case FILE_FAILED:
        failed[index] = true;
        any_failed = true;
        ++index;
        break;
      case FILE_ENDED:
      case FILE_NEXT: ++index; break;
      case FILE_PREVIOUS: index = previous_file(failed, index); break;
      case FILE_QUIT: index = files.size(); break;
      case FILE_SIGNAL: break;
    }
  }
  return any_failed ? EXIT_FAILED : EXIT_OK;
}

}  // namespace

int main(int argc, char** argv) {
  PlayOptions options;
  const CommandLine command = parse_play_options(argc, argv, &options);
  if (command != COMMAND_RUN) return command_line_done(command, PROGRAM, play_help());
  if (options.shuffle) std::shuffle(options.files.begin(), options.files.end(), std::mt19937(std::random_device{}()));
  terminal_catch_signals();
  Playback playback;
  std::string why;
  Run run;
  run.options = &options;
  run.playback = &playback;
  run.device = open_device(options.mix.rate, playback, &why);
  if (run.device == nullptr) {
    print_failure(PROGRAM, "", "cannot open a sound device: " + why);
    return EXIT_FAILED;
  }
  terminal_raw_begin(); // keys only when standard input is our terminal
  run.status = !options.quiet && isatty(STDOUT_FILENO) != 0;
  const int status = play_list(run, options.files);
  player_device_destroy(run.device);
  terminal_raw_end();
  // Ended by a signal: leave as the signal would have, now the terminal is restored.
  if (stop_requested()) end_by_stop_signal();
  return status;
}
