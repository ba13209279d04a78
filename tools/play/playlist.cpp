// playlist.cpp: reading the lists of songs (see playlist.h).
// Owns: nothing. Thread: the caller's.
#include "tools/play/playlist.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "tools/common/text.h"

namespace {

constexpr const char* BYTE_ORDER_MARK = "\xEF\xBB\xBF";
constexpr size_t READ_CHUNK = 64 * 1024;
constexpr unsigned char DELETE = 0x7F;

bool ends_with_lower(const std::string& text, const std::string& suffix) {
  if (text.size() < suffix.size()) return false;
  std::string end = text.substr(text.size() - suffix.size());
  std::transform(end.begin(), end.end(), end.begin(), [](unsigned char c) { return std::tolower(c); });
  return end == suffix;
}

bool has_control_character(const std::string& line) {
  return std::any_of(line.begin(), line.end(), [](unsigned char c) { return (c < ' ' && c != '\t') || c == DELETE; });
}

std::string resolve(const std::string& folder, const std::string& name) {
  const std::filesystem::path path(name);
  if (folder.empty() || path.is_absolute()) return name;
  return (std::filesystem::path(folder) / path).string();
}

bool same_file(const std::string& a, const std::string& b) {
  std::error_code error;
  return !b.empty() && std::filesystem::equivalent(a, b, error) && !error;
}

// before, the number, after. Built by appending: MinGW's GCC 12 warns
// falsely (-Wrestrict) about "text" + a temporary.
std::string with_number(const char* before, size_t number, const char* after) {
  std::string text = before;
  text += std::to_string(number);
  text += after;
  return text;
}

// Reads all of stream, up to MAX_PLAYLIST_BYTES; the failure says why not.
Status read_all(FILE* stream, std::string* text) {
  char chunk[READ_CHUNK];
  for (;;) {
    const size_t got = std::fread(chunk, 1, sizeof chunk, stream);
    text->append(chunk, got);
    if (text->size() > MAX_PLAYLIST_BYTES)
      return failure(EXIT_FAILED, with_number("larger than ", MAX_PLAYLIST_BYTES >> 20, " MiB; not a list of files"));
    if (got < sizeof chunk) break;
  }
  if (std::ferror(stream)) return failure(EXIT_FAILED, std::strerror(errno), errno);
  const size_t zero = text->find('\0');
  if (zero != std::string::npos)
    return failure(EXIT_FAILED, with_number("binary data (a NUL byte at offset ", zero, "); not a list of files"));
  return Status{};
}

}  // namespace

bool is_playlist_name(const std::string& path) {
  return ends_with_lower(path, ".m3u") || ends_with_lower(path, ".m3u8");
}

void parse_playlist(const std::string& text, const std::string& folder, const std::string& self, Playlist* list) {
  size_t at = text.compare(0, 3, BYTE_ORDER_MARK) == 0 ? 3 : 0;
  for (int line_number = 1; at < text.size(); ++line_number) {
    const size_t end = std::min(text.find('\n', at), text.size());
    std::string line = text.substr(at, end - at);
    at = end + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.find_first_not_of(" \t") == std::string::npos || line[0] == '#') continue;  // blank, or a comment
    const std::string where = with_number("line ", static_cast<size_t>(line_number), ": ");
    if (has_control_character(line)) {
      list->skipped.push_back(where + ::quoted(line) + " holds a control character; skipped");
      continue;
    }
    const std::string song = resolve(folder, line);
    if (same_file(song, self)) {
      list->skipped.push_back(where + "names the list itself; skipped");
    } else if (is_playlist_name(line)) {
      list->skipped.push_back(where + ::quoted(line) + " is a list; lists inside lists are not followed");
    } else {
      list->songs.push_back(song);
    }
  }
}

Status read_playlist(const std::string& path, Playlist* list) {
  std::string text;
  if (path == "-") {
    const Status read = read_all(stdin, &text);
    if (failed(read)) return read;
    parse_playlist(text, "", "", list);
    return read;
  }
  FILE* file = std::fopen(path.c_str(), "rb");
  if (file == nullptr) return failure(EXIT_FAILED, std::strerror(errno), errno);
  const Status read = read_all(file, &text);
  std::fclose(file);
  if (failed(read)) return read;
  parse_playlist(text, std::filesystem::path(path).parent_path().string(), path, list);
  return read;
}
