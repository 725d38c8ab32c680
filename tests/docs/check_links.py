#!/usr/bin/env python3
"""Every relative link in the README and in docs/ must point at a file or
folder that exists, and a link with #ANCHOR at a heading of that Markdown
page (the anchor as GitHub makes it from the heading's text).

    check_links.py ROOT

Links inside code blocks and code spans are text, not links; links with a
scheme (https:, mailto:) are not checked. Prints each broken link as
FILE:LINE: TARGET: reason, and ends with status 1 when there is one.
"""
import os
import re
import sys

FENCE = re.compile(r"^\s*(```|~~~)")
HEADING = re.compile(r"^#{1,6}\s+(.*?)\s*#*\s*$")
# [text](target) and ![alt](target), the target up to a blank or ")".
INLINE = re.compile(r"!?\[[^\]]*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
# [label]: target
REFERENCE = re.compile(r"^\s*\[[^\]]+\]:\s*<?(\S+?)>?(?:\s|$)")
CODE_SPAN = re.compile(r"(`+).*?\1")
SCHEME = re.compile(r"^[A-Za-z][A-Za-z0-9+.-]*:")


def prose_lines(text):
    """(line number, line) of the lines outside fenced code blocks."""
    fenced = False
    for number, line in enumerate(text.splitlines(), 1):
        if FENCE.match(line):
            fenced = not fenced
            continue
        if not fenced:
            yield number, line


def slug(heading):
    """GitHub's anchor of a heading: lower case, markup and punctuation
    dropped (hyphens and underscores kept), blanks to hyphens."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)  # a link's text stays
    text = re.sub(r"[^\w\- ]", "", text.lower())
    return text.replace(" ", "-")


def anchors(text):
    """The anchors of a page's headings; a repeated one gets -1, -2, ..."""
    seen, found = {}, set()
    for _, line in prose_lines(text):
        m = HEADING.match(line)
        if not m:
            continue
        base = slug(m.group(1))
        count = seen.get(base, 0)
        seen[base] = count + 1
        found.add(base if count == 0 else f"{base}-{count}")
    return found


def links(text):
    """(line number, target) of every link outside code."""
    for number, line in prose_lines(text):
        m = REFERENCE.match(line)
        if m:
            yield number, m.group(1)
            continue
        for m in INLINE.finditer(CODE_SPAN.sub("", line)):
            yield number, m.group(1)


def read(path):
    with open(path, encoding="utf-8") as f:
        return f.read()


def broken(path):
    """The broken links of one Markdown page, as (line, target, reason)."""
    faults = []
    for number, target in links(read(path)):
        if SCHEME.match(target):
            continue
        file_part, _, anchor = target.partition("#")
        dest = os.path.normpath(os.path.join(os.path.dirname(path), file_part)) \
            if file_part else path
        if not os.path.exists(dest):
            faults.append((number, target, "no such file"))
        elif anchor and not dest.endswith(".md"):
            faults.append((number, target, "an anchor in a page that is not Markdown"))
        elif anchor and anchor not in anchors(read(dest)):
            faults.append((number, target, f"no heading #{anchor}"))
    return faults


def pages(root):
    """The README and every Markdown page under docs/."""
    found = [os.path.join(root, "README.md")]
    for folder, _, files in os.walk(os.path.join(root, "docs")):
        found += [os.path.join(folder, f) for f in sorted(files) if f.endswith(".md")]
    return found


def main(argv):
    if len(argv) != 2:
        print(__doc__.strip(), file=sys.stderr)
        return 2
    root = argv[1]
    faults = [(page, *fault) for page in pages(root) for fault in broken(page)]
    for page, number, target, reason in faults:
        print(f"{os.path.relpath(page, root)}:{number}: {target}: {reason}")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
