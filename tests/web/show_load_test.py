"""The show page when something is missing, in headless Chromium: every
load failure shows its reason on the page instead of "loading" forever (a
page opened from file://, with how to serve the folder; a missing show.js,
show.wasm or data file; a show.wasm that does not compile; a broken
picture), and a browser without Web Audio, or one that refuses 44,100 Hz,
is told on the start screen and after a show played silent."""
import os
import shutil
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site  # noqa: E402

SETTLED = "window.qmShow && ['failed', 'start'].includes(qmShow.screen)"
NO_WEB_AUDIO = "delete window.AudioContext; delete window.webkitAudioContext;"
# A browser whose sound runs only at 48,000 Hz.
REFUSES_44100 = """(() => {
  const Real = window.AudioContext;
  window.AudioContext = class extends Real {
    constructor(options) {
      if (options && options.sampleRate === 44100) throw new DOMException("sample rate not supported", "NotSupportedError");
      super(options);
    }
  };
})();"""


def replace_with(path, data):
    with open(path, "wb") as f:
        f.write(data)


def cut_short(path, size):
    with open(path, "r+b") as f:
        f.truncate(size)


def broken_sites(site, root):
    """Copies of the site under root: "ok", and one for each thing that can be wrong."""
    damage = {
        "no-js": lambda d: os.remove(os.path.join(d, "show.js")),
        "no-wasm": lambda d: os.remove(os.path.join(d, "show.wasm")),
        "bad-wasm": lambda d: replace_with(os.path.join(d, "show.wasm"), b"\0asm\1\0\0\0garbage"),
        "no-music": lambda d: os.remove(os.path.join(d, "data", "typing.xm")),
        "bad-picture": lambda d: cut_short(os.path.join(d, "data", "fin.tga"), 100),
    }
    for name, spoil in damage.items():
        shutil.copytree(site, os.path.join(root, name))
        spoil(os.path.join(root, name))
    shutil.copytree(site, os.path.join(root, "ok"))


class ShowLoad(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.root = tempfile.mkdtemp(prefix="qm-sites-")
        broken_sites(os.environ["QM_SITE"], cls.root)
        cls.site = Site(cls.root)
        cls.browser = Browser()

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.site.close()
        shutil.rmtree(cls.root, ignore_errors=True)

    def failure(self, url):
        b = self.browser
        b.goto(url)
        b.wait_for(SETTLED, timeout=20)
        self.assertEqual(b.evaluate("qmShow.screen"), "failed")
        self.assertFalse(b.evaluate("document.getElementById('failed').hidden"))
        self.assertEqual(b.evaluate("document.getElementById('failed').getAttribute('role')"), "alert")
        return b.evaluate("document.getElementById('failed').textContent")

    def test_every_load_failure_says_why(self):
        cases = {
            "no-js": "show.js",
            "no-wasm": "show.wasm: 404",
            "bad-wasm": "show.wasm: the browser cannot run it",
            "no-music": "data/typing.xm: 404",
            "bad-picture": "fin.tga",
        }
        for name, reason in cases.items():
            with self.subTest(site=name):
                self.assertIn(reason, self.failure(self.site.url(f"{name}/index.html")))
        with self.subTest(site="file://"):
            said = self.failure("file://" + os.path.join(self.root, "ok", "index.html"))
            self.assertIn("file://", said)
            self.assertIn("python3 -m http.server", said)

    def silent_show(self, page_script, reason):
        b = self.browser
        script = b.on_every_page(page_script)
        try:
            b.goto(self.site.url("ok/index.html"))
            b.wait_for(SETTLED, timeout=20)
            self.assertEqual(b.evaluate("qmShow.screen"), "start")
            note = b.evaluate("document.getElementById('sound-note').textContent")
            self.assertIn(reason, note)
            self.assertFalse(b.evaluate("document.getElementById('sound-note').hidden"))
            b.type_key("Enter")
            b.wait_for("qmShow.running && qmShow.frameTimes.length > 5")
            self.assertIn(reason, b.evaluate("qmShow.soundless"))
            self.assertIn("without sound", b.evaluate("document.querySelector('[role=status]').textContent"))
            b.type_key("Escape")
            b.wait_for("qmShow.screen === 'again'")
            self.assertIn(reason, b.evaluate("document.getElementById('bar-note').textContent"))
            self.assertEqual(b.console_errors(), [])
        finally:
            b.forget_on_every_page(script)

    def test_a_browser_without_web_audio_is_told(self):
        self.silent_show(NO_WEB_AUDIO, "this browser offers no Web Audio")

    def test_a_browser_that_refuses_the_rate_is_told(self):
        self.silent_show(REFUSES_44100, "refuses sound at 44,100 Hz")


if __name__ == "__main__":
    unittest.main()
