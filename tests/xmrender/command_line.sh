# xmrender's command line: --help and --version on standard output with
# status 0; bad command lines refused with status 2 before anything is
# written; `--` ends the options; -q; the progress bar only on a terminal.
source "$(dirname "$0")/lib.sh" "$@" || exit 1

run --help
expect 0 "" "--help"
[ -s err ] && fail "--help wrote to standard error"
grep -q '^usage: xmrender ' out || fail "--help shows no usage"
for word in -o --out-dir --format --no-clobber -j --seconds --fade --rate --loops --start --gain \
            --stereo-separation --mono --mute --solo --interpolation sinc8 --info --json --trace -q --progress --strict --version wav24 wav-f32 \
            raw24 raw-f32 flac24 'Exit status' '3 --strict'; do
  grep -qF -- "$word" out || fail "--help does not mention $word"
done

run --version
expect 0 "" "--version"
[ "$(cat out)" = "xmrender 1.0.0" ] || fail "--version says '$(cat out)'"

refused() { # MESSAGE ARGS...: status 2, the message, nothing on standard output or on disk
  local want=$1; shift
  run "$@"
  expect 2 "$want" "$*"
  [ -s out ] && fail "$*: wrote to standard output"
  expect_files . err out
}
refused "xmrender: unknown option '--bogus'" "$TYPING" --bogus -o x.wav
refused "xmrender: no song given" -o x.wav
refused "no output given" "$TYPING"
refused "--loops 0 plays without end; give --seconds too" "$TYPING" --loops 0 -o x.wav
refused "xmrender: --rate: wants a whole number of Hz from 8000 to 192000" "$TYPING" --rate 7999 -o x.wav
refused "xmrender: --fade: wants a number of seconds" "$TYPING" --fade -1 -o x.wav
refused "xmrender: --seconds: wants a number of seconds" "$TYPING" --seconds abc -o x.wav
refused "xmrender: -j: wants a number of songs at once" "$TYPING" -j 0 -o x.wav
refused "xmrender: --format: unknown format 'mp3'" "$TYPING" --format mp3 -o x.wav
refused "put %n in it or use --out-dir" "$TYPING" "$TYPING" -o x.wav
refused "--json goes with --info" "$TYPING" --json
refused "reading a song from standard input is not supported" - -o x.wav

# After --, everything is a song, even a name that starts with a dash.
cp "$TYPING" ./-n.xm
run -q -o x.wav -- -n.xm
expect 0 "" "a song after --"
[ -s err ] && fail "-q still wrote messages"
cmp -s x.wav <("$XMR" "$TYPING" -o - 2>/dev/null) || fail "the song after -- did not render as typing.xm"

# The summary names the song and the output, with the length.
run "$TYPING" -o y.wav
expect 0 "xmrender: $TYPING: wrote y.wav: 17.183 s (757792 frames at 44100 Hz), one pass" "summary"
grep -q $'\r' err && fail "a progress bar was drawn although standard error is a file"

run "$TYPING" -o y.wav --seconds 200 --progress
expect 0 "%" "--progress"
grep -q $'\r' err || fail "--progress drew no bar"

# On a terminal the bar is there by default, and -q removes it.
need script
script -qec "'$XMR' '$TYPING' -o z.wav --seconds 200" /dev/null >tty.log 2>&1 </dev/null
grep -q '\[#*\.*\] *[0-9.]*%' tty.log || { cat tty.log; fail "no progress bar on a terminal"; }
script -qec "'$XMR' -q '$TYPING' -o z.wav --seconds 200" /dev/null >tty.log 2>&1 </dev/null
[ -s tty.log ] && { cat tty.log; fail "-q on a terminal still printed"; }
# Audio is not written onto a terminal.
script -qec "'$XMR' '$TYPING' -o -" /dev/null >tty.log 2>&1 </dev/null
STATUS=$?
[ "$STATUS" -eq 2 ] || fail "-o - on a terminal: status $STATUS, want 2"
grep -qF "xmrender: standard output is a terminal" tty.log || { cat tty.log; fail "-o - on a terminal: no message"; }
echo "ok: help, version, refused command lines, --, -q and the progress bar"
