#!/usr/bin/env python3
"""Compares what a Windows program played under Wine, recorded from a
PulseAudio null sink, with xmrender's render of the same song.

  check_recording.py RECORDING.raw REFERENCE.wav show|player

The recording is raw 16-bit stereo at 44,100 Hz. What the device should have
played is the render ("player": the song once, to its end) or, for the show,
the render's first two bars and then its second bar again and again: the
show's song repeats its second bar unchanged until its fourth, the show
stops the music at 4.1 s with the ring holding two seconds of it, and the
device goes on looping the ring (one bar long) to the show's end.

The check walks both in step, frame by frame. Wine's sound driver does not
play everything it is given when it is not scheduled in time: it puts
stretches of silence into the stream, and it leaves out frames, mostly
after such a stretch (one frame), but on a loaded machine (measured at a
load of 11 on two cores) also within a stretch of sound. Starting a stream on a
busy machine it is worst: its clock runs on while nothing is heard and it
then throws away the buffers it was handed, up to about a second and a half
of sound, within the first tenth of a second of sound heard (its first
buffers; the program cannot do that, since it renders a buffer only when
the device hands one back, always in order). So after the leading silence
the sound must be the frames due; where it is not, it must go on from a
later frame, at most half a second later (or as much more as the silent
stretch just passed lasted; two seconds at the start); most of what it
moved over must have been heard; the
show's sound lasts to its end, the player's reaches the song's end. Sound
out of order, a ring looped too long, music that does not stop, or samples
that differ, all fail. (Once the music has stopped, a ring one block too
short would look like a block left out at each pass: this check does not
tell it from Wine's gaps.)
Prints what it found; status 0 when it all holds, 1 when not, 2 when a file
cannot be read."""
import re
import struct
import sys

RATE = 44100
FRAME = 4                      # bytes of a 16-bit stereo frame
BAR_FRAMES = 88400             # one bar of the show's song: the ring's length
PROBE_FRAMES = 64              # frames that place a stretch of sound in the render
MIN_LOCATE_FRAMES = 16         # a shorter stretch of sound is too short to place
SHOW_HEARD_MIN = 29 * RATE     # the show: sound in the recording until about its end (30.7 s)
PLAYER_END_SLACK = RATE // 100 # the player: heard to within this of the song's end (its last buffers too)
HEARD_MIN = 0.6                # the share of the render reached that must be heard
MAX_DROP_FRAMES = RATE // 2    # the most Wine's driver drops at one place
START_DROP_FRAMES = 2 * RATE   # the most it drops when a stream starts
START_FRAMES = RATE // 10      # the frames of sound heard first, where the start's drop lies
SILENT = b"\0" * FRAME
NOT_ZERO = re.compile(rb"[^\0]")


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
    return data[:len(data) // FRAME * FRAME]


def expected_stream(render, mode, frames):
    """What the device should play, at least frames long (the player: the render)."""
    if mode == "player":
        return render
    if len(render) < 2 * BAR_FRAMES * FRAME:
        raise ValueError("the render is shorter than two bars")
    bar = render[BAR_FRAMES * FRAME:2 * BAR_FRAMES * FRAME]
    stream = render[:2 * BAR_FRAMES * FRAME]
    while len(stream) < frames * FRAME:
        stream += bar
    return stream


def sound_end(recording, frame):
    """The end of the stretch of sound (no silent frame) that starts at frame."""
    at = recording.find(SILENT, frame * FRAME)
    while at >= 0 and at % FRAME:
        at = recording.find(SILENT, at + 1)
    return len(recording) // FRAME if at < 0 else at // FRAME


def silence_end(recording, frame):
    """The first frame from frame on that is not silent (or the end)."""
    sound = NOT_ZERO.search(recording, frame * FRAME)
    return len(recording) // FRAME if sound is None else max(frame, sound.start() // FRAME)


def matches(recording, begin, end, stream, at):
    """Whether the recording's frames begin..end are the stream's from at on
    (a few frames first: most places tried differ at once)."""
    head = min(end, begin + PROBE_FRAMES)
    return (recording[begin * FRAME:head * FRAME] == stream[at * FRAME:(at + head - begin) * FRAME] and
            recording[begin * FRAME:end * FRAME] == stream[at * FRAME:(at + end - begin) * FRAME])


def first_difference(recording, begin, end, stream, at):
    """The first frame from begin on (before end) that is not the one due."""
    low, high = begin, end  # matches up to low; a difference before high
    while high - low > 1:
        mid = (low + high) // 2
        if matches(recording, low, mid, stream, at + low - begin):
            low = mid
        else:
            high = mid
    return low


def locate(recording, frame, end, stream, after, before):
    """The first frame from after on (before before) where the stream holds
    the recording's frames from frame on (a probe of them), or -1."""
    probe = recording[frame * FRAME:min(end, frame + PROBE_FRAMES) * FRAME]
    if len(probe) < MIN_LOCATE_FRAMES * FRAME:
        return -1
    before = min(before, len(stream) // FRAME)
    limit = (before + PROBE_FRAMES) * FRAME
    found = stream.find(probe, after * FRAME, limit)
    while found >= 0 and found % FRAME:
        found = stream.find(probe, found + 1, limit)
    return -1 if found < 0 else found // FRAME


class Walk:
    """Where the recording stands against the stream, and what was lost."""
    def __init__(self, due, frame):
        self.due, self.frame = due, frame  # next stream frame due; recording frame
        self.start = frame                 # the recording's first frame of sound
        self.heard = 0                     # frames of the stream heard
        self.stretches = 0                 # silent stretches within the sound
        self.drops = 0                     # places where frames of the stream were left out
        self.left_out = due                # frames of the stream never heard


def walk(recording, stream):
    """Walks the recording's sound along the stream: a Walk, or None after
    printing why. Where the sound is not the frame due, it must go on from a
    later one, at most MAX_DROP_FRAMES later or as much more as the silent
    stretch just passed lasted; in the first START_FRAMES heard, at most
    START_DROP_FRAMES later."""
    total = len(recording) // FRAME
    stream_frames = len(stream) // FRAME
    start = silence_end(recording, 0)
    if start == total:
        print("FAIL: no sound recorded")
        return None
    found = locate(recording, start, sound_end(recording, start), stream, 0, START_DROP_FRAMES)
    if found < 0:
        print(f"FAIL: the first sound ({start / RATE:.3f} s into the recording) is not the song's opening")
        return None
    print(f"leading silence: {start / RATE:.3f} s; the sound begins at frame {found} of the render")
    w = Walk(found, start)
    gap = 0  # the silent stretch just passed
    while True:
        end = min(sound_end(recording, w.frame), w.frame + stream_frames - w.due)
        if not matches(recording, w.frame, end, stream, w.due):
            wrong = first_difference(recording, w.frame, end, stream, w.due)
            w.heard += wrong - w.frame
            w.due += wrong - w.frame
            most = START_DROP_FRAMES if w.heard < START_FRAMES else gap + MAX_DROP_FRAMES
            found = locate(recording, wrong, end, stream, w.due, w.due + most)
            if found < 0:
                print(f"FAIL: {wrong / RATE:.3f} s into the recording the sound is not frame {w.due} of the render"
                      f" nor one of the {most} after it")
                return None
            w.drops += 1
            w.left_out += found - w.due
            w.due, w.frame, gap = found, wrong, 0
            continue
        w.heard += end - w.frame
        w.due += end - w.frame
        w.frame = end
        resume = silence_end(recording, end)
        if resume >= total or w.due >= stream_frames:
            return w
        w.stretches += 1
        gap = resume - end
        w.frame = resume


def main():
    if len(sys.argv) != 4 or sys.argv[3] not in ("show", "player"):
        print(__doc__.split("\n\n")[1], file=sys.stderr)
        return 2
    mode = sys.argv[3]
    try:
        recording, render = read_frames(sys.argv[1]), read_frames(sys.argv[2])
        stream = expected_stream(render, mode, len(recording) // FRAME)
    except (OSError, ValueError) as e:
        print(f"check_recording.py: {e}", file=sys.stderr)
        return 2
    w = walk(recording, stream)
    ok = w is not None
    if ok:
        print(f"{(w.frame - w.start) / RATE:.3f} s of sound, {w.due / RATE:.3f} s of the render reached,"
              f" {w.heard / RATE:.3f} s of it heard; {w.stretches} silent stretches within the sound;"
              f" {w.left_out} frames of the render left out at {w.drops} places")
        # Wine's silent stretches hold the device's position back, so the
        # show's length is taken from the recording.
        if mode == "show" and w.frame - w.start < SHOW_HEARD_MIN:
            print("FAIL: the ring did not keep looping to the end of the show")
            ok = False
        song = len(render) // FRAME
        if mode == "player" and w.due < song - PLAYER_END_SLACK:
            print(f"FAIL: the song is heard up to {w.due / RATE:.3f} s of {song / RATE:.3f} s")
            ok = False
        if w.heard < HEARD_MIN * w.due:
            print(f"FAIL: less than {HEARD_MIN:.0%} of the render up to there is heard")
            ok = False
    print("OK" if ok else "FAILED")
    return 0 if ok else 1


if __name__ == "__main__":
    sys.exit(main())
