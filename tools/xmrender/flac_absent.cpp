// flac_absent.cpp: the FLAC side of a build without libFLAC (see
// flac_stream.h): every FLAC output is refused before anything is written.
// Owns: nothing. Thread: the caller's.
#include "tools/xmrender/flac_stream.h"

bool flac_begin(Encoder*, std::string* why) {
  *why = "this xmrender was built without FLAC; write WAV or raw PCM";
  return false;
}

bool flac_write_samples(Encoder*, int32_t) { return false; }

bool flac_finish(Encoder* e, std::string*) {
  flac_abandon(e);
  return false;
}

void flac_abandon(Encoder* e) { e->flac = nullptr; }
