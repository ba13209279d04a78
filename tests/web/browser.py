"""browser.py: headless Chromium driven through the DevTools protocol over a
pipe (--remote-debugging-pipe), and the site served on a free loopback port.
Owns: one browser process, one page session and one http.server process per
Browser / Site; both are ended by close() or on leaving a `with` block.
Standard library only: the tests need no Python packages beyond it.

    with Site(site_dir) as site, Browser() as b:
        b.goto(site.url("index.html?at=100"))
        b.wait_for("window.qmReady === true")
        png = b.screenshot_element("#show")
"""
import base64
import glob
import json
import os
import select
import shutil
import socket
import subprocess
import sys
import tempfile
import time

CHROMIUM_FLAGS = [
    "--headless=new", "--no-sandbox", "--disable-gpu", "--disable-quic", "--no-first-run",
    "--disable-background-networking", "--disable-component-update", "--disable-sync",
    "--force-color-profile=srgb", "--window-size=512,384", "--autoplay-policy=no-user-gesture-required",
    "--remote-debugging-pipe",
]
COMMAND_TIMEOUT_S = 60
VIEWPORT = (512, 384)


class BrowserError(RuntimeError):
    pass


def find_chromium():
    for name in ("chromium", "chromium-browser", "google-chrome"):
        path = shutil.which(name)
        if path:
            return path
    raise BrowserError("no chromium on PATH")


class Browser:
    """One headless Chromium with one page; commands go to that page's session."""

    def __init__(self, extra_flags=()):
        self.profile = tempfile.mkdtemp(prefix="qm-chromium-")
        to_child_r, self._to_child = os.pipe()
        self._from_child, from_child_w = os.pipe()

        def wire_pipes():  # the child reads commands on fd 3 and answers on fd 4
            read_end, write_end = os.dup(to_child_r), os.dup(from_child_w)
            os.dup2(read_end, 3)
            os.dup2(write_end, 4)

        self.proc = subprocess.Popen(
            [find_chromium(), *CHROMIUM_FLAGS, *extra_flags, "--user-data-dir=" + self.profile, "about:blank"],
            stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
            preexec_fn=wire_pipes, close_fds=False)  # every other descriptor is close-on-exec
        os.close(to_child_r)
        os.close(from_child_w)
        self._buffer = b""
        self._next_id = 0
        self.events = []
        self.session = None
        target = self._first_page_target()
        self.session = self.command("Target.attachToTarget", {"targetId": target, "flatten": True},
                                    browser_level=True)["sessionId"]
        self.command("Page.enable")
        self.command("Runtime.enable")
        # The page's viewport exactly the frame's size at one device pixel per
        # CSS pixel, whatever room the headless window keeps for itself.
        self.command("Emulation.setDeviceMetricsOverride",
                     {"width": VIEWPORT[0], "height": VIEWPORT[1], "deviceScaleFactor": 1, "mobile": False})

    def _first_page_target(self):
        deadline = time.monotonic() + COMMAND_TIMEOUT_S
        while time.monotonic() < deadline:
            infos = self.command("Target.getTargets", browser_level=True)["targetInfos"]
            pages = [t["targetId"] for t in infos if t["type"] == "page"]
            if pages:
                return pages[0]
            time.sleep(0.1)
        raise BrowserError("the browser opened no page")

    def _read_message(self, deadline):
        while b"\0" not in self._buffer:
            remaining = deadline - time.monotonic()
            if remaining <= 0:
                raise BrowserError("the browser did not answer in time")
            ready, _, _ = select.select([self._from_child], [], [], remaining)
            if not ready:
                continue
            chunk = os.read(self._from_child, 1 << 20)
            if not chunk:
                raise BrowserError("the browser closed its pipe")
            self._buffer += chunk
        message, self._buffer = self._buffer.split(b"\0", 1)
        return json.loads(message)

    def command(self, method, params=None, browser_level=False, timeout=COMMAND_TIMEOUT_S):
        self._next_id += 1
        message = {"id": self._next_id, "method": method, "params": params or {}}
        if self.session and not browser_level:
            message["sessionId"] = self.session
        os.write(self._to_child, json.dumps(message).encode() + b"\0")
        deadline = time.monotonic() + timeout
        while True:
            answer = self._read_message(deadline)
            if answer.get("id") == self._next_id:
                if "error" in answer:
                    raise BrowserError(f"{method}: {answer['error']}")
                return answer.get("result", {})
            if "method" in answer:
                self.events.append(answer)

    def goto(self, url, timeout=30.0):
        """Navigates and returns once the new document has loaded."""
        self.command("Page.navigate", {"url": url})
        self.wait_for(f"location.href === {json.dumps(url)} && document.readyState === 'complete'", timeout)

    def evaluate(self, expression, await_promise=False, timeout=COMMAND_TIMEOUT_S):
        result = self.command("Runtime.evaluate", {"expression": expression, "returnByValue": True,
                                                   "awaitPromise": await_promise}, timeout=timeout)
        if "exceptionDetails" in result:
            raise BrowserError(f"{expression}: {result['exceptionDetails']}")
        return result["result"].get("value")

    def wait_for(self, expression, timeout=30.0, poll=0.05):
        """Polls a JavaScript expression until it is truthy; returns its value."""
        deadline = time.monotonic() + timeout
        while time.monotonic() < deadline:
            value = self.evaluate(expression)
            if value:
                return value
            time.sleep(poll)
        raise BrowserError(f"timed out waiting for {expression}")

    def screenshot_element(self, selector):
        """PNG bytes of the element's box at the page's own pixel scale."""
        box = self.evaluate(f"(() => {{ const r = document.querySelector({json.dumps(selector)})"
                            ".getBoundingClientRect(); return [r.x, r.y, r.width, r.height]; })()")
        clip = {"x": box[0], "y": box[1], "width": box[2], "height": box[3], "scale": 1}
        shot = self.command("Page.captureScreenshot", {"format": "png", "clip": clip})
        return base64.b64decode(shot["data"])

    def click(self, x, y):
        """A real (trusted) left click at page coordinates: it counts as a user gesture."""
        for kind in ("mousePressed", "mouseReleased"):
            self.command("Input.dispatchMouseEvent", {"type": kind, "x": x, "y": y, "button": "left", "clickCount": 1})

    def press_key(self, key, code, key_code, shift=False):
        """A real key press; keys that type (a character, Enter) also give the character, so a
        focused button answers Enter and Space as it does for a visitor."""
        typed = "\r" if key == "Enter" else key if len(key) == 1 else ""
        down = {"type": "keyDown" if typed else "rawKeyDown", "key": key, "code": code,
                "windowsVirtualKeyCode": key_code, "modifiers": 8 if shift else 0}
        if typed:
            down["text"] = typed
        self.command("Input.dispatchKeyEvent", down)
        self.command("Input.dispatchKeyEvent", {"type": "keyUp", "key": key, "code": code,
                                                "windowsVirtualKeyCode": key_code, "modifiers": 8 if shift else 0})

    def type_key(self, key):
        """A key named as the page sees it: a character, or Space, Enter, Escape, Tab, Shift,
        Control, ArrowLeft, ArrowRight, ArrowUp, ArrowDown."""
        named = {"Space": (" ", "Space", 32), "Enter": ("Enter", "Enter", 13), "Escape": ("Escape", "Escape", 27),
                 "Tab": ("Tab", "Tab", 9), "Shift": ("Shift", "ShiftLeft", 16),
                 "Control": ("Control", "ControlLeft", 17), "ArrowLeft": ("ArrowLeft", "ArrowLeft", 37),
                 "ArrowUp": ("ArrowUp", "ArrowUp", 38), "ArrowRight": ("ArrowRight", "ArrowRight", 39),
                 "ArrowDown": ("ArrowDown", "ArrowDown", 40)}
        if key in named:
            self.press_key(*named[key])
        elif key.isdigit():
            self.press_key(key, "Digit" + key, ord(key))
        else:
            self.press_key(key, "Key" + key.upper(), ord(key.upper()))

    def set_viewport(self, width, height, mobile=False):
        self.command("Emulation.setDeviceMetricsOverride",
                     {"width": width, "height": height, "deviceScaleFactor": 1, "mobile": mobile})

    def rect(self, selector):
        """The element's box in page coordinates: {x, y, width, height, ...}."""
        return self.evaluate(f"document.querySelector({json.dumps(selector)}).getBoundingClientRect().toJSON()")

    def click_element(self, selector):
        """A real click at the middle of the element."""
        box = self.rect(selector)
        self.click(box["x"] + box["width"] / 2, box["y"] + box["height"] / 2)

    def on_every_page(self, source):
        """Runs source before any script of every page loaded from now on; returns its id."""
        return self.command("Page.addScriptToEvaluateOnNewDocument", {"source": source})["identifier"]

    def forget_on_every_page(self, identifier):
        self.command("Page.removeScriptToEvaluateOnNewDocument", {"identifier": identifier})

    def hide(self):
        """Switches to another tab, as a visitor does: this page becomes hidden."""
        self._other = self.command("Target.createTarget", {"url": "about:blank", "background": False},
                                   browser_level=True)["targetId"]
        self.command("Target.activateTarget", {"targetId": self._other}, browser_level=True)
        self.wait_for("document.hidden")

    def show(self):
        """Comes back to this page's tab and closes the other one."""
        infos = self.command("Target.getTargets", browser_level=True)["targetInfos"]
        mine = next(t["targetId"] for t in infos if t["type"] == "page" and t["targetId"] != self._other)
        self.command("Target.activateTarget", {"targetId": mine}, browser_level=True)
        self.command("Target.closeTarget", {"targetId": self._other}, browser_level=True)
        self.wait_for("!document.hidden")

    def drop_files(self, paths, x, y):
        """Drags files (or folders) from outside and drops them at page coordinates."""
        data = {"items": [], "files": [os.path.abspath(p) for p in paths], "dragOperationsMask": 1}
        for kind in ("dragEnter", "dragOver", "drop"):
            self.command("Input.dispatchDragEvent", {"type": kind, "x": x, "y": y, "data": data})

    def set_files(self, selector, paths):
        root = self.command("DOM.getDocument")["root"]["nodeId"]
        node = self.command("DOM.querySelector", {"nodeId": root, "selector": selector})["nodeId"]
        self.command("DOM.setFileInputFiles", {"nodeId": node, "files": [os.path.abspath(p) for p in paths]})

    def allow_downloads(self, folder):
        self.command("Browser.setDownloadBehavior", {"behavior": "allow", "downloadPath": folder},
                     browser_level=True)

    def console_errors(self):
        return [e for e in self.events if e["method"] == "Runtime.exceptionThrown"]

    def close(self):
        if self.proc.poll() is None:
            try:
                self.command("Browser.close", browser_level=True, timeout=5)
            except BrowserError:
                pass
            try:
                self.proc.wait(timeout=10)
            except subprocess.TimeoutExpired:
                self.proc.kill()
                self.proc.wait()
        os.close(self._to_child)
        os.close(self._from_child)
        shutil.rmtree(self.profile, ignore_errors=True)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()


def wait_for_download(path, timeout):
    """The finished download: the file is there and Chromium's partial file is gone."""
    deadline = time.monotonic() + timeout
    while time.monotonic() < deadline:
        if os.path.exists(path) and not glob.glob(os.path.join(os.path.dirname(path), "*.crdownload")):
            return True
        time.sleep(0.1)
    return False


def free_port():
    with socket.socket() as s:
        s.bind(("127.0.0.1", 0))
        return s.getsockname()[1]


class Site:
    """python3 -m http.server over a folder, on 127.0.0.1 and a free port."""

    def __init__(self, folder):
        self.port = free_port()
        self.proc = subprocess.Popen(
            [sys.executable, "-m", "http.server", str(self.port), "--bind", "127.0.0.1", "--directory", folder],
            stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)
        deadline = time.monotonic() + 10
        while time.monotonic() < deadline:
            try:
                socket.create_connection(("127.0.0.1", self.port), timeout=0.2).close()
                return
            except OSError:
                time.sleep(0.05)
        self.close()
        raise BrowserError("the site's server did not start")

    def url(self, path):
        return f"http://127.0.0.1:{self.port}/{path}"

    def close(self):
        if self.proc.poll() is None:
            self.proc.terminate()
            self.proc.wait(timeout=10)

    def __enter__(self):
        return self

    def __exit__(self, *exc):
        self.close()
