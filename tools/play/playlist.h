// playlist.h: the lists of songs quillmere-play reads: -@ FILE (one name a
// line; "-" is standard input) and M3U files (.m3u, .m3u8) given as
// arguments. Lines starting with '#' are comments (M3U's #EXTM3U and #EXTINF
// included), blank lines (spaces and tabs at most) are skipped, a UTF-8 byte order mark and CR line
// ends are taken off, and names are relative to the list's folder.
// A list that cannot be a list is refused whole: it does not open or read,
// it is larger than MAX_PLAYLIST_BYTES, or it holds a NUL byte (binary
// data). A line that cannot be a song is skipped with its reason: a control
// character in it, the list itself, another playlist (lists are not followed
// into lists, so none can loop).
// Owns: nothing. Thread: the caller's.
//
//   Playlist list;
//   Status s = read_playlist("mix.m3u", &list);
//   if (failed(s)) print_failure(PROGRAM, "mix.m3u", s.message);
//   for (auto& line : list.skipped) print_failure(PROGRAM, "mix.m3u", line);
#pragma once
#include <cstddef>
#include <string>
#include <vector>

#include "tools/common/status.h"

constexpr size_t MAX_PLAYLIST_BYTES = size_t{1} << 20;  // 1 MiB: some 20,000 names

struct Playlist {
  std::vector<std::string> songs;    // the names, resolved, in the list's order
  std::vector<std::string> skipped;  // "line N: reason" for each line not taken
};

// True for a name ending in .m3u or .m3u8 (any case).
bool is_playlist_name(const std::string& path);

// Reads the list at path ("-": standard input) into *list; a failed Status
// (EXIT_FAILED, and the reason) for a list refused whole.
Status read_playlist(const std::string& path, Playlist* list);

// The lines of text, a list kept in folder ("" for the working folder),
// taken into *list as read_playlist does; self is the list's own path, for
// lines that name it ("" for none).
void parse_playlist(const std::string& text, const std::string& folder, const std::string& self, Playlist* list);
