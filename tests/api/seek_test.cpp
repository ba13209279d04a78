// Seeking with state: after qm_player_seek_frame or qm_player_seek a player
// renders, byte for byte, and reports, row for row, what a player that
// rendered from the start renders from that frame on: on the repository's
// song, songs the tests make, and every song and behaviour file of the
// shared corpus at several rates (skipped when the corpus is absent).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "quillmere/music.h"
#include "tests/api/api_songs.h"
#include "tests/support/xm_writer.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr const char* CORPUS = "../shared/corpus/xm";

// A playback from the start: its frames and its row events.
struct Reference {
  std::vector<int16_t> pcm;
  std::vector<qm_row_event> rows;
};

struct PlayerFree {
  void operator()(qm_player* p) const { qm_player_free(p); }
};
using PlayerHandle = std::unique_ptr<qm_player, PlayerFree>;

PlayerHandle new_player(const qm_song* song, int32_t rate, RowLog* log) {
  qm_player* p = nullptr;
  EXPECT_EQ(qm_player_create(song, rate, &p), QM_OK);
  qm_player_set_repeat_count(p, -1);
  qm_player_set_row_callback(p, log_row, log);
  return PlayerHandle(p);
}

// `frames` frames of the song played without end from the start.
Reference play_from_start(const qm_song* song, int32_t rate, int32_t frames) {
  Reference ref;
  RowLog log;
  PlayerHandle p = new_player(song, rate, &log);
  ref.pcm.resize(2 * static_cast<size_t>(frames));
  EXPECT_EQ(qm_player_render_s16(p.get(), ref.pcm.data(), frames), frames);
  ref.rows = log.events;
  return ref;
}

bool same_row(const qm_row_event& a, const qm_row_event& b) {
  return a.frame == b.frame && a.order == b.order && a.row == b.row && a.speed == b.speed && a.bpm == b.bpm &&
         a.pass == b.pass && a.wrapped == b.wrapped;
}

// Renders `frames` frames from where the player stands and checks them, and
// the rows reported for them, against the reference from frame `at` on.
void expect_continues(qm_player* p, RowLog* log, const Reference& ref, uint64_t at, int32_t frames,
                      const std::string& what) {
  qm_position pos{};
  ASSERT_EQ(qm_player_get_position(p, &pos), QM_OK);
  EXPECT_EQ(pos.frame, at) << what;
  std::vector<int16_t> pcm(2 * static_cast<size_t>(frames));
  ASSERT_EQ(qm_player_render_s16(p, pcm.data(), frames), frames) << what;
  EXPECT_TRUE(std::equal(pcm.begin(), pcm.end(), ref.pcm.begin() + static_cast<ptrdiff_t>(2 * at))) << what;
  std::vector<qm_row_event> heard, expected;
  for (const qm_row_event& e : log->events)
    if (e.frame < at + static_cast<uint64_t>(frames)) heard.push_back(e);
  for (const qm_row_event& e : ref.rows)
    if (e.frame >= at && e.frame < at + static_cast<uint64_t>(frames)) expected.push_back(e);
  EXPECT_TRUE(std::equal(heard.begin(), heard.end(), expected.begin(), expected.end(), same_row)) << what;
  log->events.clear();
}

// Seeks to frames across the reference, on fresh players and on one player
// moving forward and back, and to the first rows heard, by order and row.
void check_seeks(const qm_song* song, int32_t rate, int32_t frames, const std::string& name) {
  const int32_t window = 2 * (rate / 50) + 37;  // a little more than two blocks
  ASSERT_GT(frames, window);
  const Reference ref = play_from_start(song, rate, frames);
  const auto last = static_cast<uint64_t>(frames - window);
  std::vector<uint64_t> points = {0, 1, last, last / 2};
  const uint64_t block = static_cast<uint64_t>(rate * 20 / 1000 + 3) & ~uint64_t{3};
  for (uint64_t b : {block - 1, block, 7 * block}) points.push_back(std::min(b, last));
  for (uint64_t x = 12345; points.size() < 12;) {
    x = x * 6364136223846793005ull + 1442695040888963407ull;
    points.push_back((x >> 33) % (last + 1));
  }
  RowLog roving_log;
  PlayerHandle roving = new_player(song, rate, &roving_log);
  for (uint64_t at : points) {
    const std::string what = name + " at " + std::to_string(rate) + " Hz, frame " + std::to_string(at);
    RowLog log;
    PlayerHandle fresh = new_player(song, rate, &log);
    ASSERT_EQ(qm_player_seek_frame(fresh.get(), at), QM_OK);
    expect_continues(fresh.get(), &log, ref, at, window, what);
    ASSERT_EQ(qm_player_seek_frame(roving.get(), at), QM_OK);
    expect_continues(roving.get(), &roving_log, ref, at, window, what + " (same player)");
  }
  // Rows by order and row: the first time each of a few rows is heard.
  std::vector<std::pair<int32_t, int32_t>> seen;
  for (size_t i = 0; i < ref.rows.size(); i += 1 + ref.rows.size() / 6) {
    const qm_row_event& e = ref.rows[i];
    if (e.frame > last || e.pass > 0) continue;
    const auto first = std::find_if(ref.rows.begin(), ref.rows.end(),
                                    [&](const qm_row_event& r) { return r.order == e.order && r.row == e.row; });
    RowLog log;
    PlayerHandle p = new_player(song, rate, &log);
    ASSERT_EQ(qm_player_seek(p.get(), e.order, e.row), QM_OK);
    expect_continues(p.get(), &log, ref, first->frame, window,
                     name + " order " + std::to_string(e.order) + " row " + std::to_string(e.row));
  }
}

std::vector<std::string> corpus_files(const char* folder) {
  std::vector<std::string> files;
  const std::filesystem::path dir = std::filesystem::path(QM_SOURCE_DIR) / CORPUS / folder;
  std::error_code error;
  for (const auto& entry : std::filesystem::directory_iterator(dir, error)) files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());
  return files;
}

TEST(Seek, LandsOnWhatAPlaybackFromTheStartPlaysThere) {
  SongHandle typing = load_repository_song("data/typing.xm");
  ASSERT_NE(typing.get(), nullptr);
  check_seeks(typing.get(), RATE, 30 * RATE, "typing.xm");
  check_seeks(typing.get(), 8000, 20 * 8000, "typing.xm");
  SongHandle orders = load_bytes(three_order_song());
  ASSERT_NE(orders.get(), nullptr);
  check_seeks(orders.get(), 48000, 10 * 48000, "three orders");
}

TEST(Seek, LandsExactlyInEveryCorpusSongAtSeveralRates) {
  const std::vector<std::string> songs = corpus_files("songs");
  if (songs.empty()) GTEST_SKIP() << "the shared corpus is absent";
  for (const std::string& path : songs) {
    qm_song* song = nullptr;
    ASSERT_EQ(qm_song_load_file(path.c_str(), &song), QM_OK) << path;
    SongHandle handle(song);
    for (int32_t rate : {RATE, 48000, 22050}) check_seeks(song, rate, 40 * rate, path);
  }
}

TEST(Seek, LandsExactlyInEveryCorpusBehaviourFile) {
  const std::vector<std::string> files = corpus_files("behaviour");
  if (files.empty()) GTEST_SKIP() << "the shared corpus is absent";
  int32_t checked = 0;
  for (const std::string& path : files) {
    qm_song* song = nullptr;
    if (qm_song_load_file(path.c_str(), &song) != QM_OK) continue;  // refusals are the loader tests' business
    SongHandle handle(song);
    check_seeks(song, checked % 2 == 0 ? RATE : 32000, 6 * RATE, path);
    ++checked;
  }
  EXPECT_GT(checked, 100);
}

TEST(Seek, PastTheEndEndsThereAndARowNeverReachedStartsAfresh) {
  constexpr uint64_t PASS = 4 * 6 * 882;  // four_row_song's one pass
  SongHandle song = load_bytes(four_row_song());
  ASSERT_NE(song.get(), nullptr);
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  int16_t pcm[2 * 64];
  for (uint64_t beyond : {PASS, PASS + 5000}) {
    ASSERT_EQ(qm_player_seek_frame(p, beyond), QM_OK);
    qm_position at{};
    ASSERT_EQ(qm_player_get_position(p, &at), QM_OK);
    EXPECT_EQ(at.ended, 1);
    EXPECT_EQ(at.frame, PASS);
    EXPECT_EQ(at.end_order, 0);
    EXPECT_EQ(qm_player_render_s16(p, pcm, 64), 0);
  }
  ASSERT_EQ(qm_player_seek_frame(p, PASS - 10), QM_OK);  // and back: ten frames are left
  EXPECT_EQ(qm_player_render_s16(p, pcm, 64), 10);
  // A repeat count set while playing: a seek goes by the playback from the
  // start with that count, not on from a pass the old count allowed.
  ASSERT_EQ(qm_player_set_repeat_count(p, -1), QM_OK);
  ASSERT_EQ(qm_player_seek_frame(p, 0), QM_OK);
  std::vector<int16_t> passes(2 * (2 * PASS + PASS / 2));
  ASSERT_EQ(qm_player_render_s16(p, passes.data(), static_cast<int32_t>(passes.size() / 2)),
            static_cast<int32_t>(passes.size() / 2));
  ASSERT_EQ(qm_player_set_repeat_count(p, 0), QM_OK);
  ASSERT_EQ(qm_player_seek_frame(p, 3 * PASS + 100), QM_OK);
  qm_position once{};
  ASSERT_EQ(qm_player_get_position(p, &once), QM_OK);
  EXPECT_EQ(once.ended, 1);
  EXPECT_EQ(once.frame, PASS);
  EXPECT_EQ(qm_player_seek(p, 1, 0), QM_ERROR_INVALID_ARGUMENT);   // one order
  EXPECT_EQ(qm_player_seek(p, 0, 4), QM_ERROR_INVALID_ARGUMENT);   // four rows
  EXPECT_EQ(qm_player_seek(p, 0, -1), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_seek_frame(p, uint64_t{24} * 3600 * RATE + 1), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_seek_frame(nullptr, 0), QM_ERROR_INVALID_ARGUMENT);
  qm_player_free(p);

  // Order 0 jumps over order 1 to order 2, which loops to 0: order 1 is
  // never played, and a seek there starts it from the song's initial state.
  XmFile f = three_order_file();
  xm_cell(f.patterns[0], f.channel_count, 7, 1) = qm::Cell{0, 0, 0, qm::EFFECT_POSITION_JUMP, 2};
  SongHandle jumping = load_bytes(write_xm(f));
  ASSERT_NE(jumping.get(), nullptr);
  RowLog log;
  PlayerHandle q = new_player(jumping.get(), RATE, &log);
  ASSERT_EQ(qm_player_seek(q.get(), 1, 3), QM_OK);
  std::vector<int16_t> heard(2 * 6000);
  ASSERT_EQ(qm_player_render_s16(q.get(), heard.data(), 6000), 6000);
  ASSERT_GE(log.events.size(), 2u);
  EXPECT_EQ(log.events[0].frame, 0u);
  EXPECT_EQ(log.events[0].order, 1);
  EXPECT_EQ(log.events[0].row, 3);
  EXPECT_EQ(log.events[1].row, 4);
  EXPECT_NE(std::count(heard.begin(), heard.end(), 0), static_cast<ptrdiff_t>(heard.size()));
}

}  // namespace
