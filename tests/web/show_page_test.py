"""The show page's controls in headless Chromium: a real click on the start
screen starts the show with its music; Esc ends it and offers the replay
control, which starts it again; a page hidden during the show draws no
frame, yet its clock runs on and the show ends on time, as the desktop show
goes on while its window cannot be seen."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site  # noqa: E402

SHOW_SECONDS = 30.72


class ShowPage(unittest.TestCase):
    def setUp(self):
        self.site = Site(os.environ["QM_SITE"])
        self.browser = Browser()
        self.browser.goto(self.site.url("index.html"))
        self.browser.wait_for("window.qmShow && qmShow.ready")
        self.assertFalse(self.browser.evaluate("document.getElementById('start').hidden"))

    def tearDown(self):
        self.browser.close()
        self.site.close()

    def start(self):
        self.browser.click(256, 192)
        self.browser.wait_for("qmShow.running && qmShow.frameTimes.length > 10")
        self.assertEqual(self.browser.evaluate("qmShow.soundless"), "")

    def test_escape_ends_the_show_and_replay_starts_it_again(self):
        b = self.browser
        self.start()
        self.assertTrue(b.evaluate("document.getElementById('start').hidden"))
        b.press_key("Escape", "Escape", 27)
        b.wait_for("!qmShow.running")
        self.assertFalse(b.evaluate("document.getElementById('again').hidden"))
        self.assertEqual(b.evaluate("qmShow.ends"), 1)
        box = b.evaluate("(() => { const r = document.getElementById('replay').getBoundingClientRect();"
                         " return [r.x + r.width / 2, r.y + r.height / 2]; })()")
        b.click(*box)
        b.wait_for("qmShow.running && qmShow.frameTimes.length > 10")
        self.assertTrue(b.evaluate("document.getElementById('again').hidden"))
        self.assertEqual(b.console_errors(), [])

    def test_a_hidden_page_draws_nothing_and_ends_on_time(self):
        b = self.browser
        self.start()
        started = b.evaluate("qmShow.started")
        other = b.command("Target.createTarget", {"url": "about:blank", "background": False}, browser_level=True)
        b.command("Target.activateTarget", {"targetId": other["targetId"]}, browser_level=True)
        b.wait_for("document.hidden")
        frames = b.evaluate("qmShow.frameTimes.length")
        time.sleep(2)
        self.assertEqual(b.evaluate("qmShow.frameTimes.length"), frames, "a hidden page drew frames")
        ended = b.wait_for("qmShow.ends > 0 && performance.now()", timeout=SHOW_SECONDS + 10)
        self.assertEqual(b.evaluate("qmShow.frameTimes.length"), frames)
        # Ended by the audio callback's steps, within a few callbacks of the show's length.
        self.assertGreaterEqual(ended - started, SHOW_SECONDS * 1000)
        self.assertLess(ended - started, SHOW_SECONDS * 1000 + 1500)


if __name__ == "__main__":
    unittest.main()
