// quillmere-play: plays XM modules in real time through the default sound
// device, one after another, with a status line and keys on a terminal.
//   quillmere-play [--loops N] [--seconds T] [--gain DB] [--shuffle] SONG.xm... [-@ LIST]
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
#include "tools/common/text.h"
#include "tools/play/options.h"
#include "tools/play/playback.h"
#include "tools/play/playlist.h"
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
constexpr int64_t SEEK_STEP_SECONDS = 10;
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
  bool solo_next = false; // s was pressed: the next channel key solos
};

// One song being played, and what the status line shows of it.
struct Current {
  const std::string* path = nullptr;
  const qm_song* song = nullptr;
  qm_player* player = nullptr;
  qm_song_info info{};
  PlayPlan plan;      // where the playback starts, stops and fades
  uint64_t total = 0; // frame of the song's time the playback ends at, 0 when unknown or endless
};


void draw_status(Run& run, const Current& c) {
  Playback& pb = *run.playback;
  StatusView v;
  v.file = printable(*c.path);
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
  v.muted = pb.muted.load(std::memory_order_relaxed);
  v.soloed = pb.soloed.load(std::memory_order_relaxed);
  v.solo_next = run.solo_next;
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

// The frame SEEK_STEP_SECONDS from where the playback is (or is about to be).
int64_t seek_step(const Playback& pb, int32_t rate, int64_t direction) {
  int64_t from = pb.seek_to.load(std::memory_order_relaxed);
  if (from == NO_SEEK) from = static_cast<int64_t>(pb.frames.load(std::memory_order_relaxed));
  return std::max<int64_t>(0, from + direction * SEEK_STEP_SECONDS * rate);
}

// A channel key: toggles the channel's solo after s, else its mute; a
// channel the song lacks is left alone.
void toggle_channel(Run& run, const Current& c, int32_t channel) {
  std::atomic<uint32_t>& bits = run.solo_next ? run.playback->soloed : run.playback->muted;
  run.solo_next = false;
  if (channel < c.info.channels) bits.fetch_xor(uint32_t{1} << channel, std::memory_order_relaxed);
}

// Prints text above the status line, which the next draw puts back.
void print_above_status(const Run& run, const std::string& text) {
  clear_status(run);
  std::fputs(text.c_str(), stdout);
  std::fflush(stdout);
}

// Acts on one key; returns FILE_ENDED while the file goes on playing.
FileOutcome act_on_key(Run& run, const Current& c, Key key) {
  Playback& pb = *run.playback;
  if (const int32_t channel = key_channel(key); channel >= 0) {
    toggle_channel(run, c, channel);
    return FILE_ENDED;
  }
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
    case KEY_SEEK_BACK: pb.seek_to.store(seek_step(pb, run.options->mix.rate, -1), std::memory_order_relaxed); break;
    case KEY_SEEK_AHEAD: pb.seek_to.store(seek_step(pb, run.options->mix.rate, +1), std::memory_order_relaxed); break;
    case KEY_SOLO_NEXT: run.solo_next = !run.solo_next; break;
    case KEY_UNMUTE_ALL:
      pb.muted.store(0, std::memory_order_relaxed);
      pb.soloed.store(0, std::memory_order_relaxed);
      break;
    case KEY_INFO: print_above_status(run, song_summary(c.song)); break;
    case KEY_HELP: print_above_status(run, PLAY_KEYS_HELP); break;
    case KEY_NEXT_FILE: return FILE_NEXT;
    case KEY_PREV_FILE: return FILE_PREVIOUS;
    case KEY_QUIT: return FILE_QUIT;
    case KEY_NONE: break;
    default: break; // the channel keys, taken above
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
  const PlayOptions& o = *run.options;
  PlaybackSetup setup;
  setup.gain_db = o.mix.gain_db;
  setup.muted = o.mix.muted;
  setup.soloed = o.mix.soloed;
  if (o.length.seconds > 0.0) setup.end_frame = c.plan.start + c.plan.limit;
  if (c.plan.fade > 0) {
    setup.fade_end = c.plan.start + c.plan.total;
    setup.fade_frames = c.plan.fade;
  }
  run.solo_next = false;
  playback_start(run.playback, c.player, setup);
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

// Frames of one pass of the song from the start order, 0 when unknown.
uint64_t pass_frames(const qm_song* song, const MixOptions& mix) {
  qm_measure m{};
  m.size = sizeof m;
  const uint64_t cap = MEASURE_MAX_SECONDS * static_cast<uint64_t>(mix.rate);
  if (qm_song_measure_ex(song, mix.rate, mix.start, -1, cap, QM_MEASURE_FIRST_PASS, &m) != QM_OK || m.passes == 0)
    return 0;
  return m.frames;
}

// Sets up c.player for the options and announces the file; false after
// saying why it does not play.
bool prepare(const PlayOptions& o, const std::string& path, Current* c) {
  PlayLimits limits;
  limits.measure_cap = MEASURE_MAX_SECONDS * static_cast<uint64_t>(o.mix.rate);
  limits.need_total = true;
  std::string why;
  if (!start_playback(c->player, c->song, o.mix, o.length, limits, &c->plan, &why)) {
    print_failure(PROGRAM, printable(path), why);
    return false;
  }
  qm_song_get_info(c->song, &c->info);
  const bool endless = o.mix.loops == 0 && o.length.seconds == 0.0;
  // The status line counts the song's time: a start past 0 is that far in.
  c->total = endless || c->plan.total == 0 ? 0 : c->plan.start + c->plan.total;
  if (!o.quiet) {
    const uint64_t shown = endless ? pass_frames(c->song, o.mix) : c->plan.total;
    std::printf("%s\n", announce_line(printable(path), c->info.name, shown, o.mix.rate, endless).c_str());
    std::fflush(stdout);
  }
  return true;
}

// Loads, announces and plays one file; FILE_FAILED after saying why.
FileOutcome play_file(Run& run, const std::string& path) {
  const PlayOptions& o = *run.options;
  qm_song* song = nullptr;
  qm_load_error error{};
  if (qm_song_load_file_ex(path.c_str(), &song, &error) != QM_OK) {
    print_failure(PROGRAM, printable(path), load_reason(error));
    return FILE_FAILED;
  }
  if (!o.quiet)
    for (int32_t i = 0; i < qm_song_warning_count(song); ++i)
      print_failure(PROGRAM, printable(path), std::string("warning: ") + qm_song_warning_text(song, i));
  Current c;
  c.path = &path;
  c.song = song;
  FileOutcome outcome = FILE_FAILED;
  if (qm_player_create(song, o.mix.rate, &c.player) != QM_OK) {
    print_failure(PROGRAM, printable(path), "cannot play at " + std::to_string(o.mix.rate) + " Hz");
  } else if (prepare(o, path, &c)) {
    outcome = listen(run, c);
  }
  qm_player_free(c.player);
  qm_song_free(song);
  return outcome;
}

// The place in order before index whose file has not failed, or index itself when none.
size_t previous_file(const std::vector<size_t>& order, const std::vector<bool>& failed, size_t index) {
  for (size_t i = index; i > 0; --i)
    if (!failed[order[i - 1]]) return i - 1;
  return index;
}

// Plays the files until the end of the list (of every round, with
// --loop-all), q or a stop signal; returns the exit status. A round that
// plays no file ends the rounds: every file failed.
int play_list(Run& run, const std::vector<std::string>& files) {
  const PlayOptions& o = *run.options;
  std::mt19937 random(std::random_device{}());
  std::vector<size_t> order(files.size());
  std::vector<bool> failed(files.size(), false);  // by file, across rounds
  bool any_failed = false;
  bool again = true;
  while (again && !stop_requested()) {
    for (size_t i = 0; i < order.size(); ++i) order[i] = i;
    if (o.shuffle) std::shuffle(order.begin(), order.end(), random);
    bool played = false;
    size_t index = 0;
    while (index < order.size() && !stop_requested()) {
      const size_t file = order[index];
      const FileOutcome outcome = failed[file] ? FILE_FAILED : play_file(run, files[file]);
      if (outcome == FILE_FAILED && !failed[file]) failed[file] = any_failed = true;
      if (outcome != FILE_FAILED) played = true;
      if (outcome == FILE_QUIT) return any_failed ? EXIT_FAILED : EXIT_OK;
      if (outcome == FILE_PREVIOUS) {
        index = previous_file(order, failed, index);
      } else if (outcome != FILE_SIGNAL) {
        ++index;
      }
    }
    again = o.loop_all && played;
  }
  return any_failed ? EXIT_FAILED : EXIT_OK;
}

// The songs the inputs name, each list read in its place; false after
// saying which list does not read, or that they name no song.
bool gather_songs(const PlayOptions& o, std::vector<std::string>* songs) {
  for (const PlayInput& input : o.inputs) {
    if (!input.playlist) {
      songs->push_back(input.path);
      continue;
    }
    Playlist list;
    const std::string name = input.path == "-" ? "standard input" : printable(input.path);
    const Status read = read_playlist(input.path, &list);
    if (failed(read)) {
      print_failure(PROGRAM, name, read.message);
      return false;
    }
    for (const std::string& skipped : list.skipped) print_failure(PROGRAM, name, skipped);
    songs->insert(songs->end(), list.songs.begin(), list.songs.end());
  }
  if (songs->empty()) print_failure(PROGRAM, "", "the lists name no file to play");
  return !songs->empty();
}

}  // namespace

int main(int argc, char** argv) {
  PlayOptions options;
  const CommandLine command = parse_play_options(argc, argv, &options);
  if (command != COMMAND_RUN) return command_line_done(command, PROGRAM, play_help());
  std::vector<std::string> songs;
  if (!gather_songs(options, &songs)) return EXIT_FAILED;
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
  const int status = play_list(run, songs);
  player_device_destroy(run.device);
  terminal_raw_end();
  // Ended by a signal: leave as the signal would have, now the terminal is restored.
  if (stop_requested()) end_by_stop_signal();
  return status;
}
