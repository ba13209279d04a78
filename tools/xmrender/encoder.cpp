// encoder.cpp: WAV and raw PCM written here, FLAC through the FLAC stream
// (flac_stream.h) writing into the same Sink.
// Owns: see encoder.h. Thread: the caller's.
#include "tools/xmrender/encoder.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "tools/common/wav_header.h"
#include "tools/xmrender/flac_stream.h"

namespace {

constexpr int BITS_PER_BYTE = 8;

// The WAV header's view of a layout.
WavFormat wav_format(const StreamLayout& layout) {
  WavFormat f;
  f.channels = layout.channels;
  f.rate = layout.rate;
  f.bits = sample_bytes(layout.format.type) * BITS_PER_BYTE;
  f.is_float = layout.format.type == SampleType::F32;
  return f;
}

// ---- Samples ---------------------------------------------------------------

// Counts the frames and refuses those a WAV file cannot hold.
bool take_frames(Encoder* e, int32_t frames) {
  e->frames += static_cast<uint64_t>(frames);
  if (e->layout.format.container == Container::WAV && e->frames > wav_frame_limit(wav_format(e->layout))) {
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
      if (layout.frames > wav_frame_limit(wav_format(layout))) {
        *why = "too long for a WAV file (4 GiB at most); write FLAC or raw PCM";
        return false;
      }
      unsigned char header[WAV_MAX_HEADER_BYTES];
      const size_t size = wav_header(header, wav_format(layout), layout.frames);
      if (sink_write(sink, header, size)) return true;
      *why = "cannot write: " + std::string(std::strerror(sink->error));
      return false;
    }
    case Container::RAW:
      return true;
  }
  return false;
}

// Samples at full scale, either sign: counted in blocks whose 32-bit counts
// cannot overflow, in an inner loop the compiler vectorises.
static uint64_t full_scale_count(const int16_t* samples, size_t count) {
  constexpr size_t BLOCK = size_t{1} << 16;
  uint64_t total = 0;
  for (size_t start = 0; start < count; start += BLOCK) {
    const size_t end = std::min(count, start + BLOCK);
    uint32_t in_block = 0;
    for (size_t i = start; i < end; ++i)
      in_block += static_cast<uint32_t>((samples[i] == INT16_MAX) | (samples[i] == INT16_MIN));
    total += in_block;
  }
  return total;
}

bool encoder_write_s16(Encoder* e, const int16_t* samples, int32_t frames) {
  if (!take_frames(e, frames)) return false;
  const size_t count = static_cast<size_t>(frames) * static_cast<size_t>(e->layout.channels);
  for (size_t i = 0; i < count && !e->audible; ++i) e->audible = samples[i] != 0;
  // The library clipped them already: a sample at full scale most likely was.
  e->clipped += full_scale_count(samples, count);
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
  for (size_t i = 0; i < count; ++i) e->clipped += mix_clips(values[i], type);
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
  if (e->flac != nullptr) return flac_finish(e, why) && ok;
  if (ok && e->layout.format.container == Container::WAV) {
    if (e->sink->seekable) {
      unsigned char header[WAV_MAX_HEADER_BYTES];
      const size_t size = wav_header(header, wav_format(e->layout), e->frames);
      ok = sink_seek(e->sink, 0) && sink_write(e->sink, header, size);
    } else if (e->frames != e->layout.frames) {
      *why = "the render gave " + std::to_string(e->frames) + " frames; the streamed WAV header announced " +
             std::to_string(e->layout.frames);
      return false;
    }
  }
  return ok;
}

void encoder_abandon(Encoder* e) { flac_abandon(e); }
