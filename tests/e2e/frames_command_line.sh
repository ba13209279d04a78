# quillmere-frames as a user meets it: --help and --version, refused command
# lines (status 2, with the usage), a missing picture that points at --data,
# a broken one, and frames that cannot be written (status 1, the system's
# reason, no file left behind).
source "$(dirname "$0")/lib.sh" "$@"
make_data
cd "$WORK"

"$FRAMES" --help >out 2>err
status=$?
[ "$status" -eq 0 ] || fail "--help: status $status, want 0"
[ -s err ] && fail "--help wrote to standard error"
grep -q -- '--fps N.*1\.\.1000' out || fail "--help does not state the --fps range"
grep -q -- '--data DIR' out || fail "--help does not explain --data"
"$FRAMES" --version >out 2>err || fail "--version failed"
expect_text out "quillmere-frames 1.0.0"

refused() { # EXPECTED_FIRST_LINE ARGS...
  local want=$1; shift
  "$FRAMES" "$@" >out 2>err
  local status=$?
  [ "$status" -eq 2 ] || fail "$*: status $status, want 2"
  [ "$(head -n1 err)" = "$want" ] || fail "$*: says '$(head -n1 err)', want '$want'"
  grep -q '^usage: quillmere-frames ' err || fail "$*: no usage on standard error"
}
refused "quillmere-frames: negative time '-5'" --data data -5
refused "quillmere-frames: time '30720' is past the end of the show (0..30719 ms)" 30720
refused "quillmere-frames: not a time in ms: '7s'" 7s
refused "quillmere-frames: frame rate '0' is out of range 1..1000" --fps 0
refused "quillmere-frames: frame rate '1001' is out of range 1..1000" --fps 1001
refused "quillmere-frames: option needs a value: --fps" --fps
refused "quillmere-frames: unknown option '--bogus'" --bogus 700
refused "quillmere-frames: no times given" --data data

failed() { # EXPECTED_MESSAGE ARGS...: status 1 and exactly that message
  local want=$1; shift
  "$FRAMES" "$@" >out 2>err
  local status=$?
  [ "$status" -eq 1 ] || fail "$*: status $status, want 1"
  expect_text err "$want"
}
mkdir empty
(cd empty && failed "quillmere-frames: kanji-rgb.tga: file will not open; run from the folder that holds the pictures, or give --data DIR" 700)
rm data/vessa.tga
failed "quillmere-frames: data/vessa.tga: file will not open; run from the folder that holds the pictures, or give --data DIR" --data data 700
printf '\0\0\3\0\0\0\0\0\0\0\0\0\4\0\4\0\10\0' >data/vessa.tga
failed "quillmere-frames: data/vessa.tga: file is of unknown mode" --data data 700
make_data

touch plain-file
failed "quillmere-frames: plain-file/frames: Not a directory" --data data -o plain-file/frames 700
mkdir -p taken/frame_t00700.png/inside
failed "quillmere-frames: taken/frame_t00700.png: Is a directory" --data data -o taken 700
[ "$(ls taken)" = "frame_t00700.png" ] || fail "a failed write left files behind: $(ls taken)"

"$FRAMES" --data data -o good 30719 700 >out.log 2>err && [ ! -s err ] || fail "times in any order: $(cat err)"
[ "$(ls good)" = "$(printf 'frame_t00700.png\nframe_t30719.png')" ] || fail "good/ holds $(ls good)"
echo "ok: help, version, refused command lines, pictures and writes that fail"
