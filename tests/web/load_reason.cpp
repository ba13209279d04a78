// load_reason.cpp: prints what the music library says of a file, one line:
// "ok" and its warnings, one a line, or the refusal as the status's text and
// the loader's detail ("not an XM file", "unsupported: ..."). The player
// page's test compares the page's message with it.
// Usage: load_reason FILE
#include <quillmere/music.h>

#include <cstdio>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: load_reason FILE\n", stderr);
    return 2;
  }
  qm_song* song = nullptr;
  qm_load_error error{};
  const qm_status status = qm_song_load_file_ex(argv[1], &song, &error);
  if (status != QM_OK) {
    if (error.detail[0] != '\0') {
      std::printf("%s: %s\n", qm_status_text(status), error.detail);
    } else {
      std::printf("%s\n", qm_status_text(status));
    }
    return 0;
  }
  std::puts("ok");
  for (int32_t i = 0; i < qm_song_warning_count(song); ++i) std::printf("%s\n", qm_song_warning_text(song, i));
  qm_song_free(song);
  return 0;
}
