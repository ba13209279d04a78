// fake_device.cpp: the test sound device (see fake_device.h): each operation
// is logged, then handed to the virtual device.
#include "tests/output/fake_device.h"

#include <algorithm>

using namespace qm;

FakeDevice fake;

namespace {

const AudioBackend& device() { return fake.device.backend; }

bool fake_open(void*, int32_t rate) {
  fake.calls.push_back("open");
  return fake.open_result && device().open(device().self, rate);
}

void fake_start(void*, const int16_t* ring, int32_t frames) {
  fake.calls.push_back("start");
  device().start(device().self, ring, frames);
}

uint64_t fake_frames_played(void*) {
  fake.polls.fetch_add(1, std::memory_order_relaxed);
  return device().frames_played(device().self);
}

void fake_reset(void*) {
  fake.calls.push_back("reset");
  device().reset(device().self);
}

void fake_close(void*) {
  fake.calls.push_back("close");
  device().close(device().self);
}

const AudioBackend fake_backend = {nullptr, fake_open, fake_start, fake_frames_played, fake_reset, fake_close};

}  // namespace

const AudioBackend* install_fake_device() {
  fake.open_result = true;
  fake.calls.clear();
  fake.polls.store(0);
  VirtualDevice& d = fake.device;
  virtual_device_backend(d);
  d.backend.close(d.backend.self);
  d.position.store(0);
  set_audio_backend(&fake_backend);
  return &fake_backend;
}

void fake_play(int32_t frames, std::vector<int16_t>* out) {
  if (out == nullptr || fake.device.ring == nullptr) {
    virtual_device_play(fake.device, frames, nullptr);
    return;
  }
  const size_t at = out->size();
  out->resize(at + static_cast<size_t>(frames) * 2);
  virtual_device_play(fake.device, frames, out->data() + at);
}

int fake_count(const char* name) {
  return static_cast<int>(std::count(fake.calls.begin(), fake.calls.end(), name));
}
