"""The module player page in headless Chromium: each song of the shared
corpus, chosen through the file input, shows its name and instruments,
plays (its time moves, and stands still while paused), and its WAV
download equals xmrender's render byte for byte; each malformed file shows
the library's reason for refusing it, or its warnings when it loads.
Skips (status 77) when the shared corpus is absent."""
import glob
import os
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site, wait_for_download  # noqa: E402

CORPUS = os.environ.get("QM_CORPUS", "")
SKIP = 77


class PlayerPage(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.site = Site(os.environ["QM_SITE"])
        cls.browser = Browser()
        cls.downloads = tempfile.mkdtemp(prefix="qm-downloads-")
        cls.browser.allow_downloads(cls.downloads)
        cls.browser.goto(cls.site.url("player.html"))
        cls.browser.wait_for("window.qmPlayer && qmPlayer.ready")

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.site.close()
        subprocess.run(["rm", "-rf", cls.downloads], check=False)

    def choose(self, path):
        loads = self.browser.evaluate("qmPlayer.loads")
        self.browser.set_files("#file", [path])
        self.browser.wait_for(f"qmPlayer.loads > {loads}")
        # The same file twice in a row fires no change: the input is cleared each time.
        self.browser.evaluate("document.getElementById('file').value = ''")

    def click(self, element_id):
        self.browser.evaluate(f"document.getElementById('{element_id}').click()")

    def test_songs_play_and_download_as_xmrender_renders_them(self):
        for song in sorted(glob.glob(os.path.join(CORPUS, "songs", "*.xm"))):
            with self.subTest(song=os.path.basename(song)):
                self.choose(song)
                b = self.browser
                self.assertTrue(b.evaluate("qmPlayer.loaded"), b.evaluate("qmPlayer.message"))
                self.assertEqual(b.evaluate("document.getElementById('name').textContent"),
                                 b.evaluate("qmPlayer.info.name") or "(no name)")
                self.assertEqual(b.evaluate("document.querySelectorAll('#instruments li').length"),
                                 b.evaluate("qmPlayer.info.instruments.length"))
                self.click("play")
                b.wait_for("qmPlayer.position && qmPlayer.position.frame > 22050", timeout=20)
                self.click("play")  # pause
                time.sleep(0.3)
                paused_at = b.evaluate("JSON.parse(Module.UTF8ToString(Module._player_position())).frame")
                time.sleep(0.5)
                self.assertEqual(b.evaluate("JSON.parse(Module.UTF8ToString(Module._player_position())).frame"),
                                 paused_at)
                self.assertIn("(paused)", b.evaluate("document.getElementById('position').textContent"))

                name = os.path.splitext(os.path.basename(song))[0] + ".wav"
                downloads = b.evaluate("qmPlayer.downloads")
                self.click("download")
                b.wait_for(f"qmPlayer.downloads > {downloads}", timeout=300)
                got = os.path.join(self.downloads, name)
                self.assertTrue(wait_for_download(got, 60), "no download arrived")
                expected = os.path.join(self.downloads, "expected.wav")
                subprocess.run([os.environ["QM_XMRENDER"], song, "-o", expected], check=True,
                               stderr=subprocess.DEVNULL)
                with open(got, "rb") as a, open(expected, "rb") as e:
                    self.assertTrue(a.read() == e.read(), "the download differs from xmrender's render")
                os.remove(got)
                os.remove(expected)

    def test_malformed_files_show_the_reason_or_the_warnings(self):
        for path in sorted(glob.glob(os.path.join(CORPUS, "malformed", "*"))):
            with self.subTest(file=os.path.basename(path)):
                said = subprocess.run([os.environ["QM_LOAD_REASON"], path], capture_output=True, text=True,
                                      check=True).stdout.splitlines()
                self.choose(path)
                b = self.browser
                message = b.evaluate("document.getElementById('message').textContent")
                if said[0] == "ok":
                    self.assertTrue(b.evaluate("qmPlayer.loaded"))
                    for warning in said[1:]:
                        self.assertIn(warning, message)
                else:
                    self.assertFalse(b.evaluate("qmPlayer.loaded"))
                    self.assertEqual(message, f"{os.path.basename(path)}: {said[0]}")
                    self.assertEqual(b.evaluate("document.getElementById('message').className"), "message refused")
        self.assertEqual(self.browser.console_errors(), [])


if __name__ == "__main__":
    if not os.path.isdir(os.path.join(CORPUS, "songs")):
        print(f"skipped: no shared corpus at {CORPUS}")
        sys.exit(SKIP)
    unittest.main()
