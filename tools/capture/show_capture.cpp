// show_capture.cpp: the show on the capture's virtual clock (see
// show_capture.h): frame times, the device's position at each frame, and
// the loop that composes frames, plays the sound and stops the music.
#include "tools/capture/show_capture.h"

#include <chrono>
#include <cstdio>
#include <vector>

#include "runtime/show_music.h"

namespace {

constexpr int64_t MS_PER_SECOND = 1000;
constexpr int32_t SAMPLES_PER_FRAME = 2;  // 16-bit stereo

double seconds_since(std::chrono::steady_clock::time_point start) {
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

// Plays the device from where it stands up to the position of frame n and
// hands the sound to the sink when it belongs to the capture.
bool play_to_frame(ShowCapture& c, int64_t n, const CaptureRange& range, const CaptureSink& sink,
                   std::vector<int16_t>& sound, CaptureReport& report) {
  const auto start = std::chrono::steady_clock::now();
  const auto frames = static_cast<int32_t>(capture_audio_position(n, range.fps) -
                                           capture_audio_position(n - 1, range.fps));
  const bool heard = n > range.first;  // the sound that follows a captured frame
  qm::virtual_device_advance(c.device, qm::show_output(), frames, heard ? sound.data() : nullptr);
  report.music_seconds += seconds_since(start);
  return !heard || sink.audio(sound.data(), frames);
}

// Composes frame n as the desktop frame loop does, noting the music's stop.
void compose(ShowCapture& c, int64_t n, int32_t fps, CaptureReport& report) {
  const auto start = std::chrono::steady_clock::now();
  const bool was_playing = c.show.music.playing != 0;
  show_step(c.show, capture_frame_time(n, fps));
  if (was_playing && c.show.music.playing == 0) {
    report.stop_frame = n;
    report.stop_audio_frame = capture_audio_position(n, fps);
  }
  report.compose_seconds += seconds_since(start);
}

}  // namespace

int32_t capture_frame_time(int64_t n, int32_t fps) { return static_cast<int32_t>(n * MS_PER_SECOND / fps); }

int64_t capture_audio_position(int64_t n, int32_t fps) { return n * qm::SHOW_MIX_RATE / fps; }

CaptureRange capture_range(int32_t fps, int32_t from_ms, int32_t to_ms) {
  // The first n with n x 1000 / fps >= ms is n = ceil(ms x fps / 1000).
  auto first_at = [fps](int32_t ms) { return (static_cast<int64_t>(ms) * fps + MS_PER_SECOND - 1) / MS_PER_SECOND; };
  CaptureRange range;
  range.fps = fps;
  range.first = first_at(from_ms);
  range.end = first_at(to_ms);
  if (range.end < range.first) range.end = range.first;
  return range;
}

int capture_load(ShowCapture& c, const std::string& data_dir, const char* program, bool accept_repairs) {
  // The capture's clock, not a thread, keeps the ring filled.
  show_open_sound(c.show, qm::virtual_device(c.device), qm::MIXER_PUMPED, nullptr);
  ShowFailure failure;
  const ShowStatus loaded = show_load(c.show, ShowData{data_dir, true}, &failure);
  if (loaded == SHOW_PICTURE_FAILED) std::fprintf(stderr, "%s\n", failure.message.c_str());
  if (loaded == SHOW_MUSIC_FAILED) std::fprintf(stderr, "%s: %s\n", program, failure.message.c_str());
  if (loaded != SHOW_OK) return STATUS_LOAD_FAILED;
  const std::string music = show_data_path(data_dir, MUSIC_FILE);
  const std::vector<std::string> repairs = show_music_warnings(c.show);
  for (const std::string& text : repairs) std::fprintf(stderr, "%s: %s: warning: %s\n", program, music.c_str(), text.c_str());
  if (!repairs.empty() && !accept_repairs) {
    std::fprintf(stderr, "%s: %s: refused: the music loaded only with repairs (add --force to capture it anyway)\n",
                 program, music.c_str());
    return STATUS_LOAD_FAILED;
  }
  show_start(c.show);
  return STATUS_DONE;
}

bool capture_run(ShowCapture& c, const CaptureRange& range, const CaptureSink& sink, CaptureReport& report) {
  const int64_t most_frames = qm::SHOW_MIX_RATE / range.fps + 1;
  std::vector<int16_t> sound(static_cast<size_t>(most_frames) * SAMPLES_PER_FRAME);
  for (int64_t n = 0; n < range.end; ++n) {
    if (n > 0 && !play_to_frame(c, n, range, sink, sound, report)) return false;
    // Before the capture, frames matter only while they may stop the music.
    if (n < range.first && c.show.music.playing == 0) continue;
    compose(c, n, range.fps, report);
    if (n >= range.first && !sink.frame(c.show.frame, n - range.first)) return false;
  }
  return range.end == 0 || play_to_frame(c, range.end, range, sink, sound, report);
}
