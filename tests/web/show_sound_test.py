"""The show page's sound in headless Chromium against xmrender:
index.html?record=5 records the 16-bit stereo samples the Web Audio output
took; after aligning both on their first sound, they equal xmrender's first
5 s of typing.xm sample for sample."""
import array
import base64
import os
import subprocess
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site  # noqa: E402

SECONDS = 5
RATE = 44100
WAV_HEADER_BYTES = 44
# The output's callbacks and the page's start may put some silence first.
MOST_LEADING_SILENCE = RATE // 2


def first_sound(samples):
    return next((i for i, v in enumerate(samples) if v != 0), None)


class ShowSound(unittest.TestCase):
    def test_recording_equals_xmrender(self):
        with tempfile.TemporaryDirectory() as work:
            wav = os.path.join(work, "typing.wav")
            subprocess.run([os.environ["QM_XMRENDER"], os.path.join(os.environ["QM_DATA"], "typing.xm"), "-o", wav,
                            "--seconds", str(SECONDS)], check=True, stderr=subprocess.DEVNULL)
            with open(wav, "rb") as f:
                expected = array.array("h", f.read()[WAV_HEADER_BYTES:])
        with Site(os.environ["QM_SITE"]) as site, Browser() as browser:
            browser.goto(site.url(f"index.html?record={SECONDS}"))
            text = browser.wait_for("document.getElementById('record').textContent", timeout=SECONDS * 6)
            self.assertEqual(browser.evaluate("qmShow.soundless"), "")
            self.assertEqual(browser.console_errors(), [])
        heard = array.array("h", base64.b64decode(text))
        self.assertGreaterEqual(len(heard), 2 * SECONDS * RATE)
        start_heard, start_expected = first_sound(heard), first_sound(expected)
        self.assertIsNotNone(start_heard, "the recording is silent")
        self.assertLess(start_heard, 2 * MOST_LEADING_SILENCE)
        count = min(len(heard) - start_heard, len(expected) - start_expected)
        self.assertGreater(count, 2 * (SECONDS * RATE - MOST_LEADING_SILENCE))
        a = heard[start_heard:start_heard + count]
        b = expected[start_expected:start_expected + count]
        if a != b:
            first = next(i for i in range(count) if a[i] != b[i])
            self.fail(f"sample {first} after the first sound differs: {a[first]} heard, {b[first]} expected")


if __name__ == "__main__":
    unittest.main()
