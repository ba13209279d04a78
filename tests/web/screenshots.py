#!/usr/bin/env python3
"""Takes the README's pictures of both pages in headless Chromium, at 1280 x
800 and at 375 x 667 (a phone held upright), and puts each page's side by
side into docs/ with ImageMagick: docs/show-page.png (the start screen, and
the replay control under the closing picture) and docs/player.png (a song
playing with its pattern view and meters).
Usage: tests/web/screenshots.py SITE_DIR [--song FILE] [--out DIR] [--only show|player]"""
import argparse
import base64
import os
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from browser import Browser, Site  # noqa: E402

HERE = os.path.dirname(os.path.abspath(__file__))
SIZES = [(1280, 800, False), (375, 667, True)]
CLOSING_PICTURE_S = 28     # the show's closing picture is on screen from here
PLAYING_S = 6              # the player's picture is taken this far into the song


def shot(browser, path):
    with open(path, "wb") as f:
        f.write(base64.b64decode(browser.command("Page.captureScreenshot", {"format": "png"})["data"]))


def show_pictures(browser, site, work):
    names = []
    for width, height, mobile in SIZES:
        browser.set_viewport(width, height, mobile)
        browser.goto(site.url("index.html"))
        browser.wait_for("window.qmShow && qmShow.screen === 'start'")
        names.append(os.path.join(work, f"show-start-{width}.png"))
        shot(browser, names[-1])
        browser.type_key("Enter")
        browser.wait_for("qmShow.running")
        time.sleep(CLOSING_PICTURE_S)
        browser.type_key("Escape")
        browser.wait_for("qmShow.screen === 'again'")
        browser.evaluate("document.activeElement.blur()")
        names.append(os.path.join(work, f"show-again-{width}.png"))
        shot(browser, names[-1])
    return names


def player_pictures(browser, site, work, song):
    names = []
    for width, height, mobile in SIZES:
        browser.set_viewport(width, height, mobile)
        browser.goto(site.url("player.html"))
        browser.wait_for("window.qmPlayer && qmPlayer.ready")
        browser.drop_files([song], width - 5, height - 5)
        browser.wait_for("qmPlayer.loaded")
        browser.type_key("Space")
        time.sleep(PLAYING_S)
        names.append(os.path.join(work, f"player-{width}.png"))
        shot(browser, names[-1])
    return names


def montage(pictures, out):
    subprocess.run(["montage", "-background", "#202020", *pictures, "-tile", f"{len(pictures)}x1",
                    "-geometry", "+8+8", "-gravity", "north", "-depth", "8", out], check=True)


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("site")
    parser.add_argument("--song", default=os.path.join(HERE, "..", "..", "..", "shared", "corpus", "xm", "songs",
                                                      "juho-ihana_paiva.xm"))
    parser.add_argument("--out", default=os.path.join(HERE, "..", "..", "docs"))
    parser.add_argument("--only", choices=["show", "player"])
    args = parser.parse_args()
    with tempfile.TemporaryDirectory() as work, Site(args.site) as site, Browser() as browser:
        if args.only != "player":
            montage(show_pictures(browser, site, work), os.path.join(args.out, "show-page.png"))
        if args.only != "show":
            montage(player_pictures(browser, site, work, args.song), os.path.join(args.out, "player.png"))


if __name__ == "__main__":
    main()
