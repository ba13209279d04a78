// xm_samples.h: the sample stage of the XM loader: an instrument's sample
// headers and their delta-coded data, turned into the song's 16-bit frames.
// Owns: nothing; the records and frames live in the song block.
// Thread: the loading thread.
#pragma once
#include <cstdint>

#include "music/module.h"
#include "music/song_block.h"

namespace qm {

// Reads the instrument's sample_count sample headers and then their data
// blocks from the reader's position; fills the 16 sample slots (those from
// sample_count on with &empty_sample). index counts from 0. False once the
// load has failed.
bool load_instrument_samples(XmLoad* load, Instrument* instrument, int32_t index);

}  // namespace qm
