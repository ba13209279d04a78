// virtual_device.cpp: the sound device on a virtual clock (see
// virtual_device.h): the device's functions and the owner's calls that play it.
#include "runtime/virtual_device.h"

#include <cstring>

namespace qm {

namespace {

constexpr int32_t SCRATCH_FRAMES = 1024;  // frames pulled at a time when nobody listens

VirtualDevice& state(void* self) { return *static_cast<VirtualDevice*>(self); }

AudioStatus device_open(void* self, int32_t /*rate*/, int32_t /*buffer_frames*/, std::string* /*why*/) {
  state(self).is_open = true;
  return AUDIO_OK;
}

void device_start(void* self, const AudioSource& source) {
  VirtualDevice& d = state(self);
  if (source.pull == nullptr) return;
  d.source = source;
  d.ring = source.ring;
  d.ring_frames = source.ring != nullptr ? source.ring_frames : 0;
  d.position.store(0, std::memory_order_release);
}

void device_pause(void* self, bool paused) { state(self).paused = paused; }

uint64_t device_frames_played(void* self) { return state(self).position.load(std::memory_order_acquire); }

void device_reset(void* self) {
  VirtualDevice& d = state(self);
  d.source = AudioSource{};
  d.ring = nullptr;
  d.ring_frames = 0;
}

void device_close(void* self) {
  device_reset(self);
  state(self).is_open = false;
}

// Pulls frames into out, silence for what the source does not give.
void pull_into(VirtualDevice& d, int16_t* out, int32_t frames) {
  int32_t got = 0;
  if (d.source.pull != nullptr && !d.paused) got = d.source.pull(d.source.user, out, frames);
  if (got < 0) got = 0;
  if (got < frames)
    std::memset(out + static_cast<size_t>(got) * AUDIO_SAMPLES_PER_FRAME, 0,
                static_cast<size_t>(frames - got) * AUDIO_SAMPLES_PER_FRAME * sizeof(int16_t));
}

}  // namespace

const AudioDevice* virtual_device(VirtualDevice& device) {
  device.device = AudioDevice{&device,      device_open,  device_start, device_pause,
                              device_frames_played, device_reset, device_close, nullptr};
  return &device.device;
}

void virtual_device_play(VirtualDevice& d, int32_t frames, int16_t* out) {
  if (frames <= 0) return;
  if (out != nullptr) {
    pull_into(d, out, frames);
  } else {
    int16_t scratch[SCRATCH_FRAMES * AUDIO_SAMPLES_PER_FRAME];
    for (int32_t done = 0; done < frames; done += SCRATCH_FRAMES)
      pull_into(d, scratch, frames - done < SCRATCH_FRAMES ? frames - done : SCRATCH_FRAMES);
  }
  d.position.fetch_add(static_cast<uint64_t>(frames), std::memory_order_release);
}

void virtual_device_advance(VirtualDevice& d, ShowOutput& output, int32_t frames, int16_t* out) {
  const int32_t block = output.block_frames;
  int32_t done = 0;
  while (done < frames) {
    int32_t n = frames - done;
    if (block > 0) {
      const auto into_block = static_cast<int32_t>(d.position.load(std::memory_order_relaxed) % static_cast<uint64_t>(block));
      if (block - into_block < n) n = block - into_block;
    }
    virtual_device_play(d, n, out != nullptr ? out + static_cast<size_t>(done) * AUDIO_SAMPLES_PER_FRAME : nullptr);
    done += n;
    output_pump(output);
  }
}

}  // namespace qm
