// wm_close.cpp: asks a window to close the way a window manager does, with a
// WM_PROTOCOLS / WM_DELETE_WINDOW client message (xdotool's windowclose
// destroys the window instead of asking).
//
//   wm_close NAME_PREFIX TIMEOUT_SECONDS
// Waits until a window whose WM_NAME starts with NAME_PREFIX exists, sends it
// the request and exits 0; exits 1 if no such window shows up in time.
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <unistd.h>

namespace {

// Windows come and go while the tree is walked (SDL makes short-lived helper
// windows at start-up); a request about a vanished window is ignored rather
// than ending the program the way Xlib's default handler does.
int ignore_x_error(Display*, XErrorEvent*) { return 0; }

// Depth-first search of the window tree for a WM_NAME starting with prefix.
Window find_named(Display* dpy, Window w, const char* prefix) {
  char* name = nullptr;
  if (XFetchName(dpy, w, &name) && name) {
    const bool match = std::strncmp(name, prefix, std::strlen(prefix)) == 0;
    XFree(name);
    if (match) return w;
  }
  Window root, parent, *children = nullptr;
  unsigned int n = 0;
  if (!XQueryTree(dpy, w, &root, &parent, &children, &n)) return 0;
  Window found = 0;
  for (unsigned int i = 0; i < n && !found; ++i) found = find_named(dpy, children[i], prefix);
  if (children) XFree(children);
  return found;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: wm_close NAME_PREFIX TIMEOUT_SECONDS\n");
    return 2;
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "wm_close: cannot open the display\n");
    return 2;
  }
  XSetErrorHandler(ignore_x_error);
  const int tries = std::atoi(argv[2]) * 20;
  Window target = 0;
  for (int i = 0; i < tries && !target; ++i) {
    target = find_named(dpy, DefaultRootWindow(dpy), argv[1]);
    if (!target) usleep(50000);
  }
  if (!target) {
    std::fprintf(stderr, "wm_close: no window named %s...\n", argv[1]);
    return 1;
  }
  XEvent ev;
  std::memset(&ev, 0, sizeof ev);
  ev.xclient.type = ClientMessage;
  ev.xclient.window = target;
  ev.xclient.message_type = XInternAtom(dpy, "WM_PROTOCOLS", False);
  ev.xclient.format = 32;
  ev.xclient.data.l[0] = static_cast<long>(XInternAtom(dpy, "WM_DELETE_WINDOW", False));
  ev.xclient.data.l[1] = CurrentTime;
  XSendEvent(dpy, target, False, NoEventMask, &ev);
  XSync(dpy, False);
  XCloseDisplay(dpy);
  return 0;
}
