// wm_announce.cpp: puts a window manager's announcement on the root window
// (_NET_SUPPORTING_WM_CHECK) without running one, and keeps its connection
// open so that the server keeps what it set.
//
//   wm_announce self    the root names a window of ours that names itself,
//                       as a live window manager's does; nothing answers
//                       the requests sent to it
//   wm_announce stale   the root names a window that does not exist, as a
//                       window manager that has quit may leave behind
// Prints "ready" once the property is set, then waits until it is killed.
#include <X11/Xatom.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstring>
#include <unistd.h>

namespace {

// An id in the range of clients that never connected to this server.
constexpr Window MISSING_WINDOW = 0x7ff0001;

void announce(Display* dpy, Window on, Atom check, Window named) {
  XChangeProperty(dpy, on, check, XA_WINDOW, 32, PropModeReplace, reinterpret_cast<unsigned char*>(&named), 1);
}

}  // namespace

int main(int argc, char** argv) {
  const bool self = argc == 2 && std::strcmp(argv[1], "self") == 0;
  if (argc != 2 || (!self && std::strcmp(argv[1], "stale") != 0)) {
    std::fprintf(stderr, "usage: wm_announce self|stale\n");
    return 2;
  }
  Display* dpy = XOpenDisplay(nullptr);
  if (!dpy) {
    std::fprintf(stderr, "wm_announce: cannot open the display\n");
    return 1;
  }
  const Window root = DefaultRootWindow(dpy);
  const Atom check = XInternAtom(dpy, "_NET_SUPPORTING_WM_CHECK", False);
  Window named = MISSING_WINDOW;
  if (self) {
    named = XCreateSimpleWindow(dpy, root, -1, -1, 1, 1, 0, 0, 0);
    announce(dpy, named, check, named);
  }
  announce(dpy, root, check, named);
  XSync(dpy, False);
  std::printf("ready\n");
  std::fflush(stdout);
  for (;;) pause();
}
