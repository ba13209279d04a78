// The mixing controls of the C API: per-channel mute, solo and volume (also
// changed while playing, and kept by a seek), channel levels, gain and
// separation changes without a step, the fade-out, the +-1.0 float scale,
// and structs that grow.
#include <gtest/gtest.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <vector>

#include "quillmere/music.h"
#include "tests/api/api_songs.h"

namespace {

constexpr int32_t RATE = 44100;
constexpr int32_t BLOCK = 884;
constexpr int32_t RAMP = 128;  // the voices' gain ramp at 44,100 Hz

// A fresh player of song set up by `setup`, rendered for `frames` frames
// (floats, so that channel sums can be compared).
template <typename Setup>
std::vector<float> floats_with(const qm_song* song, int32_t frames, Setup setup) {
  qm_player* p = nullptr;
  EXPECT_EQ(qm_player_create(song, RATE, &p), QM_OK);
  qm_player_set_repeat_count(p, -1);
  setup(p);
  std::vector<float> out(2 * static_cast<size_t>(frames));
  EXPECT_EQ(qm_player_render_f32(p, out.data(), frames), frames);
  qm_player_free(p);
  return out;
}

void nothing(qm_player*) {}

TEST(MixControls, MuteSoloAndVolumeSilenceAndScaleChannels) {
  SongHandle song = load_bytes(three_order_song());
  SongHandle without_0 = load_bytes(three_order_song(0));
  SongHandle without_1 = load_bytes(three_order_song(1));
  ASSERT_TRUE(song && without_0 && without_1);
  const int32_t frames = 3 * RATE;
  const std::vector<float> plain = floats_with(song.get(), frames, nothing);
  const std::vector<float> only_1 = floats_with(without_0.get(), frames, nothing);
  const std::vector<float> only_0 = floats_with(without_1.get(), frames, nothing);
  ASSERT_NE(plain, only_1);
  ASSERT_NE(plain, only_0);
  auto with = [&](auto setup) { return floats_with(song.get(), frames, setup); };
  EXPECT_EQ(with([](qm_player* p) { EXPECT_EQ(qm_player_set_channel_mute(p, 0, 1), QM_OK); }), only_1);
  EXPECT_EQ(with([](qm_player* p) { EXPECT_EQ(qm_player_set_channel_solo(p, 0, 1), QM_OK); }), only_0);
  EXPECT_EQ(with([](qm_player* p) { EXPECT_EQ(qm_player_set_channel_volume(p, 1, 0.0f), QM_OK); }), only_0);
  // Both soloed: both sound. Muted and soloed: muted; the other is not soloed.
  EXPECT_EQ(with([](qm_player* p) {
              qm_player_set_channel_solo(p, 0, 1);
              qm_player_set_channel_solo(p, 1, 1);
            }),
            plain);
  const std::vector<float> none = with([](qm_player* p) {
    qm_player_set_channel_solo(p, 1, 1);
    qm_player_set_channel_mute(p, 1, 1);
  });
  EXPECT_EQ(none, std::vector<float>(none.size(), 0.0f));
  // The defaults set again change nothing.
  EXPECT_EQ(with([](qm_player* p) {
              for (int32_t c = 0; c < 2; ++c) {
                EXPECT_EQ(qm_player_set_channel_volume(p, c, 1.0f), QM_OK);
                EXPECT_EQ(qm_player_set_channel_mute(p, c, 0), QM_OK);
                EXPECT_EQ(qm_player_set_channel_solo(p, c, 0), QM_OK);
              }
            }),
            plain);
  // Half volume on channel 0: its part of the mix at half, within the
  // engine's whole-number voice volumes.
  const std::vector<float> half = with([](qm_player* p) { qm_player_set_channel_volume(p, 0, 0.5f); });
  for (size_t i = 0; i < plain.size(); ++i) {
    const float part_0 = plain[i] - only_1[i];
    EXPECT_NEAR(half[i] - only_1[i], 0.5f * part_0, 0.03f * std::fabs(part_0) + 2.0f) << i;
  }
}

TEST(MixControls, ChannelControlsRefuseWhatTheSongLacks) {
  SongHandle song = load_bytes(three_order_song());
  ASSERT_NE(song.get(), nullptr);
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  EXPECT_EQ(qm_player_set_channel_mute(p, 2, 1), QM_ERROR_INVALID_ARGUMENT);  // two channels: 0 and 1
  EXPECT_EQ(qm_player_set_channel_mute(p, -1, 1), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_channel_mute(p, 0, 2), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_channel_solo(p, 0, -1), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_channel_volume(p, 0, 1.5f), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_channel_volume(p, 0, -0.1f), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_channel_volume(p, 0, NAN), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_channel_mute(nullptr, 0, 1), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_metering(p, 2), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_get_channel_levels(p, nullptr, 2), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_set_float_scale(p, static_cast<qm_float_scale>(2)), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(qm_player_fade_out(nullptr, 10, 10), QM_ERROR_INVALID_ARGUMENT);
  qm_player_free(p);
}

TEST(MixControls, AMuteWhilePlayingRampsOutWithTheNextBlockAndASeekKeepsIt) {
  SongHandle song = load_bytes(three_order_song());
  SongHandle without_0 = load_bytes(three_order_song(0));
  ASSERT_TRUE(song && without_0);
  const int32_t frames = 3 * RATE;
  const std::vector<float> plain = floats_with(song.get(), frames, nothing);
  const std::vector<float> only_1 = floats_with(without_0.get(), frames, nothing);
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  qm_player_set_repeat_count(p, -1);
  std::vector<float> out(2 * static_cast<size_t>(frames));
  const int32_t before = 30 * BLOCK + 100;  // inside block 30
  ASSERT_EQ(qm_player_render_f32(p, out.data(), before), before);
  ASSERT_EQ(qm_player_set_channel_mute(p, 0, 1), QM_OK);
  ASSERT_EQ(qm_player_render_f32(p, out.data() + 2 * before, frames - before), frames - before);
  const size_t heard = 2 * 31 * BLOCK, silent = 2 * (31 * BLOCK + RAMP);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + heard, plain.begin()));
  EXPECT_TRUE(std::equal(out.begin() + silent, out.end(), only_1.begin() + silent));
  // Seeks land where a playback muted from the start stands: one forward
  // from a player muted a moment ago (a gain ramp would still be running on
  // the way), and others back.
  qm_player* q = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &q), QM_OK);
  qm_player_set_repeat_count(q, -1);
  ASSERT_EQ(qm_player_render_f32(q, out.data(), before), before);
  ASSERT_EQ(qm_player_set_channel_mute(q, 0, 1), QM_OK);
  ASSERT_EQ(qm_player_seek_frame(q, 31 * BLOCK + 10), QM_OK);
  ASSERT_EQ(qm_player_render_f32(q, out.data(), 3000), 3000);
  EXPECT_TRUE(std::equal(out.begin(), out.begin() + 2 * 3000, only_1.begin() + 2 * (31 * BLOCK + 10)));
  qm_player_free(q);
  for (uint64_t at : {uint64_t{0}, uint64_t{12345}, uint64_t{2 * RATE}}) {
    ASSERT_EQ(qm_player_seek_frame(p, at), QM_OK);
    std::vector<float> after(2 * 3000);
    ASSERT_EQ(qm_player_render_f32(p, after.data(), 3000), 3000);
    EXPECT_TRUE(std::equal(after.begin(), after.end(), only_1.begin() + static_cast<ptrdiff_t>(2 * at))) << at;
  }
  qm_player_free(p);
}

// three_order_song with a sample of 30,000 frames that rises from 0 to 120
// (or falls from 120 to 0) and does not loop: each block reads a different
// stretch of it, and each piece of a block a louder (or softer) one.
SongHandle ramp_song(int32_t silent_channel, bool rising) {
  XmFile f = three_order_file(silent_channel);
  XmSample& s = f.instruments[0].samples[0];
  s.pcm.clear();
  for (int32_t i = 0; i < 30000; ++i) s.pcm.push_back((rising ? i : 29999 - i) * 120 / 30000);
  s.type = 0;  // no loop
  s.loop_start = s.loop_length = 0;
  return load_bytes(write_xm(f));
}

void check_levels(bool rising) {
  SongHandle song = ramp_song(-1, rising);
  SongHandle without_0 = ramp_song(0, rising);
  ASSERT_TRUE(song && without_0);
  const int32_t blocks = 150;
  const std::vector<float> plain = floats_with(song.get(), blocks * BLOCK, nothing);
  const std::vector<float> only_1 = floats_with(without_0.get(), blocks * BLOCK, nothing);
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  qm_player_set_repeat_count(p, -1);
  std::vector<float> block(2 * BLOCK);
  float levels[4] = {-1, -1, -1, -1};
  ASSERT_EQ(qm_player_render_f32(p, block.data(), BLOCK), BLOCK);
  ASSERT_EQ(qm_player_get_channel_levels(p, levels, 4), QM_OK);
  EXPECT_EQ(levels[0], 0.0f);  // metering is off
  ASSERT_EQ(qm_player_set_metering(p, 1), QM_OK);
  int32_t close = 0;
  for (int32_t b = 1; b < blocks; ++b) {
    if (b == 100) qm_player_set_channel_mute(p, 1, 1);
    ASSERT_EQ(qm_player_render_f32(p, block.data(), BLOCK), BLOCK);
    ASSERT_EQ(qm_player_get_channel_levels(p, levels, 4), QM_OK);
    EXPECT_EQ(levels[2], 0.0f);  // the song has two channels
    EXPECT_EQ(levels[3], 0.0f);
    if (b > 101) {
      EXPECT_EQ(levels[1], 0.0f) << b;
    }
    // Channel 0's own part of the mix never exceeds its level, and mostly
    // comes within 2 % of it.
    float peak_0 = 0.0f;
    for (size_t i = 2 * static_cast<size_t>(b) * BLOCK; i < 2 * static_cast<size_t>(b + 1) * BLOCK; ++i)
      peak_0 = std::max(peak_0, std::fabs(plain[i] - only_1[i]) / 32768.0f);
    EXPECT_GE(levels[0] + 1e-6f, peak_0) << b << (rising ? " rising" : " falling");
    close += levels[0] <= 1.02f * peak_0 + 1e-4f ? 1 : 0;
  }
  // Blocks where a note fades out under the next read up to both their peaks.
  EXPECT_GT(close, 120) << (rising ? "rising" : "falling");
  qm_player_free(p);
}

TEST(MixControls, LevelsFollowEachChannelsPeak) {
  check_levels(true);
  check_levels(false);
}

// The largest change of the factor out[i] / plain[i] from one frame to the
// next, over pairs of frames loud enough to tell it.
double largest_step(const std::vector<float>& out, const std::vector<float>& plain, size_t from, size_t to) {
  double largest = 0.0, last = -1.0;
  for (size_t i = from; i < to; i += 2) {
    if (std::fabs(plain[i]) < 2000.0f) {
      last = -1.0;
      continue;
    }
    const double factor = out[i] / plain[i];
    if (last >= 0.0) largest = std::max(largest, std::fabs(factor - last));
    last = factor;
  }
  return largest;
}

TEST(MixControls, GainAndSeparationChangesMoveWithoutAStep) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song.get(), nullptr);
  const int32_t frames = 2 * RATE, change = 40 * BLOCK + 300;
  const std::vector<float> plain = floats_with(song.get(), frames, nothing);
  for (bool separation : {false, true}) {
    qm_player* p = nullptr;
    ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
    std::vector<float> out(2 * static_cast<size_t>(frames));
    ASSERT_EQ(qm_player_render_f32(p, out.data(), change), change);
    if (separation) {
      ASSERT_EQ(qm_player_set_stereo_separation(p, 0), QM_OK);
    } else {
      ASSERT_EQ(qm_player_set_gain(p, -20.0), QM_OK);
    }
    ASSERT_EQ(qm_player_render_f32(p, out.data() + 2 * change, frames - change), frames - change);
    qm_player_free(p);
    const size_t ramp_start = 2 * 41 * BLOCK, ramp_end = 2 * 42 * BLOCK;
    EXPECT_TRUE(std::equal(out.begin(), out.begin() + ramp_start, plain.begin())) << separation;
    if (separation) {
      // The side signal L - R shrinks to nothing across the block.
      std::vector<float> side(out.size()), plain_side(out.size());
      for (size_t i = 0; i + 1 < out.size(); i += 2) {
        side[i] = out[i] - out[i + 1];
        plain_side[i] = plain[i] - plain[i + 1];
      }
      EXPECT_LT(largest_step(side, plain_side, ramp_start - 2, ramp_end), 3.0 / BLOCK);
      for (size_t i = ramp_end; i < out.size(); i += 2) EXPECT_EQ(out[i], out[i + 1]) << i;
    } else {
      // The gain falls from 1 to 0.1 by about 0.9 / 884 a frame, never at once.
      EXPECT_LT(largest_step(out, plain, ramp_start - 2, ramp_end), 3.0 * 0.9 / BLOCK);
      EXPECT_NEAR(largest_step(out, plain, ramp_start - 2 * BLOCK, ramp_start), 0.0, 1e-6);
      for (size_t i = ramp_end; i < out.size(); ++i) EXPECT_NEAR(out[i], 0.1f * plain[i], 1e-3f * (1 + std::fabs(plain[i])));
    }
  }
}

TEST(MixControls, AFadeFallsLinearlyToSilenceAndEndsThePlayback) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song.get(), nullptr);
  const int32_t frames = 3 * RATE;
  const std::vector<float> plain = floats_with(song.get(), frames, nothing);
  const uint64_t end = 2 * RATE + 77;
  // Set before the first frame, set while playing (inside a block), and a
  // fade longer than the playback before its end.
  for (uint64_t length : {uint64_t{RATE}, uint64_t{3 * RATE}}) {
    for (int32_t first_call : {0, 20 * BLOCK + 13}) {
      qm_player* p = nullptr;
      ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
      std::vector<float> out(2 * static_cast<size_t>(frames), -1.0f);
      int32_t done = qm_player_render_f32(p, out.data(), first_call);
      ASSERT_EQ(qm_player_fade_out(p, end, length), QM_OK);
      done += qm_player_render_f32(p, out.data() + 2 * done, frames - done);
      EXPECT_EQ(static_cast<uint64_t>(done), end);
      qm_position at{};
      qm_player_get_position(p, &at);
      EXPECT_EQ(at.ended, 1);
      const uint64_t start = end - std::min(length, end);
      for (uint64_t i = 0; i < end; ++i) {
        const double gain = i < start ? 1.0 : static_cast<double>(end - 1 - i) / static_cast<double>(length - 1);
        const float want = i < static_cast<uint64_t>(first_call) ? plain[2 * i] : static_cast<float>(plain[2 * i] * gain);
        ASSERT_EQ(out[2 * i], want) << "frame " << i << ", fade of " << length << " set at " << first_call;
      }
      EXPECT_EQ(out[2 * (end - 1)], 0.0f);
      qm_player_free(p);
    }
  }
  // A seek after a fade ended the playback plays on without the fade.
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  ASSERT_EQ(qm_player_fade_out(p, RATE, 100), QM_OK);
  std::vector<float> out(2 * static_cast<size_t>(RATE));
  ASSERT_EQ(qm_player_render_f32(p, out.data(), 2 * RATE), RATE);
  ASSERT_EQ(qm_player_seek_frame(p, RATE + 1000), QM_OK);
  ASSERT_EQ(qm_player_render_f32(p, out.data(), RATE), RATE);
  EXPECT_TRUE(std::equal(out.begin(), out.end(), plain.begin() + 2 * (RATE + 1000)));
  qm_player_free(p);
  // Removed before it begins, a fade changes nothing.
  EXPECT_EQ(floats_with(song.get(), frames,
                        [](qm_player* p) {
                          qm_player_fade_out(p, RATE, RATE / 2);
                          qm_player_fade_out(p, 0, 0);
                        }),
            plain);
}

TEST(MixControls, FloatsInTheUnitScaleAreThePcmScaleOnesOver32768) {
  SongHandle song = load_repository_song("data/typing.xm");
  ASSERT_NE(song.get(), nullptr);
  const std::vector<float> plain = floats_with(song.get(), RATE, nothing);
  const std::vector<float> unit =
      floats_with(song.get(), RATE, [](qm_player* p) { EXPECT_EQ(qm_player_set_float_scale(p, QM_FLOAT_SCALE_UNIT), QM_OK); });
  for (size_t i = 0; i < plain.size(); ++i) ASSERT_EQ(unit[i], std::ldexp(plain[i], -15)) << i;
}

TEST(MixControls, StructsAreFilledUpToTheSizeTheCallerKnows) {
  SongHandle song = load_bytes(four_row_song());
  ASSERT_NE(song.get(), nullptr);
  qm_player* p = nullptr;
  ASSERT_EQ(qm_player_create(song.get(), RATE, &p), QM_OK);
  int16_t pcm[2 * 100];
  qm_player_render_s16(p, pcm, 100);
  qm_position zeroed{};
  ASSERT_EQ(qm_player_get_position(p, &zeroed), QM_OK);  // 0: this layout
  EXPECT_EQ(zeroed.size, offsetof(qm_position, end_row) + sizeof(int32_t));  // up to its last field
  EXPECT_EQ(zeroed.frame, 100u);
  // A later, larger layout: the library fills what it knows and says so.
  struct {
    qm_position known;
    uint64_t later;
  } larger{};
  larger.known.size = sizeof larger;
  larger.later = 0xDEADBEEF;
  ASSERT_EQ(qm_player_get_position(p, &larger.known), QM_OK);
  EXPECT_EQ(larger.known.size, sizeof(qm_position));
  EXPECT_EQ(larger.known.frame, 100u);
  EXPECT_EQ(larger.later, 0xDEADBEEFu);
  qm_position small{};
  small.size = 8;
  EXPECT_EQ(qm_player_get_position(p, &small), QM_ERROR_INVALID_ARGUMENT);
  EXPECT_EQ(small.frame, 0u);
  qm_player_free(p);
}

}  // namespace
