// song.h: small songs for the replayer tests, built with the XM writer and
// played tick by tick through the real loader and replayer.
// Owns: the Module and Player of each Playback. Thread: the test's.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include <algorithm>

#include "runtime/show_music.h"
#include "music/player.h"
#include "music/render.h"
#include "music/row.h"
#include "music/tick_effects.h"
#include "tests/support/xm_writer.h"
#include "tests/support/show_files.h"

// A song of `patterns` empty patterns of `rows` rows on `channels` channels,
// played in that order, with one instrument holding one looped 8-bit sample.
inline XmFile make_song(int channels = 2, int rows = 16, int patterns = 1) {
  XmFile f;
  f.channel_count = static_cast<uint16_t>(channels);
  f.song_length = static_cast<uint16_t>(patterns);
  for (int p = 0; p < patterns; ++p) {
    XmPattern pattern;
    pattern.rows = static_cast<uint16_t>(rows);
    pattern.cells.resize(static_cast<size_t>(rows) * channels);
    f.patterns.push_back(pattern);
    f.order_table[p] = static_cast<uint8_t>(p);
  }
  XmInstrument in;
  XmSample s;
  for (int i = 0; i < 64; ++i) s.pcm.push_back(i < 32 ? 90 : -90);
  s.type = XM_SAMPLE_FORWARD;
  s.loop_length = 64;
  s.volume = 48;
  in.samples.push_back(s);
  f.instruments.push_back(in);
  return f;
}

inline qm::Cell& cell(XmFile& f, int row, int channel, int pattern = 0) {
  return xm_cell(f.patterns[pattern], f.channel_count, row, channel);
}

inline qm::Cell note_cell(uint8_t note, uint8_t instrument = 1, uint8_t effect = 0, uint8_t param = 0,
                      uint8_t volume = 0) {
  return qm::Cell{note, instrument, volume, effect, param};
}

// Loads a song and plays it from the start, one tick per call of tick().
class Playback {
 public:
  explicit Playback(const XmFile& f) {
    song_ = load_module_from_memory(write_xm(f));
    if (song_ != nullptr) player_ = qm::player_create(song_, 44100);
  }
  ~Playback() {
    qm::player_free(player_);
    qm::free_module(song_);
  }
  Playback(const Playback&) = delete;
  Playback& operator=(const Playback&) = delete;

  qm::Player* player() { return player_; }
  const qm::Module* song() { return song_; }
  bool loaded() const { return player_ != nullptr; }
  // Runs one tick (the row tick when player()->tick is 0).
  void tick() { qm::replay_tick(player_); }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) tick();
  }
  qm::Channel& channel(int i) { return player_->channels[i]; }

 private:
  qm::Module* song_ = nullptr;
  qm::Player* player_ = nullptr;
};

// One row tick as a trace reports it.
struct RowTick {
  uint64_t frame;  // output frame where the row tick falls
  int32_t order, row, speed, bpm;
};

// The row ticks heard in the first `seconds` of a song at 44,100 Hz, the
// song played on without end.
inline std::vector<RowTick> trace_song(const XmFile& f, double seconds) {
  struct Trace {
    std::vector<RowTick> rows;
    uint64_t limit;
  } trace{{}, static_cast<uint64_t>(seconds * 44100)};
  qm::Module* m = load_module_from_memory(write_xm(f));
  if (m == nullptr) return trace.rows;
  qm::Player* p = qm::player_create(m, 44100);
  p->repeat_count = p->repeats_left = -1;
  p->row_user = &trace;
  p->row_callback = [](void* user, const qm_row_event* e) {
    auto* t = static_cast<Trace*>(user);
    if (e->frame < t->limit) t->rows.push_back(RowTick{e->frame, e->order, e->row, e->speed, e->bpm});
  };
  std::vector<int16_t> pcm(2 * 4096);
  for (uint64_t done = 0; done < trace.limit;) {
    int32_t ask = static_cast<int32_t>(std::min<uint64_t>(4096, trace.limit - done));
    done += static_cast<uint64_t>(qm::render_s16(p, pcm.data(), ask));
  }
  qm::player_free(p);
  qm::free_module(m);
  return trace.rows;
}

// (order, row) pairs of a trace, for compact comparisons.
inline std::vector<std::pair<int, int>> positions(const std::vector<RowTick>& trace, size_t count) {
  std::vector<std::pair<int, int>> out;
  for (size_t i = 0; i < trace.size() && i < count; ++i) out.emplace_back(trace[i].order, trace[i].row);
  return out;
}
