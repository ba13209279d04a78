// flac_stream.cpp: FLAC through libFLAC's stream encoder, writing into the
// encoder's Sink (see flac_stream.h).
// Owns: see flac_stream.h. Thread: the caller's.
#include "tools/xmrender/flac_stream.h"

#include <FLAC/stream_encoder.h>

namespace {

constexpr uint32_t FLAC_BITS_16 = 16;
constexpr uint32_t FLAC_BITS_24 = 24;

FLAC__StreamEncoder* stream(const Encoder* e) { return static_cast<FLAC__StreamEncoder*>(e->flac); }

FLAC__StreamEncoderWriteStatus flac_write(const FLAC__StreamEncoder*, const FLAC__byte buffer[], size_t bytes,
                                          uint32_t, uint32_t, void* user) {
  return sink_write(static_cast<Sink*>(user), buffer, bytes) ? FLAC__STREAM_ENCODER_WRITE_STATUS_OK
                                                             : FLAC__STREAM_ENCODER_WRITE_STATUS_FATAL_ERROR;
}

FLAC__StreamEncoderSeekStatus flac_seek(const FLAC__StreamEncoder*, FLAC__uint64 offset, void* user) {
  Sink* sink = static_cast<Sink*>(user);
  if (!sink->seekable) return FLAC__STREAM_ENCODER_SEEK_STATUS_UNSUPPORTED;
  return sink_seek(sink, offset) ? FLAC__STREAM_ENCODER_SEEK_STATUS_OK : FLAC__STREAM_ENCODER_SEEK_STATUS_ERROR;
}

FLAC__StreamEncoderTellStatus flac_tell(const FLAC__StreamEncoder*, FLAC__uint64* offset, void* user) {
  const Sink* sink = static_cast<const Sink*>(user);
  if (!sink->seekable) return FLAC__STREAM_ENCODER_TELL_STATUS_UNSUPPORTED;
  *offset = sink->position;
  return FLAC__STREAM_ENCODER_TELL_STATUS_OK;
}

}  // namespace

bool flac_begin(Encoder* e, std::string* why) {
  FLAC__StreamEncoder* flac = FLAC__stream_encoder_new();
  if (flac == nullptr) {
    *why = "out of memory";
    return false;
  }
  const StreamLayout& s = e->layout;
  FLAC__stream_encoder_set_channels(flac, static_cast<uint32_t>(s.channels));
  FLAC__stream_encoder_set_bits_per_sample(flac, s.format.type == SampleType::S24 ? FLAC_BITS_24 : FLAC_BITS_16);
  FLAC__stream_encoder_set_sample_rate(flac, static_cast<uint32_t>(s.rate));
  if (s.frames > 0) FLAC__stream_encoder_set_total_samples_estimate(flac, s.frames);
  const FLAC__StreamEncoderInitStatus status =
      FLAC__stream_encoder_init_stream(flac, flac_write, flac_seek, flac_tell, nullptr, e->sink);
  if (status == FLAC__STREAM_ENCODER_INIT_STATUS_OK) {
    e->flac = flac;
    return true;
  }
  *why = std::string("the FLAC encoder does not start: ") + FLAC__StreamEncoderInitStatusString[status];
  FLAC__stream_encoder_delete(flac);
  return false;
}

bool flac_write_samples(Encoder* e, int32_t frames) {
  return FLAC__stream_encoder_process_interleaved(stream(e), e->wide.data(), static_cast<uint32_t>(frames)) != 0;
}

bool flac_finish(Encoder* e, std::string* why) {
  const bool ok = FLAC__stream_encoder_finish(stream(e)) != 0;
  if (!ok && e->sink->error == 0) {
    *why = std::string("FLAC encoder: ") + FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(stream(e))];
  }
  flac_abandon(e);
  return ok;
}

void flac_abandon(Encoder* e) {
  if (e->flac != nullptr) FLAC__stream_encoder_delete(stream(e));
  e->flac = nullptr;
}
