// late_blocks_test.cpp: how the mixer thread counts a device that got ahead
// of the mixed sound by a whole number of blocks plus a part of one, and how
// it lines up again afterwards. The fake device moves only when a test says
// so, and each check waits for the thread's next polls.
#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <thread>
#include <vector>

#include "runtime/show_music.h"
#include "tests/output/fake_device.h"
#include "tests/output/test_song.h"
#include "tests/support/xm_writer.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

constexpr int32_t BLOCK = 884;  // frames per block at 44,100 Hz
constexpr int32_t RING = BLOCK_COUNT * BLOCK;

bool wait_until(const std::function<bool()>& done) {
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

class LateBlocks : public ::testing::Test {
 protected:
  void SetUp() override {
    close_output();
    bytes = song_bytes(0);
    module = load_module_from_memory(bytes);
    ASSERT_NE(module, nullptr);
    install_fake_device();
    install_memory_callbacks();  // the output opens only with a complete table
    ASSERT_TRUE(open_output(44100, 0));
    ASSERT_EQ(realtime_state().block_frames, BLOCK);
    base = blocks_published();
    ASSERT_TRUE(play_module(module));
  }
  void TearDown() override {
    free_module(module);
    close_output();
  }

  // Moves the device on by frames, then waits until the thread has refilled
  // `refills` blocks in all and polled twice more, so it has seen the position.
  void play(int32_t frames, uint32_t refills) {
    fake_play(frames, nullptr);
    ASSERT_TRUE(wait_until([&] { return blocks_published() - base >= BLOCK_COUNT + refills; }));
    int seen = fake.polls.load();
    ASSERT_TRUE(wait_until([&] { return fake.polls.load() >= seen + 2; }));
  }

  std::vector<uint8_t> bytes;
  Module* module = nullptr;
  uint32_t base = 0;
};

TEST_F(LateBlocks, PartOfABlockAheadCountsOneLateBlock) {
  // 100 frames into the ring's second pass: block 0 is being played again
  // before it was refilled.
  play(RING + 100, 0);
  // From there on the device stays behind the mixed sound: no more late blocks.
  for (int b = 1; b <= 3; ++b) play(BLOCK, static_cast<uint32_t>(b));
  ASSERT_TRUE(stop_module(module));
  MixerStats stats = mixer_stats();
  EXPECT_EQ(stats.late_blocks, 1);
  EXPECT_EQ(stats.min_lead_frames, -100);
  EXPECT_EQ(stats.blocks_refilled, 3);
}

TEST_F(LateBlocks, OneFrameAheadIsLate) {
  play(RING + 1, 0);
  play(BLOCK, 1);
  ASSERT_TRUE(stop_module(module));
  MixerStats stats = mixer_stats();
  EXPECT_EQ(stats.late_blocks, 1);
  EXPECT_EQ(stats.min_lead_frames, -1);
}

TEST_F(LateBlocks, WholeBlocksAndAPartRoundUp) {
  // 150 blocks and 100 frames played against 100 blocks mixed: 50 blocks
  // and 100 frames of stale sound, 51 blocks touched.
  play(150 * BLOCK + 100, 50);
  play(2 * BLOCK, 52);
  ASSERT_TRUE(stop_module(module));
  MixerStats stats = mixer_stats();
  EXPECT_EQ(stats.late_blocks, 51);
  EXPECT_EQ(stats.min_lead_frames, -(50 * BLOCK + 100));
  EXPECT_EQ(stats.blocks_refilled, 52);
}

}  // namespace
