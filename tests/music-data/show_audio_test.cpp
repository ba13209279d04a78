// show_audio_test.cpp: "typing.xm" rendered as the show hears it. Play mixes
// the whole ring of 100 blocks ahead; while the device plays block b the
// mixer has refilled every block before it; at the stop (4,096 ms into the
// show, give or take the frame and poll timing) the device keeps looping the
// ring as it stands. So the listener hears blocks 0 .. b-1 once, then the
// ring from block b on, round and round. Checked for every stop block from
// 4.0 s to 4.4 s: no clipping, a loop seam no larger than the largest step
// inside the loop; and over the show: loudness of the first 4 s, and the
// groove bars 2 to 4 identical, which is what makes any stop loop cleanly.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "runtime/show_music.h"
#include "music/player.h"
#include "music/render.h"
#include "tests/music-data/loudness.h"
#include "tests/support/xm_writer.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

constexpr int32_t RATE = 44100;
constexpr int32_t PEAK_LIMIT = 29204;    // 1 dB below full scale: 32768 * 10^(-1/20) = 29205.0
constexpr int32_t BAR_FRAMES = 88400;    // one bar of the song: 200 ticks of 442 frames
constexpr int32_t GROOVE_BARS[] = {1, 2, 3}; // bars 2 to 4, counted from 0
constexpr double LOUDNESS_SECONDS = 4.0;
constexpr double QUIETEST_LUFS = -20.0, LOUDEST_LUFS = -14.0;

// What the render keeps: every block as it was filled, and the ring at each stop.
struct ShowAudio {
  int32_t block = 0;                       // frames per block
  int32_t first_stop = 0, last_stop = 0;   // candidate stop blocks (being played at the stop)
  std::vector<int16_t> song;               // the blocks in fill order, interleaved stereo
  std::vector<std::vector<int16_t>> rings; // per stop: the ring from the playing block on
};

int32_t block_at(double seconds, int32_t block) {
  return static_cast<int32_t>(seconds * RATE) / block;
}

// Plays the module offline as the mixer thread would keep the ring filled:
// a player at the show's rate renders block after block into a ring of
// BLOCK_COUNT blocks.
ShowAudio render_show() {
  ShowAudio show;
  install_stdio_callbacks();
  Module* module = as_module(load_module(QM_SOURCE_DIR "/data/typing.xm"));
  EXPECT_NE(module, nullptr);
  Player* player = module != nullptr ? player_create(module, RATE) : nullptr;
  if (player == nullptr) return show;
  player->repeat_count = player->repeats_left = -1;  // the show's music loops with the song
  const int32_t block_frames = block_frames_at(RATE);
  show.block = block_frames;
  show.first_stop = block_at(4.0, block_frames);
  show.last_stop = block_at(4.4, block_frames);
  const int32_t groove_end = (GROOVE_BARS[2] + 1) * BAR_FRAMES / block_frames;
  const int32_t total = std::max(show.last_stop + BLOCK_COUNT, groove_end);
  const size_t block_values = static_cast<size_t>(block_frames) * 2;
  std::vector<int16_t> ring(block_values * BLOCK_COUNT);
  int32_t fill_index = 0;
  auto fill = [&] {
    int16_t* slot = ring.data() + static_cast<size_t>(fill_index) * block_values;
    EXPECT_EQ(render_s16(player, slot, block_frames), block_frames);
    show.song.insert(show.song.end(), slot, slot + block_values);
    fill_index = (fill_index + 1) % BLOCK_COUNT;
  };
  for (int32_t b = 0; b < BLOCK_COUNT; ++b) fill(); // mixed ahead by play
  for (int32_t playing = 1; playing + BLOCK_COUNT <= total; ++playing) {
    fill(); // the device moved on to block `playing`: the block behind it is refilled
    if (playing < show.first_stop || playing > show.last_stop) continue;
    std::vector<int16_t> heard(ring);
    std::rotate(heard.begin(), heard.begin() + static_cast<ptrdiff_t>((playing % BLOCK_COUNT) * block_values),
                heard.end());
    show.rings.push_back(std::move(heard));
  }
  player_free(player);
  free_module(module);
  return show;
}

class ShowAudioTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { show = new ShowAudio(render_show()); }
  static void TearDownTestSuite() { delete show; show = nullptr; }
  static ShowAudio* show;
};
ShowAudio* ShowAudioTest::show = nullptr;

int32_t peak(const int16_t* begin, const int16_t* end) {
  int32_t top = 0;
  for (const int16_t* p = begin; p < end; ++p) top = std::max(top, std::abs(int32_t{*p}));
  return top;
}

TEST_F(ShowAudioTest, EveryStopLoopsWithoutSeamOrClipping) {
  ASSERT_FALSE(show->rings.empty());
  ASSERT_EQ(show->rings.size(), static_cast<size_t>(show->last_stop - show->first_stop + 1));
  for (int32_t stop = show->first_stop; stop <= show->last_stop; ++stop) {
    const std::vector<int16_t>& ring = show->rings[static_cast<size_t>(stop - show->first_stop)];
    const int16_t* heard = show->song.data(); // before the stop: blocks 0 .. stop-1, once
    const size_t before = static_cast<size_t>(stop) * static_cast<size_t>(show->block) * 2;
    EXPECT_LE(std::max(peak(heard, heard + before), peak(ring.data(), ring.data() + ring.size())),
              PEAK_LIMIT)
        << "stop block " << stop;
    const size_t frames = ring.size() / 2;
    for (size_t c = 0; c < 2; ++c) {
      int32_t largest_step = 0;
      for (size_t i = 1; i < frames; ++i) {
        largest_step = std::max(largest_step, std::abs(ring[2 * i + c] - ring[2 * i - 2 + c]));
      }
      int32_t seam = std::abs(ring[c] - ring[2 * (frames - 1) + c]);
      EXPECT_LE(seam, largest_step) << "stop block " << stop << ", channel " << c;
    }
  }
}

TEST_F(ShowAudioTest, GrooveBarsTwoToFourAreIdentical) {
  const size_t bar_values = static_cast<size_t>(BAR_FRAMES) * 2;
  ASSERT_GE(show->song.size(), (GROOVE_BARS[2] + 1) * bar_values);
  auto bar = [&](int32_t n) { return show->song.begin() + static_cast<ptrdiff_t>(n * bar_values); };
  for (int32_t n : {GROOVE_BARS[1], GROOVE_BARS[2]}) {
    auto mismatch = std::mismatch(bar(GROOVE_BARS[0]), bar(GROOVE_BARS[0] + 1), bar(n));
    EXPECT_TRUE(mismatch.first == bar(GROOVE_BARS[0] + 1))
        << "bar " << n + 1 << " differs from bar 2 at frame "
        << (mismatch.first - bar(GROOVE_BARS[0])) / 2;
  }
}

TEST_F(ShowAudioTest, FirstFourSecondsSitInTheLoudnessWindow) {
  const size_t frames = static_cast<size_t>(LOUDNESS_SECONDS * RATE);
  ASSERT_GE(show->song.size(), frames * 2);
  double lufs = integrated_loudness(show->song.data(), frames, RATE);
  EXPECT_GE(lufs, QUIETEST_LUFS);
  EXPECT_LE(lufs, LOUDEST_LUFS);
  RecordProperty("loudness_lufs", std::to_string(lufs));
}

} // namespace
