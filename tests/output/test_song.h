// test_song.h: the small song the output tests play, as XM file bytes, and
// its offline render through the same block fill the mixer thread uses.
// Thread: the test's.
#pragma once
#include <cstdint>
#include <vector>

#include "tests/support/xm_writer.h"
#include "tests/support/show_files.h"

// A four-channel song of looped tones whose notes change every row, so that
// every block of the ring sounds different; variant 0 and 1 differ in
// sample and speed.
std::vector<uint8_t> song_bytes(int variant);

// The first blocks of module as an offline render makes them (configure at
// 44,100 Hz, start, fill block after block), 2 samples a frame. Leaves no
// playback buffers behind.
std::vector<int16_t> offline_render(qm::Module* module, int blocks);
