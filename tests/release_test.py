#!/usr/bin/env python3
"""What a release is made of agrees with itself: one version everywhere it is
shown, one release name on every file of the release and at the head of the
CHANGELOG, and workflows that are valid YAML and run the documented commands.

    release_test.py --kelvor build/kelvor --build build
"""
import argparse
import json
import os
import re
import shutil
import subprocess
import sys
import unittest

import yaml

ROOT = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..")
ARGS = None


def text(*path):
    with open(os.path.join(ROOT, *path), encoding="utf-8") as f:
        return f.read()


VERSION = text("VERSION").splitlines()[0].strip()
RELEASE = text("RELEASE").splitlines()[0].strip()
# An artefact's name: kelvor-0.02-r2-linux-x86_64.tar.gz, kelvor_0.02-r2_amd64.deb,
# and the first release's kelvor-0.02-src.tar.gz.
ARTEFACT = re.compile(r"kelvor[-_](\d+\.\d+(?:-r\d+)?)[-_.]")


def changelog_entries():
    """(name, text) of each entry of CHANGELOG.md, newest first, [Unreleased]
    left out when it is empty."""
    parts = re.split(r"^## \[([^\]]+)\][^\n]*\n", text("CHANGELOG.md"), flags=re.M)
    entries = list(zip(parts[1::2], parts[2::2]))
    return [(name, body) for name, body in entries if name != "Unreleased" or body.strip()]


class OneVersion(unittest.TestCase):
    def test_every_place_shows_the_version_file(self):
        banner = subprocess.run([ARGS.kelvor], capture_output=True, check=False).stdout.decode()
        man = open(os.path.join(ARGS.build, "kelvor.1"), encoding="utf-8").readline()
        cpack = open(os.path.join(ARGS.build, "CPackConfig.cmake"), encoding="utf-8").read()
        package = json.loads(text("package.json"))
        lock = json.loads(text("package-lock.json"))
        shown = {
            "banner": re.match(r"kelvor ver\. (\S+)\n", banner).group(1),
            "manual page": re.search(r'"kelvor ([^"]+)"', man).group(1),
            "package.json": package["version"],
            "package-lock.json": lock["version"],
            "package-lock.json's root": lock["packages"][""]["version"],
        }
        for place, version in shown.items():
            self.assertEqual(version, VERSION, place)
        deb = re.search(r'set\(CPACK_PACKAGE_VERSION "([^"]*)"\)', cpack).group(1)
        self.assertEqual(deb, RELEASE, "the Debian package is named by the release")
        self.assertTrue(open(os.path.join(ARGS.build, "changelog.Debian"), encoding="utf-8").readline()
                        .startswith("kelvor (%s) " % RELEASE), "the Debian changelog")

    def test_the_release_has_a_name_of_its_own(self):
        self.assertRegex(RELEASE, r"^%s-r[1-9]\d*$" % re.escape(VERSION))
        entries = changelog_entries()
        names = [name for name, _ in entries]
        self.assertEqual(names[0], RELEASE, "the CHANGELOG's newest entry is not this release")
        self.assertEqual(len(names), len(set(names)), "two CHANGELOG entries share a name")
        newest = entries[0][1]
        self.assertEqual(set(ARTEFACT.findall(newest)), {RELEASE}, "the newest entry names its own files")

    def test_documents_name_the_artefacts_of_this_release(self):
        for doc in ("README.md", "development.md", "windows.md", "page.md"):
            path = (doc,) if doc == "README.md" else ("doc", doc)
            names = ARTEFACT.findall(text(*path))
            self.assertTrue(names or doc != "README.md", "the README names no artefact")
            for name in names:
                self.assertEqual(name, RELEASE, doc)


class Workflows(unittest.TestCase):
    def load(self, name):
        return yaml.safe_load(text(".github", "workflows", name))

    @staticmethod
    def triggers(workflow):
        return workflow.get("on", workflow.get(True))  # YAML 1.1 reads a bare on as true

    @staticmethod
    def commands(job):
        return [step.get("run", "") for step in job["steps"]]

    def test_yamllint_finds_nothing(self):
        self.assertIsNotNone(shutil.which("yamllint"), "install yamllint")
        run = subprocess.run(["yamllint", "-s", ".github/workflows", ".yamllint"], cwd=ROOT,
                             capture_output=True, text=True, check=False)
        self.assertEqual(run.returncode, 0, run.stdout + run.stderr)

    def test_ci_runs_the_ci_script_in_debian_as_root(self):
        workflow = self.load("ci.yml")
        self.assertEqual(set(self.triggers(workflow)), {"push", "pull_request"})
        (job,) = workflow["jobs"].values()
        self.assertEqual(job["container"]["image"], "debian:12")
        self.assertIn("--user root", job["container"]["options"])
        self.assertIn("bash .ci/run", self.commands(job))

    def test_release_runs_the_documented_dist_command_and_publishes(self):
        workflow = self.load("release.yml")
        self.assertEqual(self.triggers(workflow)["push"]["tags"], ["v*"])
        dist = workflow["jobs"]["dist"]
        documented = re.search(r"^    (packaging/\S+)$", text("README.md"), re.M).group(1)
        self.assertIn(documented, self.commands(dist))
        self.assertIn("bash .ci/install", self.commands(dist))
        uses = {step.get("uses", "").split("@")[0]: step for step in dist["steps"]}
        self.assertEqual(uses["softprops/action-gh-release"]["with"]["files"], "dist/*")
        page = workflow["jobs"]["page"]
        self.assertIn("actions/deploy-pages", [s.get("uses", "").split("@")[0] for s in page["steps"]])
        self.assertIn("cp dist/kelvor-*.html site/index.html", "\n".join(self.commands(page)))


if __name__ == "__main__":
    parser = argparse.ArgumentParser()
    parser.add_argument("--kelvor", required=True)
    parser.add_argument("--build", required=True)
    ARGS, rest = parser.parse_known_args()
    unittest.main(argv=[sys.argv[0]] + rest)
