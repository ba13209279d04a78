# The default render writes exactly the bytes it has always written: the
# SHA-256 of typing.xm's WAV (one pass, and 3 s at 48 kHz) and of the three
# corpus songs (when ../shared is present), taken before the command line
# grew its formats and options.
source "$(dirname "$0")/lib.sh" "$@" || exit 1
need sha256sum

same() { # SONG HASH ARGS...
  local song=$1 want=$2; shift 2
  "$XMR" "$song" -o out.wav "$@" 2>err || fail "cannot render $song"
  local got
  got=$(sha256sum out.wav | cut -d' ' -f1)
  [ "$got" = "$want" ] || fail "$(basename "$song") $*: the WAV's SHA-256 is $got, want $want"
}
same "$TYPING" 77b727ec5e62fa951dc207188fb05d08f2fe8712d26af0e460d2d82c83abb7c7
same "$TYPING" 06708789d24a39801f1b0a77c46ccc032ea1241acfae459ef18456d9237bc265 --rate 48000 --seconds 3
if [ -d "$CORPUS/songs" ]; then
  same "$CORPUS/songs/juho-ihana_paiva.xm" 94df2b5ede037be6a6921b33f6ce943f236d74dea5375b8c8d917cbd5479c387
  same "$CORPUS/songs/rhino_sting.xm" 6375c195b5958ed759808353ef3954a0016859a5510684e02fd0012af56d759e
  same "$CORPUS/songs/zalza-tekilla_groove.xm" fad0d230731a2353c9a7bac0763d6ffb277902a9112cc37d4245ff85ff222f3c
else
  echo "note: ../shared/corpus is absent; only typing.xm was checked"
fi
echo "ok: the default output is byte for byte what it was"
