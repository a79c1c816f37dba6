#!/usr/bin/env python3
"""The folders of the converter are floors that point one way: a file
includes headers of its own folder or of a floor below, never of a floor
above or of a neighbour on its own floor.

    python3 tests/layers_test.py [SOURCE_ROOT]
"""
import pathlib
import re
import sys
import unittest

ROOT = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)

# Floor of each folder, from the ground up; folders on one floor are neighbours.
FLOORS = {"platform": 0, "base": 1, "container": 2, "wave": 2, "app": 3}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def includes(folder):
    for path in sorted((ROOT / folder).glob("*")):
        if path.suffix in (".h", ".cc", ".in"):
            for name in INCLUDE.findall(path.read_text(encoding="utf-8")):
                yield path.relative_to(ROOT).as_posix(), name


def wrong_way(folder, found_includes):
    """The includes of `folder` that reach its own floor or above, elsewhere."""
    found = []
    for source, name in found_includes:
        target = name.split("/")[0] if "/" in name else folder
        if target == folder:
            continue
        if target not in FLOORS or FLOORS[target] >= FLOORS[folder]:
            found.append(f"{source} includes {name}")
    return found


class Layers(unittest.TestCase):
    def test_every_include_points_down(self):
        for folder in FLOORS:
            with self.subTest(folder=folder):
                self.assertEqual(wrong_way(folder, includes(folder)), [])

    def test_an_include_up_or_sideways_is_seen(self):
        seen = [("wave/x.cc", "app/records.h"), ("wave/y.cc", "container/z.h"), ("wave/z.cc", "base/records.h"),
                ("wave/w.cc", "wave/wavheader.h"), ("wave/v.cc", "web/track_facts.h")]
        self.assertEqual(wrong_way("wave", seen), ["wave/x.cc includes app/records.h",
                                                   "wave/y.cc includes container/z.h",
                                                   "wave/v.cc includes web/track_facts.h"])

    def test_platform_files_answer_only_the_platform_header(self):
        for source, name in includes("platform"):
            self.assertTrue(name.startswith("platform/"), f"{source} includes {name}")


if __name__ == "__main__":
    unittest.main()
