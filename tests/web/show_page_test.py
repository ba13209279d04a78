"""The show page's controls in headless Chromium, as a visitor meets them:
only a gesture (a click, Enter or Space) starts the show, with its music and
full screen, from a focusable Start control; Esc and other keys never start
or restart it; the show is scaled by the largest whole factor and centred,
or scaled down to fit a small window; Esc or leaving full screen ends it and
the replay control below the picture starts it again; a tab switched away
during the show draws no frame and keeps its clock, and on return the show
goes on and offers to go back to full screen."""
import os
import sys
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site  # noqa: E402

SHOW_SECONDS = 30.72
QUIET_S = 0.4  # long enough for a wrongly started show to show it


def overlaps(a, b):
    return a["x"] < b["x"] + b["width"] and b["x"] < a["x"] + a["width"] and \
        a["y"] < b["y"] + b["height"] and b["y"] < a["y"] + a["height"]


class ShowPage(unittest.TestCase):
    def setUp(self):
        self.site = Site(os.environ["QM_SITE"])
        self.browser = Browser()

    def tearDown(self):
        self.browser.close()
        self.site.close()

    def open(self):
        self.browser.goto(self.site.url("index.html"))
        self.browser.wait_for("window.qmShow && qmShow.ready && !document.getElementById('start').hidden")

    def wait_running(self):
        self.browser.wait_for("qmShow.running && qmShow.frameTimes.length > 10")
        self.assertEqual(self.browser.evaluate("qmShow.soundless"), "")

    def assert_still(self, screen):
        time.sleep(QUIET_S)
        self.assertEqual(self.browser.evaluate("[qmShow.screen, qmShow.running]"), [screen, False])

    def test_only_a_gesture_starts_and_esc_never_does(self):
        b = self.browser
        self.open()
        # The start screen names itself to assistive technology and has a control.
        self.assertTrue(b.evaluate("document.getElementById('show').getAttribute('aria-label')"))
        self.assertIn("Ready", b.evaluate("document.querySelector('[role=status]').textContent"))
        self.assertEqual(b.evaluate("document.activeElement.id"), "begin")
        for key in ("Escape", "Shift", "Control", "a"):
            b.type_key(key)
        self.assert_still("start")
        b.evaluate("document.activeElement.blur()")  # nothing focused: the keys reach the page
        for key in ("Escape", "Shift", "Control", "a"):
            b.type_key(key)
        self.assert_still("start")
        b.evaluate("document.getElementById('begin').focus()")
        b.type_key("Tab")
        self.assertEqual(b.evaluate("document.activeElement.getAttribute('href')"), "player.html")
        b.press_key("Tab", "Tab", 9, shift=True)
        self.assertEqual(b.evaluate("document.activeElement.id"), "begin")
        self.assert_still("start")
        b.type_key("Enter")
        self.wait_running()
        b.wait_for("qmShow.fullScreen && !!document.fullscreenElement")

        b.type_key("Escape")
        b.wait_for("qmShow.screen === 'again'")
        self.assertEqual(b.evaluate("document.activeElement.id"), "replay")
        for key in ("Escape", "Shift", "a", "Tab"):
            b.type_key(key)
        self.assert_still("again")
        self.assertEqual(b.evaluate("qmShow.ends"), 1)
        # The replay control sits below the closing picture, never on it.
        self.assertFalse(overlaps(b.rect("#replay"), b.rect("#show")))
        b.evaluate("document.activeElement.blur()")
        b.type_key("Space")  # Space anywhere is a gesture too
        self.wait_running()
        b.type_key("Escape")
        b.wait_for("qmShow.screen === 'again' && qmShow.ends === 2")
        b.click_element("#replay")
        self.wait_running()
        self.assertTrue(b.evaluate("document.getElementById('bar').hidden"))
        self.assertEqual(b.console_errors(), [])

    def test_scaled_by_whole_factors_or_down_to_fit_and_leaving_full_screen_ends(self):
        b = self.browser
        b.set_viewport(1100, 800)
        self.open()
        b.click(550, 400)
        self.wait_running()
        b.wait_for("qmShow.fullScreen && !!document.fullscreenElement")
        self.assertEqual(b.evaluate("getComputedStyle(document.body).cursor"), "none")
        # The largest whole factor that fits 1100 x 800 is 2, centred.
        box = b.rect("#show")
        self.assertEqual((box["width"], box["height"]), (1024, 768))
        self.assertEqual((box["x"], box["y"]), ((1100 - 1024) / 2, (800 - 768) / 2))
        b.evaluate("document.exitFullscreen()", await_promise=True)
        b.wait_for("!qmShow.running && qmShow.ends === 1")
        self.assertFalse(b.evaluate("document.getElementById('replay').hidden"))

        # A phone held upright: the whole frame in 375 CSS pixels, with the
        # replay control beside it.
        b.set_viewport(375, 667, mobile=True)
        b.wait_for("document.getElementById('show').getBoundingClientRect().width <= 375")
        box = b.rect("#show")
        self.assertGreaterEqual(box["x"], 0)
        self.assertGreater(box["width"], 360)
        self.assertAlmostEqual(box["height"] / box["width"], 384 / 512, delta=0.01)
        self.assertFalse(overlaps(b.rect("#replay"), box))
        self.assertLessEqual(b.evaluate("document.documentElement.scrollWidth"), 375)

    def back_to_full_screen(self, started):
        b = self.browser
        b.wait_for("!document.getElementById('fullscreen').hidden")
        self.assertEqual(b.evaluate("[qmShow.running, qmShow.ends, qmShow.started]"), [True, 0, started])
        self.assertFalse(overlaps(b.rect("#fullscreen"), b.rect("#show")))
        b.click_element("#fullscreen")
        b.wait_for("qmShow.fullScreen && !!document.fullscreenElement && document.getElementById('bar').hidden")

    def test_a_hidden_tab_keeps_the_show_and_its_clock(self):
        b = self.browser
        self.open()
        b.click(256, 192)
        self.wait_running()
        b.wait_for("qmShow.fullScreen")
        started = b.evaluate("qmShow.started")
        b.hide()
        frames = b.evaluate("qmShow.frameTimes.length")
        time.sleep(2)
        self.assertEqual(b.evaluate("qmShow.frameTimes.length"), frames, "a hidden page drew frames")
        b.show()
        # The browser left full screen while the tab was hidden: the show goes
        # on, at the same clock, and offers full screen again.
        self.back_to_full_screen(started)
        # A browser may leave full screen just before it hides the tab.
        b.evaluate("document.exitFullscreen()", await_promise=True)
        b.hide()
        b.show()
        self.back_to_full_screen(started)
        b.hide()
        frames = b.evaluate("qmShow.frameTimes.length")
        ended = b.wait_for("qmShow.ends > 0 && performance.now()", timeout=SHOW_SECONDS + 10)
        self.assertEqual(b.evaluate("qmShow.frameTimes.length"), frames, "a hidden page drew frames")
        # Ended by the output's steps, within a few chunks of the show's length.
        self.assertGreaterEqual(ended - started, SHOW_SECONDS * 1000)
        self.assertLess(ended - started, SHOW_SECONDS * 1000 + 1500)
        self.assertEqual(b.console_errors(), [])


if __name__ == "__main__":
    unittest.main()
