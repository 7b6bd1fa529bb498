#!/usr/bin/env python3
"""Fails when a top-level folder of the tree is missing from the README's layout.

The layout is the indented block under "## Layout"; a folder counts as listed when
a line of that block begins with its name and "/".
"""
import pathlib
import subprocess
import sys

top = pathlib.Path(__file__).resolve().parent.parent
tracked = subprocess.run(["git", "ls-files"], cwd=top, check=True, capture_output=True, text=True).stdout
folders = sorted({line.split("/", 1)[0] for line in tracked.splitlines() if "/" in line and not line.startswith(".")})

readme = (top / "README.md").read_text(encoding="utf-8").splitlines()
try:
    start = readme.index("## Layout") + 1
except ValueError:
    sys.exit("check-layout: README.md has no \"## Layout\" section")
listed = set()
for line in readme[start:]:
    if line.startswith("## "):
        break
    word = line.strip().split(" ", 1)[0]
    if line.startswith("    ") and not line.startswith("      ") and word.endswith("/"):
        listed.add(word[:-1])

missing = [f for f in folders if f not in listed]
if missing:
    sys.exit("check-layout: the README's layout does not list " + ", ".join(f + "/" for f in missing))
print(f"check-layout: {len(folders)} top-level folders, all in the README's layout")
