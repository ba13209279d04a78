# Under Xvfb, a window manager's announcement on the root window with no
# window manager behind it: a live-looking one (the show asks for full-screen
# and nobody answers) and one naming a window that no longer exists (reading
# it raises an X error). Either way the show comes up over the whole screen,
# draws, and Esc ends it with 0.
source "$(dirname "$0")/lib.sh" "$@"
WM_ANNOUNCE=${6:-none}
[ -x "$WM_ANNOUNCE" ] || { echo "skipped: wm_announce was not built (no Xlib headers)"; exit 77; }
need xdotool
make_data

for kind in self stale; do
  rm -f "$WORK/display" "$WORK/announce"
  start_xvfb
  "$WM_ANNOUNCE" "$kind" >"$WORK/announce" 2>&1 &
  BACKGROUND+=($!)
  for _ in $(seq 100); do
    grep -q ready "$WORK/announce" && break
    sleep 0.1
  done
  grep -q ready "$WORK/announce" || fail "$kind: wm_announce did not start: $(cat "$WORK/announce")"

  start_show
  wait_for_window
  wait_for_frames
  screen=$(xdotool getdisplaygeometry)
  window=$(xdotool search --name Quillmere getwindowgeometry --shell | grep -E '^(WIDTH|HEIGHT)=' | head -n2 | cut -d= -f2 | paste -sd' ')
  [ "$window" = "$screen" ] || fail "$kind: the window is $window, the screen $screen"
  xdotool search --sync --name Quillmere key Escape
  wait_for_exit 15
  [ "$QM_STATUS" -eq 0 ] || fail "$kind: Esc: status $QM_STATUS, want 0"
  echo "ok: $kind announcement: the window covers the $screen screen; Esc ended the show with 0"
  for pid in "${BACKGROUND[@]}"; do kill "$pid" 2>/dev/null; done
  BACKGROUND=()
  sleep 0.2
done
