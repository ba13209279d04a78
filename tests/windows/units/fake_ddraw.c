/* fake_ddraw.c: the stand-in for "ddraw.dll" (see fake_ddraw.h), built as
   a DLL of its own. Methods the presenter does not call are left out of the
   tables: a call to one of them fails the test by a crash. */
#define CINTERFACE
#include <windows.h>
#include <ddraw.h>
#include <string.h>

#include "fake_ddraw.h"

static FakeDirectDraw state;

static void note(const char* call) {
  strncat(state.log, call, FAKE_LOG_CAPACITY - strlen(state.log) - 2);
  strcat(state.log, " ");
}

/* ---- the surfaces ---- */
static ULONG WINAPI surface_release(IDirectDrawSurface* s) { (void)s; note("Release(surface)"); return 0; }
static HRESULT WINAPI get_attached(IDirectDrawSurface* s, LPDDSCAPS caps, LPDIRECTDRAWSURFACE* back);
static HRESULT WINAPI get_pixel_format(IDirectDrawSurface* s, LPDDPIXELFORMAT format) {
  (void)s;
  note("GetPixelFormat");
  if (format->dwSize != sizeof(DDPIXELFORMAT)) return DDERR_INVALIDPARAMS;
  format->dwFlags = DDPF_RGB;
  format->dwRGBBitCount = state.bits;
  format->dwRBitMask = state.red;
  format->dwGBitMask = state.green;
  format->dwBBitMask = state.blue;
  return DD_OK;
}
static HRESULT WINAPI restore(IDirectDrawSurface* s) { (void)s; note("Restore"); return DD_OK; }
static HRESULT WINAPI lock(IDirectDrawSurface* s, LPRECT rect, LPDDSURFACEDESC desc, DWORD flags, HANDLE event) {
  (void)s; (void)event;
  note("Lock");
  state.desc_size = desc->dwSize;
  if (rect != NULL || flags != DDLOCK_WAIT) return DDERR_INVALIDPARAMS;
  desc->lPitch = state.pitch;
  desc->lpSurface = state.surface;
  return DD_OK;
}
static HRESULT WINAPI unlock(IDirectDrawSurface* s, LPVOID at) {
  (void)s;
  note(at == state.surface ? "Unlock" : "Unlock(wrong)");
  return DD_OK;
}
static HRESULT WINAPI flip(IDirectDrawSurface* s, LPDIRECTDRAWSURFACE target, DWORD flags) {
  (void)s;
  note(target == NULL && flags == DDFLIP_WAIT ? "Flip" : "Flip(wrong)");
  ++state.flips;
  return DD_OK;
}

static IDirectDrawSurfaceVtbl surface_table = {
    .Release = surface_release, .GetAttachedSurface = get_attached, .GetPixelFormat = get_pixel_format,
    .Restore = restore, .Lock = lock, .Unlock = unlock, .Flip = flip};
static IDirectDrawSurface primary = {&surface_table};
static IDirectDrawSurface back_buffer = {&surface_table};

static HRESULT WINAPI get_attached(IDirectDrawSurface* s, LPDDSCAPS caps, LPDIRECTDRAWSURFACE* back) {
  note(s == &primary && caps->dwCaps == DDSCAPS_BACKBUFFER ? "GetAttachedSurface" : "GetAttachedSurface(wrong)");
  *back = &back_buffer;
  return DD_OK;
}

/* ---- the DirectDraw object ---- */
static ULONG WINAPI draw_release(IDirectDraw* d) { (void)d; note("Release(ddraw)"); return 0; }
static HRESULT WINAPI set_cooperative_level(IDirectDraw* d, HWND window, DWORD flags) {
  (void)d;
  if (window == NULL) { note("SetCooperativeLevel(no window)"); return DDERR_INVALIDPARAMS; }
  note(flags == (DDSCL_EXCLUSIVE | DDSCL_FULLSCREEN) ? "SetCooperativeLevel(exclusive)"
       : flags == DDSCL_NORMAL                       ? "SetCooperativeLevel(normal)"
                                                     : "SetCooperativeLevel(wrong)");
  return DD_OK;
}
static HRESULT WINAPI set_display_mode(IDirectDraw* d, DWORD width, DWORD height, DWORD bits) {
  (void)d;
  char call[64];
  wsprintfA(call, "SetDisplayMode(%lux%lux%lu)", width, height, bits);
  note(call);
  const int slot = bits == 32 ? 0 : bits == 24 ? 1 : 2;
  return state.refuse_depths[slot] ? DDERR_INVALIDMODE : DD_OK;
}
static HRESULT WINAPI create_surface(IDirectDraw* d, LPDDSURFACEDESC desc, LPDIRECTDRAWSURFACE* surface,
                                     IUnknown* outer) {
  (void)d; (void)outer;
  note("CreateSurface");
  state.desc_size = desc->dwSize;
  state.back_buffer_count = desc->dwBackBufferCount;
  state.caps = desc->ddsCaps.dwCaps;
  if (desc->dwFlags != (DDSD_CAPS | DDSD_BACKBUFFERCOUNT)) return DDERR_INVALIDPARAMS;
  if (state.refuse_triple && desc->dwBackBufferCount == 2) return DDERR_OUTOFVIDEOMEMORY;
  *surface = &primary;
  return DD_OK;
}
static HRESULT WINAPI restore_display_mode(IDirectDraw* d) { (void)d; note("RestoreDisplayMode"); return DD_OK; }

static IDirectDrawVtbl draw_table = {
    .Release = draw_release, .SetCooperativeLevel = set_cooperative_level, .SetDisplayMode = set_display_mode,
    .CreateSurface = create_surface, .RestoreDisplayMode = restore_display_mode};
static IDirectDraw direct_draw = {&draw_table};

__declspec(dllexport) HRESULT WINAPI DirectDrawCreate(GUID* driver, LPDIRECTDRAW* object, IUnknown* outer) {
  note(driver == NULL && outer == NULL ? "DirectDrawCreate" : "DirectDrawCreate(wrong)");
  *object = &direct_draw;
  return DD_OK;
}

__declspec(dllexport) FakeDirectDraw* fake_ddraw_state(void) { return &state; }
