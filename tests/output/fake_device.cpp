// fake_device.cpp: the test sound device (see fake_device.h).
#include "tests/output/fake_device.h"

#include <algorithm>

FakeDevice fake;

static bool fake_open(void*, int32_t) {
  fake.calls.push_back("open");
  return fake.open_result;
}

static void fake_start(void*, const int16_t* ring, int32_t frames) {
  fake.calls.push_back("start");
  fake.ring = ring;
  fake.ring_length = frames;
  fake.read_frame = 0;
  fake.position.store(0, std::memory_order_release);
}

static uint64_t fake_frames_played(void*) {
  fake.polls.fetch_add(1, std::memory_order_relaxed);
  return fake.position.load(std::memory_order_acquire);
}

static void fake_reset(void*) {
  fake.calls.push_back("reset");
  fake.ring = nullptr;
  fake.ring_length = 0;
}

static void fake_close(void*) { fake.calls.push_back("close"); }

static const AudioBackend fake_backend = {nullptr, fake_open, fake_start, fake_frames_played, fake_reset,
                                          fake_close};

const AudioBackend* install_fake_device() {
  fake.open_result = true;
  fake.calls.clear();
  fake.ring = nullptr;
  fake.ring_length = 0;
  fake.read_frame = 0;
  fake.position.store(0);
  fake.polls.store(0);
  set_audio_backend(&fake_backend);
  return &fake_backend;
}

void fake_play(int32_t frames, std::vector<int16_t>* out) {
  blocks_published(); // acquires, as the real callback does
  for (int32_t i = 0; i < frames && fake.ring != nullptr; ++i) {
    if (out != nullptr) {
      out->push_back(fake.ring[fake.read_frame * 2]);
      out->push_back(fake.ring[fake.read_frame * 2 + 1]);
    }
    fake.read_frame = fake.read_frame + 1 == fake.ring_length ? 0 : fake.read_frame + 1;
  }
  fake.position.fetch_add(static_cast<uint64_t>(frames), std::memory_order_release);
}

int fake_count(const char* name) {
  return static_cast<int>(std::count(fake.calls.begin(), fake.calls.end(), name));
}
