#!/usr/bin/env python3
"""The folders of the converter are floors that point one way: a file
includes headers of its own folder or of a floor below, never of a floor
above or of a neighbour on its own floor. The page's folders likewise: the
C++ built for the page (web/core) stands on the converter's top floor, and
of the page's modules, what runs in the page (web/page) and what runs in the
worker (web/worker) each import only their own folder and what both share
(web/shared), which imports neither.

    python3 tests/layers_test.py [SOURCE_ROOT]
"""
import pathlib
import re
import sys
import unittest

ROOT = pathlib.Path(sys.argv.pop(1) if len(sys.argv) > 1 else pathlib.Path(__file__).parent.parent)

# Floor of each folder, from the ground up; folders on one floor are neighbours.
FLOORS = {"platform": 0, "base": 1, "container": 2, "wave": 2, "app": 3, "web/core": 4}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)
# The page's modules: the folders each may import from besides its own.
MODULE_FLOORS = {"web/shared": set(), "web/page": {"web/shared"}, "web/worker": {"web/shared"}}
IMPORT = re.compile(r'^\s*(?:import|export)\b[^;]*?\bfrom\s+[\'"]([^\'"]+)[\'"]', re.M)


def includes(folder):
    for path in sorted((ROOT / folder).glob("*")):
        if path.suffix in (".h", ".cc", ".in"):
            for name in INCLUDE.findall(path.read_text(encoding="utf-8")):
                yield path.relative_to(ROOT).as_posix(), name


def target_folder(name, folder):
    """The folder an include names: its first part, or web/core for the page's C++."""
    if name.startswith("web/"):
        return "/".join(name.split("/")[:2])
    return name.split("/")[0] if "/" in name else folder


def wrong_way(folder, found_includes):
    """The includes of `folder` that reach its own floor or above, elsewhere."""
    found = []
    for source, name in found_includes:
        target = target_folder(name, folder)
        if target == folder:
            continue
        if target not in FLOORS or FLOORS[target] >= FLOORS[folder]:
            found.append(f"{source} includes {name}")
    return found


def module_imports(folder):
    for path in sorted((ROOT / folder).glob("*.js")):
        for name in IMPORT.findall(path.read_text(encoding="utf-8")):
            yield path.relative_to(ROOT).as_posix(), name


def wrong_imports(folder, found_imports):
    """The imports of a page module that reach a folder it may not."""
    found = []
    for source, name in found_imports:
        if not name.startswith("."):
            continue  # a package, bundled from node_modules
        target = (pathlib.PurePosixPath(source).parent / name).as_posix()
        parts = []
        for part in target.split("/"):
            if part == "..":
                parts.pop()
            elif part != ".":
                parts.append(part)
        target_dir = "/".join(parts[:-1])
        if target_dir != folder and target_dir not in MODULE_FLOORS[folder]:
            found.append(f"{source} imports {name}")
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

    def test_the_page_and_the_worker_share_but_never_import_each_other(self):
        for folder in MODULE_FLOORS:
            with self.subTest(folder=folder):
                found = list(module_imports(folder))
                self.assertTrue(found, f"{folder} has no module with imports")
                self.assertEqual(wrong_imports(folder, found), [])

    def test_an_import_across_is_seen(self):
        seen = [("web/page/row.js", "../worker/main.js"), ("web/page/row.js", "../shared/kinds.js"),
                ("web/shared/kinds.js", "../page/row.js"), ("web/worker/main.js", "./core_bridge.js"),
                ("web/page/zip.js", "client-zip")]
        self.assertEqual(wrong_imports("web/page", seen[:2]), ["web/page/row.js imports ../worker/main.js"])
        self.assertEqual(wrong_imports("web/shared", seen[2:3]), ["web/shared/kinds.js imports ../page/row.js"])
        self.assertEqual(wrong_imports("web/worker", seen[3:4]), [])
        self.assertEqual(wrong_imports("web/page", seen[4:]), [])

    def test_platform_files_answer_only_the_platform_header(self):
        for source, name in includes("platform"):
            self.assertTrue(name.startswith("platform/"), f"{source} includes {name}")


if __name__ == "__main__":
    unittest.main()
