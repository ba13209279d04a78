/* render_raw.c: plays an XM song once through the Quillmere music library
   and writes it to standard output as raw signed 16-bit little-endian
   stereo PCM at 44,100 Hz.

     cc render_raw.c $(pkg-config --cflags --libs quillmere-music) -o render_raw
     ./render_raw song.xm | aplay -f cd

   Messages go to standard error; the status is 0 on success, 1 when the
   song does not load or the output cannot be written. */
#include <stdio.h>
#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

#include <quillmere/music.h>

enum { RATE = 44100, CHUNK_FRAMES = 4096 };

int main(int argc, char** argv) {
  qm_song* song = NULL;
  qm_player* player = NULL;
  qm_load_error error;
  int16_t frames[2 * CHUNK_FRAMES];
  unsigned char bytes[4 * CHUNK_FRAMES];
  int32_t i, n, status = 0;
  if (argc != 2) {
    fprintf(stderr, "usage: render_raw SONG.xm > song.raw\n");
    return 1;
  }
  if (qm_song_load_file_ex(argv[1], &song, &error) != QM_OK) {
    fprintf(stderr, "render_raw: %s: %s%s%s\n", argv[1], qm_status_text(error.status),
            error.detail[0] ? ": " : "", error.detail);
    return 1;
  }
  for (i = 0; i < qm_song_warning_count(song); ++i)
    fprintf(stderr, "render_raw: %s: warning: %s\n", argv[1], qm_song_warning_text(song, i));
#ifdef _WIN32
  /* Windows' standard output is text by default: it would add a carriage
     return before every byte 10. */
  _setmode(_fileno(stdout), _O_BINARY);
#endif
  if (qm_player_create(song, RATE, &player) != QM_OK) {
    fprintf(stderr, "render_raw: out of memory\n");
    qm_song_free(song);
    return 1;
  }
  while (status == 0 && (n = qm_player_render_s16(player, frames, CHUNK_FRAMES)) > 0) {
    /* The samples are in the machine's order; the file's are little-endian. */
    for (i = 0; i < 2 * n; ++i) {
      bytes[2 * i] = (unsigned char)((uint16_t)frames[i] & 0xFF);
      bytes[2 * i + 1] = (unsigned char)((uint16_t)frames[i] >> 8);
    }
    if (fwrite(bytes, 4, (size_t)n, stdout) != (size_t)n) status = 1;
  }
  if (fflush(stdout) != 0) status = 1;
  if (status != 0) perror("render_raw: standard output");
  qm_player_free(player);
  qm_song_free(song);
  return status;
}
