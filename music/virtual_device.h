// virtual_device.h: a sound device on a virtual clock. It behaves as the
// real back ends do (it loops the ring it is given from its first frame,
// copies the frames it plays out of the ring as a device callback would, and
// reports the monotonic count of frames played), but it plays only when its
// owner advances it, so whatever drives it gets the same sound on every
// machine and every run. The offline capture and the tests use it.
// Owns: nothing beyond its record; the ring belongs to the real-time layer.
// Thread: open/start/reset/close and playing on the owner's thread;
// frames_played may be read from the mixer thread (an atomic).
//
//   VirtualDevice device;
//   set_audio_backend(virtual_device_backend(device));
//   set_mixer_drive(MIXER_PUMPED);
//   open_output(44100, 0); ... play_module(module);
//   virtual_device_advance(device, frames, out); // plays, refilling behind it
#pragma once
#include <atomic>
#include <cstdint>

#include "music/realtime.h"

namespace qm {

struct VirtualDevice {
  AudioBackend backend{};           // the device as the real-time layer sees it; self points here
  bool is_open = false;             // between open and close
  const int16_t* ring = nullptr;    // ring given by the last start; null before it and after reset
  int32_t ring_length = 0;          // frames in the ring, 0 without one
  int32_t read_frame = 0;           // next ring frame to play, 0..ring_length - 1
  std::atomic<uint64_t> position{0}; // frames played since the last start
};

// The device as an AudioBackend; valid as long as the device lives.
const AudioBackend* virtual_device_backend(VirtualDevice& device);

// Plays frames: copies the next frames of the ring into out (two samples a
// frame, left first; out may be null), wrapping at the ring's end, then
// advances the position. Without a ring it plays silence.
void virtual_device_play(VirtualDevice& device, int32_t frames, int16_t* out);

// Plays frames as the show's output does with the pumped drive: in steps
// that end where the device leaves a block of the ring, with a pump_mixer
// after each, so every block is refilled as soon as the device leaves it.
void virtual_device_advance(VirtualDevice& device, int32_t frames, int16_t* out);

}  // namespace qm
