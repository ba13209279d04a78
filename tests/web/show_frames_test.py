"""The show page's frames in headless Chromium against quillmere-frames: the
canvas drawn by index.html?at=MS, screenshot at one device pixel per pixel,
equals the tool's PNG for the same time pixel for pixel, at both sides of
every window edge of the timeline and at moments inside the windows."""
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site  # noqa: E402

# Both sides of each window edge, the wipe's and the fades' turning points,
# the pointer's first steps and the dot swap, the last frame.
EDGES = [0, 1023, 1024, 3040, 3041, 3071, 3072, 4095, 4096, 6143, 6144, 6153, 8185, 8191, 8192, 9215,
         9216, 14335, 14336, 14400, 20479, 20480, 24575, 24576, 30719]
BETWEEN = [400, 2000, 2600, 3500, 5000, 7000, 8700, 12000, 16000, 19000, 22000, 27000]


def differing_pixels(a, b):
    """ImageMagick's count of pixels that differ; raises when it cannot compare."""
    result = subprocess.run(["compare", "-metric", "AE", a, b, "null:"], capture_output=True, text=True)
    if result.returncode not in (0, 1):
        raise AssertionError(f"compare {a} {b}: {result.stderr.strip()}")
    return int(float(result.stderr.split()[0]))


class ShowFrames(unittest.TestCase):
    def test_every_moment_equals_quillmere_frames(self):
        times = EDGES + BETWEEN
        with tempfile.TemporaryDirectory() as work:
            expected = os.path.join(work, "expected")
            subprocess.run([os.environ["QM_FRAMES"], "--data", os.environ["QM_DATA"] + "/", "-o", expected,
                            *map(str, times)], check=True, stdout=subprocess.DEVNULL)
            with Site(os.environ["QM_SITE"]) as site, Browser() as browser:
                for t in times:
                    with self.subTest(t=t):
                        browser.goto(site.url(f"index.html?at={t}"))
                        browser.wait_for(f"location.search === '?at={t}' && window.qmShow && qmShow.drawn")
                        shot = os.path.join(work, f"shot_{t:05d}.png")
                        with open(shot, "wb") as f:
                            f.write(browser.screenshot_element("#show"))
                        size = subprocess.run(["identify", "-format", "%wx%h", shot], capture_output=True,
                                              text=True, check=True).stdout
                        self.assertEqual(size, "512x384")
                        self.assertEqual(differing_pixels(shot, os.path.join(expected, f"frame_t{t:05d}.png")), 0)
                self.assertEqual(browser.console_errors(), [])


if __name__ == "__main__":
    unittest.main()
