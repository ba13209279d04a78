// test_song.cpp: the song the output tests play (see test_song.h).
#include "tests/output/test_song.h"

#include "music/player.h"
#include "music/render.h"

using namespace qm;

// A four-channel song of looped saw and square tones whose notes change
// every row, so that every block of the ring sounds different.
std::vector<uint8_t> song_bytes(int variant) {
  XmFile file;
  file.channel_count = 4;
  file.default_speed = 3 + variant;
  file.default_bpm = 125; // 882-frame ticks against 884-frame blocks: ticks straddle blocks
  XmInstrument instrument;
  XmSample sample;
  sample.type = XM_SAMPLE_FORWARD | XM_SAMPLE_16BIT;
  for (int i = 0; i < 64; ++i) {
    int saw = (i * 1000) - 32000;
    int square = i < 32 ? 12000 : -12000;
    sample.pcm.push_back(variant == 0 ? saw : square);
  }
  sample.loop_start = 0;
  sample.loop_length = 64 * 2; // bytes
  instrument.samples.push_back(sample);
  file.instruments.push_back(instrument);
  XmPattern pattern;
  pattern.rows = 32;
  for (int row = 0; row < pattern.rows; ++row) {
    int channel = row % 4;
    Cell& cell = xm_cell(pattern, file.channel_count, row, channel);
    cell.note = static_cast<uint8_t>(37 + (row * 5) % 24);
    cell.instrument = 1;
  }
  file.patterns.push_back(pattern);
  return write_xm(file);
}

std::vector<int16_t> offline_render(Module* module, int blocks) {
  std::vector<int16_t> out;
  Player* player = player_create(module, 44100);
  if (player == nullptr) return out;
  player->repeat_count = player->repeats_left = -1;  // as the show plays it
  const int32_t block = block_frames_at(44100);
  out.resize(static_cast<size_t>(blocks) * block * 2);
  for (int b = 0; b < blocks; ++b) render_s16(player, out.data() + static_cast<size_t>(b) * block * 2, block);
  player_free(player);
  return out;
}
