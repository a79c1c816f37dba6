#!/usr/bin/env python3
"""The README's user part, for an archive that holds the program but not the
source tree: the spans marked as the source tree's own (the screenshot, the
build from source, the links to the guides in doc/) are left out, and every
link that is left must name a file the archive holds.

    user_readme.py README.md OUT HELD...

HELD names the files beside the README in the archive (LICENSE, CHANGELOG.md).
"""
import re
import sys

# A span on lines of its own goes with its lines; one inside a line, alone.
BLOCK = re.compile(r"^<!-- source tree only -->\n.*?^<!-- /source tree only -->\n", re.S | re.M)
SPAN = re.compile(r"<!-- source tree only -->.*?<!-- /source tree only -->", re.S)
LINK = re.compile(r"\]\(([^)\s]+)\)")


def user_part(text, held):
    """The text without the marked spans; raises ValueError naming a link
    to a file that is not held."""
    part = SPAN.sub("", BLOCK.sub("", text))
    if "source tree only" in part:
        raise ValueError("a span marked as the source tree's own is not closed")
    part = re.sub(r"\n{3,}", "\n\n", part)
    for target in LINK.findall(part):
        if re.match(r"^(https?:|mailto:|#)", target):
            continue
        if target not in held:
            raise ValueError("the user part links to %s, which the archive does not hold" % target)
    return part


def main():
    source, out, *held = sys.argv[1:]
    with open(source, encoding="utf-8") as f:
        text = f.read()
    try:
        part = user_part(text, set(held))
    except ValueError as problem:
        print("user_readme.py: %s" % problem)
        return 1
    with open(out, "w", encoding="utf-8") as f:
        f.write(part)
    return 0


if __name__ == "__main__":
    sys.exit(main())
