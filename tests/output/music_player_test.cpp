// music_player_test.cpp: the demo's music player on the real SDL back end,
// with SDL's disk audio driver standing in for a sound card, and with an
// audio driver that cannot open. Short runs of about a second each.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "app/music_player.h"
#include "runtime/audio_sdl.h"
#include "runtime/show_music.h"
#include "music/player.h"
#include "tests/output/test_song.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

uint32_t published() { return blocks_published(); }

bool wait_for_blocks(uint32_t target) {
  auto give_up = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (published() < target) {
    if (std::chrono::steady_clock::now() > give_up) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

std::vector<int16_t> read_samples(const std::string& path) {
  std::vector<int16_t> samples;
  FILE* f = std::fopen(path.c_str(), "rb");
  if (f == nullptr) return samples;
  int16_t buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, sizeof(int16_t), 4096, f)) > 0) samples.insert(samples.end(), buffer, buffer + n);
  std::fclose(f);
  return samples;
}

// The SDL sound device for the length of a scope; declared before the
// player, so the player closes the output before the device goes.
struct SdlDevice {
  ~SdlDevice() { sdl_audio_device_destroy(device); }
  AudioDevice* device = sdl_audio_device_create(false);
};

size_t first_sound(const std::vector<int16_t>& samples) {
  size_t i = 0;
  while (i < samples.size() && samples[i] == 0) ++i;
  return i & ~static_cast<size_t>(1); // whole frames
}

TEST(MusicPlayer, PlaysTheRingFromItsFirstFrameThroughTheDiskDriver) {
  std::vector<uint8_t> bytes = song_bytes(0);
  TempFile song(bytes);
  TempFile recording({});
  ASSERT_FALSE(song.path.empty());
  Module* offline = load_module_from_bytes(bytes);
  ASSERT_NE(offline, nullptr);
  const int refills = 130; // the device plays refilled blocks too: 2.6 s
  std::vector<int16_t> reference = offline_render(offline, BLOCK_COUNT + refills);
  free_module(offline);

  setenv("SDL_AUDIODRIVER", "disk", 1);
  setenv("SDL_DISKAUDIOFILE", recording.path.c_str(), 1);
  {
    SdlDevice sdl;
    MusicPlayer player;
    std::string why;
    EXPECT_TRUE(player.open(sdl.device, MIXER_THREAD, &why)) << why;
    EXPECT_TRUE(file_callbacks_complete());
    EXPECT_EQ(realtime_state().block_frames, 884);
    uint32_t base = published();
    player.load_and_play(song.path.c_str(), nullptr);
    EXPECT_EQ(player.playing, 1);
    // The device's position drives the mixer thread: it refills what was played.
    ASSERT_TRUE(wait_for_blocks(base + BLOCK_COUNT + refills));
    player.stop();
    EXPECT_EQ(player.playing, 0);
    EXPECT_TRUE(mixer_ended());
    EXPECT_NE(realtime_state().output_buffer, nullptr); // the device goes on looping the ring
  }
  EXPECT_EQ(realtime_state().output_buffer, nullptr); // closed with the player
  EXPECT_EQ(realtime_state().block_frames, 0);

  // What the device played, after the silence it wrote while paused, is the
  // song from its first frame on.
  std::vector<int16_t> heard = read_samples(recording.path);
  ASSERT_LT(first_sound(reference), reference.size());
  ASSERT_GE(first_sound(heard), first_sound(reference));
  size_t start = first_sound(heard) - first_sound(reference);
  ASSERT_GE(heard.size(), start + static_cast<size_t>(refills) * 884 * 2);
  size_t length = std::min(heard.size() - start, reference.size());
  EXPECT_TRUE(std::equal(reference.begin(), reference.begin() + static_cast<ptrdiff_t>(length),
                         heard.begin() + static_cast<ptrdiff_t>(start)));
}

TEST(MusicPlayer, WithoutAnAudioDeviceTheShowGoesOnSilent) {
  setenv("SDL_AUDIODRIVER", "no-such-audio-driver", 1);
  TempFile song(song_bytes(0));
  SdlDevice sdl;
  MusicPlayer player;
  EXPECT_FALSE(player.open(sdl.device, MIXER_THREAD, nullptr));
  EXPECT_TRUE(file_callbacks_complete());
  EXPECT_EQ(realtime_state().block_frames, 0);
  player.load_and_play(song.path.c_str(), nullptr);
  EXPECT_NE(player.module, nullptr);
  EXPECT_EQ(player.playing, 1);
  EXPECT_TRUE(mixer_ended());
  EXPECT_EQ(realtime_state().output_buffer, nullptr);
  player.stop();
  player.stop();
  EXPECT_EQ(player.playing, 0);
}

TEST(MusicPlayer, AModuleThatDoesNotLoadIsRefusedAndNothingPlays) {
  setenv("SDL_AUDIODRIVER", "no-such-audio-driver", 1);
  SdlDevice sdl;
  MusicPlayer player;
  std::string why;
  EXPECT_FALSE(player.open(sdl.device, MIXER_THREAD, &why));
  EXPECT_EQ(why, "Audio target 'no-such-audio-driver' not available");
  EXPECT_FALSE(player.load_and_play("/nonexistent/typing.xm", &why));
  EXPECT_EQ(why, "cannot open: No such file or directory");
  EXPECT_EQ(player.module, nullptr);
  EXPECT_EQ(player.playing, 0);
  player.stop();
}

TEST(MusicPlayer, MutedOpensNoDevice) {
  setenv("SDL_AUDIODRIVER", "dummy", 1);
  MusicPlayer player;  // a muted show opens no output
  EXPECT_TRUE(file_callbacks_complete());
  EXPECT_EQ(realtime_state().output_buffer, nullptr);
  EXPECT_EQ(realtime_state().block_frames, 0);
}

}  // namespace
