// fake_device.h: a sound device for tests. It plays only when the test says
// so: play() copies frames out of the ring the way a device callback would
// and advances the monotonic position the mixer thread polls.
// Owns: the fake's process-wide state. Thread: play() and the control calls
// on the test's thread; frames_played on the mixer thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "music/realtime.h"

struct FakeDevice {
  bool open_result = true;          // what the next open returns
  std::vector<std::string> calls;   // "open", "start", "reset", "close", in order
  const int16_t* ring = nullptr;    // ring given by the last start, null after reset
  int32_t ring_length = 0;          // frames
  int32_t read_frame = 0;           // next ring frame play() copies
  std::atomic<uint64_t> position{0}; // frames played since start
  std::atomic<int> polls{0};         // frames_played calls
};

extern FakeDevice fake;

// The fake as an AudioBackend; resets its state when installed.
const AudioBackend* install_fake_device();
// Copies the next frames of the ring into out (2 samples a frame) and
// advances the position by frames.
void fake_play(int32_t frames, std::vector<int16_t>* out);
// Number of calls named name.
int fake_count(const char* name);
