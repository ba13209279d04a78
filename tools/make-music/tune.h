// tune.h: the parts of "typing.xm": its instruments and its score.
// Owns: nothing global. Thread: any.
#pragma once
#include <vector>
#include "xm_writer.h"

// Instrument numbers as written in the patterns (1-based).
enum InstrumentNumber {
  INS_KEY = 1,  // typewriter key clicks (two 8-bit samples: letter, heavy key)
  INS_SPACE,    // space bar and carriage thunk (16-bit)
  INS_RATCHET,  // carriage-return ratchet tick (8-bit)
  INS_BELL,     // carriage-return bell (16-bit, one-shot)
  INS_BASS,     // soft plucked bass (16-bit, forward loop, sustain envelope)
  INS_PAD,      // pad (16-bit, ping-pong loop, looping and panning envelopes)
  INS_LEAD,     // music-box lead (16-bit, forward loop, decay envelope)
};

// Synthesises every sample and fills in the envelopes, in instrument order.
std::vector<XmInstrument> make_instruments();

// Writes the patterns, the order table, tempo and restart position.
void compose(XmSong& song);
