// The player's render step: what it pulls for the device is exactly the
// library's render, whatever pauses come from another thread; gain, jump,
// seek and channel requests land between two device buffers; a seek keeps
// the fade; the end frame stops the playback; peaks and the end are published.
#include "tools/play/playback.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cstdlib>
#include <thread>
#include <vector>

#include "tests/api/api_songs.h"

namespace {

constexpr int32_t RATE = 22050;
constexpr int32_t BUFFER = 1024;

struct PlayerFree {
  void operator()(qm_player* player) const { qm_player_free(player); }
};
using PlayerHandle = std::unique_ptr<qm_player, PlayerFree>;

PlayerHandle make_player(const qm_song* song) {
  qm_player* player = nullptr;
  EXPECT_EQ(qm_player_create(song, RATE, &player), QM_OK);
  return PlayerHandle(player);
}

// Renders frames from player into out, `chunk` a call; returns the frames written.
int32_t render(qm_player* player, int32_t frames, std::vector<int16_t>* out) {
  std::vector<int16_t> buffer(2 * static_cast<size_t>(frames));
  const int32_t got = qm_player_render_s16(player, buffer.data(), frames);
  out->insert(out->end(), buffer.begin(), buffer.begin() + 2 * got);
  return got;
}

// Pulls one device buffer as the stream does; appends what was written.
int32_t pull(Playback* pb, std::vector<int16_t>* out) {
  std::vector<int16_t> buffer(2 * BUFFER, 0);
  const int32_t got = playback_pull(pb, buffer.data(), BUFFER);
  out->insert(out->end(), buffer.begin(), buffer.begin() + 2 * got);
  return got;
}

TEST(Playback, PulledFramesAreTheRenderWhateverPausesAnotherThreadSends) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song, nullptr);
  PlayerHandle reference = make_player(song.get());
  std::vector<int16_t> expected;
  while (render(reference.get(), 4096, &expected) > 0) {
  }

  PlayerHandle player = make_player(song.get());
  Playback pb;
  playback_start(&pb, player.get(), PlaybackSetup{});
  std::atomic<bool> done{false};
  std::vector<int16_t> heard;
  int32_t silent_pulls = 0;
  std::thread device([&] {
    while (!playback_finished(pb)) {
      if (pull(&pb, &heard) == 0 && !pb.ended.load()) ++silent_pulls;
    }
    done.store(true);
  });
  for (int i = 0; !done.load(); ++i) {
    pb.paused.store(i % 2 == 0);
    std::this_thread::sleep_for(std::chrono::microseconds(200));
  }
  pb.paused.store(false);
  device.join();
  EXPECT_GT(silent_pulls, 0) << "no pull ever saw the pause";
  EXPECT_EQ(heard, expected);
  EXPECT_EQ(pb.frames.load(), expected.size() / 2);
}

TEST(Playback, GainAndJumpRequestsApplyAtTheNextBuffer) {
  SongHandle song = load_bytes(three_order_song());
  ASSERT_NE(song, nullptr);
  PlayerHandle reference = make_player(song.get());
  qm_player_set_repeat_count(reference.get(), -1);
  std::vector<int16_t> expected;
  render(reference.get(), BUFFER, &expected);
  qm_player_set_gain(reference.get(), -6.0);
  render(reference.get(), BUFFER, &expected);
  qm_player_seek(reference.get(), 2, 0);
  render(reference.get(), 3 * BUFFER, &expected);

  PlayerHandle player = make_player(song.get());
  qm_player_set_repeat_count(player.get(), -1);
  Playback pb;
  playback_start(&pb, player.get(), PlaybackSetup{});
  std::vector<int16_t> heard;
  pull(&pb, &heard);
  pb.gain_db.store(-6.0);
  pull(&pb, &heard);
  pb.jump_to.store(2);
  for (int i = 0; i < 3; ++i) pull(&pb, &heard);
  EXPECT_EQ(heard, expected);
  EXPECT_EQ(pb.order.load(), 2);
  EXPECT_EQ(pb.jump_to.load(), NO_JUMP) << "a jump is applied once";
}

TEST(Playback, ChannelAndSeekRequestsApplyAtTheNextBufferAndKeepTheFade) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song, nullptr);
  constexpr uint64_t FADE_END = 40 * BUFFER;
  constexpr uint64_t FADE_FRAMES = 30 * BUFFER;
  constexpr uint64_t SEEK_TO = 20 * BUFFER + 17;  // off the block grid
  PlayerHandle reference = make_player(song.get());
  qm_player_set_channel_mute(reference.get(), 2, 1);
  qm_player_fade_out(reference.get(), FADE_END, FADE_FRAMES);
  std::vector<int16_t> expected;
  render(reference.get(), BUFFER, &expected);
  qm_player_set_channel_solo(reference.get(), 0, 1);
  qm_player_set_channel_solo(reference.get(), 3, 1);
  qm_player_set_channel_mute(reference.get(), 2, 0);
  render(reference.get(), BUFFER, &expected);
  qm_player_set_channel_solo(reference.get(), 0, 0);
  qm_player_set_channel_solo(reference.get(), 3, 0);
  qm_player_seek_frame(reference.get(), SEEK_TO);
  qm_player_fade_out(reference.get(), FADE_END, FADE_FRAMES);
  render(reference.get(), 3 * BUFFER, &expected);

  PlayerHandle player = make_player(song.get());
  qm_player_set_channel_mute(player.get(), 2, 1);
  qm_player_fade_out(player.get(), FADE_END, FADE_FRAMES);
  PlaybackSetup setup;
  setup.muted = 1u << 2;
  setup.fade_end = FADE_END;
  setup.fade_frames = FADE_FRAMES;
  Playback pb;
  playback_start(&pb, player.get(), setup);
  std::vector<int16_t> heard;
  pull(&pb, &heard);
  pb.soloed.store(1u << 0 | 1u << 3);
  pb.muted.store(0);
  pull(&pb, &heard);
  pb.soloed.store(0);
  pb.seek_to.store(SEEK_TO);
  for (int i = 0; i < 3; ++i) pull(&pb, &heard);
  ASSERT_EQ(heard.size(), expected.size());
  const std::vector<int16_t> after_seek(expected.end() - 2 * 3 * BUFFER, expected.end());
  ASSERT_NE(after_seek, std::vector<int16_t>(after_seek.size(), 0)) << "the song sounds where the fade is heard";
  EXPECT_TRUE(heard == expected) << "mute, solo and a seek with its fade, as the library renders them";
  EXPECT_EQ(pb.frames.load(), SEEK_TO + 3 * BUFFER);
  EXPECT_EQ(pb.seek_to.load(), NO_SEEK) << "a seek is applied once";
  pb.paused.store(true);
  pb.seek_to.store(SEEK_TO);
  EXPECT_EQ(pull(&pb, &heard), 0);
  EXPECT_EQ(pb.frames.load(), SEEK_TO) << "a seek while paused is applied and shown";
}

TEST(Playback, TheEndFrameEndsThePlaybackExactlyThere) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song, nullptr);
  constexpr uint64_t END = 2 * BUFFER + 300;
  PlayerHandle reference = make_player(song.get());
  std::vector<int16_t> expected;
  render(reference.get(), static_cast<int32_t>(END), &expected);
  PlayerHandle player = make_player(song.get());
  PlaybackSetup setup;
  setup.end_frame = END;
  Playback pb;
  playback_start(&pb, player.get(), setup);
  std::vector<int16_t> heard;
  EXPECT_EQ(pull(&pb, &heard), BUFFER);
  EXPECT_EQ(pull(&pb, &heard), BUFFER);
  EXPECT_EQ(pull(&pb, &heard), 300);
  EXPECT_TRUE(pb.ended.load());
  EXPECT_TRUE(heard == expected);
  EXPECT_EQ(pull(&pb, &heard), 0);
}

TEST(Playback, PeaksAreTheLoudestSampleSinceTakenAndTheEndIsPublished) {
  SongHandle song = load_bytes(four_row_song());
  ASSERT_NE(song, nullptr);
  PlayerHandle player = make_player(song.get());
  Playback pb;
  playback_start(&pb, player.get(), PlaybackSetup{});
  std::vector<int16_t> heard;
  int32_t left = -1, right = -1;
  pull(&pb, &heard);
  pull(&pb, &heard);
  int32_t want_left = 0, want_right = 0;
  for (size_t i = 0; i < heard.size(); i += 2) {
    want_left = std::max(want_left, std::abs(static_cast<int32_t>(heard[i])));
    want_right = std::max(want_right, std::abs(static_cast<int32_t>(heard[i + 1])));
  }
  ASSERT_GT(want_left + want_right, 0) << "the song should sound in its first buffers";
  playback_take_peaks(&pb, &left, &right);
  EXPECT_EQ(left, want_left);
  EXPECT_EQ(right, want_right);
  playback_take_peaks(&pb, &left, &right);
  EXPECT_EQ(left + right, 0) << "taking the peaks resets them";

  while (pull(&pb, &heard) == BUFFER) {
  }
  EXPECT_TRUE(pb.ended.load());
  EXPECT_FALSE(playback_finished(pb)) << "the device has not taken the last frames yet";
  for (int32_t i = 0; i < BUFFERS_AFTER_END; ++i) EXPECT_EQ(pull(&pb, &heard), 0);
  EXPECT_TRUE(playback_finished(pb));

  playback_stop(&pb);
  EXPECT_EQ(pull(&pb, &heard), 0) << "without a player the device gets silence";
}

}  // namespace
