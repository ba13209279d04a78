#!/usr/bin/env python3
"""End-to-end runs of quillmere-play on SDL's disk audio driver, never a
real device.

    play_e2e.py CASE PLAYER XMRENDER DATA_DIR

CASE is one of: command_line, no_device, recording, files, playlists,
keys, channel_keys, start_time_keys, signal.
The disk driver writes what the device would play to a file: raw 16-bit
stereo, silence while the stream is paused. With SDL_DISKAUDIODELAY=0 it
runs as fast as it can; without it, it keeps real-time pace (one device
buffer of 1024 frames every 23 ms), which the key tests measure against.
Exits 0 when every check holds, 1 otherwise, 77 (skipped) when a tool is
missing.
"""
import os
import select
import signal
import subprocess
import sys
import tempfile
import termios
import threading
import time
import fcntl
import struct

CASE, PLAYER, XMRENDER, DATA = sys.argv[1:5]
SONG = os.path.join(DATA, "typing.xm")
RATE = 44100
FRAME = 4  # bytes of a 16-bit stereo frame
DEVICE_BUFFER = 1024 * FRAME
KEY_LATENCY_LIMIT_S = 0.100
WORK = tempfile.mkdtemp(prefix="qm-play.")
failures = []


def check(condition, what):
    if not condition:
        failures.append(what)
        print("FAIL:", what)
    return condition


def environment(recording=None, paced=False, driver="disk"):
    env = dict(os.environ)
    env["SDL_AUDIODRIVER"] = driver
    env["SDL_DISKAUDIOFILE"] = recording or os.path.join(WORK, "unused.raw")
    if paced:
        env.pop("SDL_DISKAUDIODELAY", None)
    else:
        env["SDL_DISKAUDIODELAY"] = "0"
    # Sanitizer builds: libraries SDL loads keep allocations to the end.
    env["ASAN_OPTIONS"] = env.get("ASAN_OPTIONS", "") + ":detect_leaks=0"
    return env


def run(args, env=None, timeout=60):
    return subprocess.run([PLAYER] + args, env=env or environment(), capture_output=True, text=True,
                          timeout=timeout, stdin=subprocess.DEVNULL)


def wav_data(path):
    data = open(path, "rb").read()
    at = 12
    while at + 8 <= len(data):
        size = int.from_bytes(data[at + 4:at + 8], "little")
        if data[at:at + 4] == b"data":
            return data[at + 8:at + 8 + size]
        at += 8 + size + (size & 1)
    raise ValueError(path + " has no data chunk")


def first_sound(data, start=0):
    """Byte offset of the first frame at or after start that is not silent."""
    for at in range(start - start % FRAME, len(data), FRAME):
        if data[at:at + FRAME] != b"\0\0\0\0":
            return at
    return len(data)


def reference(options, name="reference.wav"):
    """xmrender's 16-bit output for the options, or None when it refuses them."""
    out = os.path.join(WORK, name)
    done = subprocess.run([XMRENDER, SONG, "-o", out] + options, capture_output=True, text=True)
    if done.returncode != 0:
        print("xmrender", " ".join(options), "refused:", done.stderr.strip())
        return None
    return wav_data(out)


def matches_after_sound(recording, ref):
    """The recording, from its first sound, is ref from its first sound, then silence."""
    body = ref[first_sound(ref):]
    start = first_sound(recording)
    return recording[start:start + len(body)] == body and not any(recording[start + len(body):])


# ---- cases without a terminal --------------------------------------------

def case_command_line():
    help_run = run(["--help"])
    check(help_run.returncode == 0 and help_run.stderr == "", "--help: status 0, nothing on stderr")
    for word in ("usage: quillmere-play", "--loops", "--stereo-separation", "--shuffle", "space", "Exit status",
                 "--seconds", "--fade", "--start-time", "-L, --loop-all", "-@ LIST", ".m3u", "down, up",
                 "1 .. 9, 0", "s then 1 .. 0", "!  ", "i  ", "h, ?"):
        check(word in help_run.stdout, "--help names " + word)
    version = run(["--version"])
    check(version.returncode == 0 and version.stdout == "quillmere-play 1.0.0\n", "--version")
    for args, message in (([], "quillmere-play: no file to play"),
                          (["--bogus", SONG], "quillmere-play: unknown option '--bogus' (see --help)"),
                          (["--gain", "30", SONG], "quillmere-play: --gain: wants decibels from -60 to 24"),
                          (["--loops"], "quillmere-play: --loops: wants a whole number of plays, 1 or more (0: without end)"),
                          (["--start", "1", "--start-time", "2", SONG],
                           "quillmere-play: --start and --start-time both say where to start; give one"),
                          (["--fade", "0", SONG],
                           "quillmere-play: --fade: wants a time above 0 and at most a day (seconds, M:SS or H:MM:SS)")):
        bad = run(args)
        check(bad.returncode == 2 and bad.stderr.splitlines()[0] == message and bad.stdout == "",
              "%s: status 2 and '%s' (got %d, %r)" % (args, message, bad.returncode, bad.stderr))
    past = run(["--start", "8", SONG])
    check(past.returncode == 1 and past.stderr.strip() ==
          "quillmere-play: %s: --start 8 is past the song's last order position (7)" % SONG,
          "--start past the song: status 1 and the reason (got %r)" % past.stderr)
    late = run(["--start-time", "1:00", SONG])
    check(late.returncode == 1 and late.stderr.strip() == "quillmere-play: %s: --start-time 60.000 s is at or past "
          "the end of the playback (17.183 s)" % SONG, "--start-time past the end: status 1 and the reason (got %r)"
          % late.stderr)


def case_no_device():
    done = run([SONG], env=environment(driver="no-such-driver"))
    check(done.returncode == 1, "no device: status 1 (got %d)" % done.returncode)
    check(done.stderr == "quillmere-play: cannot open a sound device: Audio target 'no-such-driver' not available\n",
          "no device: one line naming SDL's reason (got %r)" % done.stderr)
    check(done.stdout == "", "no device: nothing on stdout")


def case_recording():
    for options in ([], ["--start", "1", "--gain", "-6", "--loops", "1"],
                    ["--loops", "2", "--rate", "22050", "--stereo-separation", "50"],
                    ["--seconds", "25", "--fade", "3"], ["--start-time", "0:12.5", "--mute", "2,3"],
                    ["--start", "2", "--fade", "4"],
                    ["--start-time", "8", "--seconds", "4", "--fade", "1", "--solo", "1"]):
        ref = reference(options)
        if ref is None:
            # xmrender is the reference; an xmrender without these options cannot be one yet.
            print("skipped: xmrender does not take", " ".join(options))
            continue
        recording = os.path.join(WORK, "recording.raw")
        done = run(options + [SONG], env=environment(recording))
        check(done.returncode == 0, "%s: status 0 (got %d: %s)" % (options, done.returncode, done.stderr))
        check(matches_after_sound(open(recording, "rb").read(), ref),
              "%s: the recording equals xmrender's output byte for byte" % options)


def case_files():
    bad = os.path.join(WORK, "bad.xm")
    with open(SONG, "rb") as song, open(bad, "wb") as out:
        out.write(song.read(17))
    missing = os.path.join(WORK, "missing.xm")
    second = os.path.join(WORK, "second.xm")
    with open(SONG, "rb") as song, open(second, "wb") as out:
        out.write(song.read())
    recording = os.path.join(WORK, "recording.raw")
    done = run([SONG, missing, bad, second], env=environment(recording))
    check(done.returncode == 1, "a bad file among good ones: status 1 (got %d)" % done.returncode)
    check(done.stdout.splitlines() == ["Playing %s (typing), 0:17" % SONG, "Playing %s (typing), 0:17" % second],
          "one line per good file (got %r)" % done.stdout)
    errors = done.stderr.splitlines()
    check(len(errors) == 2 and errors[0].startswith("quillmere-play: %s: cannot open" % missing) and
          errors[1].startswith("quillmere-play: %s: header incomplete" % bad),
          "each bad file named with its reason (got %r)" % done.stderr)
    ref = reference([])
    rec = open(recording, "rb").read()
    body = ref[first_sound(ref):]
    first = first_sound(rec)
    check(rec[first:first + len(body)] == body, "the first file plays whole")
    again = first_sound(rec, first + len(body))
    check(rec[again:again + len(body)] == body and not any(rec[again + len(body):]),
          "the next good file plays whole after the bad ones")
    copies = [os.path.join(WORK, "copy%d.xm" % i) for i in range(4)]
    for copy in copies:
        with open(SONG, "rb") as song, open(copy, "wb") as out:
            out.write(song.read())
    shuffled = run(["--shuffle", "--rate", "8000"] + copies, env=environment(recording))
    played = [line[len("Playing "):].split(" (")[0] for line in shuffled.stdout.splitlines()]
    check(shuffled.returncode == 0 and sorted(played) == copies,
          "--shuffle plays every file once (got %r)" % played)
    quiet = run(["-q", SONG, missing], env=environment(recording))
    check(quiet.returncode == 1 and quiet.stdout == "" and len(quiet.stderr.splitlines()) == 1,
          "-q: errors only (got %r, %r)" % (quiet.stdout, quiet.stderr))


def played(stdout):
    return [line[len("Playing "):].rsplit(" (", 1)[0] for line in stdout.splitlines() if line.startswith("Playing ")]


def case_playlists():
    folder = os.path.join(WORK, "lists")
    os.makedirs(os.path.join(folder, "sub"))
    songs = [os.path.join(folder, "sub", "one.xm"), os.path.join(folder, "two.xm")]
    for path in songs:
        with open(SONG, "rb") as song, open(path, "wb") as out:
            out.write(song.read())
    m3u = os.path.join(folder, "mix.m3u")
    with open(m3u, "w") as out:
        out.write("#EXTM3U\r\n#EXTINF:17,one\r\nsub/one.xm\r\nmissing.xm\r\nmix.m3u\r\nbad\x07name.xm\r\n"
                  "two.xm\r\nother.M3U8\r\n")
    done = run(["--rate", "8000", m3u])
    check(played(done.stdout) == [songs[0], songs[1]], "an M3U plays its songs in order (got %r)" % done.stdout)
    errors = done.stderr.splitlines()
    check(done.returncode == 1 and len(errors) == 4 and
          errors[0] == "quillmere-play: %s: line 5: names the list itself; skipped" % m3u and
          errors[1] == "quillmere-play: %s: line 6: 'bad\\x07name.xm' holds a control character; skipped" % m3u and
          errors[2] == "quillmere-play: %s: line 8: 'other.M3U8' is a list; lists inside lists are not followed" % m3u
          and errors[3].startswith("quillmere-play: %s: cannot open" % os.path.join(folder, "missing.xm")),
          "skipped lines and the missing song are named, status 1 (got %d, %r)" % (done.returncode, done.stderr))
    listed = subprocess.run([PLAYER, "--rate", "8000", SONG, "-@", "-", songs[1]], input=songs[0] + "\n",
                            env=environment(), capture_output=True, text=True, timeout=60)
    check(listed.returncode == 0 and played(listed.stdout) == [SONG, songs[0], songs[1]],
          "-@ - reads the list from standard input in its place (got %r)" % listed.stdout)
    huge = os.path.join(WORK, "huge.m3u")
    with open(huge, "wb") as out:
        out.write(b"a.xm\n" * 300000)
    for path, reason in ((os.path.join(WORK, "none.m3u"), "No such file or directory"),
                         (folder, "Is a directory"), (huge, "larger than 1 MiB; not a list of files"),
                         (SONG, "binary data")):
        bad = run(["-@", path, SONG])
        check(bad.returncode == 1 and bad.stdout == "" and
              bad.stderr.startswith("quillmere-play: %s: %s" % (path, reason)),
              "a list that does not read stops the player: %s (got %d, %r)" % (reason, bad.returncode, bad.stderr))
    # --loop-all: the list again from its first file, until stopped; a list
    # whose every file fails ends instead of going round for ever.
    loop = subprocess.Popen([PLAYER, "--rate", "8000", "--seconds", "0.5", "-L", songs[0], songs[1]],
                            env=environment(), stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True,
                            stdin=subprocess.DEVNULL)
    lines = [loop.stdout.readline() for _ in range(5)]
    loop.terminate()
    loop.communicate(timeout=10)
    check(played("".join(lines)) == [songs[0], songs[1], songs[0], songs[1], songs[0]],
          "--loop-all plays the list again from its first file (got %r)" % lines)
    failing = run(["--loop-all", os.path.join(WORK, "none.xm")], timeout=10)
    check(failing.returncode == 1 and len(failing.stderr.splitlines()) == 1,
          "--loop-all over files that all fail ends with status 1 (got %d, %r)" % (failing.returncode, failing.stderr))


# ---- cases on a pseudo-terminal -------------------------------------------

class Terminal:
    """The player on a pseudo-terminal that is its controlling terminal."""

    def __init__(self, args, env, columns=0):
        self.master, self.slave = os.openpty()
        if columns:
            fcntl.ioctl(self.slave, termios.TIOCSWINSZ, struct.pack("HHHH", 24, columns, 0, 0))
        self.modes = termios.tcgetattr(self.slave)
        self.screen = b""
        self.stderr_path = os.path.join(WORK, "stderr")

        def take_terminal():
            fcntl.ioctl(0, termios.TIOCSCTTY, 0)

        with open(self.stderr_path, "wb") as err:
            self.process = subprocess.Popen([PLAYER] + args, env=env, stdin=self.slave, stdout=self.slave,
                                            stderr=err, start_new_session=True, preexec_fn=take_terminal)
        self.reader = threading.Thread(target=self._read, daemon=True)
        self.reader.start()

    def _read(self):
        while True:
            ready, _, _ = select.select([self.master], [], [], 0.1)
            if ready:
                try:
                    chunk = os.read(self.master, 4096)
                except OSError:
                    return
                if not chunk:
                    return
                self.screen += chunk
            elif self.process.poll() is not None:
                return

    def wait_for(self, text, seconds=10):
        end = time.monotonic() + seconds
        while time.monotonic() < end:
            if text.encode() in self.screen:
                return True
            time.sleep(0.01)
        return False

    def status_line(self):
        """The last status line drawn."""
        return self.screen.rsplit(b"\r", 2)[-2 if self.screen.endswith(b"\r") else -1].decode(errors="replace")

    def key(self, text):
        os.write(self.master, text.encode())

    def finish(self, seconds=10):
        try:
            status = self.process.wait(seconds)
        except subprocess.TimeoutExpired:
            self.process.kill()
            status = None
        self.reader.join(2)
        restored = termios.tcgetattr(self.slave) == self.modes
        os.close(self.master)
        os.close(self.slave)
        return status, restored


class Recorder:
    """Reads what the disk driver writes into a FIFO, with the time each
    piece arrived. The driver's stdio buffer hands over two device buffers
    at a time, so an arrival time is at most one buffer (23 ms) later than
    the device took the frames: the latencies measured are upper bounds."""

    def __init__(self):
        self.path = os.path.join(WORK, "recording.fifo")
        os.mkfifo(self.path)
        self.data = bytearray()
        self.arrivals = []  # (monotonic time, bytes received by then)
        self.thread = threading.Thread(target=self._read, daemon=True)
        self.thread.start()

    def _read(self):
        with open(self.path, "rb", buffering=0) as fifo:
            while True:
                chunk = fifo.read(65536)
                if not chunk:
                    return
                self.data += chunk
                self.arrivals.append((time.monotonic(), len(self.data)))

    def wait_for(self, size, seconds=10):
        end = time.monotonic() + seconds
        while len(self.data) < size and time.monotonic() < end:
            time.sleep(0.005)
        return len(self.data) >= size

    def arrived(self, offset):
        """When the recording first held offset bytes, or None."""
        for when, size in list(self.arrivals):
            if size >= offset:
                return when
        return None


def heard_until(rec, start, ref, ref_start):
    """Bytes from start for which rec equals ref from ref_start."""
    heard = 0
    while start + heard < len(rec) and rec[start + heard:start + heard + FRAME] == \
            ref[ref_start + heard:ref_start + heard + FRAME]:
        heard += FRAME
    return heard


def case_keys():
    second = os.path.join(WORK, "second.xm")
    with open(SONG, "rb") as song, open(second, "wb") as out:
        out.write(song.read())
    recorder = Recorder()
    term = Terminal([SONG, second], environment(recorder.path, paced=True))
    if not check(term.wait_for("Playing " + SONG), "the player announces the song on the terminal"):
        print(term.finish(1), open(term.stderr_path).read())
        return
    # A second of sound, then pause and resume; the recording must be the
    # song up to the pause, silence, then the song from where it paused.
    check(recorder.wait_for(first_sound(recorder.data) + RATE * FRAME), "the recording grows at real-time pace")
    ref = reference([])
    start, ref_start = first_sound(recorder.data), first_sound(ref)
    pressed = time.monotonic()
    term.key(" ")
    time.sleep(0.5)
    check(term.wait_for("paused", 2), "the status line says paused")
    heard = heard_until(recorder.data, start, ref, ref_start)
    pause_at = start + heard
    silent = recorder.arrived(pause_at + DEVICE_BUFFER)
    if check(silent is not None and not any(recorder.data[pause_at:]), "silence is recorded after the pause key"):
        print("pause: the first silent device buffer was recorded %.1f ms after the key" % ((silent - pressed) * 1000))
        check(silent - pressed < KEY_LATENCY_LIMIT_S, "pause takes effect within 100 ms")
    pressed = time.monotonic()
    term.key(" ")
    time.sleep(0.5)
    rec = bytes(recorder.data)
    again = first_sound(rec, pause_at)
    sounding = recorder.arrived(again + DEVICE_BUFFER)
    if check(sounding is not None, "sound is recorded after the resume key"):
        print("resume: the first sounding device buffer was recorded %.1f ms after the key" %
              ((sounding - pressed) * 1000))
        check(sounding - pressed < KEY_LATENCY_LIMIT_S, "resume takes effect within 100 ms")
    ref_again = first_sound(ref, ref_start + heard)
    check(heard_until(rec, again, ref, ref_again) > RATE * FRAME // 4,
          "after the resume the song goes on from where it paused")
    # Order positions, volume, next file, quit.
    term.key("\x1b[C")
    time.sleep(0.3)
    term.key("\x1b[C")
    check(term.wait_for("order 2/7 ", 2), "right arrow twice: order 2 (got %r)" % term.status_line())
    term.key("\x1b[D")
    check(term.wait_for("order 1/7 ", 2), "left arrow: order 1 (got %r)" % term.status_line())
    term.key("--+")
    check(term.wait_for("-1 dB", 2), "- - +: -1 dB (got %r)" % term.status_line())
    term.key("n")
    check(term.wait_for("Playing " + second, 2), "n moves to the next file")
    term.key("p")
    announced = "Playing %s (typing)" % SONG
    end = time.monotonic() + 2
    while term.screen.count(announced.encode()) < 2 and time.monotonic() < end:
        time.sleep(0.01)
    check(term.screen.count(announced.encode()) == 2, "p goes back to the previous file")
    term.key("q")
    status, restored = term.finish()
    check(status == 0, "q quits with status 0 (got %s)" % status)
    check(restored, "the terminal's modes are restored after q")
    check(open(term.stderr_path).read() == "", "nothing on stderr")


def tail_at(rec, start, ref, ref_start, size):
    """The last size bytes of rec, and where they lie in ref's time (rec from start is ref from ref_start)."""
    end = len(rec) - len(rec) % FRAME
    return rec[end - size:end], ref_start + (end - size - start)


def case_channel_keys():
    recorder = Recorder()
    term = Terminal([SONG], environment(recorder.path, paced=True), columns=200)
    if not check(term.wait_for("Playing " + SONG), "the player announces the song on the terminal"):
        print(term.finish(1), open(term.stderr_path).read())
        return
    check(recorder.wait_for(first_sound(recorder.data) + RATE * FRAME // 2), "the recording grows")
    ref, solo = reference([]), reference(["--solo", "3"], "solo.wav")
    start, ref_start = first_sound(recorder.data), first_sound(ref)
    window = RATE * FRAME // 10  # the last 0.1 s recorded
    term.key("1234567890")
    check(term.wait_for("mute 1,2,3,4,5,6,7,8,9,10", 2), "digits mute channels 1 to 10 (got %r)" % term.status_line())
    time.sleep(0.4)
    muted, at = tail_at(bytes(recorder.data), start, ref, ref_start, window)
    check(not any(muted) and any(ref[at:at + window]), "every channel muted: silence is recorded where the song sounds")
    term.key("!s3")
    check(term.wait_for("solo 3", 2), "s then 3 solos channel 3 (got %r)" % term.status_line())
    time.sleep(0.4)
    heard, at = tail_at(bytes(recorder.data), start, ref, ref_start, window)
    check(heard == solo[at:at + window] and solo[at:at + window] != ref[at:at + window],
          "after ! and s 3 the recording is xmrender --solo 3 at the same frame (not the whole song)")
    term.key("s3")
    time.sleep(0.4)
    heard, at = tail_at(bytes(recorder.data), start, ref, ref_start, window)
    check(heard == ref[at:at + window], "s 3 again: every channel sounds as the song")
    term.key(".")
    time.sleep(0.4)
    heard = bytes(recorder.data)[-window:]
    ahead = ref.find(heard)
    check(ahead >= 0 and (ahead - ref_start) // FRAME >= 10 * RATE,
          "a 10 s seek: the recording goes on exactly where the song is 10 s later (found at %d)" % ahead)
    term.key("\x1b[B")
    time.sleep(0.4)
    back = ref.find(bytes(recorder.data)[-window:])
    check(0 <= back < ahead - 9 * RATE * FRAME, "down arrow: 10 s back (found at %d, was %d)" % (back, ahead))
    term.key("i")
    check(term.wait_for("10 channels, 8 orders", 2) and term.wait_for("instrument  1: ", 1),
          "i prints the song's sizes and instruments")
    term.key("?")
    check(term.wait_for("this key table", 2), "? prints the key table")
    term.key("q")
    status, restored = term.finish()
    check(status == 0 and restored, "q quits with status 0 and the terminal restored (got %s)" % status)
    check(open(term.stderr_path).read() == "", "nothing on stderr")


def case_start_time_keys():
    """--start-time on a terminal: the status line counts the song's time, and
    a seek back past the start goes to 0:00."""
    term = Terminal(["--start-time", "5", SONG], environment(os.path.join(WORK, "recording.raw"), paced=True),
                    columns=200)
    check(term.wait_for("0:05/0:17", 5), "--start-time 5: the status line starts at 0:05 of 0:17 (got %r)"
          % term.status_line())
    term.key(",")
    check(term.wait_for("0:00/0:17", 2), "a seek back from 0:05 goes to 0:00 (got %r)" % term.status_line())
    term.key("q")
    status, restored = term.finish()
    check(status == 0 and restored, "q quits with status 0 and the terminal restored (got %s)" % status)


def case_signal():
    for number in (signal.SIGTERM, signal.SIGINT, signal.SIGQUIT):
        term = Terminal([SONG], environment(os.path.join(WORK, "recording.raw"), paced=True))
        if not check(term.wait_for("Playing"), "the player starts"):
            term.finish(1)
            continue
        time.sleep(0.3)
        term.process.send_signal(number)
        status, restored = term.finish()
        check(status == -number, "signal %d ends the player as that signal (got %s)" % (number, status))
        check(restored, "the terminal's modes are restored after signal %d" % number)
    # Two signals at once (held back by SIGSTOP until SIGCONT): the second ends
    # the player on the spot, and puts the terminal back first.
    term = Terminal([SONG], environment(os.path.join(WORK, "recording.raw"), paced=True))
    if not check(term.wait_for("Playing"), "the player starts"):
        term.finish(1)
        return
    time.sleep(0.3)
    for number in (signal.SIGSTOP, signal.SIGINT, signal.SIGTERM, signal.SIGCONT):
        term.process.send_signal(number)
    status, restored = term.finish()
    check(status in (-signal.SIGINT, -signal.SIGTERM), "two signals end the player (got %s)" % status)
    check(restored, "the terminal's modes are restored after two signals at once")


def main():
    for tool in (PLAYER, XMRENDER):
        if not os.access(tool, os.X_OK):
            print("skipped:", tool, "is not built")
            return 77
    if not os.path.exists(SONG):
        print("skipped:", SONG, "does not exist")
        return 77
    globals()["case_" + CASE]()
    subprocess.run(["rm", "-rf", WORK])
    print("%d failed" % len(failures) if failures else "ok")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
