#!/usr/bin/env python3
"""Checks the links of the documentation: README.md, CONTRIBUTING.md and every page under docs/.

- every link and image between the pages leads to a file of the repository, and an anchor
  (page.md#section) to a heading of that page, as the repository's web view makes anchors;
- every page under docs/ can be reached from README.md by following links, and ends with its
  limits (its last section is "Limits" or begins so);
- every repository path a page names as code (`engine/kn_unitUpdatePlan.h`, `bench/diff.sh`,
  `diff/kn_unitTextEncoding` for a unit's .h/.cpp pair) exists, so a file that moved or went
  away shows here rather than in a reader's shell.

Usage: check_links.py REPOSITORY-ROOT. Prints every fault as FILE:LINE: ...; exits 1 on any.
"""
import os
import re
import sys
from collections import Counter

ROOT = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else ".")
LINK = re.compile(r"!?\[(?:[^\[\]]|\[[^\]]*\])*\]\(([^)\s]+)(?:\s+\"[^\"]*\")?\)")
CODE_SPAN = re.compile(r"(`+)(.+?)\1")
FENCE = re.compile(r"^\s*(```|~~~)")
HEADING = re.compile(r"^(#{1,6})\s+(.*?)\s*#*\s*$")
# The top-level folders of the repository whose paths the pages name.
TOP = sorted(d for d in os.listdir(ROOT) if os.path.isdir(os.path.join(ROOT, d)) and not d.startswith("."))
REPO_PATH = re.compile(r"^(?:%s)/[A-Za-z0-9_.+/-]*$" % "|".join(map(re.escape, TOP)))


def pages():
    found = [p for p in ("README.md", "CONTRIBUTING.md") if os.path.isfile(os.path.join(ROOT, p))]
    for folder, _, files in os.walk(os.path.join(ROOT, "docs")):
        found += [os.path.relpath(os.path.join(folder, f), ROOT) for f in sorted(files) if f.endswith(".md")]
    return found


def prose_lines(path):
    """(line number, text) of every line outside fenced code blocks."""
    fenced = False
    with open(os.path.join(ROOT, path), encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            if FENCE.match(line):
                fenced = not fenced
                continue
            if not fenced:
                yield number, line.rstrip("\n")


def slug(heading):
    """The anchor the web view gives a heading: lower case, code marks and punctuation gone,
    blanks turned into hyphens."""
    text = re.sub(r"!?\[([^\]]*)\]\([^)]*\)", r"\1", heading)  # a link's text stays
    text = text.strip().lower()
    text = "".join(c for c in text if c.isalnum() or c in " -_")
    return text.replace(" ", "-")


def anchors(path, cache={}):
    if path not in cache:
        seen, result = Counter(), set()
        for _, line in prose_lines(path):
            m = HEADING.match(line)
            if not m:
                continue
            base = slug(m.group(2))
            result.add(base if seen[base] == 0 else "%s-%d" % (base, seen[base]))
            seen[base] += 1
        cache[path] = result
    return cache[path]


def ignored(path):
    """Paths the build and the benchmarks make (listed in .gitignore as /folder/)."""
    try:
        with open(os.path.join(ROOT, ".gitignore"), encoding="utf-8") as f:
            prefixes = [l.strip().lstrip("/") for l in f if l.strip().startswith("/") and l.strip().endswith("/")]
    except OSError:
        return False
    return any(path == p.rstrip("/") or path.startswith(p) for p in prefixes)


def exists_in_repo(path):
    full = os.path.join(ROOT, path)
    return os.path.exists(full) or any(os.path.isfile(full + ext) for ext in (".h", ".cpp"))


def main():
    faults, links, code_paths = [], 0, 0
    all_pages = pages()
    edges = {p: set() for p in all_pages}
    for page in all_pages:
        here = os.path.dirname(page)
        for number, line in prose_lines(page):
            where = "%s:%d" % (page, number)
            for m in LINK.finditer(CODE_SPAN.sub("", line)):
                target = m.group(1)
                links += 1
                if re.match(r"^[a-z][a-z0-9+.-]*:", target):
                    faults.append("%s: %s: the pages link only to each other and to the repository" % (where, target))
                    continue
                file_part, _, anchor = target.partition("#")
                resolved = os.path.normpath(os.path.join(here, file_part)) if file_part else page
                if resolved.startswith(".."):
                    faults.append("%s: %s: leads outside the repository" % (where, target))
                    continue
                if not os.path.exists(os.path.join(ROOT, resolved)):
                    faults.append("%s: %s: no such file" % (where, target))
                    continue
                if resolved in edges:
                    edges[page].add(resolved)
                if anchor:
                    if not resolved.endswith(".md"):
                        faults.append("%s: %s: an anchor into a file that is not a page" % (where, target))
                    elif anchor not in anchors(resolved):
                        faults.append("%s: %s: %s has no heading with this anchor" % (where, target, resolved))
            for m in CODE_SPAN.finditer(line):
                words = m.group(2).split()
                if not words or not REPO_PATH.match(words[0]):
                    continue
                code_paths += 1
                path = words[0].rstrip(".,;:")
                if not exists_in_repo(path) and not ignored(path):
                    faults.append("%s: `%s`: no such file or folder in the repository" % (where, path))

    # Every page of the manual ends with its limits, so a section added later goes above them.
    for page in all_pages:
        if not page.startswith("docs/"):
            continue
        sections = [m.group(2) for _, line in prose_lines(page) for m in [HEADING.match(line)] if m and m.group(1) == "##"]
        if not sections or not sections[-1].startswith("Limits"):
            faults.append("%s: its last section is not its limits (\"## Limits\")" % page)

    # Every page of the manual is reachable from the front page.
    reached, todo = set(), ["README.md"]
    while todo:
        page = todo.pop()
        if page in reached or page not in edges:
            continue
        reached.add(page)
        todo += edges[page]
    for page in all_pages:
        if page not in reached:
            faults.append("%s: no page links to it (from README.md on)" % page)

    for fault in faults:
        print(fault)
    print("%d pages, %d links, %d repository paths checked, %d faults" % (len(all_pages), links, code_paths, len(faults)))
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
