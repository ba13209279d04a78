#!/usr/bin/env python3
"""Compares what a Windows program played under Wine, recorded from a
PulseAudio null sink, with xmrender's render of the same song.

  check_recording.py RECORDING.raw REFERENCE.wav show|player

The recording is raw 16-bit stereo at 44,100 Hz. Wine's sound driver now and
then writes a stretch of silent frames instead of what the program queued
(a few milliseconds, when it runs ahead of its own period), so the check is
made piece by piece: every stretch of sound between silent frames must be
frames of the render, taken in order. "player": the pieces follow the song
from its first sound to its end. "show": the first 2 s follow the song in
order, and sound of the render goes on to the show's end, the ring looping
after the stop at 4.1 s. (The show's song repeats with the ring's period
from its second bar, so the loop and the song cannot be told apart there;
the ring's looping in place is tested without Wine as well.)
Prints what it found; status 0 when it all holds, 1 when not, 2 when a file
cannot be read."""
import struct
import sys

RATE = 44100
RING_FRAMES = 88400            # 100 blocks of 884 frames
PROBE_FRAMES = 16              # frames that locate a piece in the render
MAX_CANDIDATES = 64           # places of a probe in the render tried
MIN_PIECE_FRAMES = 8           # shorter stretches between silences are not located
FIRST_SOUND_MAX = RATE // 10   # the first piece lies within the song's first tenth of a second
SHOW_HEARD_MIN = 29 * RATE     # the show: sound from the ring until about its end (30.7 s)
SILENT = b"\0\0\0\0"


def read_frames(path):
    with open(path, "rb") as f:
        data = f.read()
    if data[:4] == b"RIFF":
        at = 12
        while at + 8 <= len(data):
            size = struct.unpack_from("<I", data, at + 4)[0]
            if data[at:at + 4] == b"data":
                data = data[at + 8:at + 8 + size]
                break
            at += 8 + size + (size & 1)
        else:
            raise ValueError("no data chunk")
    return data[:len(data) // 4 * 4]


def find_frame(haystack, needle, start=0):
    """The frame index of needle in haystack at a frame boundary, or -1."""
    at = haystack.find(needle, start * 4)
    while at >= 0 and at % 4:
        at = haystack.find(needle, at + 1)
    return -1 if at < 0 else at // 4


def match_length(recording, frame, end, render, at):
    length = 0
    while frame + length < end and recording[(frame + length) * 4:(frame + length + 1) * 4] == \
            render[(at + length) * 4:(at + length + 1) * 4]:
        length += 1
    return length


def longest_match(recording, frame, end, render, probe):
    """Where in the render the recording's frames from frame on go on the
    longest (a short probe can occur several times: the song repeats)."""
    best_at, best_length = -1, 0
    at = find_frame(render, probe)
    for _ in range(MAX_CANDIDATES):
        if at < 0:
            break
        length = match_length(recording, frame, end, render, at)
        if length > best_length:
            best_at, best_length = at, length
        if frame + length == end:
            break
        at = find_frame(render, probe, at + 1)
    return best_at, best_length


def pieces(recording, render):
    """Splits the recording's sound into pieces of the render: a list of
    (recording frame, render frame, frames); None when a piece is not in it."""
    found = []
    total = len(recording) // 4
    frame = 0
    while frame < total:
        if recording[frame * 4:frame * 4 + 4] == SILENT:
            frame += 1
            continue
        end = frame
        while end < total and recording[end * 4:end * 4 + 4] != SILENT:
            end += 1
        if end - frame < MIN_PIECE_FRAMES:
            frame = end
            continue
        while frame < end:
            probe = recording[frame * 4:min(end, frame + PROBE_FRAMES) * 4]
            at, length = longest_match(recording, frame, end, render, probe)
            if at < 0:
                print(f"FAIL: the sound at {frame / RATE:.3f} s of the recording is not in the render")
                return None
            found.append((frame, at, length))
            frame += length
        frame = end
    return found


def check(found, mode):
    ok = True
    if not found:
        print("FAIL: no sound recorded")
        return False
    first_rec = found[0][0]
    print(f"leading silence: {first_rec / RATE:.3f} s; {len(found)} pieces of the render")
    if found[0][1] > FIRST_SOUND_MAX:
        print(f"FAIL: the recording begins at render frame {found[0][1]}, not at the song's start")
        ok = False
    # The opening is heard in order: each piece starts no earlier than the
    # last one ended (the song repeats with the ring's period from its second
    # bar on, so later pieces are located in the render modulo that period).
    heard = 0
    for rec, at, length in found:
        if rec - first_rec >= RING_FRAMES:
            break
        if at < heard:
            print(f"FAIL: at {(rec - first_rec) / RATE:.3f} s the recording goes back to render frame {at}")
            ok = False
        heard = at + length
    last = found[-1]
    heard_until = last[0] + last[2] - first_rec
    print(f"sound from the render is heard for {heard_until / RATE:.3f} s")
    if mode == "show" and heard_until < SHOW_HEARD_MIN:
        print("FAIL: the ring did not keep looping to the end of the show")
        ok = False
    return ok


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in ("show", "player"):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    try:
        recording, render = read_frames(sys.argv[1]), read_frames(sys.argv[2])
    except (OSError, ValueError) as e:
        print(f"check_recording.py: {e}", file=sys.stderr)
        return 2
    found = pieces(recording, render)
    ok = found is not None and check(found, sys.argv[3])
    if ok and sys.argv[3] == "player":
        heard_to = max(at + length for _, at, length in found)
        if heard_to < len(render) // 4 - RATE // 10:
            print(f"FAIL: the song is heard up to {heard_to / RATE:.3f} s of {len(render) // 4 / RATE:.3f} s")
            ok = False
    print("OK" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
