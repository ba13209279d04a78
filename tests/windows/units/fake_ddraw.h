/* fake_ddraw.h: a stand-in for "ddraw.dll" that the presenter's tests load
   in its place. It offers DirectDrawCreate and the first IDirectDraw and
   IDirectDrawSurface interfaces, refuses what the test asks it to refuse,
   reports the pixel format and pitch the test sets, and writes the name of
   every call into a log the test reads. Thread: the test's. */
#ifndef FAKE_DDRAW_H
#define FAKE_DDRAW_H
#include <stdint.h>

#define FAKE_LOG_CAPACITY 4096
#define FAKE_SURFACE_BYTES (4096 * 400)

typedef struct FakeDirectDraw {
  /* Set by the test before the presenter opens. */
  int refuse_depths[3];       /* 32, 24, 16: 1 refuses SetDisplayMode at that depth */
  int refuse_triple;          /* 1: CreateSurface refuses two back buffers */
  uint32_t bits, red, green, blue; /* the pixel format GetPixelFormat reports */
  int32_t pitch;              /* bytes per surface row the lock reports */
  /* Written by the stand-in. */
  char log[FAKE_LOG_CAPACITY]; /* the calls, each followed by a space */
  uint32_t back_buffer_count; /* the last CreateSurface's back-buffer count */
  uint32_t caps;              /* the last CreateSurface's caps */
  uint32_t desc_size;         /* the last surface description's size, as passed */
  int flips;                  /* Flip calls */
  unsigned char surface[FAKE_SURFACE_BYTES]; /* the back buffer's memory */
} FakeDirectDraw;

/* The stand-in's state, exported by the DLL: the same in every caller. */
typedef FakeDirectDraw* (*FakeStateFunction)(void);
#endif
