// info.h: the --info listing of xmrender: a song's names, format, the
// length of one pass (measured without mixing), orders, pattern use,
// instruments and samples, as plain text or as one line of JSON. Everything
// comes from the music library's public functions.
// Owns: nothing. Thread: the caller's.
//
//   print_song_info(stdout, "song.xm", song, 44100, false);
#pragma once
#include <cstdint>
#include <cstdio>
#include <string>

#include "quillmere/music.h"

// A song that plays longer than this in one pass is listed as "more than".
constexpr uint64_t INFO_MEASURE_CAP_SECONDS = 3600;

// Prints the listing of song, loaded from path, with its length at rate
// frames per second: text, or (json) one JSON object on one line.
void print_song_info(FILE* out, const char* path, const qm_song* song, int32_t rate, bool json);
// The JSON line of a song that gave no facts: {"file": path, "error": why}.
void print_refusal_json(FILE* out, const char* path, const std::string& why);
