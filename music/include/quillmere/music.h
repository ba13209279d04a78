/* quillmere/music.h: the Quillmere XM music engine as a C library.

   What it owns: loading XM (Extended Module) songs from a path, from memory
   or from read/seek/tell callbacks, and playing them into a caller's buffer:
   16-bit or 32-bit float stereo at any rate from QM_MIN_RATE to QM_MAX_RATE,
   exact to the bit on every machine. A player seeks with its whole state,
   counts the passes of a looping song, reports every row, and mixes with
   per-channel mute, solo and volume, levels, gain, separation and a fade.
   It opens no device and starts no thread.

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

   A game's loop: start a section, mute a channel, loop forever, hear when
   the song wraps (examples/game_loop.c is the whole program):

       static void on_row(void* user, const qm_row_event* e) {
         if (e->wrapped) printf("pass %d starts at %.2f s\n", e->pass, e->frame / 44100.0);
       }
       qm_player_seek(player, 4, 16);            // order 4, row 16, as played from the start
       qm_player_set_channel_mute(player, 2, 1); // channel 2 (from 0) silent
       qm_player_set_repeat_count(player, -1);   // forever
       qm_player_set_row_callback(player, on_row, NULL);

   Threads: a loaded song never changes; any number of players on any
   number of threads may share it, and it is freed after its last player.
   Each player is used by one thread at a time (every qm_player_ call, the
   row callback included, runs on that thread); players share no mutable
   state, so players on different threads need no locking. Nothing in this
   library starts a thread, locks, or keeps global state; every function is
   reentrant.

   The row callback runs inside qm_player_render_s16/_f32 on the rendering
   thread. It may call any qm_player_ function on its own player except the
   two render calls (which then return 0 and render nothing) and
   qm_player_free (never). qm_player_jump, qm_player_seek,
   qm_player_seek_frame and qm_player_restart made from it take effect at the
   next row tick (see each); everything else takes effect as it does outside.

   Lifetimes: a song outlives its players. Strings the library returns are
   constant or live in the song until qm_song_free. Buffers and structs the
   caller passes are used only during the call (the io callbacks and their
   user pointer only during the load; the row callback's user pointer until
   the callback is replaced or the player freed).

   Failures: every call that can fail returns a qm_status; a call that
   returns an error changes nothing (out-parameters are zeroed or NULL, as
   each says). NULL handles are refused with QM_ERROR_INVALID_ARGUMENT, or
   ignored by the calls that return no status.

   Structs that grow: each struct the library fills starts with `size`. The
   library fills a caller's struct up to `size` bytes (0 stands for the
   layout of this header's first release of the struct, which is the one
   below) and sets `size` to the bytes it filled, so a struct may gain fields
   at its end in later versions without breaking programs built against this
   header: zero the struct, or set `size` to sizeof, before the call. A
   struct the library hands to a callback carries its own size; a struct the
   caller fills for the library (qm_load_options) gets its size from its
   init function.

   Output: the bytes a player renders depend only on the song, the rate and
   the player's settings (and, after a change of a setting or a seek, on the
   frame where it was made), never on how many frames each call asks for.
   Every function is safe on any file: a damaged file is refused with a
   reason or loaded with warnings that say what was repaired.

   Costs: loading reads the file once and allocates the song as one block; a
   player is one allocation (qm_player_create); rendering allocates nothing
   and costs time in proportion to the frames and the voices sounding;
   seeking and measuring run the replayer (and for a seek the voices)
   without mixing, a small share of rendering the same frames (see each;
   bench/seek in the sources measures them). */
#ifndef QUILLMERE_MUSIC_H
#define QUILLMERE_MUSIC_H

#include <stddef.h>
#include <stdint.h>

#include "quillmere/music_version.h"

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

/* ---- Version ---------------------------------------------------------- */

/* QM_VERSION_MAJOR, _MINOR, _PATCH and QM_VERSION_STRING come from
   quillmere/music_version.h. A version as one comparable number: */
#define QM_MAKE_VERSION(major, minor, patch) ((major) * 1000000 + (minor) * 1000 + (patch))
#define QM_VERSION QM_MAKE_VERSION(QM_VERSION_MAJOR, QM_VERSION_MINOR, QM_VERSION_PATCH)

/* The version of the library running, which may be newer than the header a
   program was built with: its text ("1.0.0") and its QM_MAKE_VERSION number.
   Any thread; constant. */
QM_API const char* qm_version(void);
QM_API uint32_t qm_version_number(void);

/* ---- Statuses and limits ---------------------------------------------- */

/* Output rates a player accepts, frames per second. */
#define QM_MIN_RATE 1000
#define QM_MAX_RATE 384000
/* Channels a song can have; channel numbers run from 0 to its count - 1. */
#define QM_MAX_CHANNELS 32

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

/* Names a status in a few words (the texts above); "unknown status" for any
   other value. Never NULL; constant. Any thread. */
QM_API const char* qm_status_text(qm_status status);

/* ---- Loading ---------------------------------------------------------- */

typedef struct qm_song qm_song; /* a loaded song, immutable */

/* Why a load failed: the status and one sentence naming what was wrong,
   such as "instrument 3 has 300 samples; its keymap names at most 256, so
   at most 256 are supported". */
typedef struct qm_load_error {
  qm_status status;
  char detail[QM_TEXT_CAPACITY]; /* "" when there is nothing to add to the status */
} qm_load_error;

/* Read, seek and tell over any byte source; user is handed to each. The
   loader calls them only from inside the load call, on its thread, and never
   after it returns; it reads the source twice (a source that changes in
   between is refused with QM_ERROR_READ, never read out of bounds). */
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

/* Loading takes every XM file the common trackers write: versions 1.02 and
   1.03 (their own layout) and 1.04, up to 256 samples per instrument (as
   many as its keymap names) and 4,000 in a song, samples stored as 8- or
   16-bit deltas or packed as 4-bit deltas (decoded here). QM_LOAD_STRICT
   takes only what the format's first tracker writes: version 1.04 and
   later, at most 16 samples per instrument, no packed samples; anything else
   is refused as QM_ERROR_UNSUPPORTED with its reason. */
#define QM_LOAD_STRICT 0x1u

/* The most memory a loaded song takes unless the options say otherwise:
   1 GiB. */
#define QM_DEFAULT_MAX_SONG_BYTES ((uint64_t)1 << 30)

/* Options of a load. Later versions of the library add fields at the end;
   size tells the library which fields the caller knows. Fill it with
   qm_load_options_init, then set the fields you want. */
typedef struct qm_load_options {
  uint32_t size;      /* sizeof(qm_load_options) as the caller was built with */
  uint32_t flags;     /* QM_LOAD_* bits; 0 takes every file described above */
  uint64_t max_bytes; /* most bytes the song may take in memory; 0: QM_DEFAULT_MAX_SONG_BYTES.
                         A larger song is refused with QM_ERROR_OUT_OF_MEMORY and its size. */
} qm_load_options;

/* Sets *options to the defaults (every field 0) and its size. NULL does
   nothing. */
QM_API void qm_load_options_init(qm_load_options* options);

/* Loads a song from a file, from memory or from callbacks.
   - path: a file, or a pipe or socket (read whole into memory first, up to
     max_bytes); a directory or a device is refused with
     QM_ERROR_CANNOT_OPEN. data, size: bytes that stay valid and unchanged
     during the call only (the song keeps no pointer to them). io, user: as
     qm_io says.
   - options: NULL for the defaults. QM_ERROR_INVALID_ARGUMENT for a size
     below sizeof(qm_load_options) of this header, for fields past those this
     library knows that are not 0, and for unknown flags.
   - song: set to the new song on QM_OK, to NULL otherwise; free it with
     qm_song_free. error: may be NULL; otherwise filled on every return
     (QM_OK with an empty detail).
   Result: QM_OK, or the reason of the refusal: QM_ERROR_INVALID_ARGUMENT (a
   null pointer, bad options, a source without read, seek or tell),
   QM_ERROR_CANNOT_OPEN, QM_ERROR_READ, QM_ERROR_NOT_XM (also an empty
   file), QM_ERROR_HEADER_INCOMPLETE, QM_ERROR_UNSUPPORTED,
   QM_ERROR_OUT_OF_MEMORY. A damaged file that still loads carries warnings.
   Threads: any; loads share no state and may run at once.
   Cost: two passes over the file (the second reads the sample data), one
   allocation of the song's size plus about 40 KB released before the
   return; the song takes about what the file holds, 16-bit, plus its
   patterns at 5 bytes per cell. */
QM_API qm_status qm_song_load_file_with(const char* path, const qm_load_options* options, qm_song** song,
                                        qm_load_error* error);
QM_API qm_status qm_song_load_memory_with(const void* data, size_t size, const qm_load_options* options,
                                          qm_song** song, qm_load_error* error);
QM_API qm_status qm_song_load_io_with(const qm_io* io, void* user, const qm_load_options* options,
                                      qm_song** song, qm_load_error* error);
/* The same with the default options (and, for the first two, no error). */
QM_API qm_status qm_song_load_file(const char* path, qm_song** song);
QM_API qm_status qm_song_load_memory(const void* data, size_t size, qm_song** song);
QM_API qm_status qm_song_load_file_ex(const char* path, qm_song** song, qm_load_error* error);
QM_API qm_status qm_song_load_memory_ex(const void* data, size_t size, qm_song** song, qm_load_error* error);
QM_API qm_status qm_song_load_io(const qm_io* io, void* user, qm_song** song, qm_load_error* error);
/* Frees a song and everything it holds (one free); NULL does nothing. Free
   its players first: they read it until they are freed. Every pointer the
   song handed out (names, warning texts) ends with it. */
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

/* The song's warnings: at most 17, the first 16 repairs and, when there
   were more, one saying how many are not listed. 0 for NULL. */
QM_API int32_t qm_song_warning_count(const qm_song* song);
/* 0 for an index outside 0 .. count - 1. */
QM_API qm_warning_kind qm_song_warning_kind(const qm_song* song, int32_t index);
/* One sentence, such as "pattern 3 ends after row 12 of 64"; "" outside the
   range. The text lives as long as the song. */
QM_API const char* qm_song_warning_text(const qm_song* song, int32_t index);

/* ---- What a song holds ------------------------------------------------ */

/* Every call of this section only reads the song: any thread, at any time
   between the load and qm_song_free, also while players render it; each
   costs a few copies, no allocation. */

typedef struct qm_song_info {
  char name[QM_NAME_CAPACITY];    /* song name, printable ASCII, trailing spaces removed */
  char tracker[QM_NAME_CAPACITY]; /* name of the program that wrote the file */
  int32_t version;                /* format version: 0x0102, 0x0103, 0x0104 (1.04), or a newer one */
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
  int32_t samples; /* 0..256 (0..16 from a strict load); qm_song_get_sample takes 0 .. samples - 1 */
} qm_instrument_info;

typedef struct qm_sample_info {
  char name[QM_NAME_CAPACITY];
  uint32_t length;      /* frames, as loaded (16-bit; packed samples decoded) */
  uint32_t loop_start;  /* frames */
  uint32_t loop_length; /* frames; equal to length without a loop */
  int32_t loop_type;    /* 0 none, 1 forward, 2 ping-pong */
  int32_t volume;       /* 0..64 */
  int32_t finetune;     /* -128..127 */
  int32_t panning;      /* 0..255 */
  int32_t relative_note; /* semitones */
} qm_sample_info;

/* Fill *info (names copied into it). Each returns QM_ERROR_INVALID_ARGUMENT,
   leaving *info zeroed, for a null pointer or an index out of range;
   indices count from 0. */
QM_API qm_status qm_song_get_info(const qm_song* song, qm_song_info* info);
QM_API qm_status qm_song_get_instrument(const qm_song* song, int32_t instrument, qm_instrument_info* info);
QM_API qm_status qm_song_get_sample(const qm_song* song, int32_t instrument, int32_t sample, qm_sample_info* info);
/* Pattern number at an order position (0 .. 255), or -1 outside the song's orders. */
QM_API int32_t qm_song_order(const qm_song* song, int32_t position);
/* Rows of a pattern, or -1 outside 0 .. patterns - 1. */
QM_API int32_t qm_song_pattern_rows(const qm_song* song, int32_t pattern);

/* One pattern cell as the file stores it, for showing a pattern as
   trackers do. */
typedef struct qm_cell {
  uint8_t note;       /* 0 none, 1..96 C-0 .. B-7, 97 key-off; other values as stored */
  uint8_t instrument; /* 0 none, 1..128 */
  uint8_t volume;     /* volume column: 0 none, 0x10..0x50 volume 0..64, 0x60..0xFF a command and its value */
  uint8_t effect;     /* 0..35: the effect's digit or letter in base 36 (0-9, then A-Z) */
  uint8_t param;      /* the effect's parameter */
} qm_cell;

/* Copies the cells of one row of a pattern, channel 0 first, into
   cells[0 .. count - 1]: the song's channels, and empty cells for count
   beyond them. QM_ERROR_INVALID_ARGUMENT, changing nothing, for a null
   pointer, count < 0, or a pattern or row out of range. Any thread; a copy. */
QM_API qm_status qm_song_get_row(const qm_song* song, int32_t pattern, int32_t row, qm_cell* cells, int32_t count);

/* ---- Playing ---------------------------------------------------------- */

typedef struct qm_player qm_player; /* all the state of one playback */

/* Creates a player of song at rate frames per second (QM_MIN_RATE ..
   QM_MAX_RATE), positioned at the start of the song, set to play it once
   with every control at its default. Sets *player to it (QM_OK) or to NULL.
   The player holds at most 256 KB, allocated here in one piece; nothing it
   does later allocates. The song must outlive the player.
   QM_ERROR_INVALID_ARGUMENT: a NULL pointer or a rate out of range;
   QM_ERROR_OUT_OF_MEMORY. */
QM_API qm_status qm_player_create(const qm_song* song, int32_t rate, qm_player** player);
/* Frees a player; NULL does nothing. Never from its own row callback. */
QM_API void qm_player_free(qm_player* player);

/* Renders up to count stereo frames (2 x count values, left first) into
   frames and returns the frames written: fewer than count only where the
   playback ends (then 0 on every later call, until a seek or restart).
   Returns 0 for a NULL pointer, count <= 0, and inside the row callback.
   Cost: mixing every sounding voice for every frame; the song is mixed in
   blocks of qm_player_block_frames, so a call may mix up to
   one block ahead of what it returns, and the row callback runs for the rows
   of that block. A call that ends on a row starting exactly at a block's end
   mixes the next block, so that an end of the playback there is known:
   qm_player_get_position reports `ended` after the call that rendered the
   last frame, never one call later. */
QM_API int32_t qm_player_render_s16(qm_player* player, int16_t* frames, int32_t count);
/* The same frames as 32-bit floats taken from the mix before the 16-bit
   conversion, not clipped; full scale is 32768.0 unless
   qm_player_set_float_scale says otherwise. Calls of both kinds may take
   turns on one player. */
QM_API int32_t qm_player_render_f32(qm_player* player, float* frames, int32_t count);

/* Full scale of qm_player_render_f32. */
typedef enum qm_float_scale {
  QM_FLOAT_SCALE_PCM16 = 0, /* +-32768.0, the default: the 16-bit output's values */
  QM_FLOAT_SCALE_UNIT = 1   /* +-1.0: the same values divided by 32768 (exactly, a power of two) */
} qm_float_scale;
/* Sets the full scale of the floats qm_player_render_f32 hands out from now
   on (the mix itself does not change). QM_ERROR_INVALID_ARGUMENT: NULL or
   another value. */
QM_API qm_status qm_player_set_float_scale(qm_player* player, qm_float_scale scale);

/* Frames the player mixes at a time (about 20 ms; 884 at 44,100 Hz). Calls
   of qm_player_render_s16 that ask for whole multiples of it, from the start,
   skip a copy; any count gives the same bytes. 0 for NULL. */
QM_API int32_t qm_player_block_frames(const qm_player* player);

/* How the mixer reads a sample between its frames. */
typedef enum qm_interpolation {
  QM_INTERPOLATION_LINEAR = 0, /* the default: straight lines between frames, the exact reference mix */
  QM_INTERPOLATION_CUBIC = 1,  /* a 4-point cubic (Catmull-Rom) through frames i - 1 .. i + 2 */
  QM_INTERPOLATION_SINC8 = 2   /* an 8-tap windowed sinc (Lanczos, 4 lobes, 2048 phases): least aliasing */
} qm_interpolation;
/* Sets the interpolation of the frames mixed from now on: after the block
   being handed out, or, from the row callback, from that row on. Every
   machine and build gives the same bytes for each mode, whatever the render
   calls' sizes; cubic and sinc read past a loop's end where playback goes
   on (wrapped or turned round), and before a loop's start the sample's own
   frames until the loop has wrapped once. Positions, seeking and lengths do
   not depend on it. Cost of a song's render against linear: about 1.5x for
   cubic, 1.6x for sinc (x86-64). Thread: the player's.
   QM_ERROR_INVALID_ARGUMENT: NULL or another value, changing nothing. */
QM_API qm_status qm_player_set_interpolation(qm_player* player, qm_interpolation mode);
/* The interpolation set; QM_INTERPOLATION_LINEAR for NULL. */
QM_API qm_interpolation qm_player_get_interpolation(const qm_player* player);

/* ---- Passes ----------------------------------------------------------- */

/* How many times the song is played again after its first pass: 0 plays it
   once (the default), n plays n more passes, -1 plays forever. A pass ends
   at the row where the song comes back to a row it has already played (with
   the same pattern-loop state); the passes are counted with any count, and
   the row that starts a pass is reported with `wrapped` set. Takes effect
   from the next pass end; a count set after some frames counts the passes
   from now, and a later seek places the player as a playback from the start
   with this count would stand. After the end of a playback it changes
   nothing until a seek or restart. QM_ERROR_INVALID_ARGUMENT: NULL or a
   count below -1. */
QM_API qm_status qm_player_set_repeat_count(qm_player* player, int32_t count);

/* ---- Position and seeking --------------------------------------------- */

/* Where a playback stands. The frame count is the position in the song's
   time: frames from the start of the song (order 0), or from the order a
   qm_player_restart started at. */
typedef struct qm_position {
  uint32_t size;       /* see "Structs that grow" */
  int32_t order;       /* order position of the row last mixed */
  int32_t row;         /* that row */
  int32_t tick;        /* tick of the row last mixed (0 = the row's first tick) */
  int32_t speed;       /* ticks per row */
  int32_t bpm;         /* tempo */
  int32_t pass;        /* passes completed: 0 in the first pass, also when playing forever */
  uint64_t frame;      /* the frame handed out next */
  double seconds;      /* frame / rate */
  uint64_t pass_frame; /* frame where the current pass began (0 in the first pass) */
  int32_t ended;       /* 1 once every frame of the playback is handed out */
  int32_t end_order;   /* a playback that ended where the song came back to a row */
  int32_t end_row;     /* it played: that order position and row; otherwise -1 */
} qm_position;

/* Fills *position (see "Structs that grow"). order, row and tick are those
   of the last tick mixed, at most one block ahead of frame.
   QM_ERROR_INVALID_ARGUMENT: a NULL pointer or a size below the first
   layout's. Cost: a copy. */
QM_API qm_status qm_player_get_position(const qm_player* player, qm_position* position);

/* Seeks to a frame of the playback from the start of the song (order 0):
   everything rendered afterwards, and every row reported from that frame on,
   equals to the byte what a player that rendered from the start with the
   same settings renders from there (speed, tempo, global volume, effect
   memories, envelopes, voices with their sample positions and gain ramps,
   the passes, the block grid). A frame at or past the end of the playback
   leaves the player ended there (position.frame is the end); a seek also
   brings an ended player back. Gain and separation stand at their values
   (no ramp), a fade is dropped, the levels are those of the block the seek
   mixes. From the row callback: takes effect where the next row would
   start, after the frames before it.
   Cost: the replayer and the voices advance without mixing from the start,
   or from the player's own position when that lies before frame on the same
   grid: a sixth to a quarter of the time rendering the frames skipped
   takes (bench/seek), plus one block mixed.
   QM_ERROR_INVALID_ARGUMENT: NULL, or a frame beyond 24 hours at the rate. */
QM_API qm_status qm_player_seek_frame(qm_player* player, uint64_t frame);
/* Seeks to the frame where the playback from the start first plays `row`
   of order position `order`, as qm_player_seek_frame does. A row the song
   never reaches from its start (a second tune behind a position jump, say)
   is played from the song's initial state instead, as qm_player_restart
   would, from that row; the frame count then starts from 0.
   Cost: the replayer runs alone to find the row (2 to 10 % of rendering up
   to it), then as qm_player_seek_frame.
   QM_ERROR_INVALID_ARGUMENT: NULL, an order outside the song's orders or a
   row outside the pattern there. */
QM_API qm_status qm_player_seek(qm_player* player, int32_t order, int32_t row);
/* Starts over at an order position (row 0, the song's initial speed, tempo
   and volume, channels silent), as a fresh player would at that position;
   the frame count starts again from 0 and a fade is dropped; the other
   settings stay. From the row callback: takes effect where the next row
   would start. QM_ERROR_INVALID_ARGUMENT: NULL or an order outside the song. */
QM_API qm_status qm_player_restart(qm_player* player, int32_t order);
/* Goes on at an order position from its row 0, keeping the channels
   sounding, as a position jump in the song would; the frame count goes on.
   Called between render calls it is heard with the next frame (the frames
   mixed ahead are dropped; rows already reported for them are not heard).
   From the row callback it is the row tick after the current row that plays
   there: no frame is dropped and row events' frames keep rising. The pass
   record starts again there, so a game that loops a section with jumps does
   not end the playback. After the end of a playback it plays on from there.
   QM_ERROR_INVALID_ARGUMENT: NULL or an order outside the song. */
QM_API qm_status qm_player_jump(qm_player* player, int32_t order);

/* One row tick, reported while it is mixed. */
typedef struct qm_row_event {
  uint32_t size;  /* sizeof(qm_row_event) of the library */
  uint64_t frame; /* frame where the row starts, in the song's time (see qm_position) */
  int32_t order;
  int32_t row;
  int32_t speed;   /* ticks per row after the row's effects */
  int32_t bpm;     /* tempo after the row's effects */
  int32_t pass;    /* passes completed, as qm_position.pass */
  int32_t wrapped; /* 1 on the row where a pass begins: the song came back to a row it had played */
} qm_row_event;
/* event is valid only during the call. */
typedef void (*qm_row_callback)(void* user, const qm_row_event* event);
/* Calls callback for every row tick mixed from now on (NULL: none), with
   user. It runs inside a render call, on the rendering thread, up to one
   block ahead of the frames handed out; what it may call is said at the top
   of this header. After a seek, rows that start before the target frame are
   not reported, nor rows at or after the end of a fade. user must stay valid
   while the callback is set. QM_ERROR_INVALID_ARGUMENT: NULL player. */
QM_API qm_status qm_player_set_row_callback(qm_player* player, qm_row_callback callback, void* user);

/* ---- Mixing controls -------------------------------------------------- */

/* The controls below shape the mix from the next block mixed (at most one
   block, about 20 ms, after the frames already handed out). Their defaults
   leave the engine's bytes untouched, and setting a control to its default
   again changes nothing. Each refuses NULL and values out of range with
   QM_ERROR_INVALID_ARGUMENT, changing nothing. Cost: a few operations per
   call; while gain or separation is not its default, each block costs one
   more pass over its frames. */

/* Gain of the whole mix, -60 .. +24 dB (default 0). A change moves linearly
   across the next block, without a step; set before the first block of a
   playback is mixed (after create or restart) it holds from its first frame. */
QM_API qm_status qm_player_set_gain(qm_player* player, double decibels);
/* Stereo separation, 0 (mono: both sides carry the mid signal) .. 200
   percent (default 100, the song as mixed). Moves as the gain does. */
QM_API qm_status qm_player_set_stereo_separation(qm_player* player, int32_t percent);

/* Per-channel controls; channel counts from 0 to the song's channels - 1.
   They scale a channel's volume where the replayer turns it into the gains
   of the channel's voices, so each change moves through the mixer's gain
   ramp (128 frames at 44,100 Hz) without a click, and a silenced channel
   keeps its place in its samples. The factor a channel plays with is 0 when
   it is muted, or when any channel is soloed and it is not; else its volume.
   A seek afterwards positions the player as if these had always been set. */
/* muted: 1 silences the channel, 0 (default) lets it sound. */
QM_API qm_status qm_player_set_channel_mute(qm_player* player, int32_t channel, int32_t muted);
/* soloed: 1 adds the channel to the soloed ones, 0 (default) removes it. */
QM_API qm_status qm_player_set_channel_solo(qm_player* player, int32_t channel, int32_t soloed);
/* volume: 0.0 .. 1.0 (default 1.0, as the song plays it), linear. */
QM_API qm_status qm_player_set_channel_volume(qm_player* player, int32_t channel, float volume);

/* Channel levels for meters. While enabled (default off, as measuring costs
   a pass over the sample frames each voice reads), each block mixed measures
   each channel's peak, 1.0 = full scale, before the gain, separation and
   fade of the whole mix: for each of the channel's voices (a note, and the
   one before it while that fades out) the largest sample value it read in
   the block times the largest gain it applied, summed. The interpolation
   between sample points never exceeds that, so a level is the channel's
   true peak or a little above. */
QM_API qm_status qm_player_set_metering(qm_player* player, int32_t enabled);
/* Copies the levels of the last block mixed into levels[0 .. count - 1]
   (channel i at i; 0 for channels the song lacks, for count beyond
   QM_MAX_CHANNELS, and while metering is off). From the row callback: the
   block before the one being mixed. QM_ERROR_INVALID_ARGUMENT: a NULL
   pointer or count < 0. */
QM_API qm_status qm_player_get_channel_levels(const qm_player* player, float* levels, int32_t count);

/* Fades the playback out: it ends at end_frame (a frame of the song's time,
   see qm_position), reaching silence there, and the `frames` frames before
   it fall linearly: frame end_frame - k (k = 1 .. frames) is scaled by
   (k - 1) / (frames - 1), so the last frame is silent. A fade longer than
   the playback before end_frame starts part of the way down. The fade
   applies to the frames not yet handed out (the block being handed out too,
   unless it already holds a fade); a playback that ends earlier by itself
   still ends there. frames 0 removes the fade. A seek or restart drops it.
   A fade over the last S seconds of a playback of F frames:
   qm_player_fade_out(player, F, S * rate). */
QM_API qm_status qm_player_fade_out(qm_player* player, uint64_t end_frame, uint64_t frames);

/* ---- Measuring -------------------------------------------------------- */

/* What qm_song_measure_ex found. */
typedef struct qm_measure {
  uint32_t size;     /* see "Structs that grow" */
  uint64_t frames;   /* frames from the start point to where the measure stopped */
  double seconds;    /* frames / rate */
  int32_t ended;     /* 1: a player with these settings ends its playback at `frames` */
  int32_t passes;    /* passes completed in `frames` */
  int32_t end_order; /* where the last pass ended: the order position and row */
  int32_t end_row;   /* the song came back to; -1 when no pass ended */
} qm_measure;

/* Stop where the first pass ends, whatever the repeat count. */
#define QM_MEASURE_FIRST_PASS 1u

/* Measures a playback of song at rate with the repeat count given, from
   where qm_player_seek(player, start, 0) puts a player (so from frame 0 for
   start 0), by running the replayer without mixing: until the playback ends,
   until the first pass ends when flags has QM_MEASURE_FIRST_PASS, or until
   max_frames frames from there. A playback that ends exactly at max_frames
   counts as ended. *result is what such a player renders from there (see
   "Structs that grow").
   Cost: 2 to 10 % of rendering the frames measured (a 3-minute song in a few
   milliseconds); without QM_MEASURE_FIRST_PASS a song played forever (-1)
   is measured up to max_frames, so keep that small.
   QM_ERROR_INVALID_ARGUMENT: a NULL pointer, a rate out of range, an order
   outside the song, a count below -1, or an unknown flag;
   QM_ERROR_OUT_OF_MEMORY. Any thread; allocates one player for the call. */
QM_API qm_status qm_song_measure_ex(const qm_song* song, int32_t rate, int32_t start, int32_t repeat_count,
                                    uint64_t max_frames, uint32_t flags, qm_measure* result);
/* The same without flags: *frames is result.frames and *ended (which may
   be NULL) result.ended. */
QM_API qm_status qm_song_measure(const qm_song* song, int32_t rate, int32_t start, int32_t repeat_count,
                                 uint64_t max_frames, uint64_t* frames, int32_t* ended);

#ifdef __cplusplus
}
#endif

#endif /* QUILLMERE_MUSIC_H */
