// capture_file_test.cpp: files written by quillmere-capture, read back
// through FFmpeg's decoders and held to quillmere-frames (the same
// timeline, drawn frame by frame), xmrender (the song rendered offline) and
// the show's sound worked out from a plain render of the song.
// The Heavy tests capture the whole show (several seconds each); the test
// suite runs them only in the normal build.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "tests/capture/media.h"

namespace {

namespace fs = std::filesystem;

const std::string DATA = QM_SOURCE_DIR "/data";
const std::string CAPTURE = QM_CAPTURE;
const std::string FRAMES = QM_FRAMES;
const std::string XMRENDER = QM_XMRENDER;
constexpr int32_t FPS = 60;
constexpr int32_t SCALE = 2;
constexpr double MIN_SIDE_CORRELATION = 0.9;  // the AAC sound's stereo difference against the render's
constexpr int64_t SHOW_FRAMES = 1844;                       // frames 0 .. 1843 fall before 30720 ms
constexpr int64_t SOUND_FRAMES = SHOW_FRAMES * 44100 / FPS; // the sound lasts as long as the video
constexpr int64_t STOP_SOUND_FRAME = 180810;                // frame 246 (4100 ms) stops the music
// The edges of the timeline's windows, ms.
constexpr int32_t WINDOW_EDGES[] = {1024, 3072, 4096, 6144, 8192, 9216, 14336, 20480, 24576};
// An H.264 frame at the default quality may differ from the exact frame by
// this much on average per colour channel (0..255); measured: 0.01 to 0.6.
constexpr double MAX_MEAN_ABS_ERROR = 1.5;

int64_t first_frame_at(int32_t ms) {
  int64_t n = 0;
  while (n * 1000 / FPS < ms) ++n;
  return n;
}

int32_t frame_time(int64_t n) { return static_cast<int32_t>(n * 1000 / FPS); }

// The frames quillmere-frames draws at times, from the pictures in data.
std::map<int32_t, Picture> frames_tool(const std::string& data, const std::vector<int32_t>& times,
                                       const std::string& dir) {
  std::string command = FRAMES + " --data " + data + " -o " + dir;
  for (int32_t t : times) {
    command += ' ';
    command += std::to_string(t);
  }
  std::map<int32_t, Picture> frames;
  if (run(command) != 0) return frames;
  for (int32_t t : times) {
    char name[32];
    std::snprintf(name, sizeof name, "/frame_t%05d.png", t);
    frames[t] = read_png(dir + name);
  }
  return frames;
}

// Each wanted frame of m is the frame quillmere-frames draws at its time,
// every pixel scaled up SCALE times.
void expect_exact_frames(const MediaFile& m, const std::vector<int64_t>& wanted, const std::string& data,
                         const std::string& dir) {
  std::vector<int32_t> times;
  for (int64_t n : wanted) times.push_back(frame_time(n));
  std::map<int32_t, Picture> reference = frames_tool(data, times, dir);
  for (int64_t n : wanted) {
    auto it = m.frames.find(n);
    ASSERT_NE(it, m.frames.end()) << "frame " << n;
    bool uniform = false;
    const Picture shown = shrink(it->second, SCALE, &uniform);
    EXPECT_TRUE(uniform) << "frame " << n << " is not scaled by whole pixels";
    const Picture& drawn = reference[frame_time(n)];
    ASSERT_EQ(drawn.pixels.size(), shown.pixels.size()) << "frame " << n;
    EXPECT_TRUE(shown.pixels == drawn.pixels) << "frame " << n << " (t = " << frame_time(n) << " ms)";
  }
}

// The names of the file's top-level boxes, in order (MP4).
std::vector<std::string> top_level_boxes(const std::string& path) {
  std::vector<std::string> names;
  std::ifstream in(path, std::ios::binary);
  uint64_t at = 0;
  const uint64_t size = fs::file_size(path);
  while (at + 8 <= size) {
    unsigned char header[16];
    in.seekg(static_cast<std::streamoff>(at));
    if (!in.read(reinterpret_cast<char*>(header), 8)) break;
    uint64_t length = (uint64_t{header[0]} << 24) | (header[1] << 16) | (header[2] << 8) | header[3];
    names.emplace_back(reinterpret_cast<char*>(header + 4), 4);
    if (length == 1 && in.read(reinterpret_cast<char*>(header + 8), 8)) {
      length = 0;
      for (int i = 8; i < 16; ++i) length = (length << 8) | header[i];
    }
    if (length < 8) break;
    at += length;
  }
  return names;
}

// A 24-bit uncompressed TGA of w x h pixels in diagonal stripes.
void write_tga(const std::string& path, int w, int h) {
  std::vector<unsigned char> bytes = {0, 0, 2, 0, 0, 0, 0, 0, 0, 0, 0, 0, static_cast<unsigned char>(w),
                                      static_cast<unsigned char>(w >> 8), static_cast<unsigned char>(h),
                                      static_cast<unsigned char>(h >> 8), 24, 0};
  for (int y = 0; y < h; ++y) {
    for (int x = 0; x < w; ++x) {
      const bool stripe = ((x + y) / 6) % 2 == 0;
      bytes.push_back(stripe ? 250 : 20);
      bytes.push_back(static_cast<unsigned char>(x));
      bytes.push_back(stripe ? 40 : 200);
    }
  }
  std::ofstream(path, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

TEST(HeavyCapture, TheLosslessFileHoldsTheShowsFramesAndSoundExactly) {
  TempFolder tmp;
  const std::string out = tmp.path + "/show.mkv";
  ASSERT_EQ(run(CAPTURE + " -q --lossless --data " + DATA + " -o " + out), 0);
  std::vector<int64_t> wanted = {0, SHOW_FRAMES - 1};
  for (int32_t edge : WINDOW_EDGES) {
    wanted.push_back(first_frame_at(edge) - 1);
    wanted.push_back(first_frame_at(edge));
  }
  const MediaFile m = read_media(out, wanted, true);
  ASSERT_TRUE(m.error.empty()) << m.error;
  EXPECT_EQ(m.format, "matroska,webm");
  EXPECT_EQ(m.video.codec, "ffv1");
  EXPECT_EQ(m.video.pixel_format, "bgr0");
  EXPECT_EQ(m.video.width, 1024);
  EXPECT_EQ(m.video.height, 768);
  EXPECT_EQ(m.video.rate_num, FPS);
  EXPECT_EQ(m.video.rate_den, 1);
  EXPECT_EQ(m.video.packets, SHOW_FRAMES);
  EXPECT_EQ(m.audio.codec, "flac");
  EXPECT_EQ(m.audio.sample_rate, 44100);
  EXPECT_EQ(m.audio.channels, 2);
  expect_exact_frames(m, wanted, DATA, tmp.path);

  ASSERT_EQ(m.sound_frames, SOUND_FRAMES);
  EXPECT_TRUE(m.sound == show_sound(DATA + "/typing.xm", STOP_SOUND_FRAME, 0, SOUND_FRAMES));
  const std::string wav = tmp.path + "/typing.wav";
  ASSERT_EQ(run(XMRENDER + " " + DATA + "/typing.xm -o " + wav + " --seconds 4 >/dev/null"), 0);
  const std::vector<int16_t> rendered = read_wav(wav);
  ASSERT_EQ(rendered.size(), size_t{4 * 44100 * 2});
  EXPECT_TRUE(std::equal(rendered.begin(), rendered.end(), m.sound.begin()));
}

// How well the decoded side signal (left - right) follows the render's over
// its first second: the best normalised correlation over small lags (the
// encoder's delay). Near 1 when each channel is its own; near 0 when one
// channel was copied into both, whose difference is silence.
double side_correlation(const MediaFile& m, const std::vector<int16_t>& rendered) {
  constexpr int64_t WINDOW = 44100, MAX_LAG = 2048;
  if (m.left.size() < static_cast<size_t>(WINDOW + 2 * MAX_LAG) || rendered.size() < 2 * (WINDOW + MAX_LAG)) return 0;
  double best = 0;
  for (int64_t lag = 0; lag <= MAX_LAG; ++lag) {
    double dot = 0, energy_decoded = 0, energy_rendered = 0;
    for (int64_t i = 0; i < WINDOW; ++i) {
      const double decoded = m.left[static_cast<size_t>(i + lag)] - m.right[static_cast<size_t>(i + lag)];
      const double wanted = (rendered[static_cast<size_t>(2 * i)] - rendered[static_cast<size_t>(2 * i + 1)]) / 32768.0;
      dot += decoded * wanted;
      energy_decoded += decoded * decoded;
      energy_rendered += wanted * wanted;
    }
    if (energy_decoded > 0 && energy_rendered > 0) best = std::max(best, dot / std::sqrt(energy_decoded * energy_rendered));
  }
  return best;
}

TEST(HeavyCapture, TheDefaultFileIsH264AndAacInAnMp4OfTheShowsLength) {
  TempFolder tmp;
  const std::string out = tmp.path + "/show.mp4";
  ASSERT_EQ(run(CAPTURE + " -q --data " + DATA + " -o " + out), 0);
  std::vector<int64_t> wanted;
  for (int32_t t : {700, 5000, 10000, 16500, 22000, 27000}) wanted.push_back(first_frame_at(t));
  const MediaFile m = read_media(out, wanted, false);
  ASSERT_TRUE(m.error.empty()) << m.error;
  EXPECT_NE(m.format.find("mp4"), std::string::npos) << m.format;
  EXPECT_EQ(m.video.codec, "h264");
  EXPECT_EQ(m.video.pixel_format, "yuv420p");
  EXPECT_EQ(m.video.width, 1024);
  EXPECT_EQ(m.video.height, 768);
  EXPECT_EQ(m.video.rate_num, FPS);
  EXPECT_EQ(m.frames_decoded, SHOW_FRAMES);
  EXPECT_EQ(m.audio.codec, "aac");
  EXPECT_EQ(m.audio.sample_rate, 44100);
  EXPECT_EQ(m.audio.channels, 2);
  EXPECT_NEAR(m.duration, 30.72, 1.0 / FPS);
  EXPECT_NEAR(m.video.duration, 30.72, 1.0 / FPS);
  EXPECT_NEAR(m.audio.duration, 30.72, 1.0 / FPS);
  const std::vector<std::string> boxes = top_level_boxes(out);
  const auto moov = std::find(boxes.begin(), boxes.end(), "moov"), mdat = std::find(boxes.begin(), boxes.end(), "mdat");
  EXPECT_TRUE(moov < mdat && mdat != boxes.end()) << "the index must come first, for playing while loading";
  // Each channel is its own: the decoded stereo difference follows the render's.
  const std::string wav = tmp.path + "/start.wav";
  ASSERT_EQ(run(XMRENDER + " " + DATA + "/typing.xm -o " + wav + " --seconds 2 >/dev/null"), 0);
  const double side = side_correlation(m, read_wav(wav));
  EXPECT_GT(side, MIN_SIDE_CORRELATION);
  RecordProperty("side_correlation", std::to_string(side));

  std::vector<int32_t> times;
  for (int64_t n : wanted) times.push_back(frame_time(n));
  std::map<int32_t, Picture> reference = frames_tool(DATA, times, tmp.path);
  for (int64_t n : wanted) {
    ASSERT_EQ(m.frames.count(n), 1u);
    const double error = mean_abs_error(m.frames.at(n), reference[frame_time(n)], SCALE);
    EXPECT_LT(error, MAX_MEAN_ABS_ERROR) << "frame " << n;
    RecordProperty("mean_abs_error_frame_" + std::to_string(n), std::to_string(error));
  }
}

TEST(CaptureFile, OtherPicturesInTheDataFolderChangeTheFrames) {
  TempFolder tmp;
  const std::string data = tmp.path + "/data";
  fs::create_directory(data);
  for (const auto& entry : fs::directory_iterator(DATA)) fs::copy_file(entry.path(), data + "/" + entry.path().filename().string());
  write_tga(data + "/fin.tga", 240, 90);
  const std::string out = tmp.path + "/fin.mkv";
  ASSERT_EQ(run(CAPTURE + " -q --lossless --data " + data + " --from 24576 --to 24600 -o " + out), 0);
  const int64_t n = first_frame_at(24576);
  const MediaFile m = read_media(out, {0}, true);
  ASSERT_TRUE(m.error.empty()) << m.error;
  ASSERT_EQ(m.video.packets, 1);
  ASSERT_EQ(m.frames.count(0), 1u);
  bool uniform = false;
  const Picture shown = shrink(m.frames.at(0), SCALE, &uniform);
  EXPECT_TRUE(uniform);
  const std::string other_dir = tmp.path + "/other", own_dir = tmp.path + "/own";
  const Picture other = frames_tool(data, {frame_time(n)}, other_dir)[frame_time(n)];
  const Picture own = frames_tool(DATA, {frame_time(n)}, own_dir)[frame_time(n)];
  EXPECT_TRUE(shown.pixels == other.pixels);
  EXPECT_FALSE(shown.pixels == own.pixels);
  // The stretch's sound: from its frame to the next, as in the whole show.
  EXPECT_TRUE(m.sound == show_sound(data + "/typing.xm", STOP_SOUND_FRAME, n * 735, (n + 1) * 735));
}

// The container follows the file's name: H.264 and AAC in Matroska for a
// name ending in .mkv (in any case), as asked, not MP4 under that name.
TEST(CaptureFile, AnMkvNameGetsMatroska) {
  TempFolder tmp;
  const std::string out = tmp.path + "/short.MKV";
  ASSERT_EQ(run(CAPTURE + " -q --data " + DATA + " --from 24576 --to 24600 -o " + out), 0);
  const MediaFile m = read_media(out, {0}, false);
  ASSERT_TRUE(m.error.empty()) << m.error;
  EXPECT_NE(m.format.find("matroska"), std::string::npos) << m.format;
  EXPECT_EQ(m.video.codec, "h264");
  EXPECT_EQ(m.audio.codec, "aac");
}

}  // namespace
