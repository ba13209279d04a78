// encoder.h: writes the captured frames and sound into a video file through
// FFmpeg's libraries (libavformat, libavcodec, libswscale): MP4 with H.264
// (libx264, yuv420p) and AAC, or, lossless, Matroska with FFV1 (bgr0) and
// FLAC. Frames are scaled up by nearest neighbour, so pixels stay sharp.
// Owns: the container, both encoders, the scaler and their buffers. Touches:
// the file it is opened on. Thread: main thread (the H.264 encoder runs
// threads of its own inside libavcodec).
//
//   Encoder* e = encoder_open(path, settings, why);   // null: why says
//   encoder_video(e, frame, why); encoder_audio(e, samples, frames, why); ...
//   encoder_finish(e, why);                           // flushes, writes the index
//   encoder_free(e);
#pragma once
#include <cstdint>
#include <string>

#include "gfx/image.h"

struct EncoderSettings {
  bool lossless = false;    // FFV1 and FLAC instead of H.264 and AAC
  bool matroska = false;    // a Matroska file instead of MP4 (always with lossless)
  int32_t width = 0;        // pixels of a composed frame
  int32_t height = 0;
  int32_t scale = 1;        // output pixels per frame pixel along each axis, >= 1
  int32_t fps = 0;          // frames per second, >= 1
  int32_t crf = 0;          // H.264 quality, 0..51
  int32_t sample_rate = 0;  // sound frames per second (stereo, 16-bit in)
};

// Seconds the main thread spent in each stage.
struct EncoderTimes {
  double scale_seconds = 0;  // converting and scaling frames
  double video_seconds = 0;  // handing frames to the video encoder and writing its packets
  double audio_seconds = 0;  // encoding and writing the sound
};

struct Encoder;

// Opens the file at path (the container is given by the settings, not the
// name) with both streams. Null, with the reason in why, on failure.
Encoder* encoder_open(const char* path, const EncoderSettings& settings, std::string& why);

// Encodes one composed frame (settings.width x settings.height pixels,
// 0x00RRGGBB) as the next video frame.
bool encoder_video(Encoder* encoder, const Image& frame, std::string& why);

// Encodes the next frames of sound, interleaved 16-bit stereo.
bool encoder_audio(Encoder* encoder, const int16_t* samples, int32_t frames, std::string& why);

// Encodes what is still buffered, drains both encoders and completes the
// file. False, with the reason in why, when anything fails.
bool encoder_finish(Encoder* encoder, std::string& why);

EncoderTimes encoder_times(const Encoder* encoder);

// Closes the file (unfinished if encoder_finish was not called or failed)
// and frees everything; null does nothing.
void encoder_free(Encoder* encoder);
