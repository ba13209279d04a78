// The C API's players: the same bytes whatever the sizes of the render
// calls, passes and repeats, restart and jump, row events and positions,
// output shaping, the measure without mixing, refused arguments, and two
// players rendering at once on two threads.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <thread>
#include <vector>

#include "music/player.h"
#include "quillmere/music.h"
#include "tests/api/api_songs.h"

using namespace qm;

namespace {

constexpr int32_t RATE = 44100;
constexpr int32_t TEN_SECONDS = 10 * RATE;

TEST(PlayerApi, TheBytesDoNotDependOnTheSizesOfTheCalls) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song.get(), nullptr);
  const std::vector<int16_t> whole = render_s16(song.get(), RATE, TEN_SECONDS, TEN_SECONDS);
  ASSERT_EQ(whole.size(), 2u * TEN_SECONDS);
  for (int32_t chunk : {1, 7, 884, 1000, 3 * 884, 65536}) {
    EXPECT_TRUE(render_s16(song.get(), RATE, TEN_SECONDS, chunk) == whole) << chunk << " frames a call";
  }
  // Irregular call sizes, and s16 and f32 calls taking turns on one player.
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  qm_player_set_repeat_count(p, -1);
  std::vector<int16_t> mixed;
  int16_t pcm[2 * 977];
  float floats[2 * 977];
  for (int32_t call = 0; mixed.size() < whole.size(); ++call) {
    const int32_t n = 1 + (call * 131) % 977;
    if (call % 3 == 2) {
      ASSERT_EQ(qm_player_render_f32(p, floats, n), n);
      for (int32_t i = 0; i < 2 * n; ++i) mixed.push_back(pcm16_of(floats[i]));
    } else {
      ASSERT_EQ(qm_player_render_s16(p, pcm, n), n);
      mixed.insert(mixed.end(), pcm, pcm + 2 * n);
    }
  }
  mixed.resize(whole.size());
  EXPECT_TRUE(mixed == whole);
  qm_player_free(p);
}

TEST(PlayerApi, APassEndsWhereTheSongComesBackAndRepeatsPlayItAgain) {
  // Four rows of six ticks at 125 bpm: 21,168 frames a pass.
  const uint64_t pass = 4 * 6 * 882;
  SongHandle song = load_bytes(four_row_song());
  ASSERT_NE(song.get(), nullptr);
  for (int32_t repeats : {0, 1, 3}) {
    qm_player* p = nullptr;
    ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
    ASSERT_EQ(qm_player_set_repeat_count(p, repeats), QM_OK);
    RowLog log;
    qm_player_set_row_callback(p, log_row, &log);
    const uint64_t frames = render_all(p, 1000);
    EXPECT_EQ(frames, pass * static_cast<uint64_t>(repeats + 1)) << repeats;
    ASSERT_EQ(log.events.size(), 4u * static_cast<size_t>(repeats + 1));
    EXPECT_EQ(log.events.back().pass, repeats);
    EXPECT_EQ(log.events.back().frame, frames - 6 * 882);
    qm_position at{};
    ASSERT_EQ(qm_player_get_position(p, &at), QM_OK);
    EXPECT_EQ(at.ended, 1);
    EXPECT_EQ(at.frame, frames);
    EXPECT_EQ(at.end_order, 0);
    EXPECT_EQ(at.end_row, 0);
    int16_t more[4];
    EXPECT_EQ(qm_player_render_s16(p, more, 2), 0);
    qm_player_free(p);

    uint64_t measured = 0;
    int32_t ended = 0;
    ASSERT_EQ(qm_song_measure(song.get(), RATE, 0, repeats, UINT64_MAX, &measured, &ended), QM_OK);
    EXPECT_EQ(measured, frames);
    EXPECT_EQ(ended, 1);
  }
  // Forever: ten passes and still going; a measure stops at its limit.
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  qm_player_set_repeat_count(p, -1);
  std::vector<int16_t> pcm(2 * pass);
  for (int i = 0; i < 10; ++i) EXPECT_EQ(qm_player_render_s16(p, pcm.data(), static_cast<int32_t>(pass)), pass);
  qm_player_free(p);
  uint64_t measured = 0;
  int32_t ended = 1;
  ASSERT_EQ(qm_song_measure(song.get(), RATE, 0, -1, 5 * pass + 3, &measured, &ended), QM_OK);
  EXPECT_EQ(measured, 5 * pass + 3);
  EXPECT_EQ(ended, 0);
}

TEST(PlayerApi, RestartAndJumpGoToAnOrderPosition) {
  SongHandle song = load_bytes(three_order_song());
  ASSERT_NE(song.get(), nullptr);
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  RowLog log;
  qm_player_set_row_callback(p, log_row, &log);
  std::vector<int16_t> pcm(2 * 5000);
  qm_player_render_s16(p, pcm.data(), 5000);
  ASSERT_FALSE(log.events.empty());
  EXPECT_EQ(log.events.front().order, 0);

  // A jump is heard with the next frame: its row tick falls on the frame rendered next.
  log.events.clear();
  ASSERT_EQ(qm_player_jump(p, 2), QM_OK);
  qm_player_render_s16(p, pcm.data(), 10);
  ASSERT_FALSE(log.events.empty());
  EXPECT_EQ(log.events.front().order, 2);
  EXPECT_EQ(log.events.front().row, 0);
  EXPECT_EQ(log.events.front().frame, 5000u);

  // A restart at order 1 plays as a fresh player would from there: frame 0.
  log.events.clear();
  ASSERT_EQ(qm_player_restart(p, 1), QM_OK);
  std::vector<int16_t> restarted(2 * 20000);
  ASSERT_EQ(qm_player_render_s16(p, restarted.data(), 20000), 20000);
  ASSERT_FALSE(log.events.empty());
  EXPECT_EQ(log.events.front().order, 1);
  EXPECT_EQ(log.events.front().frame, 0u);
  qm_player* fresh = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &fresh), QM_OK);
  ASSERT_EQ(qm_player_restart(fresh, 1), QM_OK);
  std::vector<int16_t> from_fresh(2 * 20000);
  ASSERT_EQ(qm_player_render_s16(fresh, from_fresh.data(), 20000), 20000);
  EXPECT_TRUE(restarted == from_fresh);

  EXPECT_EQ(qm_player_restart(p, 3), QM_ERROR_INVALID_ARGUMENT);  // past the song's 3 orders
  EXPECT_EQ(qm_player_jump(p, -1), QM_ERROR_INVALID_ARGUMENT);
  qm_player_free(fresh);
  qm_player_free(p);
}

TEST(PlayerApi, GainAndSeparationShapeTheMixAndTheirDefaultsChangeNothing) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song.get(), nullptr);
  const int32_t frames = 3 * RATE;
  auto render = [&](double db, int32_t separation) {
    qm_player* p = nullptr;
    EXPECT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
    EXPECT_EQ(qm_player_set_gain(p, db), QM_OK);
    EXPECT_EQ(qm_player_set_stereo_separation(p, separation), QM_OK);
    std::vector<float> out(2 * static_cast<size_t>(frames));
    EXPECT_EQ(qm_player_render_f32(p, out.data(), frames), frames);
    qm_player_free(p);
    return out;
  };
  const std::vector<float> plain = render(0.0, 100);
  const std::vector<float> untouched = render_f32(song.get(), RATE, frames, frames);
  EXPECT_TRUE(plain == untouched);
  const std::vector<float> half = render(20.0 * std::log10(0.5), 100);
  const std::vector<float> mono = render(0.0, 0);
  const std::vector<float> wide = render(0.0, 200);
  bool stereo = false;
  for (size_t i = 0; i < plain.size(); i += 2) {
    const float l = plain[i], r = plain[i + 1];
    EXPECT_NEAR(half[i], 0.5f * l, 1e-3f * (1.0f + std::fabs(l)));
    EXPECT_EQ(mono[i], mono[i + 1]);
    EXPECT_NEAR(mono[i], 0.5f * (l + r), 1e-3f * (1.0f + std::fabs(l) + std::fabs(r)));
    EXPECT_NEAR(wide[i] - wide[i + 1], 2.0f * (l - r), 1e-2f * (1.0f + std::fabs(l) + std::fabs(r)));
    stereo = stereo || l != r;
  }
  EXPECT_TRUE(stereo);  // the song has stereo content to shape

  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  EXPECT_EQ(qm_player_set_gain(p, 25.0), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_gain(p, NAN), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_stereo_separation(p, 201), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_stereo_separation(p, -1), QM_ERROR_INVALID_ARGUMENT);
  qm_player_free(p);
}

TEST(PlayerApi, BadArgumentsAreRefusedWithoutTouchingAnything) {
  SongHandle song = load_bytes(four_row_song());
  ASSERT_NE(song.get(), nullptr);
  qm_player* p = reinterpret_cast<qm_player*>(&p);  // must be overwritten with NULL
  EXPECT_EQ(qm_player_create(song.get(), QM_MIN_RATE - 1, &p), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(p, nullptr);
  EXPECT_EQ(qm_player_create(song.get(), QM_MAX_RATE + 1, &p), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_create(nullptr, RATE, &p), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_create(song.get(), RATE, nullptr), QM_ERROR_INVALID_ARGUMENT);
  int16_t pcm[8];
  EXPECT_EQ(qm_player_render_s16(nullptr, pcm, 4), 0);
  ASSERT_EQ(qm_player_create(song.get(), QM_MAX_RATE, &p), QM_OK);
  EXPECT_EQ(qm_player_render_s16(p, nullptr, 4), 0);
  EXPECT_EQ(qm_player_render_s16(p, pcm, -4), 0);
  EXPECT_EQ(qm_player_render_s16(p, pcm, 4), 4);
  EXPECT_EQ(qm_player_set_repeat_count(p, -2), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_block_frames(p), 7680);  // 20 ms at 384,000 Hz
  EXPECT_EQ(qm_player_block_frames(nullptr), 0);
  EXPECT_EQ(qm_player_get_position(p, nullptr), QM_ERROR_INVALID_ARGUMENT);
  qm_player_free(p);
  qm_player_free(nullptr);
}

TEST(PlayerApi, APlayerIsOneAllocationOfAtMost256KilobytesAtAnyRate) {
  for (int32_t rate : {QM_MIN_RATE, 44100, 48000, 96000, QM_MAX_RATE}) {
    EXPECT_LE(player_allocation_bytes(rate), 256u * 1024u) << rate;
  }
}

// Same song twice and two songs, each on its own thread at the same time:
// every player renders exactly what it renders alone.
TEST(PlayerApi, PlayersOnTwoThreadsRenderWhatTheyRenderAlone) {
  SongHandle typing = load_repository_song("data/typing.xm");
  SongHandle other = load_bytes(three_order_song());
  ASSERT_NE(typing.get(), nullptr);
  ASSERT_NE(other.get(), nullptr);
  const int32_t frames = 5 * RATE;
  const std::vector<int16_t> typing_alone = render_s16(typing.get(), RATE, frames, 1000);
  const std::vector<int16_t> other_alone = render_s16(other.get(), 48000, frames, 1000);
  for (const qm_song* second : {typing.get(), other.get()}) {
    const int32_t second_rate = second == typing.get() ? RATE : 48000;
    std::vector<int16_t> a, b;
    std::thread one([&] { a = render_s16(typing.get(), RATE, frames, 884); });
    std::thread two([&] { b = render_s16(second, second_rate, frames, 1003); });
    one.join();
    two.join();
    EXPECT_TRUE(a == typing_alone);
    EXPECT_TRUE(b == (second == typing.get() ? typing_alone : other_alone));
  }
}

// One pass of each song through the C API, hashed (FNV-1a 64 over the
// little-endian bytes, as a WAV file holds them): the values are those of the
// renders made before the engine became a library, and must never change
// unless a fix changes the sound on purpose.
TEST(PlayerApi, OnePassOfEachSongRendersTheBytesItRenderedBefore) {
  struct Known {
    const char* path;  // from the repository's root
    uint64_t frames;
    uint64_t fnv;
  };
  const Known songs[] = {
      {"data/typing.xm", 757792, 0xa9127e85707e5ca8ull},
      {"../shared/corpus/xm/songs/juho-ihana_paiva.xm", 15401525, 0x16f45c05d2181abbull},
      {"../shared/corpus/xm/songs/rhino_sting.xm", 4889502, 0x41eb0f3fe49f7721ull},
      {"../shared/corpus/xm/songs/zalza-tekilla_groove.xm", 2966656, 0xa5117a2b430a464bull},
  };
  int rendered = 0;
  for (const Known& known : songs) {
    SongHandle song = load_repository_song(known.path);
    if (song == nullptr) continue;  // the shared corpus is absent
    qm_player* p = nullptr;
    ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
    uint64_t hash = 1469598103934665603ull, frames = 0;
    std::vector<int16_t> pcm(2 * 4096);
    for (int32_t got; (got = qm_player_render_s16(p, pcm.data(), 4096)) > 0; frames += static_cast<uint64_t>(got)) {
      for (int32_t i = 0; i < 2 * got; ++i) {
        const auto v = static_cast<uint16_t>(pcm[static_cast<size_t>(i)]);
        hash = (hash ^ (v & 0xFF)) * 1099511628211ull;
        hash = (hash ^ (v >> 8)) * 1099511628211ull;
      }
    }
    qm_player_free(p);
    EXPECT_EQ(frames, known.frames) << known.path;
    EXPECT_EQ(hash, known.fnv) << known.path << std::hex << " 0x" << hash;
    ++rendered;
  }
  EXPECT_GE(rendered, 1);  // typing.xm is always there
}

}  // namespace
