// song.h: small songs for the replayer tests, built with the XM writer and
// played tick by tick through the real loader and replayer.
// Owns: the Module of each Player. Thread: the test's.
#pragma once
#include <gtest/gtest.h>

#include <vector>

#include "music/music.h"
#include "music/output.h"
#include "music/replayer.h"
#include "tests/support/xm_writer.h"
#include "tools/xmrender/render.h"

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

inline Cell& cell(XmFile& f, int row, int channel, int pattern = 0) {
  return xm_cell(f.patterns[pattern], f.channel_count, row, channel);
}

inline Cell note_cell(uint8_t note, uint8_t instrument = 1, uint8_t effect = 0, uint8_t param = 0,
                      uint8_t volume = 0) {
  return Cell{note, instrument, volume, effect, param};
}

// Loads a song and plays it from the start, one tick per call of tick().
class Player {
 public:
  explicit Player(const XmFile& f) {
    configure_output(44100);
    module_ = load_module_from_memory(write_xm(f));
    if (module_ != nullptr) start_playback(module_);
  }
  ~Player() {
    release_playback_buffers();
    free_module(module_);
  }
  Player(const Player&) = delete;
  Player& operator=(const Player&) = delete;

  Module* module() { return module_; }
  bool loaded() const { return module_ != nullptr; }
  // Runs one tick (the row tick when module()->tick is 0).
  void tick() { replay_tick(module_); }
  void ticks(int n) {
    for (int i = 0; i < n; ++i) tick();
  }
  Channel& channel(int i) { return channels[i]; }

 private:
  Module* module_ = nullptr;
};

// The row ticks of the first `seconds` of a song (a fixed-length render).
inline std::vector<RowTick> trace_song(const XmFile& f, double seconds) {
  std::vector<RowTick> rows;
  Module* m = load_module_from_memory(write_xm(f));
  if (m == nullptr) return rows;
  RenderOptions o;
  o.max_frames = static_cast<uint64_t>(seconds * 44100);
  o.user = &rows;
  o.row_tick = [](const RowTick& t, void* user) { static_cast<std::vector<RowTick>*>(user)->push_back(t); };
  render_module(m, o);
  free_module(m);
  return rows;
}

// (order, row) pairs of a trace, for compact comparisons.
inline std::vector<std::pair<int, int>> positions(const std::vector<RowTick>& trace, size_t count) {
  std::vector<std::pair<int, int>> out;
  for (size_t i = 0; i < trace.size() && i < count; ++i) out.emplace_back(trace[i].order, trace[i].row);
  return out;
}
