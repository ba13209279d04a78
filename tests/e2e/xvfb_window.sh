# Under a 1600 x 1200 Xvfb, --window shows the show in a window of twice the
# frame's size (1024 x 768) instead of over the screen, draws into it, and
# Esc ends it with 0.
source "$(dirname "$0")/lib.sh" "$@"
need xdotool
start_xvfb 1600x1200
make_data
start_show --window
wait_for_window
wait_for_frames
window=$(xdotool search --name Quillmere getwindowgeometry --shell | grep -E '^(WIDTH|HEIGHT)=' | head -n2 | cut -d= -f2 | paste -sd' ')
[ "$window" = "1024 768" ] || fail "--window: the window is $window, want 1024 768"
xdotool search --sync --name Quillmere key Escape
wait_for_exit 15
[ "$QM_STATUS" -eq 0 ] || fail "--window: Esc: status $QM_STATUS, want 0"
echo "ok: a 1024 x 768 window on a 1600 x 1200 screen; Esc ended the show with 0"
