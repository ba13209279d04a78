// audio_device.cpp: the sources a device plays (see audio_device.h) and the
// one loop that reads a ring: every device that does not loop a buffer in
// place plays the show's ring through ring_pull.
// Owns: nothing. Thread: ring_pull on the device's thread; the rest on the
// owner's, before the device starts.
#include "runtime/audio_device.h"

#include <cstring>

namespace qm {

AudioSource pull_source(PullFunction pull, void* user) {
  AudioSource source;
  source.pull = pull;
  source.user = user;
  return source;
}

void ring_reader_start(RingReader& reader, const int16_t* ring, int32_t frames,
                       const std::atomic<uint32_t>* published) {
  const bool usable = ring != nullptr && frames > 0;
  reader.ring.store(nullptr, std::memory_order_release);
  reader.ring_frames.store(usable ? frames : 0, std::memory_order_relaxed);
  reader.read_frame.store(0, std::memory_order_relaxed);
  reader.published.store(published, std::memory_order_relaxed);
  reader.ring.store(usable ? ring : nullptr, std::memory_order_release);
}

int32_t ring_pull(void* user, int16_t* frames, int32_t count) {
  RingReader& reader = *static_cast<RingReader*>(user);
  if (count <= 0) return 0;
  const int16_t* ring = reader.ring.load(std::memory_order_acquire);
  if (ring == nullptr) {
    std::memset(frames, 0, static_cast<size_t>(count) * AUDIO_SAMPLES_PER_FRAME * sizeof(int16_t));
    return count;
  }
  if (const std::atomic<uint32_t>* published = reader.published.load(std::memory_order_relaxed))
    published->load(std::memory_order_acquire);
  const int32_t total = reader.ring_frames.load(std::memory_order_relaxed);
  int32_t at = reader.read_frame.load(std::memory_order_relaxed);
  int32_t done = 0;
  while (done < count) {
    const int32_t n = total - at < count - done ? total - at : count - done;
    std::memcpy(frames + static_cast<size_t>(done) * AUDIO_SAMPLES_PER_FRAME,
                ring + static_cast<size_t>(at) * AUDIO_SAMPLES_PER_FRAME,
                static_cast<size_t>(n) * AUDIO_SAMPLES_PER_FRAME * sizeof(int16_t));
    done += n;
    at += n;
    if (at == total) at = 0;
  }
  reader.read_frame.store(at, std::memory_order_relaxed);
  return count;
}

AudioSource ring_source(RingReader& reader) {
  AudioSource source = pull_source(ring_pull, &reader);
  source.ring = reader.ring.load(std::memory_order_acquire);
  source.ring_frames = reader.ring_frames.load(std::memory_order_relaxed);
  return source;
}

}  // namespace qm
