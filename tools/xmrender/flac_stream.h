// flac_stream.h: the FLAC side of the encoder (encoder.h): libFLAC's stream
// encoder writing into the encoder's Sink (flac_stream.cpp), or, in a build
// without libFLAC (Windows: Debian has no libFLAC for it), a refusal that
// says so (flac_absent.cpp).
// Owns: the libFLAC encoder in Encoder::flac. Thread: the caller's.
#pragma once
#include <cstdint>
#include <string>

#include "tools/xmrender/encoder.h"

// Starts the FLAC stream for e->layout on e->sink. False with a reason when
// the encoder does not start or the build has no FLAC.
bool flac_begin(Encoder* e, std::string* why);
// Encodes frames x channels samples of e->wide. False when that fails.
bool flac_write_samples(Encoder* e, int32_t frames);
// Completes the stream and frees the encoder. False when that fails, with
// the encoder's reason unless the sink failed (the sink has its own).
bool flac_finish(Encoder* e, std::string* why);
// Frees the encoder, if any, writing nothing more.
void flac_abandon(Encoder* e);
