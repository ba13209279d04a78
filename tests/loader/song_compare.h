// song_compare.h: field-by-field comparison of two loaded songs, and the
// check that a song lies in one block of memory.
#pragma once
#include <cstddef>
#include <string>

#include "music/module.h"

// Empty when a and b hold the same song (header, names, warnings, orders,
// cells, instruments, samples with their lead and spare frames); otherwise
// the first difference.
std::string song_difference(const qm::Module* a, const qm::Module* b);
// Empty when every part of the song (the Module, pattern records, cells,
// instrument records, sample records, frame blocks) lies inside the block of
// `bytes` bytes at `block` with no two parts overlapping (the instruments'
// sample slots too); otherwise the part
// that does not.
std::string song_outside_block(const qm::Module* song, const void* block, size_t bytes);
