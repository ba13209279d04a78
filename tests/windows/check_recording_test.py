#!/usr/bin/env python3
"""Tests of check_recording.py, the judge of the sound recorded from Wine,
on made-up recordings: what Wine does to a stream (silence put in, frames
left out, a late start) passes; what a wrong program would play fails."""
import os
import random
import subprocess
import sys
import tempfile
import unittest
import wave

HERE = os.path.dirname(os.path.abspath(__file__))
CHECK = os.path.join(HERE, "check_recording.py")
RATE = 44100
FRAME = 4
BAR = 88400  # the show's ring: one bar of its song


def frames(seed, count):
    """count frames of noise, none of them silent."""
    data = bytearray(random.Random(seed).randbytes(count * FRAME))
    for i in range(0, len(data), FRAME):
        if data[i:i + FRAME] == b"\0" * FRAME:
            data[i] = 1
    return bytes(data)


def cut(data, begin, end):
    return data[begin * FRAME:end * FRAME]


def silence(count):
    return b"\0" * (count * FRAME)


class CheckRecording(unittest.TestCase):
    def run_check(self, recording, render, mode):
        with tempfile.TemporaryDirectory() as d:
            rec, ref = os.path.join(d, "rec.raw"), os.path.join(d, "ref.wav")
            with open(rec, "wb") as f:
                f.write(recording)
            with wave.open(ref, "wb") as w:
                w.setnchannels(2)
                w.setsampwidth(2)
                w.setframerate(RATE)
                w.writeframes(render)
            return subprocess.run([sys.executable, CHECK, rec, ref, mode], capture_output=True, text=True)

    def assert_verdict(self, ok, recording, render, mode="player"):
        result = self.run_check(recording, render, mode)
        self.assertEqual(result.returncode, 0 if ok else 1, result.stdout + result.stderr)


class Player(CheckRecording):
    n = 6 * RATE
    song = frames(1, n)

    def test_what_wine_does_to_a_stream_passes(self):
        s, n = self.song, self.n
        self.assert_verdict(True, silence(3000) + s + silence(500), s)
        # 5 ms of silence put in, a frame left out after it; a silent
        # stretch with 1,000 frames left out after it; 900 frames left out
        # within a stretch of sound.
        self.assert_verdict(True, cut(s, 0, RATE) + silence(220) + cut(s, RATE + 1, 2 * RATE)
                            + silence(50) + cut(s, 2 * RATE + 1000, 3 * RATE) + cut(s, 3 * RATE + 900, n), s)
        # A late start: the first buffer, then a second and a half thrown away.
        self.assert_verdict(True, cut(s, 0, 1100) + cut(s, 1100 + 3 * RATE // 2, n), s)

    def test_a_wrong_sound_fails(self):
        s, n = self.song, self.n
        changed = bytearray(s)
        changed[2 * RATE * FRAME + 2] ^= 0x40
        self.assert_verdict(False, bytes(changed), s)
        # Two pieces swapped.
        self.assert_verdict(False, cut(s, 0, RATE) + cut(s, 2 * RATE, n) + cut(s, RATE, 2 * RATE), s)
        # A piece played twice.
        self.assert_verdict(False, cut(s, 0, 2 * RATE) + cut(s, RATE, n), s)
        # More frames left out than Wine leaves out, in mid-song (after a
        # short silence or none) or at the start.
        self.assert_verdict(False, cut(s, 0, 2 * RATE) + cut(s, 2 * RATE + RATE * 6 // 10, n), s)
        self.assert_verdict(False, cut(s, 0, RATE) + silence(50) + cut(s, RATE + RATE * 6 // 10, n), s)
        self.assert_verdict(False, cut(s + s, 0, 1100) + cut(s + s, 1100 + 5 * RATE // 2, 2 * n), s + s)
        # The song's end never heard, or its last buffer (23 ms).
        self.assert_verdict(False, cut(s, 0, n - RATE // 2), s)
        self.assert_verdict(False, cut(s, 0, n - 1024), s)
        # Nothing but silence, or a sound that is not the song.
        self.assert_verdict(False, silence(RATE), s)
        self.assert_verdict(False, frames(2, RATE), s)

    def test_most_of_the_song_must_be_heard(self):
        s, n = self.song, self.n
        # A quarter of each fifth of a second, silence between: each gap
        # alone is one Wine may leave.
        step, heard = RATE // 5, RATE // 20
        holes = b"".join(cut(s, at, at + heard) + silence(10) for at in range(0, n - step, step))
        holes += cut(s, n - step, n)
        self.assert_verdict(False, holes, s)

    def test_an_unreadable_reference_is_an_error(self):
        with tempfile.TemporaryDirectory() as d:
            rec = os.path.join(d, "rec.raw")
            with open(rec, "wb") as f:
                f.write(self.song)
            result = subprocess.run([sys.executable, CHECK, rec, os.path.join(d, "none.wav"), "player"],
                                    capture_output=True, text=True)
            self.assertEqual(result.returncode, 2)


class Show(CheckRecording):
    # Two bars of the song, then bars that differ: the ring repeats bar two.
    render = frames(3, 3 * BAR)
    seconds = 31

    def looped(self, period):
        stream = cut(self.render, 0, 2 * BAR)
        loop = cut(self.render, 2 * BAR - period, 2 * BAR)
        while len(stream) < self.seconds * RATE * FRAME:
            stream += loop
        return stream

    def test_the_ring_looping_to_the_end_passes(self):
        self.assert_verdict(True, silence(RATE // 3) + self.looped(BAR), self.render, "show")

    def test_a_wrong_loop_or_an_early_end_fails(self):
        self.assert_verdict(False, self.looped(BAR + 884), self.render, "show")
        # The music never stopped: bar three follows bar two.
        self.assert_verdict(False, cut(self.render, 0, 3 * BAR) + self.looped(BAR), self.render, "show")
        self.assert_verdict(False, self.looped(BAR)[:20 * RATE * FRAME], self.render, "show")


if __name__ == "__main__":
    unittest.main()
