#!/usr/bin/env python3
"""Measures the module player page in headless Chromium (a benchmark, not a
test): the time from navigation to a ready player, and, while a 22-channel
song plays with the pattern view and the meters, the share of a core the
page's main thread takes (its CPU time over wall time, and the DevTools
protocol's TaskDuration, which also counts time the thread waited for a
core), the sound output's starved render quanta, and the fewest frames the
output still held when the page answered it (above 0: no answer came later
than the queued sound lasted); then the same, with the longest time between
two of the page's answers to the output, while a WAV download of the song
renders in its worker. The 22-channel song is a corpus song (or the
show's own) widened by repeating its channels.
Usage: tests/web/measure_player.py SITE_DIR [--trials N] [--seconds S] [--song FILE]"""
import argparse
import os
import shutil
import statistics
import struct
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
DEFAULT_SONGS = [os.path.join(HERE, "..", "..", "..", "shared", "corpus", "xm", "songs", "zalza-tekilla_groove.xm"),
                 os.path.join(HERE, "..", "..", "data", "typing.xm")]
CHANNELS = 22
RATE = 44100
HEADER_AT = 60             # the module header's size field; the header counts from here
CELL_BYTES = 5
PACKED_FLAG = 0x80


def unpack_row_cells(data, at, count):
    """count cells of XM pattern data from at; (cells, next offset)."""
    cells = []
    for _ in range(count):
        first = data[at]
        if first & PACKED_FLAG:
            at += 1
            cell = []
            for bit in range(CELL_BYTES):
                if first & (1 << bit):
                    cell.append(data[at])
                    at += 1
                else:
                    cell.append(0)
            cells.append(bytes(cell))
        else:
            cells.append(bytes(data[at:at + CELL_BYTES]))
            at += CELL_BYTES
    return cells, at


def widen(data, channels):
    """The XM file with each pattern's channels repeated up to `channels`."""
    header_size = struct.unpack_from("<I", data, HEADER_AT)[0]
    old = struct.unpack_from("<H", data, 68)[0]
    patterns = struct.unpack_from("<H", data, 70)[0]
    out = bytearray(data[:HEADER_AT + header_size])
    struct.pack_into("<H", out, 68, channels)
    at = HEADER_AT + header_size
    for _ in range(patterns):
        length, packing, rows, size = struct.unpack_from("<IBHH", data, at)
        body, at = at + length, at + length + size
        cells = b""
        if size:
            position = body
            for _ in range(rows):
                row, position = unpack_row_cells(data, position, old)
                cells += b"".join(row[c % old] for c in range(channels))
        out += struct.pack("<IBHH", 9, packing, rows, len(cells)) + cells
    return bytes(out + data[at:])


def renderer_main_threads():
    """CPU seconds so far of the main thread of each renderer (a process with a
    "Compositor" thread) on this machine: {pid: seconds}."""
    ticks = os.sysconf("SC_CLK_TCK")
    found = {}
    for pid in filter(str.isdigit, os.listdir("/proc")):
        try:
            names = set()
            for tid in os.listdir(f"/proc/{pid}/task"):
                with open(f"/proc/{pid}/task/{tid}/comm") as f:
                    names.add(f.read().strip())
            if "Compositor" not in names:
                continue
            with open(f"/proc/{pid}/task/{pid}/stat") as f:
                fields = f.read().rsplit(")", 1)[1].split()
            found[pid] = (int(fields[11]) + int(fields[12])) / ticks  # utime + stime
        except OSError:
            continue
    return found


# Wraps the sound output's message handler to note when the page answers it.
ANSWER_TIMES = """(() => {
  const port = Module.qmAudioOutput.node.port, answer = port.onmessage;
  window.qmGaps = [];
  let last = 0;
  port.onmessage = (event) => {
    const now = performance.now();
    if (last) qmGaps.push(now - last);
    last = now;
    answer(event);
  };
  Module.qmAudioOutput.leastQueued = Infinity;
  return Module.qmAudioOutput.underruns;
})()"""


def measure_download(browser):
    """While a WAV download renders: (seconds, underruns, fewest frames queued, longest answer gap ms)."""
    underruns = browser.evaluate(ANSWER_TIMES)
    downloads = browser.evaluate("qmPlayer.downloads")
    start = time.monotonic()
    browser.click_element("#download")
    browser.wait_for(f"qmPlayer.downloads > {downloads}", timeout=300)
    took = time.monotonic() - start
    least, now, gap = browser.evaluate("[Module.qmAudioOutput.leastQueued, Module.qmAudioOutput.underruns, "
                                       "Math.max(...qmGaps)]")
    return took, now - underruns, least, gap


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("site")
    parser.add_argument("--trials", type=int, default=5)
    parser.add_argument("--seconds", type=float, default=20)
    parser.add_argument("--song")
    args = parser.parse_args()
    source = args.song or next(p for p in DEFAULT_SONGS if os.path.exists(p))
    work = tempfile.mkdtemp(prefix="qm-measure-")
    try:
        wide = os.path.join(work, "wide22.xm")
        with open(source, "rb") as f, open(wide, "wb") as w:
            w.write(widen(f.read(), CHANNELS))
        with Site(args.site) as site, Browser() as browser:
            browser.set_viewport(1280, 800)
            ready = []
            for _ in range(args.trials):
                browser.goto(site.url("player.html"))
                browser.wait_for("window.qmPlayer && qmPlayer.ready")
                ready.append(browser.evaluate("qmPlayer.readyMs"))
            print(f"navigation to a ready player, ms: {' '.join(f'{r:.0f}' for r in ready)} "
                  f"(median {statistics.median(ready):.0f})")
            browser.drop_files([wide], 1270, 790)
            browser.wait_for("qmPlayer.loaded")
            print(f"song: {os.path.basename(source)} widened to {browser.evaluate('qmPlayer.info.channels')} channels")
            browser.type_key("Space")
            browser.wait_for(f"qmPlayer.position && qmPlayer.position.frame > {RATE}")
            browser.command("Performance.enable")
            metric = lambda: {m["name"]: m["value"] for m in browser.command("Performance.getMetrics")["metrics"]}
            before, cpu_before, wall = metric(), renderer_main_threads(), time.monotonic()
            time.sleep(args.seconds)
            after, cpu_after, wall = metric(), renderer_main_threads(), time.monotonic() - wall
            busy = after["TaskDuration"] - before["TaskDuration"]
            # The page's renderer is the one whose main thread worked most meanwhile.
            cpu = max(cpu_after[t] - cpu_before.get(t, 0) for t in cpu_after)
            output = browser.evaluate("[Module.qmAudioOutput.node.constructor.name, Module.qmAudioOutput.underruns, "
                                      "Module.qmAudioOutput.leastQueued, Module.qmAudioOutput.ahead]")
            playing = browser.evaluate("[qmPlayer.playing, document.querySelectorAll('#rows .row').length]")
            browser.allow_downloads(work)
            download = measure_download(browser)
        print(f"main thread over {wall:.1f} s of playback: {busy:.2f} s of tasks ({100 * busy / wall:.1f} % of the "
              f"time), {cpu:.2f} s of CPU ({100 * cpu / wall:.1f} % of a core)")
        print(f"sound output: {output[0]}, starved render quanta {output[1]}, fewest frames still queued when "
              f"the page answered {output[2]:.0f} ({1000 * output[2] / RATE:.1f} ms), chunks ahead {output[3]}")
        print(f"still playing: {playing[0]}; rows written in the pattern view: {playing[1]}")
        print(f"while a WAV download rendered ({download[0]:.1f} s): starved render quanta {download[1]}, fewest "
              f"frames still queued {download[2]:.0f} ({1000 * download[2] / RATE:.1f} ms), longest time between "
              f"the page's answers to the output {download[3]:.1f} ms")
    finally:
        shutil.rmtree(work, ignore_errors=True)


if __name__ == "__main__":
    main()
