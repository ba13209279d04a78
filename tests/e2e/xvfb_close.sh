# Under Xvfb, a close request (WM_DELETE_WINDOW, as a window manager sends it)
# ends the show at once with status 0.
source "$(dirname "$0")/lib.sh" "$@"
[ -x "$WM_CLOSE" ] || { echo "skipped: wm_close was not built (no Xlib headers)"; exit 77; }
need xdotool
start_xvfb
make_data
start_show
wait_for_window
wait_for_frames
"$WM_CLOSE" "Quillmere" 10 || fail "could not send the close request"
sent=$(now_ms)
# Left alone, the show would run on for more than 20 s. Releasing the display
# takes a few hundred ms under Xvfb (SDL waits up to 100 ms for a window
# manager that is not there); loaded or sanitizer builds take seconds.
wait_for_exit 15
took=$(($(now_ms) - sent))
[ "$QM_STATUS" -eq 0 ] || fail "close: status $QM_STATUS, want 0"
[ "$took" -lt 10000 ] || fail "close: the show took $took ms to end"
echo "ok: the close request ended the show with 0 after $took ms"
