"""The module player as a musician uses it, in headless Chromium, with
copies of the show's own song (no shared corpus needed): files and a folder
dropped anywhere make a playlist that next, previous, repeat and shuffle
follow; Space plays and pauses; the order list and the pattern view follow
what is heard; the help overlay lists the keys; the seek bar and an order
chosen play the song at its own position and stop at its end unless loop
is on; channels mute and solo by click and by digit, with meters that move;
a WAV download renders in a worker from the song it began with while the
page stays free, with the interpolation chosen; without Web Audio play says why; the page holds at 375 px."""
import os
import shutil
import struct
import subprocess
import sys
import tempfile
import time
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site, wait_for_download  # noqa: E402

RATE = 44100
# typing.xm: speed 13 at 249 bpm gives 442 frames a tick; 16 rows of 13
# ticks an order, and order 7 is the last of 8.
ORDER_FRAMES = 16 * 13 * 442
LAST_ORDER = 7
LONG_TASK_MS = 50   # a main-thread task this long would starve the sound output
RESTART_AT = 66     # the XM header's restart position
# typing.xm comes back to order 1 after its last; its first orders last
# 88,400 frames each (16 rows of 13 ticks, its first row's tempo slower).
RESTART_FRAME = 88400
LOOP_ORDER = 4      # restart.xm comes back to this order instead


class PlayerFeatures(unittest.TestCase):
    @classmethod
    def setUpClass(cls):
        cls.work = tempfile.mkdtemp(prefix="qm-player-")
        song = os.path.join(os.environ["QM_DATA"], "typing.xm")
        for name in ("first.xm", "second.xm", "folder/one.xm", "folder/deeper/two.xm"):
            os.makedirs(os.path.dirname(os.path.join(cls.work, name)), exist_ok=True)
            shutil.copy(song, os.path.join(cls.work, name))
        # The same song coming back to order 4 after its last order.
        with open(song, "rb") as f:
            data = bytearray(f.read())
        struct.pack_into("<H", data, RESTART_AT, LOOP_ORDER)
        with open(os.path.join(cls.work, "restart.xm"), "wb") as f:
            f.write(data)
        with open(os.path.join(cls.work, "folder", "notes.txt"), "w") as f:
            f.write("not a module\n")
        cls.downloads = os.path.join(cls.work, "downloads")
        os.makedirs(cls.downloads)
        cls.site = Site(os.environ["QM_SITE"])
        cls.browser = Browser()
        cls.browser.allow_downloads(cls.downloads)

    @classmethod
    def tearDownClass(cls):
        cls.browser.close()
        cls.site.close()
        shutil.rmtree(cls.work, ignore_errors=True)

    def setUp(self):
        self.browser.set_viewport(1280, 800)
        self.browser.goto(self.site.url("player.html"))
        self.browser.wait_for("window.qmPlayer && qmPlayer.ready")

    def path(self, name):
        return os.path.join(self.work, name)

    def drop(self, *names):
        b = self.browser
        loads = b.evaluate("qmPlayer.loads")
        # At the page's bottom right corner, outside every box.
        b.drop_files([self.path(n) for n in names], b.evaluate("innerWidth") - 5, b.evaluate("innerHeight") - 5)
        b.wait_for(f"qmPlayer.loads > {loads}")

    def play_and_hear(self, frames=RATE // 2):
        b = self.browser
        b.type_key("Space")
        b.wait_for(f"qmPlayer.position && qmPlayer.position.frame > {frames}", timeout=20)

    def test_drops_make_a_playlist_that_the_keys_and_buttons_follow(self):
        b = self.browser
        self.drop("first.xm", "second.xm")
        self.assertEqual(b.evaluate("qmPlayer.playlist.map(e => e.name)"), ["first.xm", "second.xm"])
        self.assertEqual(b.evaluate("[qmPlayer.current, qmPlayer.fileName, qmPlayer.loaded]"), [0, "first.xm", True])
        self.drop("folder")  # its modules, deepest last; the text file is left out
        self.assertEqual(b.evaluate("qmPlayer.playlist.map(e => e.name)"),
                         ["first.xm", "second.xm", "one.xm", "two.xm"])
        self.assertEqual(b.evaluate("qmPlayer.fileName"), "one.xm")
        for key, current in (("n", 3), ("n", 0), ("p", 3)):
            loads = b.evaluate("qmPlayer.loads")
            b.type_key(key)
            b.wait_for(f"qmPlayer.loads > {loads} && qmPlayer.loaded")
            self.assertEqual(b.evaluate("qmPlayer.current"), current)
        b.click_element("#next")
        b.wait_for("qmPlayer.current === 0 && qmPlayer.loaded")
        self.assertEqual(b.evaluate("document.querySelector('#playlist [aria-current]').textContent"), "first.xm")
        for key, name in (("l", "loop"), ("r", "repeat"), ("s", "shuffle")):
            b.type_key(key)
            self.assertEqual(b.evaluate(f"[qmPlayer.{name}, document.getElementById('{name}').ariaPressed]"),
                             [True, "true"])
        # Shuffled, next visits every other song once before it comes back.
        start = b.evaluate("qmPlayer.current")
        visited = [start]
        for _ in range(3):
            self.next_song()
            visited.append(b.evaluate("qmPlayer.current"))
        self.assertEqual(sorted(visited), [0, 1, 2, 3])
        self.assertEqual(b.console_errors(), [])

    def next_song(self):
        b = self.browser
        loads = b.evaluate("qmPlayer.loads")
        b.type_key("n")
        b.wait_for(f"qmPlayer.loads > {loads} && qmPlayer.loaded")

    def test_space_plays_and_the_views_follow_what_is_heard(self):
        b = self.browser
        self.drop("first.xm")
        self.play_and_hear(2 * ORDER_FRAMES // 3)
        self.assertEqual(b.evaluate("document.getElementById('play').getAttribute('aria-label')"), "Pause")
        # The output holds the player's longer queue (the show's is 4 chunks).
        self.assertGreaterEqual(b.evaluate("Module.qmAudioOutput.ahead"), 6)
        at = b.evaluate("qmPlayer.position")
        self.assertEqual(b.evaluate("document.querySelector('#orders [aria-current]').dataset.order"),
                         str(b.evaluate("qmPlayer.position.order")))
        row = int(b.evaluate("document.getElementById('rows').dataset.row"))
        self.assertLessEqual(abs(row - b.evaluate("qmPlayer.position.row")), 1)
        # That row sits under the cursor, in the middle of the view.
        middle = b.evaluate("(() => { const box = document.getElementById('pattern').getBoundingClientRect();"
                            " return box.y + box.height / 2; })()")
        box = b.evaluate(f"document.querySelector('#rows .row[data-row=\"{row}\"]').getBoundingClientRect().toJSON()")
        self.assertLessEqual(box["y"], middle)
        self.assertGreaterEqual(box["y"] + box["height"], middle)
        self.assertGreater(b.evaluate("document.querySelectorAll('#rows .row').length"), 0)
        self.assertEqual(b.evaluate("document.querySelectorAll('#channels .ch').length"), 10)
        b.type_key("Space")
        time.sleep(0.3)
        paused = b.evaluate("qmPlayer.position.frame")
        time.sleep(0.4)
        self.assertEqual(b.evaluate("qmPlayer.position.frame"), paused)
        self.assertGreaterEqual(paused, at["frame"])
        self.assertIn("(paused)", b.evaluate("document.getElementById('position').textContent"))
        b.press_key("?", "Slash", 191, shift=True)
        self.assertTrue(b.evaluate("document.getElementById('help').open"))
        self.assertIn("mute channel", b.evaluate("document.getElementById('help').textContent"))
        b.type_key("Escape")
        b.wait_for("!document.getElementById('help').open")
        self.assertEqual(b.console_errors(), [])

    def test_the_views_redraw_only_what_changed(self):
        b = self.browser
        self.drop("first.xm")  # loaded, not playing: only these calls move the views
        got = b.evaluate("""(() => {
          const v = qmPlayer.view, out = {}, row = (r) => document.querySelector(`#rows .row[data-row="${r}"]`);
          // The rows' columns line up under the strip: a cell 14 characters, after the row number's 3.
          const text = document.querySelector('#rows .row i'), strip = document.querySelector('#channels .ch');
          const advance = text.getBoundingClientRect().width / text.textContent.length;
          out.columns = [strip.getBoundingClientRect().width / advance,
                         (strip.getBoundingClientRect().left - text.getBoundingClientRect().left) / advance];
          v.setPattern(999, 64, 10, new Uint8Array(64 * 10 * 5));  // 64 empty rows of a pattern of its own
          const moves = v.moves;
          v.setRow(20); v.setRow(20); v.setRow(20);
          out.sameRow = v.moves - moves;
          const written = () => Array.from(document.querySelectorAll('#rows .row'), (e) => Number(e.dataset.row));
          const kept = row(25);
          v.setRow(21);
          out.nextRow = v.moves - moves;
          out.rows = [written()];
          v.setRow(40);
          out.rows.push(written());
          out.kept = row(25) === kept;
          const silence = new Array(10).fill(0), draws = () => v.meterDraws;
          let before = draws();
          v.setLevels(silence); v.setLevels(silence);
          out.atRest = draws() - before;
          before = draws();
          v.setLevels([1, 0, 0, 0, 0, 0, 0, 0, 0, 0.5]);
          out.rise = draws() - before;
          const canvas = document.querySelector('#channels .meters'), left = canvas.getBoundingClientRect().left;
          const tracks = Array.from(document.querySelectorAll('#channels .meter'), (e) => e.getBoundingClientRect());
          // The canvas's ink at a page x on the tracks' middle line.
          const ink = (x) => canvas.getContext('2d').getImageData((x - left) * canvas.width / canvas.clientWidth,
                                                                  canvas.height / 2, 1, 1).data[3];
          out.placed = Math.abs(left - tracks[0].left) + Math.abs(canvas.getBoundingClientRect().top - tracks[0].top);
          out.inks = [ink(tracks[0].left + tracks[0].width / 2), ink(tracks[1].left + 1), ink(tracks[9].left + 1),
                      ink(tracks[9].left + 0.4 * tracks[9].width), ink(tracks[9].left + 0.6 * tracks[9].width)];
          before = draws();
          for (let i = 0; i < 40; i++) v.setLevels(silence);
          out.fall = draws() - before;
          out.fallen = v.shown.every((h) => h === 0);
          return out;
        })()""")
        self.assertAlmostEqual(got["columns"][0], 14, delta=0.05)
        self.assertAlmostEqual(got["columns"][1], 3, delta=0.05)
        self.assertEqual([got["sameRow"], got["nextRow"], got["kept"]], [1, 2, True])
        # Only the rows in sight (17, and one more at each end), in whole blocks of 16; the
        # rows already written stay as they are.
        self.assertEqual(got["rows"], [list(range(0, 32)), list(range(16, 64))])
        self.assertEqual([got["atRest"], got["rise"]], [0, 1])
        self.assertLess(got["placed"], 1)
        # Channel 1 full, channel 2 silent, channel 10 at half: inked to half its track.
        self.assertEqual([ink > 0 for ink in got["inks"]], [True, False, True, True, False])
        # The meters fall back in a few updates, then rest without redrawing.
        self.assertTrue(got["fallen"])
        self.assertGreater(got["fall"], 3)
        self.assertLess(got["fall"], 20)
        self.assertEqual(b.console_errors(), [])

    def test_the_views_follow_the_sound_at_most_30_times_a_second(self):
        b = self.browser
        # The page's animation frames come when the test says, at the times it says.
        script = b.on_every_page("window.qmFrames = {queue: [], step(t) { const q = this.queue; this.queue = []; "
                                 "q.forEach((f) => f(t)); }}; window.requestAnimationFrame = (f) => qmFrames.queue.push(f);")
        try:
            b.goto(self.site.url("player.html"))
            b.wait_for("window.qmPlayer && qmPlayer.ready")
            self.drop("first.xm")
            updates = b.evaluate("""(() => {
              const count = (hertz, seconds, from) => {
                const before = qmPlayer.viewUpdates;
                for (let i = 0; i <= hertz * seconds; i++) qmFrames.step(from + 1000 * i / hertz);
                return qmPlayer.viewUpdates - before;
              };
              return [count(60, 2, 1000), count(144, 1, 5000), count(24, 1, 9000)];
            })()""")
            # 60 Hz: every other frame; 144 Hz: one in five or so; 24 Hz: every frame.
            self.assertEqual(updates[0], 61)
            self.assertIn(updates[1], range(29, 33))
            self.assertEqual(updates[2], 25)
        finally:
            b.forget_on_every_page(script)

    def shown_seconds(self):
        """The time the page shows, in seconds, rounded up from its tenths."""
        minutes, seconds = self.browser.evaluate("document.getElementById('time').textContent").split(":")
        return 60 * int(minutes) + float(seconds) + 0.05

    def test_an_order_or_the_seek_bar_plays_the_song_from_there_and_it_stops_at_its_end(self):
        b = self.browser
        self.drop("first.xm")
        self.play_and_hear()
        b.click_element(f'#orders [data-order="{LAST_ORDER}"]')
        b.wait_for(f"qmPlayer.position.order === {LAST_ORDER}")
        b.wait_for(f"document.querySelector('#orders [aria-current]').dataset.order === '{LAST_ORDER}'")
        # The song's own time at that order, not the time played so far.
        self.assertGreaterEqual(b.evaluate("qmPlayer.position.frame"), LAST_ORDER * ORDER_FRAMES)
        self.assertGreaterEqual(self.shown_seconds(), LAST_ORDER * ORDER_FRAMES / RATE)
        # Loop off: the song ends after its last order instead of wrapping.
        b.wait_for("!qmPlayer.playing", timeout=10)
        self.assertEqual(b.evaluate("document.getElementById('position').textContent"), "ended")
        # The seek bar starts it again at the song's time chosen; Shift + right moves on by 5 s.
        b.evaluate(f"(() => {{ const s = document.getElementById('seek'); s.value = {4 * ORDER_FRAMES}; "
                   "s.dispatchEvent(new Event('change')); })()")
        b.wait_for("qmPlayer.playing && qmPlayer.position && qmPlayer.position.order === 4")
        self.assertGreaterEqual(self.shown_seconds(), 4 * ORDER_FRAMES / RATE)
        before = b.evaluate("qmPlayer.position.frame")
        b.press_key("ArrowRight", "ArrowRight", 39, shift=True)
        # Sooner than playing on would get there.
        b.wait_for(f"qmPlayer.position.frame > {before + 4 * RATE}", timeout=2)
        # The bar follows what is heard.
        b.wait_for(f"Number(document.getElementById('seek').value) > {before + 4 * RATE}")
        # Loop on: past the last order the song goes on from its start, and
        # so does the time shown, while the frames heard go on counting.
        b.type_key("l")
        b.click_element(f'#orders [data-order="{LAST_ORDER}"]')
        b.wait_for(f"qmPlayer.position.order === {LAST_ORDER}")
        b.wait_for(f"qmPlayer.playing && qmPlayer.position.order < {LAST_ORDER} && qmPlayer.position.row > 0",
                   timeout=10)
        self.assertEqual(b.evaluate("qmPlayer.info.loop_frame"), RESTART_FRAME)
        b.wait_for(f"Number(document.getElementById('seek').value) < {2 * RESTART_FRAME}")
        self.assertGreater(b.evaluate("qmPlayer.position.frame"), b.evaluate("qmPlayer.info.frames"))
        self.assertLess(self.shown_seconds(), 2 * RESTART_FRAME / RATE + 0.1)
        self.assertEqual(b.console_errors(), [])

    def test_a_looping_song_shows_its_time_within_the_song(self):
        b = self.browser
        self.drop("restart.xm")
        # Its passes after the first play from order 4 to the end.
        loop = LOOP_ORDER * RESTART_FRAME
        self.assertEqual(b.evaluate("qmPlayer.info.loop_frame"), loop)
        b.type_key("l")
        self.play_and_hear()
        b.click_element(f'#orders [data-order="{LAST_ORDER}"]')
        b.wait_for(f"qmPlayer.position.order === {LAST_ORDER}")
        b.wait_for(f"qmPlayer.position.order === {LOOP_ORDER} && qmPlayer.position.row > 0", timeout=10)
        self.assertGreater(b.evaluate("qmPlayer.position.frame"), b.evaluate("qmPlayer.info.frames"))
        b.wait_for(f"Number(document.getElementById('seek').value) < {loop + RESTART_FRAME}")
        before = float(b.evaluate("document.getElementById('seek').value"))
        self.assertGreaterEqual(before, loop)
        self.assertLess(self.shown_seconds(), (loop + RESTART_FRAME) / RATE + 0.1)
        self.assertGreater(self.shown_seconds(), loop / RATE)
        # Shift + right moves on 5 s from the time shown, sooner than playing on would get there.
        b.press_key("ArrowRight", "ArrowRight", 39, shift=True)
        b.wait_for(f"Number(document.getElementById('seek').value) > {before + 4 * RATE}", timeout=2)
        self.assertEqual(b.console_errors(), [])

    def levels_over(self, seconds):
        """The meters' levels sampled every 50 ms for that long."""
        samples = []
        for _ in range(int(seconds / 0.05)):
            samples.append(self.browser.evaluate("qmPlayer.levels"))
            time.sleep(0.05)
        return samples

    def test_a_clicked_channel_falls_silent_on_its_meter_and_solo_keeps_one(self):
        b = self.browser
        self.drop("first.xm")
        self.play_and_hear(RATE)
        b.wait_for("qmPlayer.view.shown.some(h => h > 0)")
        # typing.xm's channels 5 to 8 sound throughout.
        b.wait_for("qmPlayer.levels[6] > 0")
        b.click_element('#channels [data-channel="6"]')
        self.assertEqual(b.evaluate("[qmPlayer.muted[6], document.querySelector('[data-channel=\"6\"]').ariaPressed]"),
                         [True, "true"])
        b.wait_for("qmPlayer.levels[6] === 0")
        samples = self.levels_over(0.5)
        self.assertEqual([s[6] for s in samples], [0] * len(samples))
        self.assertTrue(any(s[5] > 0 for s in samples), "the other channels fell silent too")
        b.click_element('#channels [data-channel="6"]')
        b.wait_for("qmPlayer.levels[6] > 0")
        # Paused, the meters fall back.
        b.click_element("#play")
        b.wait_for("qmPlayer.levels.length === 0")
        b.wait_for("qmPlayer.view.shown.every(h => h === 0)")
        b.click_element("#play")
        b.wait_for("qmPlayer.levels[6] > 0")
        b.type_key("2")
        self.assertTrue(b.evaluate("qmPlayer.muted[1]"))
        # Shift + 6 soloes channel 6: every other channel falls silent.
        b.press_key("6", "Digit6", 54, shift=True)
        self.assertTrue(b.evaluate("qmPlayer.soloed[5]"))
        self.assertTrue(b.evaluate("document.querySelector('[data-channel=\"6\"]').classList.contains('silent')"))
        b.wait_for("qmPlayer.levels.every((l, c) => c === 5 || l === 0)")
        samples = self.levels_over(0.5)
        self.assertTrue(all(l == 0 for s in samples for c, l in enumerate(s) if c != 5))
        self.assertTrue(any(s[5] > 0 for s in samples))
        # A new playback keeps the choice: the song, once ended, started again from an order.
        b.click_element(f'#orders [data-order="{LAST_ORDER}"]')
        b.wait_for("!qmPlayer.playing", timeout=10)
        b.click_element('#orders [data-order="2"]')
        b.wait_for("qmPlayer.levels[5] > 0")
        self.assertTrue(all(l == 0 for s in self.levels_over(0.3) for c, l in enumerate(s) if c != 5))
        self.assertEqual(b.console_errors(), [])

    def download(self, name, switch_to=None):
        """Clicks download (and loads another song while it renders); the file, once saved."""
        b = self.browser
        downloads = b.evaluate("qmPlayer.downloads")
        b.click_element("#download")
        if switch_to:
            b.type_key("n")
            b.wait_for(f"qmPlayer.fileName === '{switch_to}' && qmPlayer.loaded")
        b.wait_for(f"qmPlayer.downloads > {downloads}", timeout=120)
        got = os.path.join(self.downloads, name)
        self.assertTrue(wait_for_download(got, 30), "no download arrived")
        return got

    def test_a_download_renders_off_the_page_from_the_song_it_began_with(self):
        b = self.browser
        self.drop("first.xm", "second.xm")
        self.play_and_hear()
        b.evaluate("window.longTasks = []; new PerformanceObserver((list) => "
                   "longTasks.push(...list.getEntries().map(e => e.duration))).observe({entryTypes: ['longtask']})")
        got = self.download("first.wav")
        # The page's main thread was never held long enough to starve the sound.
        self.assertEqual([t for t in b.evaluate("longTasks") if t > LONG_TASK_MS], [])
        os.remove(got)
        # Another song loaded while it renders: the download is still the first.
        got = self.download("first.wav", switch_to="second.xm")
        self.assertFalse(os.path.exists(os.path.join(self.downloads, "second.wav")))
        expected = os.path.join(self.work, "expected.wav")
        subprocess.run([os.environ["QM_XMRENDER"], self.path("first.xm"), "-o", expected], check=True,
                       stderr=subprocess.DEVNULL)
        with open(got, "rb") as a, open(expected, "rb") as e:
            self.assertTrue(a.read() == e.read(), "the download differs from xmrender's render")
        os.remove(got)
        self.assertEqual(b.console_errors(), [])

    def test_the_interpolation_chosen_plays_and_downloads_as_xmrender_renders_it(self):
        b = self.browser
        self.drop("first.xm", "second.xm")
        b.evaluate("(() => { const s = document.getElementById('interpolation'); s.value = '2'; "
                   "s.dispatchEvent(new Event('change')); })()")
        self.play_and_hear()
        self.assertEqual(b.evaluate("Module._player_interpolation()"), 2)
        # The next song plays with it too.
        b.type_key("n")
        b.wait_for("qmPlayer.fileName === 'second.xm' && Module._player_interpolation() === 2")
        b.type_key("p")
        b.wait_for("qmPlayer.fileName === 'first.xm' && qmPlayer.loaded")
        got = self.download("first.wav")
        expected = os.path.join(self.work, "expected-sinc8.wav")
        subprocess.run([os.environ["QM_XMRENDER"], self.path("first.xm"), "--interpolation", "sinc8", "-o", expected],
                       check=True, stderr=subprocess.DEVNULL)
        with open(got, "rb") as a, open(expected, "rb") as e:
            self.assertTrue(a.read() == e.read(), "the sinc8 download differs from xmrender --interpolation sinc8")
        os.remove(got)
        self.assertEqual(b.evaluate("Module._player_set_interpolation(3)"), 0)
        self.assertEqual(b.console_errors(), [])

    def test_the_page_holds_at_375_pixels(self):
        b = self.browser
        b.set_viewport(375, 667, mobile=True)
        b.goto(self.site.url("player.html"))
        b.wait_for("window.qmPlayer && qmPlayer.ready")
        self.drop("first.xm")
        self.assertLessEqual(b.evaluate("document.documentElement.scrollWidth"), 375)
        # One instrument under the other, none over its neighbour.
        boxes = b.evaluate("Array.from(document.querySelectorAll('#instruments > li'))"
                           ".map(e => e.getBoundingClientRect().toJSON())")
        self.assertEqual(len(boxes), 7)
        for above, below in zip(boxes, boxes[1:]):
            self.assertGreaterEqual(below["y"], above["y"] + above["height"] - 0.5)
            self.assertLessEqual(below["x"] + below["width"], 375)
        self.assertEqual(b.evaluate("document.getElementById('message').getAttribute('aria-live')"), "polite")
        b.evaluate("document.getElementById('play').focus({focusVisible: true})")
        b.type_key("Tab")
        self.assertNotEqual(b.evaluate("getComputedStyle(document.activeElement).outlineStyle"), "none")

    def test_without_web_audio_play_says_why(self):
        b = self.browser
        script = b.on_every_page("delete window.AudioContext; delete window.webkitAudioContext;")
        try:
            b.goto(self.site.url("player.html"))
            b.wait_for("window.qmPlayer && qmPlayer.ready")
            self.drop("first.xm")
            b.click_element("#play")
            b.wait_for("qmPlayer.message.startsWith('No sound')")
            self.assertIn("this browser offers no Web Audio", b.evaluate("qmPlayer.message"))
            self.assertFalse(b.evaluate("qmPlayer.playing"))
            self.assertEqual(b.console_errors(), [])
        finally:
            b.forget_on_every_page(script)


if __name__ == "__main__":
    unittest.main()
