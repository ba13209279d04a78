"""The show page's sound in headless Chromium against xmrender:
index.html?record=5 records the 16-bit stereo samples the Web Audio output
took; after aligning both on their first sound, they equal xmrender's first
5 s of typing.xm sample for sample. The output is an AudioWorklet fed by
message; where a browser has none, the old ScriptProcessorNode plays the
same samples."""
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
SHORT_SECONDS = 2
RATE = 44100
WAV_HEADER_BYTES = 44
# The output's callbacks and the page's start may put some silence first.
MOST_LEADING_SILENCE = RATE // 2
NO_WORKLET = "delete window.AudioWorkletNode;"


def first_sound(samples):
    return next((i for i, v in enumerate(samples) if v != 0), None)


def xmrender_samples(seconds):
    with tempfile.TemporaryDirectory() as work:
        wav = os.path.join(work, "typing.wav")
        subprocess.run([os.environ["QM_XMRENDER"], os.path.join(os.environ["QM_DATA"], "typing.xm"), "-o", wav,
                        "--seconds", str(seconds)], check=True, stderr=subprocess.DEVNULL)
        with open(wav, "rb") as f:
            return array.array("h", f.read()[WAV_HEADER_BYTES:])


class ShowSound(unittest.TestCase):
    def record(self, browser, site, seconds):
        browser.goto(site.url(f"index.html?record={seconds}"))
        text = browser.wait_for("document.getElementById('record').textContent", timeout=seconds * 6 + 5)
        self.assertEqual(browser.evaluate("qmShow.soundless"), "")
        self.assertEqual(browser.console_errors(), [])
        return array.array("h", base64.b64decode(text))

    def assert_same(self, heard, expected, seconds):
        self.assertGreaterEqual(len(heard), 2 * seconds * RATE)
        start_heard, start_expected = first_sound(heard), first_sound(expected)
        self.assertIsNotNone(start_heard, "the recording is silent")
        self.assertLess(start_heard, 2 * MOST_LEADING_SILENCE)
        count = min(len(heard) - start_heard, len(expected) - start_expected)
        self.assertGreater(count, 2 * (seconds * RATE - MOST_LEADING_SILENCE))
        a = heard[start_heard:start_heard + count]
        b = expected[start_expected:start_expected + count]
        if a != b:
            first = next(i for i in range(count) if a[i] != b[i])
            self.fail(f"sample {first} after the first sound differs: {a[first]} heard, {b[first]} expected")

    def test_recording_equals_xmrender(self):
        expected = xmrender_samples(SECONDS)
        with Site(os.environ["QM_SITE"]) as site, Browser() as browser:
            heard = self.record(browser, site, SECONDS)
        self.assert_same(heard, expected, SECONDS)

    def test_worklet_and_fallback_outputs_play_the_same(self):
        expected = xmrender_samples(SHORT_SECONDS)
        with Site(os.environ["QM_SITE"]) as site, Browser() as browser:
            heard = self.record(browser, site, SHORT_SECONDS)
            self.assertEqual(browser.evaluate("Module.qmAudioOutput.node.constructor.name"), "AudioWorkletNode")
            self.assert_same(heard, expected, SHORT_SECONDS)
            browser.on_every_page(NO_WORKLET)
            heard = self.record(browser, site, SHORT_SECONDS)
            self.assertEqual(browser.evaluate("Module.qmAudioOutput.node.constructor.name"), "ScriptProcessorNode")
            self.assert_same(heard, expected, SHORT_SECONDS)


if __name__ == "__main__":
    unittest.main()
