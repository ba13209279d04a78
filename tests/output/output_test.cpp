// output_test.cpp: play, stop, the pre-filled ring and the mixer thread's
// refills, driven through the fake device so every step is deterministic.
// Waits are on events (blocks published, polls made) with generous timeouts.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstring>
#include <functional>
#include <thread>
#include <vector>

#include "runtime/show_music.h"
#include "music/player.h"
#include "tests/output/fake_device.h"
#include "tests/output/test_song.h"
#include "tests/support/xm_writer.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

bool wait_until(const std::function<bool()>& done) {
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (!done()) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

uint32_t published() { return blocks_published(); }

// Waits until the mixer thread has made at least two more polls, so any
// refill it was going to make for the current position is done.
bool wait_for_two_polls() {
  int seen = fake.polls.load();
  return wait_until([&] { return fake.polls.load() >= seen + 2; });
}

std::vector<int16_t> ring_block(int block) {
  const int16_t* start = realtime_state().output_buffer + static_cast<size_t>(block) * realtime_state().block_frames * 2;
  return std::vector<int16_t>(start, start + static_cast<size_t>(realtime_state().block_frames) * 2);
}

class Output : public ::testing::Test {
 protected:
  void SetUp() override {
    close_output();
    install_memory_callbacks(); // open_output refuses while the table is incomplete
    bytes = song_bytes(0);
    module = load_module_from_memory(bytes);
    ASSERT_NE(module, nullptr);
    install_fake_device();
  }
  void TearDown() override {
    free_module(module);
    close_output();
  }

  std::vector<int16_t> reference_block(const std::vector<int16_t>& render, int block) {
    auto start = render.begin() + static_cast<ptrdiff_t>(block) * realtime_state().block_frames * 2;
    return std::vector<int16_t>(start, start + static_cast<ptrdiff_t>(realtime_state().block_frames) * 2);
  }

  std::vector<uint8_t> bytes;
  Module* module = nullptr;
};

TEST_F(Output, PlayStartsWithTheWholeRingMixedAsTheOfflineRender) {
  std::vector<int16_t> reference = offline_render(module, BLOCK_COUNT);
  ASSERT_TRUE(open_output(44100, 0));
  EXPECT_EQ(realtime_state().block_frames, 884);
  EXPECT_EQ(realtime_state().ring_frames, 88400);
  EXPECT_EQ(realtime_state().ramp_length, 128);
  uint32_t before = published();
  ASSERT_TRUE(play_module(module));
  EXPECT_EQ(realtime_state().fill_index, 0);
  EXPECT_EQ(published() - before, static_cast<uint32_t>(BLOCK_COUNT));
  EXPECT_EQ(fake.device.ring, realtime_state().output_buffer);
  EXPECT_EQ(fake.device.ring_frames, realtime_state().ring_frames);
  EXPECT_EQ(fake.calls.back(), "start");
  std::vector<int16_t> ring(realtime_state().output_buffer, realtime_state().output_buffer + static_cast<size_t>(realtime_state().ring_frames) * 2);
  EXPECT_TRUE(ring == reference);
  int silent_blocks = 0;
  for (int b = 0; b < BLOCK_COUNT; ++b) {
    std::vector<int16_t> block = ring_block(b);
    silent_blocks += std::all_of(block.begin(), block.end(), [](int16_t s) { return s == 0; });
  }
  EXPECT_EQ(silent_blocks, 0);
}

TEST_F(Output, TheThreadRefillsExactlyTheBlocksTheDeviceLeftBehind) {
  const int total_blocks = 260;
  std::vector<int16_t> reference = offline_render(module, total_blocks);
  ASSERT_TRUE(open_output(44100, 0));
  uint32_t base = published();
  ASSERT_TRUE(play_module(module));

  // The device moves 100 frames into block 5: blocks 0..4 are refilled with
  // the song's blocks 100..104, block 5 (being played) and the rest stay.
  std::vector<int16_t> heard;
  fake_play(5 * realtime_state().block_frames + 100, &heard);
  ASSERT_TRUE(wait_until([&] { return published() - base >= 105; }));
  ASSERT_TRUE(wait_for_two_polls());
  EXPECT_EQ(published() - base, 105u);
  for (int b = 0; b < BLOCK_COUNT; ++b) {
    int song_block = b < 5 ? b + BLOCK_COUNT : b;
    ASSERT_TRUE(ring_block(b) == reference_block(reference, song_block)) << "block " << b;
  }

  // Play on past the end of the ring twice; whatever the device hears is the
  // song as the offline render has it.
  // The block size is read once: realtime_state() also reads fill_index,
  // which the thread writes while it refills.
  const int32_t chunk = 2000;
  const int32_t block = realtime_state().block_frames;
  uint64_t position = fake.device.position.load();
  while (position + chunk <= static_cast<uint64_t>(total_blocks - 1) * block) {
    fake_play(chunk, &heard);
    position += chunk;
    uint32_t refills = static_cast<uint32_t>(position / block);
    ASSERT_TRUE(wait_until([&] { return published() - base >= BLOCK_COUNT + refills; }));
  }
  ASSERT_TRUE(heard.size() == position * 2);
  EXPECT_TRUE(std::equal(heard.begin(), heard.end(), reference.begin()));

  // Stop: the thread ends within one poll of the request and the device
  // goes on looping the ring, which stays allocated.
  int polls_at_stop = fake.polls.load();
  const int16_t* ring = realtime_state().output_buffer;
  ASSERT_TRUE(stop_module(module));
  EXPECT_LE(fake.polls.load(), polls_at_stop + 1);
  EXPECT_TRUE(mixer_ended());
  EXPECT_EQ(published() - base, BLOCK_COUNT + static_cast<uint32_t>(position / realtime_state().block_frames));
  EXPECT_EQ(realtime_state().fill_index, static_cast<int32_t>(position / realtime_state().block_frames) % BLOCK_COUNT);
  EXPECT_EQ(realtime_state().output_buffer, ring);
  EXPECT_EQ(fake.device.ring, ring);
  EXPECT_EQ(fake_count("reset"), 1); // the one before the ring was handed over
  EXPECT_EQ(realtime_state().player, nullptr);
  EXPECT_EQ(realtime_state().current_module, nullptr);
  MixerStats stats = mixer_stats();
  EXPECT_EQ(stats.late_blocks, 0);
  EXPECT_EQ(stats.min_lead_frames, realtime_state().ring_frames - (5 * realtime_state().block_frames + 100)); // the first jump
  EXPECT_EQ(stats.blocks_refilled, static_cast<int64_t>(position / realtime_state().block_frames));
}

TEST_F(Output, StopTwiceOrBeforePlayReleasesNothingTwice) {
  ASSERT_TRUE(open_output(44100, 0));
  EXPECT_TRUE(stop_module(module)); // before any play: nothing to end
  EXPECT_FALSE(stop_module(static_cast<qm_song*>(nullptr)));
  EXPECT_EQ(fake.calls, std::vector<std::string>{"open"});

  uint32_t base = published();
  ASSERT_TRUE(play_module(module));
  fake_play(3 * realtime_state().block_frames, nullptr);
  ASSERT_TRUE(wait_until([&] { return published() - base >= BLOCK_COUNT + 3; }));
  EXPECT_TRUE(stop_module(module));
  std::vector<int16_t> ring(realtime_state().output_buffer, realtime_state().output_buffer + static_cast<size_t>(realtime_state().ring_frames) * 2);
  int32_t index = realtime_state().fill_index;
  EXPECT_TRUE(stop_module(module));
  EXPECT_TRUE(stop_module(module));
  EXPECT_EQ(realtime_state().fill_index, index);
  ASSERT_NE(realtime_state().output_buffer, nullptr);
  EXPECT_TRUE(std::equal(ring.begin(), ring.end(), realtime_state().output_buffer));
  EXPECT_EQ(fake_count("reset"), 1);
  EXPECT_EQ(fake_count("close"), 0);
}

TEST_F(Output, FreeingAnotherModuleLeavesTheMusicPlaying) {
  ASSERT_TRUE(open_output(44100, 0));
  ASSERT_TRUE(play_module(module));
  Module* other = load_module_from_memory(bytes);
  ASSERT_NE(other, nullptr);
  EXPECT_TRUE(free_module(other));
  EXPECT_EQ(static_cast<const void*>(realtime_state().current_module), static_cast<const void*>(module));
  EXPECT_FALSE(mixer_ended());
  const uint32_t base = published();
  fake_play(realtime_state().block_frames, nullptr);
  EXPECT_TRUE(wait_until([&] { return published() > base; })) << "the mixer stopped refilling";
}

// A source that gives fewer frames than asked: the device plays silence for
// the rest, never what its buffer held before.
TEST(VirtualDevice, ASourceThatFallsShortIsFollowedBySilence) {
  VirtualDevice device;
  const AudioDevice* d = virtual_device(device);
  std::string why;
  ASSERT_EQ(d->open(d->self, 44100, 64, &why), AUDIO_OK) << why;
  const auto three_frames = [](void*, int16_t* out, int32_t) -> int32_t {
    for (int i = 0; i < 6; ++i) out[i] = 1000;
    return 3;
  };
  d->start(d->self, AudioSource{three_frames, nullptr, nullptr, 0});
  std::vector<int16_t> out(16, -7);
  virtual_device_play(device, 8, out.data());
  EXPECT_EQ(std::count(out.begin(), out.begin() + 6, 1000), 6);
  EXPECT_TRUE(std::all_of(out.begin() + 6, out.end(), [](int16_t v) { return v == 0; }));
  d->close(d->self);
}

TEST_F(Output, OpenRefusesWithoutCallbacksOrDeviceAndPlayThenRefuses) {
  ASSERT_TRUE(open_output(44100, 0));
  // An incomplete table: nothing is opened, and the open output is not closed.
  set_file_callbacks(nullptr, nullptr, nullptr, nullptr, nullptr);
  EXPECT_FALSE(open_output(44100, 0));
  EXPECT_EQ(fake.calls, std::vector<std::string>{"open"});
  EXPECT_EQ(realtime_state().block_frames, 884);

  install_memory_callbacks();
  close_output();
  fake.open_result = false; // no sound server, no card
  EXPECT_FALSE(open_output(44100, 0));
  EXPECT_EQ(realtime_state().block_frames, 0);
  EXPECT_FALSE(play_module(module));
  EXPECT_EQ(fake_count("start"), 0);
  EXPECT_TRUE(mixer_ended());
  EXPECT_EQ(realtime_state().output_buffer, nullptr);
  EXPECT_FALSE(open_output(0, 0)); // a rate that gives no block
}

TEST_F(Output, BlockAndRampSizesFollowTheRate) {
  const struct { int32_t rate, block, ramp; } rates[] = {{44100, 884, 128}, {48000, 960, 139},
                                                         {22050, 444, 64}};
  for (const auto& r : rates) {
    ASSERT_TRUE(open_output(r.rate, 0));
    EXPECT_EQ(realtime_state().mix_rate, r.rate);
    EXPECT_EQ(realtime_state().block_frames, r.block);
    EXPECT_EQ(realtime_state().ring_frames, 100 * r.block);
    EXPECT_EQ(realtime_state().ramp_length, r.ramp);
    EXPECT_FLOAT_EQ(realtime_state().ramp_length_inv, 1.0f / static_cast<float>(r.ramp));
  }
  EXPECT_EQ(fake_count("close"), 2); // each open closed the one before
}

TEST_F(Output, RestartAfterStopResetsTheDeviceAndForgetsTheFreedModule) {
  ASSERT_TRUE(open_output(44100, 0));
  ASSERT_TRUE(play_module(module));
  uint32_t base = published();
  fake_play(10 * realtime_state().block_frames, nullptr);
  ASSERT_TRUE(wait_until([&] { return published() - base >= 10; }));
  ASSERT_TRUE(stop_module(module));
  free_module(module); // the voices still point into its samples
  std::vector<uint8_t> second_bytes = song_bytes(1);
  module = load_module_from_memory(second_bytes);
  ASSERT_NE(module, nullptr);

  size_t calls_before = fake.calls.size();
  ASSERT_TRUE(play_module(module));
  std::vector<std::string> restart(fake.calls.begin() + static_cast<ptrdiff_t>(calls_before),
                                   fake.calls.end());
  EXPECT_EQ(restart, (std::vector<std::string>{"reset", "start"}));
  EXPECT_EQ(fake.device.ring, realtime_state().output_buffer);
  const Sample* own = module->instruments[0].samples[0];
  for (const Voice& voice : reinterpret_cast<const Player*>(realtime_state().player)->voices) {
    EXPECT_TRUE(voice.sample == nullptr || voice.sample == own || voice.sample == &empty_sample)
        << "voice " << voice.index;
  }
}

TEST_F(Output, ADeviceAheadOfTheMixedSoundCountsLateBlocks) {
  ASSERT_TRUE(open_output(44100, 0));
  uint32_t base = published();
  ASSERT_TRUE(play_module(module));
  fake_play(150 * realtime_state().block_frames, nullptr); // half a ring past what was mixed
  ASSERT_TRUE(wait_until([&] { return published() - base >= 150; }));
  ASSERT_TRUE(wait_for_two_polls());
  ASSERT_TRUE(stop_module(module));
  MixerStats stats = mixer_stats();
  EXPECT_EQ(stats.late_blocks, 50);
  EXPECT_EQ(stats.min_lead_frames, -50 * realtime_state().block_frames);
  EXPECT_EQ(stats.blocks_refilled, 50);
}

// Without a thread, the owner's calls of pump_mixer refill exactly the blocks
// the thread would, and a stop leaves the device looping the ring.
TEST_F(Output, APumpedDriveRefillsWhatTheThreadWould) {
  const int total_blocks = 230;
  std::vector<int16_t> reference = offline_render(module, total_blocks);
  ASSERT_TRUE(open_output(44100, 0));
  set_mixer_drive(MIXER_PUMPED);
  uint32_t base = published();
  ASSERT_TRUE(play_module(module));
  set_mixer_drive(MIXER_THREAD);  // for the tests after this one; this playback stays pumped
  EXPECT_EQ(published() - base, static_cast<uint32_t>(BLOCK_COUNT));
  const int32_t block = realtime_state().block_frames;
  std::vector<int16_t> heard;
  fake_play(5 * block + 100, &heard);
  EXPECT_EQ(published() - base, static_cast<uint32_t>(BLOCK_COUNT));  // nothing happens by itself
  pump_mixer();
  EXPECT_EQ(published() - base, 105u);
  for (int b = 0; b < 5; ++b) {
    ASSERT_TRUE(ring_block(b) == reference_block(reference, b + BLOCK_COUNT)) << "block " << b;
  }
  uint64_t position = fake.device.position.load();
  while (position + 1500 <= static_cast<uint64_t>(total_blocks - 1) * block) {
    fake_play(1500, &heard);
    position += 1500;
    pump_mixer();
  }
  EXPECT_TRUE(std::equal(heard.begin(), heard.end(), reference.begin()));
  ASSERT_TRUE(stop_module(module));
  EXPECT_TRUE(mixer_ended());
  EXPECT_EQ(mixer_stats().late_blocks, 0);
  uint32_t after_stop = published();
  pump_mixer();  // nothing plays: nothing is refilled
  EXPECT_EQ(published(), after_stop);
  EXPECT_EQ(fake.device.ring, realtime_state().output_buffer);
}

// The offline capture's drive: the owner advances the virtual device, which
// pumps the mixer each time it leaves a block. Every block is refilled at
// once, the device hears the song as the offline render has it, and after
// a stop it loops the ring as it stands.
TEST_F(Output, AdvancingTheVirtualDeviceRefillsEachBlockAsItLeavesIt) {
  const int total_blocks = 230;
  std::vector<int16_t> reference = offline_render(module, total_blocks);
  ASSERT_TRUE(open_output(44100, 0));
  set_mixer_drive(MIXER_PUMPED);
  uint32_t base = published();
  ASSERT_TRUE(play_module(module));
  set_mixer_drive(MIXER_THREAD);
  const int32_t block = realtime_state().block_frames;
  const int32_t ring = realtime_state().ring_frames;
  std::vector<int16_t> heard(static_cast<size_t>(total_blocks - 1) * block * 2);
  virtual_device_advance(fake.device, show_output(), 5 * block + 100, heard.data());
  EXPECT_EQ(published() - base, 105u);
  EXPECT_EQ(realtime_state().fill_index, 5);
  for (int b = 0; b < 5; ++b) {
    ASSERT_TRUE(ring_block(b) == reference_block(reference, b + BLOCK_COUNT)) << "block " << b;
  }
  const int32_t rest = (total_blocks - 1) * block - (5 * block + 100);
  virtual_device_advance(fake.device, show_output(), rest, heard.data() + static_cast<size_t>(5 * block + 100) * 2);
  EXPECT_EQ(published() - base, static_cast<uint32_t>(BLOCK_COUNT + total_blocks - 1));
  EXPECT_TRUE(std::equal(heard.begin(), heard.end(), reference.begin()));

  ASSERT_TRUE(stop_module(module));
  std::vector<int16_t> ring_now(realtime_state().output_buffer,
                                realtime_state().output_buffer + static_cast<size_t>(ring) * 2);
  std::vector<int16_t> looped(static_cast<size_t>(ring) * 2);
  virtual_device_advance(fake.device, show_output(), ring, looped.data());  // one whole pass from where it stands
  const size_t at = static_cast<size_t>(show_output().reader.read_frame.load()) * 2;
  EXPECT_TRUE(std::equal(looped.begin(), looped.end() - static_cast<ptrdiff_t>(at), ring_now.begin() + static_cast<ptrdiff_t>(at)));
  EXPECT_TRUE(std::equal(looped.end() - static_cast<ptrdiff_t>(at), looped.end(), ring_now.begin()));
  EXPECT_EQ(published() - base, static_cast<uint32_t>(BLOCK_COUNT + total_blocks - 1));
}

}  // namespace
