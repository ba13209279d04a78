// xm_samples.h: the sample stage of the XM loader: an instrument's sample
// headers, and the data blocks of samples, turned into the song's 16-bit
// frames. Files of version 1.04 keep each instrument's data blocks right
// after its sample headers; earlier ones keep every instrument's data after
// the patterns, so the two steps are separate calls.
// Owns: nothing; the records and frames live in the song block.
// Thread: the loading thread.
#pragma once
#include <cstdint>

#include "music/module.h"
#include "music/song_block.h"

namespace qm {

// Reads the instrument's sample_count sample headers from the reader's
// position into the song's next sample records and the instrument's slots.
// index counts from 0; instruments come in order. False once the load has
// failed (also for a song of more than MAX_SONG_SAMPLES samples, and under
// strict loading for a packed sample).
bool read_sample_headers(XmLoad* load, Instrument* instrument, int32_t index);

// Reads the data blocks of every sample of instruments first .. end - 1
// (0-based) from the reader's position, in order. False once the load has
// failed.
bool read_sample_data(XmLoad* load, int32_t first, int32_t end);

}  // namespace qm
