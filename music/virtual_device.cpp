// virtual_device.cpp: the sound device on a virtual clock (see
// virtual_device.h): the five AudioBackend operations and the owner's calls
// that play it.
#include "music/virtual_device.h"

#include <cstring>

namespace qm {

namespace {

constexpr int32_t SAMPLES_PER_FRAME = 2;  // 16-bit stereo

VirtualDevice& state(void* self) { return *static_cast<VirtualDevice*>(self); }

bool device_open(void* self, int32_t /*rate*/) {
  state(self).is_open = true;
  return true;
}

void device_start(void* self, const int16_t* ring, int32_t frames) {
  VirtualDevice& d = state(self);
  if (ring == nullptr || frames <= 0) return;
  d.ring = ring;
  d.ring_length = frames;
  d.read_frame = 0;
  d.position.store(0, std::memory_order_release);
}

uint64_t device_frames_played(void* self) { return state(self).position.load(std::memory_order_acquire); }

void device_reset(void* self) {
  VirtualDevice& d = state(self);
  d.ring = nullptr;
  d.ring_length = 0;
  d.read_frame = 0;
}

void device_close(void* self) {
  device_reset(self);
  state(self).is_open = false;
}

}  // namespace

const AudioBackend* virtual_device_backend(VirtualDevice& device) {
  device.backend =
      AudioBackend{&device, device_open, device_start, device_frames_played, device_reset, device_close};
  return &device.backend;
}

void virtual_device_play(VirtualDevice& d, int32_t frames, int16_t* out) {
  if (frames <= 0) return;
  if (d.ring == nullptr) {
    if (out != nullptr) std::memset(out, 0, static_cast<size_t>(frames) * SAMPLES_PER_FRAME * sizeof(int16_t));
  } else {
    blocks_published();  // acquires every block filled so far, as a device callback does
    int32_t done = 0;
    while (done < frames) {
      const int32_t left_in_ring = d.ring_length - d.read_frame;
      const int32_t n = left_in_ring < frames - done ? left_in_ring : frames - done;
      if (out != nullptr) {
        std::memcpy(out + static_cast<size_t>(done) * SAMPLES_PER_FRAME,
                    d.ring + static_cast<size_t>(d.read_frame) * SAMPLES_PER_FRAME,
                    static_cast<size_t>(n) * SAMPLES_PER_FRAME * sizeof(int16_t));
      }
      done += n;
      d.read_frame += n;
      if (d.read_frame == d.ring_length) d.read_frame = 0;
    }
  }
  d.position.fetch_add(static_cast<uint64_t>(frames), std::memory_order_release);
}

void virtual_device_advance(VirtualDevice& d, int32_t frames, int16_t* out) {
  const int32_t block = d.ring_length / BLOCK_COUNT;
  int32_t done = 0;
  while (done < frames) {
    int32_t n = frames - done;
    if (block > 0) {
      const int32_t to_block_end = block - d.read_frame % block;
      if (to_block_end < n) n = to_block_end;
    }
    virtual_device_play(d, n, out != nullptr ? out + static_cast<size_t>(done) * SAMPLES_PER_FRAME : nullptr);
    done += n;
    pump_mixer();
  }
}

}  // namespace qm
