// fake_device.h: a sound device for tests: the virtual device (the one model
// of a device on a virtual clock, runtime/virtual_device.h) with a log of the
// calls the real-time layer makes, an open that can be made to fail, and a
// count of position polls. It plays only when the test says so: fake_play()
// copies frames out of the ring the way a device callback would and advances
// the monotonic position the mixer thread polls.
// Owns: the fake's process-wide state. Thread: play() and the control calls
// on the test's thread; frames_played on the mixer thread.
#pragma once
#include <atomic>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/show_music.h"
#include "runtime/virtual_device.h"

struct FakeDevice {
  qm::VirtualDevice device;         // plays the ring; its ring, ring_frames and position are the fake's
  bool open_result = true;          // what the next open returns
  std::vector<std::string> calls;   // "open", "start", "reset", "close", in order
  std::atomic<int> polls{0};        // frames_played calls
};

extern FakeDevice fake;

// The fake as the show output's device; resets its state when installed.
const qm::AudioDevice* install_fake_device();
// Copies the next frames of the ring into out (2 samples a frame) and
// advances the position by frames; nothing is added to out without a ring.
void fake_play(int32_t frames, std::vector<int16_t>* out);
// Number of calls named name.
int fake_count(const char* name);
