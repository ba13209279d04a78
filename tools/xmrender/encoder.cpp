// encoder.cpp: WAV and raw PCM written here, FLAC through libFLAC's stream
// encoder writing into the same Sink.
// Owns: see encoder.h. Thread: the caller's.
#include "tools/xmrender/encoder.h"

#include <bit>
#include <cstring>

namespace {

constexpr uint16_t WAV_TAG_PCM = 1;
constexpr uint16_t WAV_TAG_FLOAT = 3;
constexpr uint32_t WAV_PCM_HEADER_BYTES = 44;    // RIFF, fmt (16 bytes), data
constexpr uint32_t WAV_FLOAT_HEADER_BYTES = 58;  // RIFF, fmt (18 bytes), fact, data
constexpr uint64_t RIFF_LIMIT = 0xFFFFFFFFull;   // sizes in a RIFF header are 32-bit
constexpr size_t MAX_WAV_HEADER_BYTES = WAV_FLOAT_HEADER_BYTES;

int bytes_per_frame(const StreamLayout& layout) { return sample_bytes(layout.format.type) * layout.channels; }

uint32_t wav_header_bytes(const StreamLayout& layout) {
  return layout.format.type == SampleType::F32 ? WAV_FLOAT_HEADER_BYTES : WAV_PCM_HEADER_BYTES;
}

// The most frames a WAV file of this layout holds.
uint64_t wav_frame_limit(const StreamLayout& layout) {
  return (RIFF_LIMIT - wav_header_bytes(layout)) / static_cast<uint64_t>(bytes_per_frame(layout));
}

// A WAV header for `frames` frames into h; returns its size.
size_t make_wav_header(unsigned char* h, const StreamLayout& layout, uint64_t frames) {
  const bool is_float = layout.format.type == SampleType::F32;
  const uint32_t header = wav_header_bytes(layout);
  const uint32_t block = static_cast<uint32_t>(bytes_per_frame(layout));
  const uint32_t data = static_cast<uint32_t>(frames * block);
  const uint32_t rate = static_cast<uint32_t>(layout.rate);
  std::memcpy(h, "RIFF", 4);
  put_le(h + 4, data + header - 8, 4);
  std::memcpy(h + 8, "WAVEfmt ", 8);
  put_le(h + 16, is_float ? 18 : 16, 4);  // fmt chunk size
  put_le(h + 20, is_float ? WAV_TAG_FLOAT : WAV_TAG_PCM, 2);
  put_le(h + 22, static_cast<uint32_t>(layout.channels), 2);
  put_le(h + 24, rate, 4);                  // frames per second
  put_le(h + 28, rate * block, 4);          // bytes per second
  put_le(h + 32, block, 2);                 // bytes per frame
  put_le(h + 34, block / static_cast<uint32_t>(layout.channels) * 8, 2);  // bits per sample
  unsigned char* p = h + 36;
  if (is_float) {
    put_le(p, 0, 2);  // no extension of the fmt chunk
    std::memcpy(p + 2, "fact", 4);
    put_le(p + 6, 4, 4);
    put_le(p + 10, static_cast<uint32_t>(frames), 4);  // frames of audio
    p += 14;
  }
  std::memcpy(p, "data", 4);
  put_le(p + 4, data, 4);
  return header;
}

// ---- FLAC through the Sink -------------------------------------------------

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

bool flac_begin(Encoder* e, std::string* why) {
  e->flac = FLAC__stream_encoder_new();
  if (e->flac == nullptr) {
    *why = "out of memory";
    return false;
  }
  const StreamLayout& s = e->layout;
  FLAC__stream_encoder_set_channels(e->flac, static_cast<uint32_t>(s.channels));
  FLAC__stream_encoder_set_bits_per_sample(e->flac, s.format.type == SampleType::S24 ? 24 : 16);
  FLAC__stream_encoder_set_sample_rate(e->flac, static_cast<uint32_t>(s.rate));
  if (s.frames > 0) FLAC__stream_encoder_set_total_samples_estimate(e->flac, s.frames);
  const FLAC__StreamEncoderInitStatus status =
      FLAC__stream_encoder_init_stream(e->flac, flac_write, flac_seek, flac_tell, nullptr, e->sink);
  if (status == FLAC__STREAM_ENCODER_INIT_STATUS_OK) return true;
  *why = std::string("the FLAC encoder does not start: ") + FLAC__StreamEncoderInitStatusString[status];
  FLAC__stream_encoder_delete(e->flac);
  e->flac = nullptr;
  return false;
}

bool flac_write_samples(Encoder* e, int32_t frames) {
  return FLAC__stream_encoder_process_interleaved(e->flac, e->wide.data(), static_cast<uint32_t>(frames)) != 0;
}

// ---- Samples ---------------------------------------------------------------

// Counts the frames and refuses those a WAV file cannot hold.
bool take_frames(Encoder* e, int32_t frames) {
  e->frames += static_cast<uint64_t>(frames);
  if (e->layout.format.container == Container::WAV && e->frames > wav_frame_limit(e->layout)) {
    e->too_long = true;
    return false;
  }
  return true;
}

void pack_sample(unsigned char* p, SampleType type, double value) {
  switch (type) {
    case SampleType::S16: put_le(p, static_cast<uint16_t>(mix_to_s16(value)), 2); break;
    case SampleType::S24: put_le(p, static_cast<uint32_t>(mix_to_s24(value)), 3); break;
    case SampleType::F32: put_le(p, std::bit_cast<uint32_t>(mix_to_f32(value)), 4); break;
  }
}

}  // namespace

bool encoder_begin(Encoder* e, Sink* sink, const StreamLayout& layout, std::string* why) {
  e->layout = layout;
  e->sink = sink;
  switch (layout.format.container) {
    case Container::FLAC:
      return flac_begin(e, why);
    case Container::WAV: {
      if (layout.frames > wav_frame_limit(layout)) {
        *why = "too long for a WAV file (4 GiB at most); write FLAC or raw PCM";
        return false;
      }
      unsigned char header[MAX_WAV_HEADER_BYTES];
      const size_t size = make_wav_header(header, layout, layout.frames);
      if (sink_write(sink, header, size)) return true;
      *why = "cannot write: " + std::string(std::strerror(sink->error));
      return false;
    }
    case Container::RAW:
      return true;
  }
  return false;
}

bool encoder_write_s16(Encoder* e, const int16_t* samples, int32_t frames) {
  if (!take_frames(e, frames)) return false;
  const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(e->layout.channels);
  for (size_t i = 0; i < count && !e->audible; ++i) e->audible = samples[i] != 0;
  if (e->layout.format.container == Container::FLAC) {
    e->wide.assign(samples, samples + count);
    return flac_write_samples(e, frames);
  }
  if constexpr (std::endian::native == std::endian::little) return sink_write(e->sink, samples, count * 2);
  e->packed.resize(count * 2);
  for (size_t i = 0; i < count; ++i) put_le(e->packed.data() + 2 * i, static_cast<uint16_t>(samples[i]), 2);
  return sink_write(e->sink, e->packed.data(), e->packed.size());
}

bool encoder_write_mix(Encoder* e, const float* values, int32_t frames) {
  if (!take_frames(e, frames)) return false;
  const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(e->layout.channels);
  const SampleType type = e->layout.format.type;
  if (e->layout.format.container == Container::FLAC) {
    e->wide.resize(count);
    for (size_t i = 0; i < count; ++i) {
      e->wide[i] = type == SampleType::S24 ? mix_to_s24(values[i]) : mix_to_s16(values[i]);
      e->audible = e->audible || e->wide[i] != 0;
    }
    return flac_write_samples(e, frames);
  }
  const size_t bytes = static_cast<size_t>(sample_bytes(type));
  e->packed.resize(count * bytes);
  for (size_t i = 0; i < count; ++i) {
    unsigned char* p = e->packed.data() + i * bytes;
    pack_sample(p, type, values[i]);
    for (size_t b = 0; b < bytes && !e->audible; ++b) e->audible = p[b] != 0;
  }
  return sink_write(e->sink, e->packed.data(), e->packed.size());
}

bool encoder_finish(Encoder* e, std::string* why) {
  if (e->too_long) {
    encoder_abandon(e);
    *why = "too long for a WAV file (4 GiB at most); write FLAC or raw PCM";
    return false;
  }
  bool ok = e->sink->error == 0;
  if (e->flac != nullptr) {
    ok = FLAC__stream_encoder_finish(e->flac) != 0 && ok;
    if (!ok && e->sink->error == 0) {
      *why = std::string("FLAC encoder: ") + FLAC__StreamEncoderStateString[FLAC__stream_encoder_get_state(e->flac)];
    }
    FLAC__stream_encoder_delete(e->flac);
    e->flac = nullptr;
    return ok;
  }
  if (ok && e->layout.format.container == Container::WAV) {
    if (e->sink->seekable) {
      unsigned char header[MAX_WAV_HEADER_BYTES];
      const size_t size = make_wav_header(header, e->layout, e->frames);
      ok = sink_seek(e->sink, 0) && sink_write(e->sink, header, size);
    } else if (e->frames != e->layout.frames) {
      *why = "the render gave " + std::to_string(e->frames) + " frames; the streamed WAV header announced " +
             std::to_string(e->layout.frames);
      return false;
    }
  }
  return ok;
}

void encoder_abandon(Encoder* e) {
  if (e->flac != nullptr) FLAC__stream_encoder_delete(e->flac);
  e->flac = nullptr;
}
