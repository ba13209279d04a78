// formats.cpp: format names, extensions and sample conversion.
// Owns: nothing. Thread: any.
#include "tools/xmrender/formats.h"

#include <strings.h>

#include <cctype>
#include <cmath>
#include <cstring>

namespace {

struct NamedFormat {
  const char* name;
  Format format;
};

constexpr NamedFormat FORMATS[] = {
    {"wav", {Container::WAV, SampleType::S16}},   {"wav24", {Container::WAV, SampleType::S24}},
    {"wav-f32", {Container::WAV, SampleType::F32}}, {"raw", {Container::RAW, SampleType::S16}},
    {"raw24", {Container::RAW, SampleType::S24}}, {"raw-f32", {Container::RAW, SampleType::F32}},
    {"flac", {Container::FLAC, SampleType::S16}}, {"flac24", {Container::FLAC, SampleType::S24}},
};

constexpr double S16_MIN = -32768.0;
constexpr double S16_MAX = 32767.0;
constexpr double S24_MIN = -8388608.0;
constexpr double S24_MAX = 8388607.0;
constexpr double S24_PER_MIX = 256.0;  // 24-bit units per 16-bit unit

// Nearest integer, ties to even (the default rounding mode), then clipped;
// not-a-number gives 0.
double round_clip(double value, double lo, double hi) {
  if (std::isnan(value)) return 0.0;
  const double r = std::nearbyint(value);
  return r < lo ? lo : r > hi ? hi : r;
}

}  // namespace

const char* const FORMATS_HELP =
    "  wav       WAV, 16-bit PCM (the default)\n"
    "  wav24     WAV, 24-bit PCM (WAVE_FORMAT_EXTENSIBLE)\n"
    "  wav-f32   WAV, 32-bit float (WAVE_FORMAT_EXTENSIBLE; full scale 1.0, not clipped)\n"
    "  raw       raw PCM, signed 16-bit little-endian, interleaved\n"
    "  raw24     raw PCM, signed 24-bit little-endian (3 bytes a sample)\n"
    "  raw-f32   raw PCM, 32-bit float little-endian (full scale 1.0)\n"
    "  flac      FLAC, 16-bit\n"
    "  flac24    FLAC, 24-bit\n";

bool format_from_name(const char* name, Format* format) {
  for (const NamedFormat& f : FORMATS) {
    if (strcasecmp(f.name, name) == 0) {  // WAV as wav, as .WAV is taken as .wav
      *format = f.format;
      return true;
    }
  }
  return false;
}

const char* format_name(Format format) {
  for (const NamedFormat& f : FORMATS) {
    if (f.format.container == format.container && f.format.type == format.type) return f.name;
  }
  return "?";
}

bool container_from_extension(const std::string& path, Container* container) {
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return false;
  std::string ext = path.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "wav") {
    *container = Container::WAV;
  } else if (ext == "raw" || ext == "pcm") {
    *container = Container::RAW;
  } else if (ext == "flac") {
    *container = Container::FLAC;
  } else {
    return false;
  }
  return true;
}

const char* container_extension(Container container) {
  switch (container) {
    case Container::WAV: return ".wav";
    case Container::RAW: return ".raw";
    case Container::FLAC: return ".flac";
  }
  return "";
}

const char* container_name(Container container) {
  switch (container) {
    case Container::WAV: return "WAV";
    case Container::RAW: return "raw PCM";
    case Container::FLAC: return "FLAC";
  }
  return "";
}

int sample_bytes(SampleType type) {
  switch (type) {
    case SampleType::S16: return 2;
    case SampleType::S24: return 3;
    case SampleType::F32: return 4;
  }
  return 0;
}

int16_t mix_to_s16(double value) { return static_cast<int16_t>(round_clip(value, S16_MIN, S16_MAX)); }

int32_t mix_to_s24(double value) { return static_cast<int32_t>(round_clip(value * S24_PER_MIX, S24_MIN, S24_MAX)); }

bool mix_clips(double value, SampleType type) {
  const auto outside = [](double v, double lo, double hi) {
    const double r = std::nearbyint(v);
    return r < lo || r > hi;
  };
  switch (type) {
    case SampleType::S16: return outside(value, S16_MIN, S16_MAX);
    case SampleType::S24: return outside(value * S24_PER_MIX, S24_MIN, S24_MAX);
    case SampleType::F32: return false;
  }
  return false;
}

float mix_to_f32(double value) { return static_cast<float>(value / MIX_FULL_SCALE); }
