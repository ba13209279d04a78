// fake_device.cpp: the test sound device (see fake_device.h): each operation
// is logged, then handed to the virtual device.
#include "tests/output/fake_device.h"

#include <algorithm>

using namespace qm;

FakeDevice fake;

namespace {

const AudioDevice& device() { return fake.device.device; }

AudioStatus fake_open(void*, int32_t rate, int32_t buffer_frames, std::string* why) {
  fake.calls.push_back("open");
  if (!fake.open_result) {
    if (why != nullptr) *why = "the fake refuses";
    return AUDIO_NO_DEVICE;
  }
  return device().open(device().self, rate, buffer_frames, why);
}

void fake_start(void*, const AudioSource& source) {
  fake.calls.push_back("start");
  device().start(device().self, source);
}

void fake_pause(void*, bool paused) { device().pause(device().self, paused); }

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

const AudioDevice fake_backend = {nullptr,          fake_open,  fake_start, fake_pause, fake_frames_played,
                                  fake_reset, fake_close, nullptr};

}  // namespace

const AudioDevice* install_fake_device() {
  fake.open_result = true;
  fake.calls.clear();
  fake.polls.store(0);
  VirtualDevice& d = fake.device;
  virtual_device(d);
  d.device.close(d.device.self);
  d.position.store(0);
  set_audio_device(&fake_backend);
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
