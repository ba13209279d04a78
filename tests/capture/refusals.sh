# refusals.sh: quillmere-capture from the command line: help and version;
# bad command lines (status 2); missing or broken pictures and music (the
# show's own messages, status 255); outputs it refuses before any work (an
# existing file without --force, one of its inputs by any name, a place
# where nothing can be written: status 1); a write that fails part-way and
# SIGINT or SIGTERM part-way, which leave no file behind; the progress bar
# on a terminal only.
# Usage: bash refusals.sh QUILLMERE_CAPTURE SOURCE_DATA_DIR
set -uo pipefail

CAPTURE=$(realpath "$1")
SOURCE_DATA=$(realpath "$2")
WORK=$(mktemp -d "${TMPDIR:-/tmp}/qm-capture-refusals.XXXXXX")
trap 'rm -rf "$WORK"' EXIT
# Sanitizer builds: FFmpeg's libraries keep a few allocations to the end.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}detect_leaks=0"

fail() {
  echo "FAIL: $*" >&2
  [ -f "$WORK/stderr" ] && { echo "--- standard error:" >&2; cat "$WORK/stderr" >&2; }
  exit 1
}

# Runs the capture in $WORK; sets status.
capture() {
  (cd "$WORK" && exec "$CAPTURE" "$@") >"$WORK/stdout" 2>"$WORK/stderr"
  status=$?
}

# expect STATUS LINE WHAT: the status, and LINE as the first line on standard error.
expect() {
  [ "$status" -eq "$1" ] || fail "$3: status $status, want $1"
  [ "$(head -n1 "$WORK/stderr")" = "$2" ] || fail "$3: said '$(head -n1 "$WORK/stderr")', want '$2'"
}

# The folder $1 holds exactly the names $2 (sorted, space-separated): no
# output and no temporary file was left behind.
expect_files() {
  local found
  found=$(ls -A "$1" | sort | tr '\n' ' ' | sed 's/ $//')
  [ "$found" = "$2" ] || fail "$1 holds '$found', want '$2'"
}

fresh_data() {
  rm -rf "$WORK/data" "$WORK/out"
  cp -r "$SOURCE_DATA" "$WORK/data"
  mkdir -p "$WORK/out"
}

# --- help, version, bad command lines -----------------------------------
capture --help
[ "$status" -eq 0 ] && grep -q '^usage: quillmere-capture' "$WORK/stdout" && [ ! -s "$WORK/stderr" ] || fail "--help"
capture --version
[ "$status" -eq 0 ] && grep -qx 'quillmere-capture [0-9.]*' "$WORK/stdout" || fail "--version"

fresh_data
while IFS='|' read -r args line; do
  # shellcheck disable=SC2086
  capture $args
  expect 2 "$line" "$args"
  expect_files "$WORK/out" ""
done <<'EOF'
--data data|quillmere-capture: -o: no output file given
-o out/a.mp4 --fps 0|quillmere-capture: --fps: wants a whole number of frames per second from 1 to 120
-o out/a.mp4 --fps 121|quillmere-capture: --fps: wants a whole number of frames per second from 1 to 120
-o out/a.mp4 --scale 5|quillmere-capture: --scale: wants a whole factor from 1 to 4
-o out/a.mkv --lossless --scale 3|quillmere-capture: --scale: --lossless takes 1 or 2
-o out/a.mkv --lossless --crf 20|quillmere-capture: --crf: sets the H.264 quality; --lossless has none
-o out/a.mp4 --crf 52|quillmere-capture: --crf: wants a whole number from 0 to 51
-o out/a.mp4 --from 5000 --to 5000|quillmere-capture: --from: must come before --to
-o out/a.mp4 --to 30721|quillmere-capture: --to: wants a show time in ms from 1 to 30720
-o out/a.mp4 --from -1|quillmere-capture: --from: wants a show time in ms from 0 to 30719
-o out/a.mp4 --bogus|quillmere-capture: --bogus: unknown option
-o -|quillmere-capture: -o: writes a file; standard output is not supported
-o out/b.MP4 --lossless|quillmere-capture: -o: --lossless writes Matroska; name the file .mkv
-o out/a.mp4 stray|quillmere-capture: stray: unexpected argument
-o out/a.mp4 --fps|quillmere-capture: --fps: needs a value
-o out/a.mp4 --from 5 --to 10|quillmere-capture: --from 5 --to 10: no frame at 60 frames per second falls in that stretch
EOF

# --- pictures and music: the show's messages and status ------------------
fresh_data
rm "$WORK/data/fin.tga"
capture --data data -o out/a.mp4 --to 100
expect 255 "Could not load image data/fin.tga, file will not open." "fin.tga missing"
expect_files "$WORK/out" ""

fresh_data
printf '\0\0\3\0\0\0\0\0\0\0\0\0\4\0\4\0\10\0' >"$WORK/data/vessa.tga" # greyscale
capture --data data/ -o out/a.mp4 --to 100
expect 255 "Could not load image data/vessa.tga, file is of unknown mode." "greyscale vessa.tga"
expect_files "$WORK/out" ""

fresh_data
rm "$WORK/data/typing.xm"
capture --data "$WORK/data" -o out/a.mkv --lossless --to 100
expect 255 "quillmere-capture: $WORK/data/typing.xm: cannot open: No such file or directory" "typing.xm missing"
expect_files "$WORK/out" ""
printf 'not a module\n' >"$WORK/data/typing.xm"
capture --data data -o out/a.mp4 --to 100
expect 255 'quillmere-capture: data/typing.xm: not an XM file: it starts with "not a module?", not "Extended Module: "' \
  "broken typing.xm"
expect_files "$WORK/out" ""

# A damaged typing.xm that loads only with repairs: refused unless --force,
# the repairs named either way.
while IFS='|' read -r bytes repair; do
  fresh_data
  head -c "$bytes" "$SOURCE_DATA/typing.xm" >"$WORK/data/typing.xm"
  capture --data data -o out/a.mkv --lossless --to 100
  expect 255 "quillmere-capture: data/typing.xm: warning: $repair" "typing.xm cut to $bytes bytes"
  grep -qF "quillmere-capture: data/typing.xm: refused: the music loaded only with repairs (add --force to capture it anyway)" \
    "$WORK/stderr" || fail "typing.xm cut to $bytes bytes: no refusal"
  expect_files "$WORK/out" ""
done <<'EOF'
500|pattern 0 ends after row 8 of 16
30000|sample 0 of instrument 4 holds 5,015 of 25,089 frames
EOF
capture --data data -o out/a.mkv --lossless --to 100 --force
[ "$status" -eq 0 ] || fail "a repaired typing.xm with --force: status $status"
grep -qF "quillmere-capture: data/typing.xm: warning: sample 0 of instrument 4 holds 5,015 of 25,089 frames" "$WORK/stderr" ||
  fail "a repaired typing.xm with --force: the repair is not named"
expect_files "$WORK/out" "a.mkv"

# --- outputs refused before any work -------------------------------------
fresh_data
echo keep >"$WORK/out/a.mp4"
rm "$WORK/data/fin.tga" # the output is refused first
capture --data data -o out/a.mp4 --to 100
expect 1 "quillmere-capture: out/a.mp4: already exists (add --force to replace it)" "existing output"
[ "$(cat "$WORK/out/a.mp4")" = keep ] || fail "the existing output was touched"
expect_files "$WORK/out" "a.mp4"

fresh_data
ln "$WORK/data/fin.tga" "$WORK/out/hard.mkv"
ln -s ../data/proudly.tga "$WORK/out/soft.mp4"
for target in data/typing.xm ./data/../data/kanji-rgb.tga out/hard.mkv out/soft.mp4; do
  capture --data data -o "$target" --force --to 100
  [ "$status" -eq 1 ] || fail "output $target: status $status, want 1"
  grep -q "^quillmere-capture: $target: is .*, an input of the capture; it is never written over$" "$WORK/stderr" ||
    fail "output $target: no refusal naming the input"
done
for f in "$SOURCE_DATA"/*; do cmp -s "$f" "$WORK/data/$(basename "$f")" || fail "$(basename "$f") was changed"; done
expect_files "$WORK/data" "$(ls -A "$SOURCE_DATA" | sort | tr '\n' ' ' | sed 's/ $//')"
(cd "$WORK/data" && exec "$CAPTURE" -o typing.xm --force --to 100) 2>"$WORK/stderr"
[ $? -eq 1 ] || fail "typing.xm in the working folder was not refused"

capture --data data -o missing/a.mp4 --to 100
expect 1 "quillmere-capture: missing/a.mp4: No such file or directory" "output in a missing folder"
capture --data data -o out --force --to 100
expect 1 "quillmere-capture: out: exists and is not a regular file" "output is a folder"
capture --data data -o out/ --to 100
expect 1 "quillmere-capture: out/: is a folder, not a file name" "output ends in /"
capture --data data -o /proc/capture.mp4 --to 100
[ "$status" -eq 1 ] && grep -q '^quillmere-capture: /proc/capture.mp4: ' "$WORK/stderr" || fail "output under /proc"
[ ! -e /proc/capture.mp4 ] || fail "a file appeared under /proc"

# --force replaces, and the new file has the usual permissions.
echo old >"$WORK/out/b.mp4"
capture --data data -o out/b.mp4 --force --to 100 -q
[ "$status" -eq 0 ] || fail "--force: status $status"
[ "$(stat -c %s "$WORK/out/b.mp4")" -gt 1000 ] || fail "--force did not replace"
[ "$(stat -c %a "$WORK/out/b.mp4")" = "$(printf '%o' $((0666 & ~$(umask))))" ] || fail "permissions"

# --- failures part-way leave nothing --------------------------------------
fresh_data
(ulimit -f 64 && cd "$WORK" && exec "$CAPTURE" --data data -o out/big.mkv --lossless -q) 2>"$WORK/stderr"
status=$?
[ "$status" -eq 1 ] || fail "a write past the file size limit: status $status, want 1"
grep -q "^quillmere-capture: out/big.mkv: .*File too large$" "$WORK/stderr" || fail "no message for the failed write"
expect_files "$WORK/out" ""

for signal in INT TERM; do
  (cd "$WORK" && exec env --default-signal=INT "$CAPTURE" --data data -o out/sig.mkv --lossless -q) 2>"$WORK/stderr" &
  pid=$!
  for _ in $(seq 200); do
    compgen -G "$WORK/out/.sig.mkv.*" >/dev/null && break
    sleep 0.05
  done
  compgen -G "$WORK/out/.sig.mkv.*" >/dev/null || fail "SIG$signal: no temporary file appeared"
  sleep 0.3
  kill -s "$signal" "$pid"
  wait "$pid"
  status=$?
  want=$((128 + $(kill -l "$signal")))
  [ "$status" -eq "$want" ] || fail "SIG$signal: status $status, want $want"
  expect_files "$WORK/out" ""
done

# --- the progress bar: on a terminal, unless -q ---------------------------
script -qec "cd '$WORK' && '$CAPTURE' --data data -o out/p.mp4 --to 500" /dev/null >"$WORK/tty" </dev/null ||
  fail "capture on a terminal failed"
grep -q 'frames .* fps .* left' "$WORK/tty" || fail "no progress bar on a terminal: $(cat "$WORK/tty")"
rm "$WORK/out/p.mp4"
script -qec "cd '$WORK' && '$CAPTURE' --data data -o out/p.mp4 --to 500 -q" /dev/null >"$WORK/tty" </dev/null ||
  fail "capture -q on a terminal failed"
[ ! -s "$WORK/tty" ] || fail "-q still drew: $(cat "$WORK/tty")"
capture --data data -o out/q.mp4 --to 500
[ "$status" -eq 0 ] && [ ! -s "$WORK/stderr" ] || fail "a progress bar without a terminal"
echo "ok: refusals, statuses and messages; nothing left behind"
