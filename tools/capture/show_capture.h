// show_capture.h: the show run on a virtual clock, frame by frame, with its
// sound: what the desktop show presents and plays when its clock and its
// sound device run at their nominal rates from the same start.
//
// Video frame n is composed at show time n x 1000 / fps ms, the fraction
// dropped. The sound device (a virtual one) starts with the show: by frame
// n it has played n x 44,100 / fps frames (the fraction dropped), each block
// of the ring refilled as soon as the device leaves it. As in the desktop
// frame loop, the first frame composed at or after 4,096 ms stops the music;
// the device then goes on looping the ring as it stands.
//
// Owns: the show (show driver) and the virtual device it plays through.
// Touches: the music code's one real-time output (process-wide) and the
// data files. Thread: main thread.
//
//   ShowCapture capture;                                        // nothing loaded yet
//   int status = capture_load(capture, data_dir, program);      // the show's messages on failure
//   capture_run(capture, capture_range(fps, from, to), sink, report); // frames and sound in order
#pragma once
#include <cstdint>
#include <functional>
#include <string>

#include "app/show_driver.h"
#include "gfx/image.h"
#include "runtime/virtual_device.h"

// Which frames of the show a capture takes: frame n is at show time
// capture_frame_time(n, fps); frames first .. end - 1 are captured.
struct CaptureRange {
  int32_t fps = 0;    // frames per second
  int64_t first = 0;  // first captured frame
  int64_t end = 0;    // one past the last captured frame
};

// Show time of frame n in ms: n x 1000 / fps, rounded down.
int32_t capture_frame_time(int64_t n, int32_t fps);
// Sound frames the device has played when frame n is composed:
// n x 44,100 / fps, rounded down.
int64_t capture_audio_position(int64_t n, int32_t fps);
// The frames whose show time t has from_ms <= t < to_ms.
CaptureRange capture_range(int32_t fps, int32_t from_ms, int32_t to_ms);

// Where the captured pictures and sound go, in show order. frame is the
// composed 512 x 384 frame; samples are interleaved 16-bit stereo. A sink
// that returns false ends the run.
struct CaptureSink {
  std::function<bool(const Image& frame, int64_t index)> frame;       // index from 0 at range.first
  std::function<bool(const int16_t* samples, int32_t frames)> audio;  // the sound up to the next frame
};

// What a run did, for the report at its end.
struct CaptureReport {
  int64_t stop_frame = -1;        // video frame that stopped the music; -1 when none did
  int64_t stop_audio_frame = -1;  // sound frames played by then
  double compose_seconds = 0;     // composing frames
  double music_seconds = 0;       // playing the device and mixing the ring
};

struct ShowCapture {
  qm::VirtualDevice device; // the sound device on the capture's clock; outlives show
  Show show;                // the show, playing through device
};

// Loads the pictures and the music from data_dir as the show does, with the
// show's messages on standard error when one does not load, and the
// loader's repairs to the music as warnings. Music that loaded only with
// repairs is refused unless accept_repairs (--force): a video made for
// others to watch must not carry a damaged soundtrack unasked. Returns
// STATUS_DONE, or STATUS_LOAD_FAILED after the message. program prefixes
// the music's messages.
int capture_load(ShowCapture& capture, const std::string& data_dir, const char* program, bool accept_repairs);

// Runs the show from its start through range.end - 1: every frame is
// timed and the music played and stopped as in the show, but only the
// frames of the range and the sound from the first of them up to where the
// next would start go to the sink. False when the sink ends the run.
bool capture_run(ShowCapture& capture, const CaptureRange& range, const CaptureSink& sink, CaptureReport& report);
