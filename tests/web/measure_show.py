#!/usr/bin/env python3
"""Measures the show page in headless Chromium (a benchmark, not a test):
the size of the site and of the files the show page loads, the latency from
a real click on the start screen to the first frame drawn and to the
animation frame after it (the frame on screen), the distribution of the
times between animation frames over one whole show, and the sound output's
starved render quanta.
Usage: tests/web/measure_show.py SITE_DIR [--trials N]"""
import argparse
import os
import statistics
import sys
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site  # noqa: E402

PAGE_FILES = ["index.html", "site.css", "show_page.js", "show.js", "show.wasm", "audio_web_worklet.js"]
SHOW_SECONDS = 30.72
SITE_BUDGET_BYTES = 1.5e6
FRAME_BUDGET_MS = 20


def folder_bytes(folder):
    return sum(os.path.getsize(os.path.join(top, name)) for top, _, names in os.walk(folder) for name in names)


def start_show(browser, site):
    browser.goto(site.url("index.html"))
    browser.wait_for("location.pathname.endsWith('index.html') && window.qmShow && qmShow.screen === 'start'")
    browser.click(256, 192)
    browser.wait_for("qmShow.firstPaintMs >= 0", timeout=10)
    return browser.evaluate("[qmShow.firstFrameMs, qmShow.firstPaintMs, qmShow.soundless]")


def percentile(values, p):
    ordered = sorted(values)
    return ordered[min(len(ordered) - 1, int(p / 100 * len(ordered)))]


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("site")
    parser.add_argument("--trials", type=int, default=5)
    args = parser.parse_args()
    sizes = {name: os.path.getsize(os.path.join(args.site, name)) for name in PAGE_FILES}
    sizes["data/"] = folder_bytes(os.path.join(args.site, "data"))
    print("show page files:", ", ".join(f"{n} {s}" for n, s in sizes.items()))
    print(f"show page total: {sum(sizes.values())} bytes ({sum(sizes.values()) / 1e6:.3f} MB)")
    site_bytes = folder_bytes(args.site)
    print(f"whole site: {site_bytes} bytes ({site_bytes / 1e6:.3f} MB; budget {SITE_BUDGET_BYTES / 1e6:.1f} MB: "
          f"{'within' if site_bytes < SITE_BUDGET_BYTES else 'OVER'})")
    with Site(args.site) as site, Browser() as browser:
        firsts = []
        for _ in range(args.trials):
            first_frame, first_paint, soundless = start_show(browser, site)
            firsts.append((first_frame, first_paint))
            if soundless:
                print("warning: the show ran silent:", soundless)
            browser.type_key("Escape")
            browser.wait_for("!qmShow.running")
        print("click to first frame drawn, ms:", " ".join(f"{f:.1f}" for f, _ in firsts))
        print("click to the animation frame after it, ms:", " ".join(f"{p:.1f}" for _, p in firsts))
        start_show(browser, site)
        time.sleep(SHOW_SECONDS - 1)  # the output closes with the show's end
        output = browser.evaluate("[Module.qmAudioOutput.node.constructor.name, Module.qmAudioOutput.underruns]")
        browser.wait_for("qmShow.ends > 0", timeout=10)
        times = browser.evaluate("qmShow.frameTimes")
    print(f"frames: {len(times) + 1} in {sum(times) / 1000:.2f} s, {1000 * len(times) / sum(times):.2f} fps")
    print("frame time ms: " + ", ".join(f"p{p} {percentile(times, p):.2f}" for p in (1, 10, 50, 90, 99)) +
          f", max {max(times):.2f}, mean {statistics.mean(times):.2f}, stdev {statistics.pstdev(times):.2f}")
    print(f"frames over {FRAME_BUDGET_MS} ms: {sum(1 for t in times if t > FRAME_BUDGET_MS)}; "
          f"over 25 ms: {sum(1 for t in times if t > 25)}")
    print(f"sound output: {output[0]}, starved render quanta: {output[1]}")


if __name__ == "__main__":
    main()
