// formats.h: the output formats xmrender writes (WAV, raw PCM, FLAC, each
// in the sample types it holds), their names for --format, the extensions
// that name them, and the conversion of the mix's floats into each sample
// type.
// Owns: nothing. Thread: any.
//
//   Format f;
//   if (!format_from_name("wav24", &f)) ...              // --format NAME
//   Container c;
//   if (container_from_extension("out.flac", &c)) ...    // -o out.flac
#pragma once
#include <cstdint>
#include <string>

enum class Container { WAV, RAW, FLAC };
enum class SampleType { S16, S24, F32 };

struct Format {
  Container container = Container::WAV;
  SampleType type = SampleType::S16;
};

// Full scale of the mix's floats: 32768.0 is the 16-bit maximum.
constexpr float MIX_FULL_SCALE = 32768.0f;

// The --format names and what each writes, one per line, for --help.
extern const char* const FORMATS_HELP;

// The format called name ("wav", "wav24", "wav-f32", "raw", "raw24",
// "raw-f32", "flac", "flac24"); false for any other name.
bool format_from_name(const char* name, Format* format);
// The --format name of format.
const char* format_name(Format format);
// The container a path's extension names (.wav, .raw or .pcm, .flac, any
// case); false when the path has none of them.
bool container_from_extension(const std::string& path, Container* container);
// The extension written for a container, with its dot (".wav").
const char* container_extension(Container container);
const char* container_name(Container container);

// Bytes of one sample of a type in a file: 2, 3 or 4.
int sample_bytes(SampleType type);

// A mix value (full scale 32768) as a 16-bit sample: rounded to the nearest
// integer, ties to even, then clipped; the same as the library's own 16-bit
// output.
int16_t mix_to_s16(double value);
// A mix value as a 24-bit sample (full scale 8388608), rounded the same way
// and clipped to -8388608..8388607.
int32_t mix_to_s24(double value);
// A mix value as a float sample of full scale 1.0 (unclipped).
float mix_to_f32(double value);
// True when the conversion of value to type clips it (never for F32, which
// keeps values beyond full scale).
bool mix_clips(double value, SampleType type);
