#!/usr/bin/env python3
"""The link check on small trees of pages: each case a README (and pages
under docs/) and the broken links expected, as (page, line, target)."""
import os
import sys
import tempfile
import unittest

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import check_links  # noqa: E402

CASES = [
    ("a page, a picture and a folder that exist",
     {"README.md": "[a](docs/a.md) ![p](docs/p.png) [m](docs/man/)\n",
      "docs/a.md": "", "docs/p.png": "", "docs/man/x.1": ""}, []),
    ("a page that does not exist",
     {"README.md": "text\n[a](docs/gone.md)\n"}, [("README.md", 2, "docs/gone.md")]),
    ("paths are relative to the page that links",
     {"README.md": "", "docs/a.md": "[r](../README.md) [b](b.md)\n"},
     [("docs/a.md", 1, "b.md")]),
    ("an anchor made from punctuation, quotes and code",
     {"README.md": '## What "NO CONNECTION" means\n### `tarvik --plot`, a log\n'
                   "[x](#what-no-connection-means) [y](#tarvik---plot-a-log)\n"}, []),
    ("an anchor with no heading, here or in another page",
     {"README.md": "# Top\n[x](#bottom) [y](docs/a.md#top)\n", "docs/a.md": "# A\n"},
     [("README.md", 2, "#bottom"), ("README.md", 2, "docs/a.md#top")]),
    ("a repeated heading's second anchor ends in -1",
     {"README.md": "## Setup\n## Setup\n[a](#setup-1) [b](#setup-2)\n"},
     [("README.md", 3, "#setup-2")]),
    ("a heading in a code block is no heading",
     {"README.md": "```\n# comment\n```\n[a](#comment)\n"}, [("README.md", 4, "#comment")]),
    ("links in code blocks and code spans are text",
     {"README.md": "```\n[a](gone.md)\n```\n`[b](gone.md)` and ``[c](gone.md)``\n"}, []),
    ("links with a scheme are not followed",
     {"README.md": "[a](https://example.org/x.md) [b](mailto:x@example.org)\n"}, []),
    ("a reference link is checked too",
     {"README.md": "[a][ref]\n\n[ref]: docs/gone.md\n"}, [("README.md", 3, "docs/gone.md")]),
    ("an anchor into a file that is not Markdown",
     {"README.md": "[a](docs/p.png#top)\n", "docs/p.png": ""},
     [("README.md", 1, "docs/p.png#top")]),
    ("pages under docs/ are checked, also in subfolders",
     {"README.md": "", "docs/sub/a.md": "[b](gone.md)\n"}, [("docs/sub/a.md", 1, "gone.md")]),
]


class CheckLinksTest(unittest.TestCase):
    def test_cases(self):
        for description, files, expected in CASES:
            with self.subTest(description), tempfile.TemporaryDirectory() as root:
                for name, text in files.items():
                    path = os.path.join(root, name)
                    os.makedirs(os.path.dirname(path), exist_ok=True)
                    with open(path, "w", encoding="utf-8") as f:
                        f.write(text)
                found = [(os.path.relpath(page, root), number, target)
                         for page in check_links.pages(root)
                         for number, target, _ in check_links.broken(page)]
                self.assertEqual(sorted(found), sorted(expected))


if __name__ == "__main__":
    unittest.main()
