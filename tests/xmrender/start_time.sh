# --start-time: the render from a time is the whole render from that frame
# on, whether the time is written as seconds or M:SS; a time at or past the
# end and --start with it are refused. A fade after a start (by order or by
# time) ends where the render does, silent on its last frame.
source "$(dirname "$0")/lib.sh" "$@" || exit 1
need python3

render() { # FILE ARGS...: a render that must succeed
  "$XMR" -q "$TYPING" -o "$@" 2>err || fail "rendering $*"
}
render full.raw
render from5.raw --start-time 5
render from5-mss.raw --start-time 0:05.000
cmp -s from5.raw from5-mss.raw || fail "--start-time 0:05.000 differs from --start-time 5"
cmp -s from5.raw <(tail -c +$((5 * 44100 * 4 + 1)) full.raw) || fail "--start-time 5 is not the render from frame 220500"
render from5-2s.raw --start-time 5 --seconds 2
cmp -s from5-2s.raw <(head -c $((2 * 44100 * 4)) from5.raw) || fail "--start-time 5 --seconds 2 is not 2 s of it"
render loops2.raw --loops 2
render loops2-from20.raw --loops 2 --start-time 20
cmp -s loops2-from20.raw <(tail -c +$((20 * 44100 * 4 + 1)) loops2.raw) ||
  fail "--loops 2 --start-time 20 is not the two passes from 20 s (the second pass)"

run "$TYPING" -o x.wav --start-time 0:17.184
expect 1 "xmrender: $TYPING: --start-time 17.184 s is at or past the end of the playback (17.183 s)" "past the end"
run "$TYPING" -o x.wav --start-time 17.18349206  # frame 757,792: the end itself
expect 1 "--start-time 17.183 s is at or past the end of the playback (17.183 s)" "a start at the last frame"
run "$TYPING" -o x.wav --start-time 17.18347  # frame 757,791: the last frame plays
expect 0 "wrote x.wav: 0.000 s (1 frames at 44100 Hz)" "a start one frame before the end"
rm x.wav
run "$TYPING" -o x.wav --start 1 --start-time 3
expect 2 "xmrender: --start and --start-time both say where to start; give one" "--start and --start-time"
run "$TYPING" -o x.wav --start-time 1:60
expect 2 "xmrender: --start-time: wants a time from 0 to a day (seconds, M:SS or H:MM:SS)" "--start-time 1:60"
run "$TYPING" --info --start-time 3
expect 2 "--start and --start-time go with a render" "--info --start-time"
expect_files . err out full.raw from5.raw from5-mss.raw from5-2s.raw loops2.raw loops2-from20.raw

render start2.raw --start 2
render start2-fade.raw --start 2 --fade 3
render from5-fade.raw --start-time 5 --fade 3
python3 - <<'PY' || fail "a fade after a start does not end with the render (above)"
import array, sys
def samples(name):
    return array.array("h", open(name, "rb").read())
def check(ok, what):
    if not ok:
        print(what, file=sys.stderr)
        sys.exit(1)
fade_frames = 3 * 44100
for plain, faded in (("start2.raw", "start2-fade.raw"), ("from5.raw", "from5-fade.raw")):
    a, b = samples(plain), samples(faded)
    check(len(a) == len(b), "%s: %d frames, without the fade %d" % (faded, len(b) // 2, len(a) // 2))
    edge = len(a) - 2 * fade_frames
    check(a[:edge] == b[:edge], "%s: the frames before the fade changed" % faded)
    check(b[edge:] != a[edge:] and b[-2:] == array.array("h", [0, 0]), "%s: no fade to silence at the end" % faded)
PY
echo "ok: --start-time, and the fade after a start"
