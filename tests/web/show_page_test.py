"""The show page's controls in headless Chromium: a real click on the start
screen starts the show with its music, full screen, scaled by the largest
whole factor and centred, the cursor hidden; Esc or leaving full screen ends
it and offers the replay control, which starts it again; a page hidden during the show draws no
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

    def test_the_show_runs_full_screen_scaled_and_leaving_full_screen_ends_it(self):
        b = self.browser
        b.command("Emulation.setDeviceMetricsOverride",
                  {"width": 1100, "height": 800, "deviceScaleFactor": 1, "mobile": False})
        self.start()
        b.wait_for("qmShow.fullScreen && !!document.fullscreenElement")
        self.assertEqual(b.evaluate("getComputedStyle(document.body).cursor"), "none")
        # The largest whole factor that fits 1100 x 800 is 2, centred.
        box = b.evaluate("document.getElementById('show').getBoundingClientRect().toJSON()")
        self.assertEqual((box["width"], box["height"]), (1024, 768))
        self.assertEqual((box["x"], box["y"]), ((1100 - 1024) / 2, (800 - 768) / 2))
        b.evaluate("document.exitFullscreen()", await_promise=True)
        b.wait_for("!qmShow.running && qmShow.ends === 1")
        self.assertFalse(b.evaluate("document.getElementById('again').hidden"))

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
