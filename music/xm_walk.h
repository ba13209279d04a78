// xm_walk.h: one pass of the XM loader over a whole file: the module header,
// the order table, the patterns and the instrument headers, with each
// instrument's samples read through xm_samples.h.
// Owns: nothing; writes into the load's Module. Thread: the loading thread.
//
// Call: song_load.cpp runs walk_song twice on one XmLoad (song_block.h),
// measuring and then filling, with the reader rewound in between.
#pragma once
#include "music/song_block.h"

namespace qm {

// One pass over the whole file: header, patterns, instruments. False once
// the load has failed.
bool walk_song(XmLoad* load);

}  // namespace qm
