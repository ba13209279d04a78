// media.h: what the capture tests read back from files, through FFmpeg's
// own demuxers and decoders: the streams of a video file, chosen frames as
// 0x00RRGGBB pixels, all of its sound, a PNG picture and a WAV file; and the
// show's sound as the desktop plays it, worked out from a plain render of
// the song.
// Owns: nothing that outlives a call. Thread: the test's.
#pragma once
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// One decoded picture, 0x00RRGGBB, rows top to bottom.
struct Picture {
  int32_t width = 0;
  int32_t height = 0;
  std::vector<uint32_t> pixels;
};

struct StreamInfo {
  std::string codec;        // decoder name, such as "h264" or "flac"
  std::string pixel_format; // video: as FFmpeg names it
  int32_t width = 0, height = 0;
  int32_t rate_num = 0, rate_den = 1; // video: frames per second as a fraction
  int32_t sample_rate = 0, channels = 0;
  int64_t packets = 0;      // packets read from the file
  double duration = 0;      // seconds, from the stream's time stamps
};

struct MediaFile {
  std::string error;        // empty when the file was read and decoded without error
  std::string format;       // container, as FFmpeg names it
  double duration = 0;      // seconds
  StreamInfo video, audio;
  std::map<int64_t, Picture> frames;  // the frames asked for, by index from 0
  int64_t frames_decoded = 0;
  std::vector<int16_t> sound;         // 16-bit interleaved stereo (lossless sound only)
  std::vector<float> left, right;     // the decoded channels, +-1.0 (AAC sound only)
  int64_t sound_frames = 0;           // decoded sound frames of any format
};

// Reads path: every packet of both streams is decoded (the frames listed
// in wanted are kept, converted to 0x00RRGGBB with the colour matrix the
// stream is tagged with); in a lossless file only the wanted video frames
// are decoded, since each stands alone.
MediaFile read_media(const std::string& path, const std::vector<int64_t>& wanted, bool lossless);

// A PNG file decoded; empty on failure.
Picture read_png(const std::string& path);

// The 16-bit stereo samples of a WAV file; empty on failure.
std::vector<int16_t> read_wav(const std::string& path);

// The picture scaled down by k, nearest neighbour; false in *uniform when a
// k x k block is not all one colour.
Picture shrink(const Picture& picture, int32_t k, bool* uniform);

// Mean absolute difference per colour channel between a picture and
// another scaled up k times (nearest neighbour), in 0..255.
double mean_abs_error(const Picture& big, const Picture& small, int32_t k);

// What the show plays at 44,100 Hz when the music stops with the device
// stop_frame sound frames in: the song as a plain render of xm_path plays
// on until the end of the 100 blocks after the block the device was in;
// from there the ring loops. Frames first .. end - 1, interleaved stereo.
std::vector<int16_t> show_sound(const std::string& xm_path, int64_t stop_frame, int64_t first, int64_t end);

// Runs a shell command; its exit status, or -1 when it did not exit.
int run(const std::string& command);

// A fresh empty folder under TMPDIR, removed with its contents by the destructor.
struct TempFolder {
  TempFolder();
  ~TempFolder();
  TempFolder(const TempFolder&) = delete;
  TempFolder& operator=(const TempFolder&) = delete;
  std::string path;
};
