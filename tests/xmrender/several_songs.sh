# Several songs at once: with --out-dir or a %n pattern; a song that fails
# does not stop the others, the status is 1 and a summary names it; each
# song's messages stay together, in the order given; -j 2 writes the same
# files as -j 1; two songs that would write one file are refused; -q keeps
# only the failures' own messages; --no-clobber resumes a batch; format
# names in any case; control characters in names are escaped.
source "$(dirname "$0")/lib.sh" "$@" || exit 1

mkdir in
cp "$TYPING" in/a.xm
cp "$TYPING" in/b.xm
head -c 17 "$TYPING" >in/bad.xm
cp "$TYPING" in/c.xm
songs=(in/a.xm in/bad.xm in/b.xm in/c.xm)

for jobs in 1 2; do
  mkdir out$jobs
  run "${songs[@]}" --out-dir out$jobs --seconds 3 --loops 2 -j $jobs
  expect 1 "xmrender: 1 of 4 songs failed: in/bad.xm" "-j $jobs"
  expect_files out$jobs a.wav b.wav c.wav
  order=$(sed -n 's/^xmrender: \(in\/[a-z]*\.xm\): .*/\1/p' err | tr '\n' ' ')
  [ "$order" = "in/a.xm in/bad.xm in/b.xm in/c.xm " ] || fail "-j $jobs: messages in the order '$order'"
done
for f in a b c; do
  cmp -s out1/$f.wav out2/$f.wav || fail "-j 2 wrote another $f.wav than -j 1"
done
cmp -s out1/a.wav out1/b.wav || fail "two copies of one song rendered differently"

mkdir pat
run in/a.xm in/b.xm -o 'pat/%n-100%%.flac' -j 2 -q
expect 0 "" "a %n pattern"
expect_files pat a-100%.flac b-100%.flac
[ -s err ] && fail "-q with several songs still wrote messages"

# -q: the failing song's own message, no summary; a skipped song is no failure.
mkdir quiet
run in/a.xm in/bad.xm --out-dir quiet --seconds 1 -q
expect 1 "xmrender: in/bad.xm: " "-q with a failure"
grep -q "songs failed" err && fail "-q still printed the summary"
run in/a.xm in/c.xm --out-dir quiet --seconds 1 --no-clobber -q
expect 0 "" "--no-clobber over a batch half done"
expect_files quiet a.wav c.wav

# Format names in any case, as extensions are; control characters in a
# name are shown escaped, never sent to the terminal as they are.
run in/a.xm -o upper.out --format WAV --seconds 1 -q
expect 0 "" "--format WAV"
[ "$(head -c 4 upper.out)" = RIFF ] || fail "--format WAV wrote no WAV"
run $'new\nline.xm' -o x.wav
expect 1 'xmrender: new\nline.xm: cannot open' "a name with a newline"

mkdir other
cp "$TYPING" other/a.xm
run in/a.xm other/a.xm --out-dir out1
expect 2 "xmrender: 'in/a.xm' and 'other/a.xm' would both be written to 'out1/a.wav'" "one output for two songs"
echo "ok: several songs, a failure among them, the summary, -j 2"
