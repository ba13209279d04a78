// options.h: quillmere-capture's command line.
// Owns: nothing. Touches: standard error (a bad command line, with the
// usage). Thread: main thread.
//
//   quillmere-capture [--data DIR] -o FILE [--fps N] [--scale K]
//                     [--lossless] [--crf Q] [--from MS] [--to MS]
//                     [--force] [-q] [--time]
#pragma once
#include <cstdint>
#include <string>

#include "tools/common/command_line.h"

constexpr int32_t CAPTURE_MIN_FPS = 1;
constexpr int32_t CAPTURE_MAX_FPS = 120;
constexpr int32_t CAPTURE_DEFAULT_FPS = 60;
constexpr int32_t CAPTURE_MIN_SCALE = 1;
constexpr int32_t CAPTURE_MAX_SCALE = 4;   // 2048 x 1536
constexpr int32_t CAPTURE_DEFAULT_SCALE = 2;
// The lossless encoder reserves a packet buffer of about 160 bytes per pixel
// (124 MB at scale 2): larger frames would take it past the memory budget.
constexpr int32_t CAPTURE_MAX_LOSSLESS_SCALE = 2;
constexpr int32_t CAPTURE_MIN_CRF = 0;     // the H.264 encoder's quality scale: 0 best
constexpr int32_t CAPTURE_MAX_CRF = 51;
constexpr int32_t CAPTURE_DEFAULT_CRF = 18;

// What the command line asks for.
struct CaptureOptions {
  std::string data_dir;      // folder of the nine pictures and typing.xm; empty: the working directory
  std::string output;        // the video file to write
  int32_t fps = CAPTURE_DEFAULT_FPS;     // frames per second, CAPTURE_MIN_FPS..CAPTURE_MAX_FPS
  int32_t scale = CAPTURE_DEFAULT_SCALE; // pixels per frame pixel along each axis, 1..4
  bool lossless = false;     // FFV1 (bgr0) and FLAC in Matroska instead of H.264 and AAC
  bool matroska = false;     // the container is Matroska: --lossless, or a file named .mkv; else MP4
  int32_t crf = CAPTURE_DEFAULT_CRF;     // H.264 quality, 0..51 (lower is better)
  int32_t from_ms = 0;       // first show time captured, ms, inclusive
  int32_t to_ms = 0;         // end of the stretch, ms, exclusive; at most the show's length
  bool force = false;        // an existing output file may be replaced
  bool quiet = false;        // no progress bar
  bool time = false;         // print where the time went at the end
};

constexpr const char* CAPTURE_PROGRAM = "quillmere-capture";

// Parses argv into options; a bad command line is refused (with the usage)
// before it returns COMMAND_BAD.
CommandLine parse_capture_options(int argc, const char* const* argv, CaptureOptions& options);

// The --help text.
std::string capture_help();
