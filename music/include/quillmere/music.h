/* quillmere/music.h: the Quillmere XM music engine as a C library.

   What it owns: loading XM (Extended Module) songs from a path, from memory
   or from read/seek/tell callbacks, and playing them into a caller's buffer:
   16-bit or 32-bit float stereo at any rate from QM_MIN_RATE to QM_MAX_RATE,
   exact to the bit on every machine. It opens no device and starts no thread.

   How to call it:

       qm_song* song = NULL;
       qm_status s = qm_song_load_file("song.xm", &song);
       if (s != QM_OK) { fprintf(stderr, "%s\n", qm_status_text(s)); return 1; }
       qm_player* player = NULL;
       qm_player_create(song, 44100, &player);
       int16_t frames[2 * 1024];
       int32_t n;
       while ((n = qm_player_render_s16(player, frames, 1024)) > 0)
         fwrite(frames, 4, (size_t)n, stdout);
       qm_player_free(player);
       qm_song_free(song);

   Threads: a loaded song never changes; any number of players on any
   number of threads may share it, and it is freed after its last player.
   Each player is used by one thread at a time; players share no mutable
   state, so players on different threads need no locking. Nothing in this
   library starts a thread or keeps global state.

   Output: the bytes a fresh player renders depend only on the song, the
   rate and the player's settings, never on how many frames each call asks
   for. Every function is safe on any file: a damaged file is refused with a
   reason or loaded with warnings that say what was repaired. */
#ifndef QUILLMERE_MUSIC_H
#define QUILLMERE_MUSIC_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Marks the library's entry points; they are the only symbols the shared
   library exports. On Windows a program that links the static library
   defines QM_STATIC (the CMake target quillmere::music_static and
   pkg-config --static do); one that links the DLL imports them. */
#if defined(_WIN32)
#if defined(QM_BUILDING_DLL)
#define QM_API __declspec(dllexport)
#elif defined(QM_STATIC)
#define QM_API
#else
#define QM_API __declspec(dllimport)
#endif
#elif defined(__GNUC__) || defined(__clang__)
#define QM_API __attribute__((visibility("default")))
#else
#define QM_API
#endif

#define QM_VERSION_MAJOR 1
#define QM_VERSION_MINOR 0
#define QM_VERSION_PATCH 0

/* Output rates a player accepts, frames per second. */
#define QM_MIN_RATE 1000
#define QM_MAX_RATE 384000

/* Size of the text buffers below, terminating zero included. */
#define QM_NAME_CAPACITY 24
#define QM_TEXT_CAPACITY 160

/* Result of every call that can fail. QM_OK is 0. */
typedef enum qm_status {
  QM_OK = 0,
  QM_ERROR_INVALID_ARGUMENT = 1,  /* "invalid argument": a null pointer or a value out of range */
  QM_ERROR_CANNOT_OPEN = 2,       /* "cannot open": the file does not open for reading */
  QM_ERROR_READ = 3,              /* "read error": the source failed or changed while being read */
  QM_ERROR_NOT_XM = 4,            /* "not an XM file": the first 17 bytes are not "Extended Module: " */
  QM_ERROR_HEADER_INCOMPLETE = 5, /* "header incomplete": the file ends inside its module header */
  QM_ERROR_UNSUPPORTED = 6,       /* "unsupported": a valid file this engine does not play (see the detail) */
  QM_ERROR_OUT_OF_MEMORY = 7,     /* "out of memory" */
  QM_STATUS_COUNT = 8
} qm_status;

/* Names a status in a few words; never null. */
QM_API const char* qm_status_text(qm_status status);
/* The library's version, "1.0.0". */
QM_API const char* qm_version(void);

/* ---- Loading ---------------------------------------------------------- */

typedef struct qm_song qm_song; /* a loaded song, immutable */

/* Why a load failed: the status and one sentence naming what was wrong,
   such as "instrument 3 has 17 samples; at most 16 are supported". */
typedef struct qm_load_error {
  qm_status status;
  char detail[QM_TEXT_CAPACITY]; /* "" when there is nothing to add to the status */
} qm_load_error;

/* Read, seek and tell over any byte source; user is handed to each. */
typedef struct qm_io {
  /* Reads up to size bytes into buffer; returns the bytes read (0 at the
     end of the source) or -1 on an error. */
  int64_t (*read)(void* user, void* buffer, int64_t size);
  /* Moves to offset from the start (whence 0), the current position (1) or
     the end (2); returns 0 on success. */
  int (*seek)(void* user, int64_t offset, int whence);
  /* The position in bytes from the start, or -1 on an error. */
  int64_t (*tell)(void* user);
} qm_io;

/* Each load sets *song to a new song (QM_OK) or to NULL. error may be NULL. */
QM_API qm_status qm_song_load_file(const char* path, qm_song** song);
QM_API qm_status qm_song_load_memory(const void* data, size_t size, qm_song** song);
QM_API qm_status qm_song_load_file_ex(const char* path, qm_song** song, qm_load_error* error);
QM_API qm_status qm_song_load_memory_ex(const void* data, size_t size, qm_song** song, qm_load_error* error);
QM_API qm_status qm_song_load_io(const qm_io* io, void* user, qm_song** song, qm_load_error* error);
/* Frees a song and everything it holds; NULL does nothing. Free its players first. */
QM_API void qm_song_free(qm_song* song);

/* Damage a load repaired. A song that loads with warnings plays, but what
   it plays may not be what its author heard. */
typedef enum qm_warning_kind {
  QM_WARNING_PATTERN_DATA_SHORT = 1, /* the file ends inside the pattern data */
  QM_WARNING_SAMPLE_DATA_SHORT = 2,  /* the file ends inside the sample data */
  QM_WARNING_COUNT_CLAMPED = 3,      /* a count above what the format holds was limited */
  QM_WARNING_ORDERS_PAST_HEADER = 4, /* the song's order table reaches past the header */
  QM_WARNING_VALUE_LIMITED = 5,      /* a value outside its range was limited */
  QM_WARNING_NEWER_VERSION = 6       /* the format version is above 1.04 */
} qm_warning_kind;

QM_API int32_t qm_song_warning_count(const qm_song* song);
/* 0 for an index outside 0 .. count - 1. */
QM_API qm_warning_kind qm_song_warning_kind(const qm_song* song, int32_t index);
/* One sentence, such as "pattern 3 ends after row 12 of 64"; "" outside the range. */
QM_API const char* qm_song_warning_text(const qm_song* song, int32_t index);

/* ---- What a song holds ------------------------------------------------ */

typedef struct qm_song_info {
  char name[QM_NAME_CAPACITY];    /* song name, printable ASCII, trailing spaces removed */
  char tracker[QM_NAME_CAPACITY]; /* name of the program that wrote the file */
  int32_t version;                /* format version, 0x0104 for 1.04 */
  int32_t channels;               /* 1..32 */
  int32_t length;                 /* order positions, 0..256 */
  int32_t restart;                /* order position after the last one */
  int32_t patterns;               /* pattern records */
  int32_t instruments;            /* 0..128 */
  int32_t speed;                  /* ticks per row at the start */
  int32_t bpm;                    /* tempo at the start */
  int32_t linear_periods;         /* 1: linear frequency table, 0: Amiga table */
} qm_song_info;

typedef struct qm_instrument_info {
  char name[QM_NAME_CAPACITY];
  int32_t samples; /* 0..16 */
} qm_instrument_info;

typedef struct qm_sample_info {
  char name[QM_NAME_CAPACITY];
  uint32_t length;      /* frames */
  uint32_t loop_start;  /* frames */
  uint32_t loop_length; /* frames; equal to length without a loop */
  int32_t loop_type;    /* 0 none, 1 forward, 2 ping-pong */
  int32_t volume;       /* 0..64 */
  int32_t finetune;     /* -128..127 */
  int32_t panning;      /* 0..255 */
  int32_t relative_note; /* semitones */
} qm_sample_info;

/* Each returns QM_ERROR_INVALID_ARGUMENT, leaving *info zeroed, for a null
   pointer or an index out of range; indices count from 0. */
QM_API qm_status qm_song_get_info(const qm_song* song, qm_song_info* info);
QM_API qm_status qm_song_get_instrument(const qm_song* song, int32_t instrument, qm_instrument_info* info);
QM_API qm_status qm_song_get_sample(const qm_song* song, int32_t instrument, int32_t sample, qm_sample_info* info);
/* Pattern number at an order position (0 .. 255), or -1 outside the song's orders. */
QM_API int32_t qm_song_order(const qm_song* song, int32_t position);
/* Rows of a pattern, or -1 outside 0 .. patterns - 1. */
QM_API int32_t qm_song_pattern_rows(const qm_song* song, int32_t pattern);

/* ---- Playing ---------------------------------------------------------- */

typedef struct qm_player qm_player; /* all the state of one playback */

/* Creates a player of song at rate frames per second, positioned at the
   start of the song, set to play it once. The player holds at most 256 KB,
   allocated here; rendering allocates nothing. */
QM_API qm_status qm_player_create(const qm_song* song, int32_t rate, qm_player** player);
/* NULL does nothing. */
QM_API void qm_player_free(qm_player* player);

/* Renders up to count stereo frames (2 x count values, left first) and
   returns the frames written: fewer than count only at the end of the
   playback, then 0. */
QM_API int32_t qm_player_render_s16(qm_player* player, int16_t* frames, int32_t count);
/* The same frames as 32-bit floats taken from the mix before the 16-bit
   conversion (full scale is 32768.0, values beyond it are not clipped). */
QM_API int32_t qm_player_render_f32(qm_player* player, float* frames, int32_t count);
/* Frames the player mixes at a time (about 20 ms; 884 at 44,100 Hz). Calls
   of qm_player_render_s16 that ask for whole multiples of it, from the start,
   skip a copy; any count gives the same bytes. 0 for NULL. */
QM_API int32_t qm_player_block_frames(const qm_player* player);

/* How many times the song is played again after its first pass: 0 plays it
   once (the default), n plays n more passes, -1 plays forever. A pass ends
   at the row where the song comes back to a row it has already played. */
QM_API qm_status qm_player_set_repeat_count(qm_player* player, int32_t count);
/* Starts over at an order position (row 0, the song's initial speed, tempo
   and volume, channels silent), as a fresh player would at that position.
   The frame count starts again from 0. */
QM_API qm_status qm_player_restart(qm_player* player, int32_t order);
/* Goes on at an order position from its row 0 with the next frame,
   keeping the channels sounding, as a position jump in the song would. */
QM_API qm_status qm_player_jump(qm_player* player, int32_t order);

/* Where a playback stands. */
typedef struct qm_position {
  int32_t order; /* order position of the row being played */
  int32_t row;   /* row being played */
  int32_t tick;  /* tick of the row (0 = the row's first tick) */
  int32_t speed; /* ticks per row */
  int32_t bpm;   /* tempo */
  int32_t pass;  /* 0 in the first pass, counting up with every repeat */
  uint64_t frame; /* frames rendered since the start */
  int32_t ended;  /* 1 once the playback has ended */
  int32_t end_order; /* a playback that ended where the song came back to a row */
  int32_t end_row;   /* it played: that order position and row; otherwise -1 */
} qm_position;

/* The position after the frames rendered so far (order, row and tick are
   those of the last tick mixed, at most one 20 ms block ahead of frame). */
QM_API qm_status qm_player_get_position(const qm_player* player, qm_position* position);

/* One row tick, reported while it is mixed. */
typedef struct qm_row_event {
  uint64_t frame; /* output frame where the row starts, from the start */
  int32_t order;
  int32_t row;
  int32_t speed; /* ticks per row after the row's effects */
  int32_t bpm;   /* tempo after the row's effects */
  int32_t pass;
} qm_row_event;
typedef void (*qm_row_callback)(void* user, const qm_row_event* event);
/* Calls callback for every row tick from now on (NULL: none). It runs
   inside a render call, on the rendering thread; it must not call back
   into the same player. */
QM_API qm_status qm_player_set_row_callback(qm_player* player, qm_row_callback callback, void* user);

/* Shaping of the output. The defaults (0 dB, 100 %) leave the engine's
   bytes untouched. Gain is limited to -60 .. +24 dB; separation 0 is mono
   (both channels carry the mid signal), 100 the song as mixed, up to 200. */
QM_API qm_status qm_player_set_gain(qm_player* player, double decibels);
QM_API qm_status qm_player_set_stereo_separation(qm_player* player, int32_t percent);

/* Frames of one playback of song from order `start` with the repeat
   count given, found by running the replayer without mixing; *frames is
   what a player with the same settings renders. Songs that never come back
   to a row they played are measured up to max_frames (then *ended is 0). */
QM_API qm_status qm_song_measure(const qm_song* song, int32_t rate, int32_t start, int32_t repeat_count,
                          uint64_t max_frames, uint64_t* frames, int32_t* ended);

#ifdef __cplusplus
}
#endif

#endif /* QUILLMERE_MUSIC_H */
