# Damaged and refused songs: a refused file gets the loader's reason and
# status 1 and writes nothing; a repaired one renders with the loader's
# warnings; a render that clips says how many samples; --strict turns any
# warning (also a silent or clipped render) into status 3
# with nothing written (a stream, which cannot be taken back, is finished
# whole and said so).
source "$(dirname "$0")/lib.sh" "$@" || exit 1
make_songs

head -c 17 "$TYPING" >cut17.xm
head -c 1000 "$TYPING" >cut1000.xm
echo "not a module" >text.xm

refused() { # FILE MESSAGE
  run "$1" -o out.wav
  expect 1 "xmrender: $1: $2" "$1"
  [ -e out.wav ] && fail "$1: an output was written"
  run "$1" --info
  expect 1 "xmrender: $1: $2" "$1 --info"
}
refused cut17.xm "header incomplete: the file holds 17 bytes"
refused text.xm "not an XM file"
refused missing.xm "cannot open"

run cut1000.xm -o cut.wav
expect 0 "xmrender: cut1000.xm: warning: pattern 2 ends after row 1 of 16" "a song cut inside its patterns"
[ -s cut.wav ] || fail "the repaired song was not written"
run cut1000.xm -o strict.wav --strict
expect 3 "xmrender: cut1000.xm: refused: the song loaded with warnings (--strict); nothing written" "--strict"
grep -qF "xmrender: cut1000.xm: warning: pattern" err || fail "--strict does not show the warning itself"
[ -e strict.wav ] && fail "--strict wrote an output"

run silent.xm -o silent.wav
expect 0 "xmrender: silent.xm: warning: the whole render is silent" "a silent song"
[ -s silent.wav ] || fail "the silent song was not written"
run named.xm -o named.wav
expect 0 "" "a song with a tone"
grep -q silent err && fail "an audible render was called silent"
run silent.xm -o strict.flac --strict
expect 3 "xmrender: silent.xm: refused: the render has a warning (--strict); nothing written" "--strict, silent"
expect_files . cut17.xm cut1000.xm text.xm silent.xm named.xm cut.wav silent.wav named.wav err out
# A stream cannot be taken back: --strict finishes it whole (every frame its
# header promised, the bytes of a render without --strict) and says so.
"$XMR" silent.xm -o - --strict --seconds 30 >strict-stream.wav 2>err
STATUS=$?
expect 3 "xmrender: silent.xm: refused: the render has a warning (--strict); standard output has it already, whole" \
  "--strict, silent, to standard output"
"$XMR" silent.xm -o - --seconds 30 2>/dev/null | cmp -s - strict-stream.wav ||
  fail "--strict streamed other bytes than the render"
rm strict-stream.wav

# Clipping is counted and warned of (--strict refuses it); a song at its own
# gain does not clip.
run "$TYPING" -o loud.wav --gain 24
expect 0 "samples clipped at full scale (lower --gain)" "--gain 24"
count=$(sed -n 's/.*warning: \([0-9]*\) samples clipped.*/\1/p' err)
[ "${count:-0}" -gt 100000 ] || fail "--gain 24 clipped only '$count' samples"
run "$TYPING" -o loud24.wav --gain 24 --format wav24
expect 0 "samples clipped at full scale (lower --gain)" "--gain 24 --format wav24"
count24=$(sed -n 's/.*warning: \([0-9]*\) samples clipped.*/\1/p' err)
# 24 bits count exactly what clips, 16 bits what reaches full scale: both
# ends, and within a few samples of each other.
[ $((count - count24)) -ge 0 ] && [ $((count - count24)) -le 100 ] ||
  fail "16 bits count $count clipped samples, 24 bits $count24"
run "$TYPING" -o plain.wav
grep -q clipped err && fail "the song at its own gain was said to clip"
run "$TYPING" -o loud-strict.wav --gain 24 --strict
expect 3 "refused: the render has a warning (--strict); nothing written" "--gain 24 --strict"
[ -e loud-strict.wav ] && fail "--strict wrote a clipped render"
rm loud.wav loud24.wav plain.wav

if [ -d "$CORPUS/malformed" ]; then
  song=$CORPUS/malformed/load_xm_orders_mismatch.xm
  run "$song" -o mismatch.wav --strict
  expect 3 "warning: song length 210 reaches past the 2 orders the header holds" "$song --strict"
  [ -e mismatch.wav ] && fail "--strict wrote $song"
  # Every malformed file either renders a few seconds or is refused with a
  # reason, and a failure never leaves a file.
  for song in "$CORPUS"/malformed/*.xm; do
    run "$song" -o any.wav --seconds 2
    case $STATUS in
      0) [ -s any.wav ] || fail "$song: status 0 without a file" ;;
      1) [ -e any.wav ] && fail "$song: status 1 with a file"
         grep -qF "xmrender: $song: " err || fail "$song: refused without its name" ;;
      *) fail "$song: status $STATUS" ;;
    esac
    rm -f any.wav
  done
else
  echo "note: ../shared/corpus is absent; the corpus cases were skipped"
fi
echo "ok: refusals with the loader's reason, warnings, silence and --strict"
