/* api_c_test.c: the public header compiled as C, and its basic contract:
   status texts, the version, a load from memory and one from a path, a
   refused load with its reason, a player rendering sound and seeking, a
   zeroed struct filled, and the frees.
   Usage: api_c_test SONG.xm   (exit status 0 when every check holds) */
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "quillmere/music.h"

static int failures = 0;

#define CHECK(condition)                                            \
  do {                                                              \
    if (!(condition)) {                                             \
      fprintf(stderr, "%s:%d: %s\n", __FILE__, __LINE__, #condition); \
      ++failures;                                                   \
    }                                                               \
  } while (0)

/* The whole file in a malloc'd block; NULL when it cannot be read. */
static unsigned char* read_file(const char* path, size_t* size) {
  FILE* f = fopen(path, "rb");
  unsigned char* data = NULL;
  long length;
  if (f == NULL) return NULL;
  if (fseek(f, 0, SEEK_END) == 0 && (length = ftell(f)) > 0 && fseek(f, 0, SEEK_SET) == 0) {
    data = (unsigned char*)malloc((size_t)length);
    if (data != NULL && fread(data, 1, (size_t)length, f) != (size_t)length) {
      free(data);
      data = NULL;
    }
    *size = (size_t)length;
  }
  fclose(f);
  return data;
}

static void check_texts(void) {
  int s;
  CHECK(strcmp(qm_version(), "1.0.0") == 0);
  CHECK(strcmp(qm_version(), QM_VERSION_STRING) == 0);
  CHECK(qm_version_number() == QM_VERSION && QM_VERSION == QM_MAKE_VERSION(1, 0, 0));
  CHECK(QM_OK == 0);
  for (s = 0; s < QM_STATUS_COUNT; ++s) CHECK(qm_status_text((qm_status)s) != NULL && qm_status_text((qm_status)s)[0]);
  CHECK(qm_status_text((qm_status)-1) != NULL);
  CHECK(strcmp(qm_status_text(QM_ERROR_HEADER_INCOMPLETE), "header incomplete") == 0);
}

static void check_refusals(const unsigned char* data, size_t size) {
  qm_song* song = (qm_song*)&song;
  qm_load_error error;
  CHECK(qm_song_load_file_ex("/nonexistent/song.xm", &song, &error) == QM_ERROR_CANNOT_OPEN);
  CHECK(song == NULL && error.status == QM_ERROR_CANNOT_OPEN && error.detail[0] != '\0');
  CHECK(qm_song_load_memory("Extended Modulo: ", 17, &song) == QM_ERROR_NOT_XM);
  CHECK(qm_song_load_memory_ex(data, 100, &song, &error) == QM_ERROR_HEADER_INCOMPLETE);
  CHECK(qm_song_load_memory(data, size, NULL) == QM_ERROR_INVALID_ARGUMENT);
}

static void check_play(const qm_song* song) {
  qm_player* player = NULL;
  qm_song_info info;
  int16_t frames[2 * 4410];
  int32_t i, loud = 0;
  qm_position at = {0};
  CHECK(qm_song_get_info(song, &info) == QM_OK);
  CHECK(info.channels >= 1 && info.channels <= 32);
  CHECK(qm_player_create(song, 44100, &player) == QM_OK);
  CHECK(qm_player_render_s16(player, frames, 4410) == 4410);
  for (i = 0; i < 2 * 4410; ++i) loud = loud || frames[i] != 0;
  CHECK(loud);
  /* A zeroed struct is filled in this header's layout. */
  CHECK(qm_player_seek_frame(player, 44100) == QM_OK);
  CHECK(qm_player_get_position(player, &at) == QM_OK);
  CHECK(at.size >= offsetof(qm_position, end_row) && at.frame == 44100 && at.seconds == 1.0);
  qm_player_free(player);
}

int main(int argc, char** argv) {
  size_t size = 0;
  unsigned char* data;
  qm_song* from_memory = NULL;
  qm_song* from_path = NULL;
  if (argc != 2 || (data = read_file(argv[1], &size)) == NULL) {
    fprintf(stderr, "usage: api_c_test SONG.xm\n");
    return 2;
  }
  check_texts();
  check_refusals(data, size);
  CHECK(qm_song_load_memory(data, size, &from_memory) == QM_OK);
  CHECK(qm_song_load_file(argv[1], &from_path) == QM_OK);
  if (from_memory != NULL) check_play(from_memory);
  CHECK(from_path != NULL && qm_song_warning_count(from_path) == 0);
  qm_song_free(from_memory);
  qm_song_free(from_path);
  qm_song_free(NULL);
  free(data);
  if (failures == 0) printf("api_c_test: all checks hold\n");
  return failures == 0 ? 0 : 1;
}
