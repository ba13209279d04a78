# --info and --info --json: the JSON parses, says the same as the text, and
# its one-pass length is what a render writes; names with quotes and
# backslashes survive; several songs give one JSON object per line, a
# refused song one with its reason; -o and --start are refused with --info.
source "$(dirname "$0")/lib.sh" "$@" || exit 1
need python3
make_songs

for song in "$TYPING" named.xm; do
  run "$song" --info
  expect 0 "" "--info $song"
  mv out info.txt
  run "$song" --info --json
  expect 0 "" "--info --json $song"
  mv out info.json
  "$XMR" -q "$song" -o render.wav || fail "cannot render $song"
  python3 - info.txt info.json "$(frames render.wav)" <<'PY' || fail "--info and --json disagree on $song"
import json, re, sys

text = open(sys.argv[1]).read().splitlines()
j = json.loads(open(sys.argv[2]).read())
rendered = int(sys.argv[3])

def field(name):
    for line in text:
        if line.startswith(name + ":"):
            return line[len(name) + 1:].strip()
    sys.exit("no '%s:' line in --info" % name)

def same(a, b, what):
    if a != b:
        sys.exit("%s: text says %r, JSON says %r" % (what, a, b))

same(field("song name"), j["song_name"], "song name")
same(field("tracker"), j["tracker"], "tracker")
same(field("channels"), str(j["channels"]), "channels")
same(field("speed, bpm"), "%d, %d" % (j["speed"], j["bpm"]), "speed and bpm")
m = re.match(r"([0-9.]+) s, one pass \((\d+) frames at (\d+) Hz\)", field("duration"))
same((float(m[1]), int(m[2]), int(m[3])), (j["duration"]["seconds"], j["duration"]["frames"], j["duration"]["rate"]),
     "duration")
same(j["duration"]["frames"], rendered, "one pass against the frames rendered")
head, orders = field("orders").split(":")
same(head, "%d, restart at %d" % (len(j["orders"]), j["restart"]), "orders")
same([int(o) for o in orders.split()], j["orders"], "order table")
patterns = [re.match(r"\s*(\d+): +(\d+) rows, (unused|at orders([ \d]*))$", l) for l in text
            if re.match(r"\s*\d+: +\d+ rows", l)]
same([(int(p[1]), int(p[2]), [int(o) for o in (p[4] or "").split()]) for p in patterns],
     [(p["index"], p["rows"], p["orders"]) for p in j["patterns"]], "patterns")
instruments = [re.match(r'\s*(\d+): "(.*)", (\d+) samples?$', l) for l in text if re.match(r'\s*\d+: "', l)]
same([(int(i[1]), i[2], int(i[3])) for i in instruments],
     [(i["index"], i["name"], len(i["samples"])) for i in j["instruments"]], "instruments")
samples = [re.match(r'\s*sample +(\d+): "(.*)", (\d+) frames, loop (\S+)', l) for l in text if "sample " in l]
same([(int(s[1]), s[2], int(s[3]), s[4]) for s in samples],
     [(s["index"], s["name"], s["frames"], s["loop"]) for i in j["instruments"] for s in i["samples"]], "samples")
for p in j["patterns"]:
    for o in p["orders"]:
        same(j["orders"][o], p["index"], "pattern %d at order %d" % (p["index"], o))
PY
done

# The names with quotes and backslashes, as the song holds them.
python3 - info.json <<'PY' || fail "named.xm's names did not survive the JSON"
import json, sys
j = json.loads(open(sys.argv[1]).read())
assert j["song_name"] == 'say "hi" \\ now', j["song_name"]
assert j["instruments"][0]["name"] == 'lead "A"', j["instruments"][0]["name"]
assert [s["name"] for s in j["instruments"][0]["samples"]] == ["sine\\low", "sine high"]
assert [p["orders"] for p in j["patterns"]] == [[0, 2], [], [1]], j["patterns"]
PY

# Several songs: one object per line, in order, a refused one too (with its
# reason); the status says a song failed.
run "$TYPING" missing.xm named.xm --info --json
expect 1 "xmrender: missing.xm: cannot open" "--info with a missing song"
python3 - out <<'PY' || fail "--info --json: not one line per song"
import json, sys
lines = [json.loads(l) for l in open(sys.argv[1])]
assert [l["file"] for l in lines][1:] == ["missing.xm", "named.xm"], lines
assert lines[1]["error"].startswith("cannot open"), lines[1]
assert "error" not in lines[0] and "song_name" in lines[2]
PY

# --info writes only to standard output and describes the whole song.
run "$TYPING" --info -o info-file.txt
expect 2 "--info prints to standard output; -o and --out-dir go with a render" "--info -o"
[ -e info-file.txt ] && fail "--info -o wrote a file"
run "$TYPING" --info --start 1
expect 2 "--info describes the whole song; --start and --start-time go with a render" "--info --start"
echo "ok: --info and --info --json agree, with the rendered length; a line for every song; -o and --start refused"
