// Loop signals and the row callback: passes counted with any repeat count
// and the wrap reported; the end reported by the call that renders the last
// frame; measures that stop at the first pass end; jumps and seeks asked for
// from the row callback carried out at the next row, with nothing dropped.
#include <gtest/gtest.h>

#include <algorithm>
#include <vector>

#include "quillmere/music.h"
#include "tests/api/api_songs.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr uint64_t PASS = 4 * 6 * 882;   // four_row_song: four rows of six ticks at 125 bpm
constexpr uint64_t ROW = 6 * 882;        // three_order_song: a row of six ticks

qm_player* player_of(const qm_song* song, int32_t rate, int32_t repeats, RowLog* log) {
  qm_player* p = nullptr;
  EXPECT_EQ(qm_player_create(song, rate, &p), QM_OK);
  EXPECT_EQ(qm_player_set_repeat_count(p, repeats), QM_OK);
  if (log != nullptr) qm_player_set_row_callback(p, log_row, log);
  return p;
}

qm_position position_of(const qm_player* p) {
  qm_position at{};
  EXPECT_EQ(qm_player_get_position(p, &at), QM_OK);
  return at;
}

TEST(LoopSignals, PassesAreCountedAndTheWrapIsReportedWithAnyRepeatCount) {
  SongHandle song = load_bytes(four_row_song());
  ASSERT_NE(song.get(), nullptr);
  for (int32_t repeats : {-1, 5}) {
    RowLog log;
    qm_player* p = player_of(song.get(), RATE, repeats, &log);
    std::vector<int16_t> pcm(2 * 1000);
    uint64_t done = 0;
    for (int32_t call = 0; done < 3 * PASS + PASS / 2; ++call) {
      const int32_t n = 100 + (call * 337) % 900;
      ASSERT_EQ(qm_player_render_s16(p, pcm.data(), n), n);
      done += static_cast<uint64_t>(n);
    }
    const qm_position at = position_of(p);
    EXPECT_EQ(at.pass, 3) << repeats;
    EXPECT_EQ(at.pass_frame, 3 * PASS) << repeats;
    EXPECT_EQ(at.ended, 0);
    EXPECT_DOUBLE_EQ(at.seconds, static_cast<double>(done) / RATE);
    ASSERT_GE(log.events.size(), 14u);
    for (size_t i = 0; i < 14; ++i) {
      const qm_row_event& e = log.events[i];
      EXPECT_EQ(e.size, sizeof(qm_row_event));
      EXPECT_EQ(e.pass, static_cast<int32_t>(i / 4)) << i;
      EXPECT_EQ(e.wrapped, i > 0 && i % 4 == 0 ? 1 : 0) << i;
      EXPECT_EQ(e.frame, i * PASS / 4) << i;
    }
    qm_player_free(p);
  }
}

TEST(LoopSignals, TheCallThatRendersTheLastFrameReportsTheEnd) {
  SongHandle song = load_bytes(four_row_song());
  ASSERT_NE(song.get(), nullptr);
  // At 40,000 Hz a tick and a block are both 800 frames: the pass ends on a
  // block boundary, where only the next block's first row tick tells.
  const uint64_t pass_40k = 4 * 6 * 800;
  for (int32_t rate : {40000, RATE}) {
    const uint64_t pass = rate == RATE ? PASS : pass_40k;
    for (int32_t chunk : {static_cast<int32_t>(pass), rate == RATE ? 884 : 800, 999}) {
      qm_player* p = player_of(song.get(), rate, 0, nullptr);
      std::vector<int16_t> pcm(2 * static_cast<size_t>(chunk));
      uint64_t done = 0;
      while (done < pass) {
        const int32_t n = static_cast<int32_t>(std::min<uint64_t>(static_cast<uint64_t>(chunk), pass - done));
        ASSERT_EQ(qm_player_render_s16(p, pcm.data(), n), n);
        done += static_cast<uint64_t>(n);
        EXPECT_EQ(position_of(p).ended, done == pass ? 1 : 0) << rate << " Hz, " << chunk << " a call, " << done;
      }
      EXPECT_EQ(qm_player_render_s16(p, pcm.data(), 1), 0);
      qm_player_free(p);
    }
  }
  // A fade that ends where a row starts: that row is never heard, nor reported.
  RowLog log;
  qm_player* faded = player_of(song.get(), RATE, 0, &log);
  ASSERT_EQ(qm_player_fade_out(faded, PASS / 2, 100), QM_OK);
  EXPECT_EQ(render_all(faded, 1000), PASS / 2);
  ASSERT_EQ(log.events.size(), 2u);
  EXPECT_EQ(log.events[1].frame, PASS / 4);
  qm_player_free(faded);
  // A fade that ends where the song does, on a block boundary: the end is
  // the song's, with the row it comes back to.
  qm_player* p = player_of(song.get(), 40000, 0, nullptr);
  ASSERT_EQ(qm_player_fade_out(p, pass_40k, 1000), QM_OK);
  EXPECT_EQ(render_all(p, 800), pass_40k);
  const qm_position at = position_of(p);
  EXPECT_EQ(at.ended, 1);
  EXPECT_EQ(at.end_order, 0);
  EXPECT_EQ(at.end_row, 0);
  qm_player_free(p);
}

TEST(LoopSignals, AMeasureEndsAtItsLimitWhenThePlaybackDoesAndCanStopAtTheFirstPass) {
  SongHandle song = load_bytes(four_row_song());
  ASSERT_NE(song.get(), nullptr);
  uint64_t frames = 0;
  int32_t ended = 0;
  ASSERT_EQ(qm_song_measure(song.get(), RATE, 0, 0, PASS, &frames, &ended), QM_OK);
  EXPECT_EQ(frames, PASS);
  EXPECT_EQ(ended, 1);  // a player stops exactly there
  ASSERT_EQ(qm_song_measure(song.get(), RATE, 0, 0, PASS - 1, &frames, &ended), QM_OK);
  EXPECT_EQ(frames, PASS - 1);
  EXPECT_EQ(ended, 0);

  qm_measure m{};
  ASSERT_EQ(qm_song_measure_ex(song.get(), RATE, 0, -1, UINT64_MAX, QM_MEASURE_FIRST_PASS, &m), QM_OK);
  EXPECT_EQ(m.size, sizeof m);
  EXPECT_EQ(m.frames, PASS);
  EXPECT_DOUBLE_EQ(m.seconds, static_cast<double>(PASS) / RATE);
  EXPECT_EQ(m.ended, 0);  // played forever, it goes on
  EXPECT_EQ(m.passes, 1);
  EXPECT_EQ(m.end_order, 0);
  EXPECT_EQ(m.end_row, 0);
  ASSERT_EQ(qm_song_measure_ex(song.get(), RATE, 0, 2, UINT64_MAX, 0, &m), QM_OK);
  EXPECT_EQ(m.frames, 3 * PASS);
  EXPECT_EQ(m.ended, 1);
  EXPECT_EQ(m.passes, 3);
  ASSERT_EQ(qm_song_measure_ex(song.get(), RATE, 0, -1, 5 * PASS + 3, 0, &m), QM_OK);
  EXPECT_EQ(m.frames, 5 * PASS + 3);
  EXPECT_EQ(m.ended, 0);
  EXPECT_EQ(m.passes, 5);
  EXPECT_EQ(m.end_order, -1);
  EXPECT_EQ(qm_song_measure_ex(song.get(), RATE, 0, 0, PASS, 2, &m), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_song_measure_ex(song.get(), RATE, 1, 0, PASS, 0, &m), QM_ERROR_INVALID_ARGUMENT);
  m.size = 8;  // smaller than any layout the library knows
  EXPECT_EQ(qm_song_measure_ex(song.get(), RATE, 0, 0, PASS, 0, &m), QM_ERROR_INVALID_ARGUMENT);
}

TEST(LoopSignals, AMeasureFromAnOrderCountsWhatAPlayerSeekingThereRenders) {
  SongHandle song = load_bytes(three_order_song());  // 24 rows a pass
  XmFile f = three_order_file();
  xm_cell(f.patterns[0], f.channel_count, 7, 1) = qm::Cell{0, 0, 0, qm::EFFECT_POSITION_JUMP, 2};
  SongHandle jumping = load_bytes(write_xm(f));  // order 1 is never reached from the start
  ASSERT_TRUE(song && jumping);
  const struct {
    const qm_song* song;
    uint64_t expected;
  } cases[] = {{song.get(), 16 * ROW},       // orders 1 and 2, then back to the played order 0
               {jumping.get(), 24 * ROW}};  // afresh: orders 1, 2, 0, then back to order 2
  for (const auto& c : cases) {
    qm_measure m{};
    ASSERT_EQ(qm_song_measure_ex(c.song, RATE, 1, 0, UINT64_MAX, 0, &m), QM_OK);
    EXPECT_EQ(m.frames, c.expected);
    EXPECT_EQ(m.ended, 1);
    qm_player* p = player_of(c.song, RATE, 0, nullptr);
    ASSERT_EQ(qm_player_seek(p, 1, 0), QM_OK);
    EXPECT_EQ(render_all(p, 1000), m.frames);
    qm_player_free(p);
  }
}

// The callback's user data: where to act, what to ask, and what was seen.
struct Director {
  qm_player* player = nullptr;
  int32_t at_order = 0, at_row = 0;
  int32_t (*act)(qm_player*) = nullptr;
  int32_t result = -1;  // what act returned
  bool acted = false;
  std::vector<qm_row_event> rows;
};

void direct(void* user, const qm_row_event* e) {
  auto* d = static_cast<Director*>(user);
  d->rows.push_back(*e);
  if (d->acted || e->order != d->at_order || e->row != d->at_row) return;
  d->acted = true;
  d->result = d->act(d->player);
}

TEST(LoopSignals, AJumpFromTheRowCallbackGoesOnAtTheNextRowAndDropsNothing) {
  SongHandle song = load_bytes(three_order_song());
  ASSERT_NE(song.get(), nullptr);
  const std::vector<int16_t> straight = render_s16(song.get(), RATE, static_cast<int32_t>(4 * ROW), 500);
  Director d;
  d.player = player_of(song.get(), RATE, 0, nullptr);
  d.at_row = 3;
  d.act = [](qm_player* p) { return static_cast<int32_t>(qm_player_jump(p, 2)); };
  qm_player_set_row_callback(d.player, direct, &d);
  std::vector<int16_t> pcm(2 * 10 * ROW);
  ASSERT_EQ(qm_player_render_s16(d.player, pcm.data(), static_cast<int32_t>(10 * ROW)), static_cast<int32_t>(10 * ROW));
  EXPECT_EQ(d.result, QM_OK);
  // Rows 0-3 of order 0, then order 2 from row 0, one row after another.
  ASSERT_GE(d.rows.size(), 10u);
  for (size_t i = 0; i < 10; ++i) {
    EXPECT_EQ(d.rows[i].frame, i * ROW) << i;
    EXPECT_EQ(d.rows[i].order, i < 4 ? 0 : 2) << i;
    EXPECT_EQ(d.rows[i].row, static_cast<int32_t>(i < 4 ? i : i - 4)) << i;
  }
  // Everything before the jump is what the song plays without it.
  EXPECT_TRUE(std::equal(straight.begin(), straight.end(), pcm.begin()));
  qm_player_free(d.player);
}

void loop_order_1(void* user, const qm_row_event* e) {
  auto* d = static_cast<Director*>(user);
  d->rows.push_back(*e);
  if (e->order == 1 && e->row == 7) d->result = qm_player_jump(d->player, 1);
}

TEST(LoopSignals, JumpsFromTheRowCallbackLoopASectionWithoutEndingThePass) {
  SongHandle song = load_bytes(three_order_song());
  ASSERT_NE(song.get(), nullptr);
  Director d;
  d.player = player_of(song.get(), RATE, 0, nullptr);  // one pass, but the game loops order 1
  qm_player_set_row_callback(d.player, loop_order_1, &d);
  const auto frames = static_cast<int32_t>(40 * ROW);
  std::vector<int16_t> pcm(2 * static_cast<size_t>(frames));
  ASSERT_EQ(qm_player_render_s16(d.player, pcm.data(), frames), frames);
  EXPECT_EQ(d.result, QM_OK);
  ASSERT_GE(d.rows.size(), 40u);
  for (size_t i = 0; i < 40; ++i) {
    EXPECT_EQ(d.rows[i].order, i < 8 ? 0 : 1) << i;
    EXPECT_EQ(d.rows[i].row, static_cast<int32_t>(i % 8)) << i;
    EXPECT_EQ(d.rows[i].wrapped, 0) << i;  // the game's jumps are not the song wrapping
  }
  qm_player_free(d.player);
}

// Asks for a seek to order 4, row 8 from the callback, after checking that
// rendering from inside it is refused.
int32_t seek_to_row(qm_player* p) {
  int16_t nothing[4];
  if (qm_player_render_s16(p, nothing, 2) != 0) return -1;
  return static_cast<int32_t>(qm_player_seek(p, 4, 8));
}

int32_t seek_to_nine_seconds(qm_player* p) { return static_cast<int32_t>(qm_player_seek_frame(p, 9 * RATE)); }

TEST(LoopSignals, ASeekFromTheRowCallbackTakesEffectWhereTheNextRowStarts) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song.get(), nullptr);
  const int32_t frames = 25 * RATE;
  RowLog straight_log;
  qm_player* probe = player_of(song.get(), RATE, -1, &straight_log);
  std::vector<int16_t> straight(2 * static_cast<size_t>(frames));
  ASSERT_EQ(qm_player_render_s16(probe, straight.data(), frames), frames);
  qm_player_free(probe);
  const std::vector<qm_row_event>& rows = straight_log.events;
  ASSERT_GT(rows.size(), 7u);
  const auto row_2_16 = std::find_if(rows.begin(), rows.end(), [](const qm_row_event& e) {
    return e.order == 4 && e.row == 8;
  });
  ASSERT_NE(row_2_16, rows.end());

  const struct {
    int32_t (*act)(qm_player*);
    uint64_t target;
  } cases[] = {{seek_to_row, row_2_16->frame}, {seek_to_nine_seconds, 9 * RATE}};
  for (const auto& c : cases) {
    Director d;
    d.player = player_of(song.get(), RATE, -1, nullptr);
    d.at_order = rows[5].order;
    d.at_row = rows[5].row;
    d.act = c.act;
    qm_player_set_row_callback(d.player, direct, &d);
    const int32_t played = 4 * RATE;
    std::vector<int16_t> pcm(2 * static_cast<size_t>(played));
    ASSERT_EQ(qm_player_render_s16(d.player, pcm.data(), played), played);
    EXPECT_EQ(d.result, QM_OK) << c.target;
    // The song as it plays up to the next row, then as it plays from the target.
    const auto boundary = static_cast<ptrdiff_t>(2 * rows[6].frame);
    EXPECT_TRUE(std::equal(pcm.begin(), pcm.begin() + boundary, straight.begin())) << c.target;
    EXPECT_TRUE(std::equal(pcm.begin() + boundary, pcm.end(), straight.begin() + static_cast<ptrdiff_t>(2 * c.target)))
        << c.target;
    ASSERT_GT(d.rows.size(), 7u);
    EXPECT_EQ(d.rows[5].frame, rows[5].frame);
    EXPECT_GE(d.rows[6].frame, c.target);
    EXPECT_EQ(position_of(d.player).frame, c.target + static_cast<uint64_t>(played) - rows[6].frame);
    qm_player_free(d.player);
  }
}

}  // namespace
