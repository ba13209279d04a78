// virtual_device.h: a sound device on a virtual clock. It behaves as the
// real devices do (it plays its source from the first frame, pulls the
// frames it plays as a device callback would, and reports the monotonic
// count of frames played), but it plays only when its owner advances it, so
// whatever drives it gets the same sound on every machine and every run.
// The offline capture and the tests use it.
// Owns: nothing beyond its record. Thread: the owner's; frames_played may be
// read from the mixer thread (an atomic).
//
//   VirtualDevice device;
//   ShowOutput out;
//   out.device = virtual_device(device); out.drive = MIXER_PUMPED;
//   output_open(out, 44100, nullptr); ... output_play(out, song);
//   virtual_device_advance(device, out, frames, samples); // plays, refilling behind it
#pragma once
#include <atomic>
#include <cstdint>

#include "runtime/audio_device.h"
#include "runtime/show_output.h"

namespace qm {

struct VirtualDevice {
  AudioDevice device{};              // the device's table; self points here
  bool is_open = false;              // between open and close
  bool paused = false;               // plays silence while paused
  AudioSource source{};              // what the last start gave; pull null before it and after reset
  const int16_t* ring = nullptr;     // the source's ring, null without one
  int32_t ring_frames = 0;           // frames in that ring
  std::atomic<uint64_t> position{0}; // frames played since the last start
};

// The device's table; valid as long as the device lives.
const AudioDevice* virtual_device(VirtualDevice& device);

// Plays frames: pulls them from the source into out (two samples a frame,
// left first; out may be null), then advances the position. Without a
// source, or paused, it plays silence.
void virtual_device_play(VirtualDevice& device, int32_t frames, int16_t* out);

// Plays frames as the show's output does with the pumped drive: in steps
// that end where the device leaves a block of out's ring, with an
// output_pump after each, so every block is refilled as soon as the device
// leaves it.
void virtual_device_advance(VirtualDevice& device, ShowOutput& output, int32_t frames, int16_t* out);

}  // namespace qm
