// capture_model_test.cpp: the show on the capture's virtual clock, without
// an encoder: which frames a stretch takes, and the sound the virtual
// device plays, held to the show's sound worked out independently from a
// plain render of the song and the rule of the stop.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/show_driver.h"
#include "tests/capture/media.h"
#include "tools/capture/show_capture.h"

namespace {

const std::string DATA = QM_SOURCE_DIR "/data";
constexpr int32_t STOP_MS = 4096;  // the music stops on the first frame at or after it

// The first frame at or after ms, found by walking the frames.
int64_t first_frame_at(int32_t ms, int32_t fps) {
  int64_t n = 0;
  while (n * 1000 / fps < ms) ++n;
  return n;
}

TEST(CaptureClock, AStretchTakesExactlyTheFramesWhoseTimeFallsInIt) {
  EXPECT_EQ(capture_frame_time(1, 60), 16);   // 16.67 ms: the fraction is dropped
  EXPECT_EQ(capture_frame_time(2, 60), 33);
  EXPECT_EQ(capture_audio_position(1, 60), 735);
  EXPECT_EQ(capture_audio_position(1, 7), 6300);
  EXPECT_EQ(capture_audio_position(2, 7), 12600);
  EXPECT_EQ(capture_audio_position(3, 13), 10176);  // 10176.9
  const struct { int32_t fps, from, to; } stretches[] = {
      {60, 0, 30720}, {60, 4096, 4101}, {60, 4084, 4100}, {7, 0, 30720}, {13, 1000, 1077},
      {120, 30000, 30720}, {1, 0, 30720}, {25, 6144, 8192}};
  for (const auto& s : stretches) {
    const CaptureRange r = capture_range(s.fps, s.from, s.to);
    EXPECT_EQ(r.first, first_frame_at(s.from, s.fps)) << s.fps << " fps from " << s.from;
    EXPECT_EQ(r.end, first_frame_at(s.to, s.fps)) << s.fps << " fps to " << s.to;
  }
  EXPECT_EQ(capture_range(60, 0, 30720).end, 1844);  // 1844 / 60 s: 30.733 s, within a frame of 30.72 s
  const CaptureRange none = capture_range(60, 5, 10);  // 0 and 16 ms lie outside
  EXPECT_EQ(none.first, none.end);
}

// Everything the sink receives.
struct Captured {
  int64_t frames = 0;
  std::vector<int16_t> sound;
  std::vector<uint32_t> last_frame;
};

Captured capture(int32_t fps, int32_t from, int32_t to, CaptureReport& report) {
  Captured got;
  ShowCapture show;
  EXPECT_EQ(capture_load(show, DATA, "test", false), STATUS_DONE);
  CaptureSink sink;
  sink.frame = [&](const Image& frame, int64_t index) {
    EXPECT_EQ(index, got.frames);
    ++got.frames;
    got.last_frame.assign(frame.pixels, frame.pixels + frame.count);
    return true;
  };
  sink.audio = [&](const int16_t* samples, int32_t frames) {
    got.sound.insert(got.sound.end(), samples, samples + static_cast<ptrdiff_t>(frames) * 2);
    return true;
  };
  EXPECT_TRUE(capture_run(show, capture_range(fps, from, to), sink, report));
  return got;
}

// The whole show at 60 fps: the stop falls on frame 246 (4100 ms), 180,810
// sound frames in, inside block 204; the sound is the song up to the end of
// block 303, then the ring of blocks 204 to 303 round and round.
TEST(CaptureSound, TheWholeShowSoundsAsTheDesktopPlaysIt) {
  CaptureReport report;
  const Captured got = capture(60, 0, 30720, report);
  const int64_t stop = first_frame_at(STOP_MS, 60);
  EXPECT_EQ(stop, 246);
  EXPECT_EQ(report.stop_frame, stop);
  EXPECT_EQ(report.stop_audio_frame, stop * 44100 / 60);
  EXPECT_EQ(got.frames, 1844);
  const std::vector<int16_t> expected = show_sound(DATA + "/typing.xm", 180810, 0, 1844 * 735);
  ASSERT_EQ(got.sound.size(), expected.size());
  EXPECT_TRUE(got.sound == expected);
}

// A stretch that starts after the stop still hears the stop where the whole
// show has it; at 25 fps that is frame 103 (4120 ms), 181,692 sound frames in.
TEST(CaptureSound, AStretchHearsWhatTheWholeShowHearsThere) {
  CaptureReport report;
  const Captured got = capture(25, 20000, 21000, report);
  EXPECT_EQ(report.stop_frame, first_frame_at(STOP_MS, 25));
  EXPECT_EQ(report.stop_audio_frame, 181692);
  EXPECT_EQ(got.frames, 25);
  const std::vector<int16_t> expected = show_sound(DATA + "/typing.xm", 181692, 500 * 1764, 525 * 1764);
  ASSERT_EQ(got.sound.size(), expected.size());
  EXPECT_TRUE(got.sound == expected);

  // A stretch before the stop hears the song itself.
  report = CaptureReport{};
  const Captured early = capture(30, 1000, 2000, report);
  EXPECT_EQ(report.stop_frame, -1);
  EXPECT_TRUE(early.sound == show_sound(DATA + "/typing.xm", 180810, 30 * 1470, 60 * 1470));
}

// A sink that refuses ends the run at once, with nothing more handed over.
TEST(CaptureSound, ASinkThatFailsEndsTheRun) {
  ShowCapture show;
  ASSERT_EQ(capture_load(show, DATA, "test", false), STATUS_DONE);
  int frames = 0;
  CaptureSink sink;
  sink.frame = [&](const Image&, int64_t) { return ++frames < 3; };
  sink.audio = [&](const int16_t*, int32_t) { return true; };
  CaptureReport report;
  EXPECT_FALSE(capture_run(show, capture_range(60, 0, 30720), sink, report));
  EXPECT_EQ(frames, 3);
}

}  // namespace
