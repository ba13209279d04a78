// test_sample.h: hand-made samples laid out as the loader lays them out:
// zero lead frames before data[0], the frames, the guard frame at the loop
// end and zero spare frames after the end, and the loop windows.
#pragma once
#include <cstdint>
#include <vector>

#include "music/interpolate.h"
#include "music/module.h"
#include "music/player.h"

struct TestSample {
  std::vector<int16_t> block;
  qm::Sample sample{};

  // A sample of the given frames; loop_type LOOP_NONE uses the whole length.
  TestSample(const std::vector<int16_t>& frames, uint8_t loop_type = qm::LOOP_NONE,
             uint32_t loop_start = 0, uint32_t loop_length = 0) {
    uint32_t length = static_cast<uint32_t>(frames.size());
    block.assign(qm::SAMPLE_LEAD_FRAMES + length + qm::SAMPLE_SPARE_FRAMES, 0);
    for (uint32_t i = 0; i < length; ++i) block[qm::SAMPLE_LEAD_FRAMES + i] = frames[i];
    sample.data = block.data() + qm::SAMPLE_LEAD_FRAMES;
    sample.length = length;
    sample.bits = 16;
    sample.volume = 64;
    sample.panning = 128;
    sample.loop_type = loop_type;
    if (loop_type == qm::LOOP_NONE) {
      sample.loop_start = 0;
      sample.loop_length = length;
    } else {
      sample.loop_start = loop_start;
      sample.loop_length = loop_length;
      uint32_t end = loop_start + loop_length;
      sample.data[end] = loop_type == qm::LOOP_FORWARD ? sample.data[loop_start] : sample.data[end - 1];
      qm::fill_loop_windows(&sample);
    }
  }
  TestSample(const TestSample&) = delete;
  TestSample& operator=(const TestSample&) = delete;
};

// A player of an empty song at rate, for tests that drive channels, voices
// and the mixer by hand; song's fields may be changed before use.
struct TestPlayer {
  qm::Module song{};
  qm::Player* player = nullptr;
  qm::Voice* voices = nullptr;  // player's voice table

  explicit TestPlayer(int32_t rate = 44100) {
    song.initial_global_volume = 64;
    player = qm::player_create(&song, rate);
    if (player != nullptr) voices = player->voices;
  }
  ~TestPlayer() { qm::player_free(player); }
  TestPlayer(const TestPlayer&) = delete;
  TestPlayer& operator=(const TestPlayer&) = delete;
};
