// text.h: the tools' kit, text made safe to show: file names with their
// control characters escaped, and the names a song holds turned into UTF-8.
// Owns: nothing. Thread: any.
//
//   std::fprintf(stderr, "%s: %s: ...\n", program, printable(path).c_str());
//   std::printf("song name: %s\n", song_text(info.name).c_str());
#pragma once
#include <string>

// text with each control character (below 32, and 127) written as an
// escape: \n, \t, \r, or \xNN; everything else as it is.
std::string printable(const std::string& text);

// True when text is well-formed UTF-8 (no overlong forms, no surrogates,
// nothing above U+10FFFF).
bool is_utf8(const std::string& text);

// A name as a song stores it, in UTF-8: kept when it is UTF-8 already, else
// read as code page 437, the DOS trackers' character set (where 0x82 is "é"
// and 0xB0 "░").
std::string song_utf8(const std::string& stored);

// song_utf8 with control characters escaped as printable does: to print.
std::string song_text(const std::string& stored);
