"""The site builds byte-identical from the same sources: the show's and the
player's scripts and WebAssembly, linked once more from the same objects
into another folder, equal the site's byte for byte (no output path, no
random id, no time stamp inside). Needs the browser build's folder
(QM_WEB_BUILD) and Emscripten."""
import filecmp
import os
import shlex
import subprocess
import sys
import tempfile
import unittest

TARGETS = ["show", "player"]


class Reproducible(unittest.TestCase):
    def test_linking_again_elsewhere_gives_the_same_bytes(self):
        web = os.path.join(os.environ["QM_WEB_BUILD"], "web")
        env = dict(os.environ, NODE_PATH="/usr/share/nodejs")
        with tempfile.TemporaryDirectory(prefix="qm-relink-") as elsewhere:
            for target in TARGETS:
                with open(os.path.join(web, "CMakeFiles", f"{target}.dir", "link.txt")) as f:
                    command = shlex.split(f.read())
                at = command.index("-o")
                built = os.path.normpath(os.path.join(web, command[at + 1]))
                command[at + 1] = os.path.join(elsewhere, "out", f"{target}.js")
                os.makedirs(os.path.dirname(command[at + 1]), exist_ok=True)
                subprocess.run(command, cwd=web, env=env, check=True)
                for suffix in (".js", ".wasm"):
                    with self.subTest(file=target + suffix):
                        again = os.path.join(elsewhere, "out", target + suffix)
                        self.assertTrue(filecmp.cmp(os.path.splitext(built)[0] + suffix, again, shallow=False),
                                        f"{target}{suffix} differs when linked again")


if __name__ == "__main__":
    if not os.environ.get("QM_WEB_BUILD"):
        print("skipped: no browser build named (QM_WEB_BUILD)")
        sys.exit(77)
    unittest.main()
