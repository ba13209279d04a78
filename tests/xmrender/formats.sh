# Output formats and mixing options: the format follows the extension or
# --format, and a contradiction is refused; standard output through a pipe
# carries the same bytes as a file; FLAC decodes to the 16- and 24-bit PCM
# of the WAV files; float and 24-bit agree with the 16-bit render; mono,
# gain, loops, start (the song from where it reaches the order), seconds and
# the fade do what they say.
source "$(dirname "$0")/lib.sh" "$@" || exit 1
need python3 flac

run "$TYPING" -o x.flac --format wav
expect 2 "xmrender: 'x.flac' names a FLAC file but --format wav writes WAV" "contradicting extension"
run "$TYPING" -o x.mp3
expect 2 "cannot tell the format from the name" "unknown extension"
run "$TYPING" -o x.ogg --format raw
expect 0 "" "an unknown extension with --format"
expect_files . err out x.ogg
rm x.ogg

render() { # FILE ARGS...: a render that must succeed
  "$XMR" -q "$TYPING" -o "$@" 2>err || fail "rendering $*"
}
render s16.wav
short=(--seconds 6)  # the comparisons sample by sample look at 6 s
render short.wav "${short[@]}"
for format in wav wav24 wav-f32 raw raw24 raw-f32; do
  render "file.$format" --format "$format" --mono --gain -3
  "$XMR" -q "$TYPING" -o - --format "$format" --mono --gain -3 | cat >pipe.$format
  cmp -s "file.$format" "pipe.$format" || fail "$format: the pipe's bytes differ from the file's"
done
# /dev/stdout into a pipe streams too (no seek back to the header), and
# "-" is never a file name.
"$XMR" -q "$TYPING" -o /dev/stdout | cat >dev.wav
cmp -s s16.wav dev.wav || fail "-o /dev/stdout through a pipe differs from the file"
"$XMR" -q "$TYPING" -o - --format wav | cat >pipe.wav
cmp -s s16.wav pipe.wav || fail "-o - through a pipe differs from the file"
[ -e ./- ] && fail "-o - created a file named '-'"
render s24.wav --format wav24 "${short[@]}"
render f32.wav --format wav-f32 "${short[@]}"
render s16.raw
cmp -s <(tail -c +45 s16.wav) s16.raw || fail "raw PCM is not the WAV file's data"

# FLAC, 16 and 24 bit, from a file and from a pipe, decoded by flac.
decode() { # FILE.flac OUT.raw
  flac -s -d -f --force-raw-format --endian=little --sign=signed -o "$2" "$1" 2>/dev/null ||
    fail "flac cannot decode $1"
}
render s16.flac
decode s16.flac s16.flac.raw
cmp -s s16.raw s16.flac.raw || fail "FLAC does not decode to the 16-bit samples"
"$XMR" -q "$TYPING" -o - --format flac | cat >pipe.flac
decode pipe.flac pipe.flac.raw
cmp -s s16.raw pipe.flac.raw || fail "FLAC through a pipe does not decode to the 16-bit samples"
render s24.flac --format flac24 "${short[@]}"
decode s24.flac s24.flac.raw
cmp -s <(tail -c +69 s24.wav) s24.flac.raw || fail "24-bit FLAC does not decode to the 24-bit samples"

render mono.wav --mono "${short[@]}"
render sep0.wav --stereo-separation 0 "${short[@]}"
render gain.wav --gain -6 "${short[@]}"
render loops2.wav --loops 2
render start.wav --start 4
"$XMR" "$TYPING" --trace 2>/dev/null | awk '$2 == 4 && $3 == 0 { print $1; exit }' > start4 # where order 4 is first heard
# The trace stops where the render does: the second row is heard from frame
# 5,746 (inside a block of 884), so a render of exactly 5,746 frames traces
# one row and one of 5,747 traces two.
[ "$("$XMR" "$TYPING" --trace --seconds 0.1302947845804989 2>/dev/null | wc -l)" -eq 1 ] ||
  fail "--trace printed a row that starts at the --seconds limit"
[ "$("$XMR" "$TYPING" --trace --seconds 0.13032 2>/dev/null | wc -l)" -eq 2 ] ||
  fail "--trace missed a row that starts just inside the --seconds limit"
render fade.wav --fade 2 "${short[@]}"
render seconds.wav --seconds 2.5
render rate.wav --seconds 2.5 --rate 48000
# Channels muted and soloed: a solo is every other channel muted; all muted
# is silence; channels the song lacks and bad lists are refused.
render solo3.wav --solo 3 "${short[@]}"
render mute-others.wav --mute 1,2,4,5,6,7,8,9,10 "${short[@]}"
cmp -s solo3.wav mute-others.wav || fail "--solo 3 differs from muting every other channel"
cmp -s solo3.wav short.wav && fail "--solo 3 changed nothing"
run "$TYPING" -o none.wav --mute 1,2,3,4,5,6,7,8,9,10 "${short[@]}"
expect 0 "warning: the whole render is silent" "every channel muted"
run "$TYPING" -o x.wav --mute 11
expect 1 "xmrender: $TYPING: the song has 10 channels; there is no channel 11" "--mute 11"
run "$TYPING" -o x.wav --solo 1,,2
expect 2 "xmrender: --solo: wants channels from 1 to 32, separated by commas" "--solo 1,,2"
# Interpolation: linear is the default to the byte; cubic and sinc8 each
# change the sound, the same through a pipe as in a file; unknown modes are refused.
render linear.wav --interpolation linear "${short[@]}"
cmp -s linear.wav short.wav || fail "--interpolation linear differs from the default"
render cubic.wav --interpolation cubic "${short[@]}"
render sinc8.wav --interpolation sinc8 "${short[@]}"
"$XMR" -q "$TYPING" -o - --format raw --interpolation sinc8 "${short[@]}" >sinc8.raw
cmp -s <(tail -c +45 sinc8.wav) sinc8.raw || fail "--interpolation sinc8 through a pipe differs from the file"
cmp -s cubic.wav short.wav && fail "--interpolation cubic changed nothing"
cmp -s sinc8.wav short.wav && fail "--interpolation sinc8 changed nothing"
cmp -s sinc8.wav cubic.wav && fail "--interpolation sinc8 sounds as cubic"
run "$TYPING" -o x.wav --interpolation spline
expect 2 "xmrender: --interpolation: wants linear, cubic or sinc8" "--interpolation spline"
run "$TYPING" -o past.wav --start 99
expect 1 "xmrender: $TYPING: --start 99 is past the song's last order position (7)" "--start past the end"
python3 - <<'PY' || fail "the formats or the mixing options are wrong (above)"
import array, struct, sys

# The chunks of a RIFF/WAVE file by name (python's wave module of this
# Debian reads no WAVE_FORMAT_EXTENSIBLE).
def chunks(name):
    f = open(name, "rb").read()
    assert f[:4] == b"RIFF" and f[8:12] == b"WAVE" and struct.unpack("<I", f[4:8])[0] == len(f) - 8, name
    found, at = {}, 12
    while at + 8 <= len(f):
        kind, size = f[at:at + 4], struct.unpack("<I", f[at + 4:at + 8])[0]
        found[kind] = f[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    return found

def pcm(name):
    c = chunks(name)
    _, channels, rate = struct.unpack("<HHI", c[b"fmt "][:8])
    return channels, rate, c[b"data"]

def check(ok, what):
    if not ok:
        print(what, file=sys.stderr)
        sys.exit(1)

s16 = array.array("h", pcm("s16.wav")[2])
check(len(s16) // 2 == 757792, "one pass is %d frames" % (len(s16) // 2))
short = array.array("h", pcm("short.wav")[2])
n = len(short) // 2
check(n == 6 * 44100, "--seconds 6 gave %d frames" % n)

channels, _, raw24 = pcm("s24.wav")
s24 = [int.from_bytes(raw24[i:i + 3], "little", signed=True) for i in range(0, len(raw24), 3)]
check(len(s24) == len(short) and max(abs(a / 256 - b) for a, b in zip(s24, short)) <= 0.5,
      "24-bit is not the 16-bit render")

# 24-bit and float name their sample kind in the extensible fmt chunk
# (WAVE_FORMAT_EXTENSIBLE: valid bits, front left and right, the subformat
# GUID of PCM or IEEE float); float counts its frames in a fact chunk.
GUID_TAIL = bytes.fromhex("000000001000800000aa00389b71")
def extensible(name, bits, block, subformat):
    c = chunks(name)
    fmt = c[b"fmt "]
    tag, ch, rate, _, blk, container, extra, valid, mask = struct.unpack("<HHIIHHHHI", fmt[:24])
    check(len(fmt) == 40 and (tag, ch, rate, blk, container, extra, valid, mask) ==
          (0xFFFE, 2, 44100, block, bits, 22, bits, 3) and fmt[24:26] == struct.pack("<H", subformat) and
          fmt[26:40] == GUID_TAIL, "%s: fmt chunk %s" % (name, fmt.hex()))
    return c
extensible("s24.wav", 24, 6, 1)
c = extensible("f32.wav", 32, 8, 3)
check(struct.unpack("<I", c[b"fact"])[0] * 8 == len(c[b"data"]), "float WAV: the fact chunk's frame count")
floats = array.array("f", c[b"data"])
check(len(floats) == len(short) and max(abs(a * 32768 - b) for a, b in zip(floats, short)) <= 0.5,
      "float is not the 16-bit render")

channels, _, raw = pcm("mono.wav")
_, _, sep0 = pcm("sep0.wav")
sep0 = array.array("h", sep0)
check(channels == 1 and array.array("h", raw) == sep0[0::2] and sep0[0::2] == sep0[1::2],
      "--mono is not the mid signal of --stereo-separation 0")

_, _, raw = pcm("gain.wav")
ratio = max(map(abs, array.array("h", raw))) / max(map(abs, short))
check(0.49 < ratio < 0.51, "--gain -6 scaled the peak by %.3f" % ratio)

_, _, raw = pcm("loops2.wav")
loops2 = array.array("h", raw)
check(len(loops2) > len(s16) and loops2[:len(s16)] == s16, "--loops 2 does not begin with the first pass")

_, _, raw = pcm("start.wav")
start = array.array("h", raw)
reached = int(open("start4").read())
check(0 < len(start) < len(s16) and start == s16[2 * reached:],
      "--start 4 is not the song from where it first reaches order 4")

_, _, raw = pcm("fade.wav")
fade = array.array("h", raw)
edge = 2 * (n - 2 * 44100)
check(len(fade) == len(short) and fade[:edge] == short[:edge], "--fade changed the frames before the fade")
check(fade[-2:] == array.array("h", [0, 0]), "--fade does not end in silence")
peak = lambda a, b: max(map(abs, fade[2 * a:2 * b]))
check(peak(n - 22050, n) < peak(n - 2 * 44100, n - 3 * 22050), "--fade does not fall")

check(len(pcm("seconds.wav")[2]) == 4 * 110250, "--seconds 2.5 at 44100 Hz")
channels, rate, raw = pcm("rate.wav")
check(rate == 48000 and len(raw) == 4 * 120000, "--seconds 2.5 at 48000 Hz")
PY
echo "ok: formats, pipes, FLAC, mono, gain, loops, start, seconds and fade"
