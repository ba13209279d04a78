/* game_loop.c: a game's music through the Quillmere music library. Starts a
   song at a section (an order position and row, with the speed, tempo and
   voices it has there when played from the start), mutes one channel, loops
   the song forever and reports every time it wraps, rendering in the small
   pieces a game's audio callback asks for. The audio itself is dropped: a
   game would hand it to its sound device.

     cc game_loop.c $(pkg-config --cflags --libs quillmere-music) -o game_loop
     ./game_loop song.xm 1 8 0 60     # order 1, row 8, channel 0 muted, 60 s

   Prints what happens to standard output; messages go to standard error;
   the status is 0 on success, 1 when the song does not load or an argument
   does not fit it. */
#include <stdio.h>
#include <stdlib.h>

#include <quillmere/music.h>

enum { RATE = 44100, CALLBACK_FRAMES = 512 };

/* What the row callback saw. It runs on the rendering thread inside
   qm_player_render_s16, so it only notes the wrap; the game reads it after. */
struct wraps {
  int32_t count;       /* wraps noted and not yet printed */
  qm_row_event latest; /* the last of them */
};

static void on_row(void* user, const qm_row_event* event) {
  struct wraps* w = (struct wraps*)user;
  if (!event->wrapped) return;
  ++w->count;
  w->latest = *event;
}

/* A whole number from text, or -1. */
static long number(const char* text) {
  char* end = NULL;
  long value = strtol(text, &end, 10);
  return end != text && *end == '\0' && value >= 0 ? value : -1;
}

static int play(qm_player* player, long seconds) {
  struct wraps wraps = {0};
  int16_t frames[2 * CALLBACK_FRAMES];
  qm_position at = {0};
  long total = seconds * RATE, done = 0;
  qm_player_set_row_callback(player, on_row, &wraps);
  while (done < total) {
    int32_t ask = total - done < CALLBACK_FRAMES ? (int32_t)(total - done) : CALLBACK_FRAMES;
    int32_t n = qm_player_render_s16(player, frames, ask);
    if (n <= 0) return 1; /* a song played forever never ends */
    done += n;
    if (wraps.count > 0) {
      printf("%.3f s: the song wrapped to order %d, row %d: pass %d begins\n",
             (double)wraps.latest.frame / RATE, wraps.latest.order, wraps.latest.row, wraps.latest.pass);
      wraps.count = 0;
    }
  }
  qm_player_get_position(player, &at);
  printf("played %.3f s; %d passes completed; now at order %d, row %d (%.3f s into the song)\n",
         (double)done / RATE, at.pass, at.order, at.row, at.seconds);
  return 0;
}

int main(int argc, char** argv) {
  qm_song* song = NULL;
  qm_player* player = NULL;
  qm_load_error error;
  qm_position start = {0};
  long order, row, channel, seconds;
  int status = 1;
  if (argc != 6 || (order = number(argv[2])) < 0 || (row = number(argv[3])) < 0 ||
      (channel = number(argv[4])) < 0 || (seconds = number(argv[5])) < 0) {
    fprintf(stderr, "usage: game_loop SONG.xm ORDER ROW MUTED_CHANNEL SECONDS\n");
    return 1;
  }
  if (qm_song_load_file_ex(argv[1], &song, &error) != QM_OK) {
    fprintf(stderr, "game_loop: %s: %s%s%s\n", argv[1], qm_status_text(error.status),
            error.detail[0] ? ": " : "", error.detail);
    return 1;
  }
  /* Settings first, then the seek: it places the player as if it had
     played from the start with them. */
  if (qm_player_create(song, RATE, &player) != QM_OK) {
    fprintf(stderr, "game_loop: out of memory\n");
  } else if (qm_player_set_channel_mute(player, (int32_t)channel, 1) != QM_OK) {
    fprintf(stderr, "game_loop: %s: the song has no channel %ld\n", argv[1], channel);
  } else if (qm_player_set_repeat_count(player, -1) != QM_OK ||
             qm_player_seek(player, (int32_t)order, (int32_t)row) != QM_OK) {
    fprintf(stderr, "game_loop: %s: the song has no order %ld with a row %ld\n", argv[1], order, row);
  } else {
    qm_player_get_position(player, &start);
    printf("starting at order %ld, row %ld, %.3f s into the song, channel %ld muted\n", order, row, start.seconds,
           channel);
    status = play(player, seconds);
  }
  qm_player_free(player);
  qm_song_free(song);
  return status;
}
