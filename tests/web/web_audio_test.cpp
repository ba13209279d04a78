// The Web Audio back end without a browser, where the test's pulls stand in
// for the page's audio callback: the ring played from its first frame and
// looped, a monotonic count across passes, silence without a ring; and the
// show's music through it on the pumped drive, refilled after each pull as
// the page does, equal to a straight render of the song until the stop, then
// the ring looping unchanged.
#include <gtest/gtest.h>

#include <cstring>
#include <numeric>
#include <vector>

#include "gfx/file_ops.h"
#include "runtime/audio_web.h"
#include "runtime/show_music.h"
#include "music/player.h"
#include "music/render.h"
#include "tests/support/xm_writer.h"
#include "tests/support/show_files.h"

using namespace qm;

namespace {

constexpr int32_t RATE = 44100;
constexpr int32_t CALLBACK_FRAMES = WEB_AUDIO_CALLBACK_FRAMES;

std::vector<int16_t> pull(AudioDevice* audio, int32_t frames) {
  const int16_t* got = web_audio_pull(audio, frames);
  EXPECT_NE(got, nullptr);
  return got ? std::vector<int16_t>(got, got + 2 * frames) : std::vector<int16_t>{};
}

class WebAudioDevice : public ::testing::Test {
 protected:
  void SetUp() override {
    audio = web_audio_device_create();
    ASSERT_NE(audio, nullptr);
    ASSERT_EQ(audio->open(audio->self, RATE, 0, nullptr), AUDIO_OK);
    ring.resize(2 * RING_FRAMES);
    std::iota(ring.begin(), ring.end(), int16_t{1});
    ring_reader_start(reader, ring.data(), RING_FRAMES, nullptr);
  }
  void TearDown() override { web_audio_device_destroy(audio); }

  static constexpr int32_t RING_FRAMES = 1000;
  AudioDevice* audio = nullptr;
  std::vector<int16_t> ring;
  RingReader reader;
};

TEST_F(WebAudioDevice, PlaysSilenceUntilStartedThenTheRingFromItsFirstFrameAcrossPasses) {
  EXPECT_EQ(pull(audio, 300), std::vector<int16_t>(600, 0));
  EXPECT_EQ(audio->frames_played(audio->self), 0u);  // frames before the start are not counted
  audio->start(audio->self, ring_source(reader));
  std::vector<int16_t> heard;
  for (int i = 0; i < 7; ++i) {  // 7 x 333 frames: two wraps, one inside a pull
    std::vector<int16_t> part = pull(audio, 333);
    heard.insert(heard.end(), part.begin(), part.end());
    EXPECT_EQ(audio->frames_played(audio->self), 333u * (i + 1));
  }
  for (size_t i = 0; i < heard.size(); ++i) ASSERT_EQ(heard[i], ring[i % ring.size()]) << "sample " << i;
}

TEST_F(WebAudioDevice, RefusesPullsItCannotHoldAndFallsSilentAfterReset) {
  audio->start(audio->self, ring_source(reader));
  EXPECT_EQ(web_audio_pull(audio, 0), nullptr);
  EXPECT_EQ(web_audio_pull(audio, WEB_AUDIO_MAX_PULL + 1), nullptr);
  EXPECT_EQ(web_audio_pull(nullptr, 10), nullptr);
  EXPECT_EQ(audio->frames_played(audio->self), 0u);
  EXPECT_EQ(pull(audio, WEB_AUDIO_MAX_PULL).size(), 2u * WEB_AUDIO_MAX_PULL);  // many passes in one pull
  audio->reset(audio->self);
  EXPECT_EQ(pull(audio, 50), std::vector<int16_t>(100, 0));
}

// The output plays behind what it was handed by its queue: the frames heard
// are those handed minus what still waits, never more than handed, never
// going back, and a new start counts from its own first frame.
TEST_F(WebAudioDevice, FramesHeardTrailFramesHandedByWhatWaitsInTheQueue) {
  audio->start(audio->self, ring_source(reader));
  for (int i = 0; i < 4; ++i) pull(audio, WEB_AUDIO_CHUNK_FRAMES);
  EXPECT_EQ(web_audio_frames_heard(audio), 0u);  // nothing played yet: all four chunks wait
  web_audio_played(audio, WEB_AUDIO_CHUNK_FRAMES + 100);
  EXPECT_EQ(web_audio_frames_heard(audio), WEB_AUDIO_CHUNK_FRAMES + 100u);
  web_audio_played(audio, 10);  // a late report that goes back changes nothing
  EXPECT_EQ(web_audio_frames_heard(audio), WEB_AUDIO_CHUNK_FRAMES + 100u);
  web_audio_played(audio, 100 * WEB_AUDIO_CHUNK_FRAMES);  // never past what was handed
  EXPECT_EQ(web_audio_frames_heard(audio), 4u * WEB_AUDIO_CHUNK_FRAMES);
  EXPECT_EQ(audio->frames_played(audio->self), 4u * WEB_AUDIO_CHUNK_FRAMES);

  audio->start(audio->self, ring_source(reader));  // a new start: its frames from 0
  pull(audio, WEB_AUDIO_CHUNK_FRAMES);
  EXPECT_EQ(web_audio_frames_heard(audio), 0u);
  web_audio_played(audio, 5u * WEB_AUDIO_CHUNK_FRAMES - 24);
  EXPECT_EQ(web_audio_frames_heard(audio), WEB_AUDIO_CHUNK_FRAMES - 24u);
  EXPECT_EQ(web_audio_frames_heard(nullptr), 0u);
  web_audio_played(nullptr, 1);
  web_audio_flush(nullptr);
}

// What the page does: a pull per audio callback, then a pump; the show time
// advances with the frames heard, and the stop cue comes at 4096 ms.
TEST(WebAudioShow, PumpedRingEqualsTheSongUntilTheStopThenLoopsTheRing) {
  set_file_callbacks(stdio_open, stdio_close, stdio_read, stdio_seek, stdio_tell);
  AudioDevice* audio = web_audio_device_create();
  ASSERT_NE(audio, nullptr);
  set_audio_device(audio);
  set_mixer_drive(MIXER_PUMPED);
  ASSERT_TRUE(open_output(RATE, 0));
  qm_song* song = load_module(QM_SOURCE_DIR "/data/typing.xm");
  ASSERT_NE(song, nullptr);
  ASSERT_TRUE(play_module(song));

  const int32_t stop_frame = 4096 * RATE / 1000;
  const int32_t ring_frames = realtime_state().ring_frames;
  std::vector<int16_t> heard;
  bool stopped = false;
  while (heard.size() < 2u * (stop_frame + 3 * ring_frames)) {
    std::vector<int16_t> part = pull(audio, CALLBACK_FRAMES);
    heard.insert(heard.end(), part.begin(), part.end());
    pump_mixer();
    if (!stopped && heard.size() / 2 >= static_cast<size_t>(stop_frame)) {
      stop_module(song);
      stopped = true;
    }
  }

  // Until the stop (and what was mixed ahead of it) the output is the song.
  Player* reference = player_create(as_module(song), RATE);
  ASSERT_NE(reference, nullptr);
  reference->repeat_count = -1;
  reference->repeats_left = -1;
  std::vector<int16_t> song_frames(2 * static_cast<size_t>(stop_frame));
  ASSERT_EQ(render_s16(reference, song_frames.data(), stop_frame), stop_frame);
  player_free(reference);
  ASSERT_TRUE(std::equal(song_frames.begin(), song_frames.end(), heard.begin())) << "the music differs before the stop";

  // After it the ring is played again and again, unchanged.
  const int16_t* ring = realtime_state().output_buffer;
  ASSERT_NE(ring, nullptr);
  const size_t after = 2 * (static_cast<size_t>(stop_frame) / ring_frames + 2) * ring_frames;  // a whole pass on
  for (size_t i = after; i < heard.size(); ++i) ASSERT_EQ(heard[i], ring[i % (2 * ring_frames)]) << "sample " << i;

  free_module(song);
  close_output();
  set_audio_device(nullptr);
  web_audio_device_destroy(audio);
}

}  // namespace
