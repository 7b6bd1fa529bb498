#!/usr/bin/env python3
"""Checks the project's own includes: no include circles, and no include up a layer.

A header and its source (X.h and X.cpp) count as one unit. A unit that reaches
itself through a chain of `#include "..."` is a circle; the browser layer's
objects (platform/browser/) are exempt among themselves, since they mirror a
library whose objects refer to each other.

Layers, lowest first: platform <- core <- games / booster / plugins <- ui <- app.
games, booster and plugins sit side by side and do not include each other;
ui/panels includes nothing of ui/ outside ui/panels. Tests, fuzz targets,
benchmarks and tools are not checked.

Exit status 0 when clean, 1 with one line per fault otherwise.
"""

import os
import re
import sys

CHECKED = ("platform", "core", "games", "booster", "plugins", "ui", "app")
SOURCE_EXTENSIONS = (".h", ".cpp")
INCLUDE = re.compile(r'^\s*#\s*include\s*"([^"]+)"')

# Which top-level folders each top-level folder may include.
ALLOWED = {
    "platform": {"platform"},
    "core": {"platform", "core"},
    "games": {"platform", "core", "games"},
    "booster": {"platform", "core", "booster"},
    "plugins": {"platform", "core", "plugins"},
    "ui": {"platform", "core", "games", "booster", "plugins", "ui"},
    "app": set(CHECKED),
}

BROWSER = "platform/browser/"


def top(path):
    return path.split("/", 1)[0]


def unit_of(path):
    return os.path.splitext(path)[0]


def collect_files(root):
    files = []
    for folder in CHECKED:
        for dirpath, dirnames, filenames in os.walk(os.path.join(root, folder)):
            dirnames.sort()
            for name in sorted(filenames):
                if name.endswith(SOURCE_EXTENSIONS):
                    full = os.path.join(dirpath, name)
                    files.append(os.path.relpath(full, root).replace(os.sep, "/"))
    return files


def read_includes(root, path):
    """(line number, included path) for each quoted include of the file."""
    found = []
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
        for number, line in enumerate(f, 1):
            match = INCLUDE.match(line)
            if match:
                found.append((number, match.group(1)))
    return found


def layer_fault(source, target):
    """Why an include of target from source runs up a layer, or None."""
    if top(target) not in ALLOWED[top(source)]:
        return "%s may not include %s" % (top(source), top(target))
    if source.startswith("ui/panels/") and target.startswith("ui/") \
            and not target.startswith("ui/panels/"):
        return "ui/panels may not include ui/ outside ui/panels"
    return None


def strongly_connected(graph):
    """Tarjan's components of the unit graph, each with more than one unit."""
    index = {}
    low = {}
    on_stack = set()
    stack = []
    components = []
    counter = [0]

    def visit(start):
        # Iterative, so a deep include chain cannot overflow Python's stack.
        work = [(start, iter(sorted(graph.get(start, ()))))]
        index[start] = low[start] = counter[0]
        counter[0] += 1
        stack.append(start)
        on_stack.add(start)
        while work:
            node, children = work[-1]
            advanced = False
            for child in children:
                if child not in index:
                    index[child] = low[child] = counter[0]
                    counter[0] += 1
                    stack.append(child)
                    on_stack.add(child)
                    work.append((child, iter(sorted(graph.get(child, ())))))
                    advanced = True
                    break
                if child in on_stack:
                    low[node] = min(low[node], index[child])
            if advanced:
                continue
            work.pop()
            if work:
                parent = work[-1][0]
                low[parent] = min(low[parent], low[node])
            if low[node] == index[node]:
                component = []
                while True:
                    member = stack.pop()
                    on_stack.discard(member)
                    component.append(member)
                    if member == node:
                        break
                if len(component) > 1:
                    components.append(sorted(component))

    for node in sorted(graph):
        if node not in index:
            visit(node)
    return sorted(components)


def shortest_circle(graph, members):
    """A shortest chain from the component's first unit back to itself."""
    inside = set(members)
    start = members[0]
    previous = {}
    frontier = [start]
    while frontier:
        following = []
        for node in frontier:
            for child in sorted(graph.get(node, ())):
                if child not in inside:
                    continue
                if child == start:
                    chain = [start]
                    while node != start:
                        chain.append(node)
                        node = previous[node]
                    chain.append(start)
                    chain.reverse()
                    return chain
                if child not in previous:
                    previous[child] = node
                    following.append(child)
        frontier = following
    return members + [start]


def main():
    root = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))
    if len(sys.argv) > 1:
        root = sys.argv[1]
    files = collect_files(root)
    known = set(files)

    graph = {}
    # (unit, unit) -> the first file:line that makes the edge, for the report.
    witness = {}
    faults = []
    for source in files:
        for number, target in read_includes(root, source):
            where = "%s:%d" % (source, number)
            if target not in known:
                if top(target) in CHECKED:
                    faults.append("missing:  %s includes %s, which does not exist"
                                  % (where, target))
                continue
            reason = layer_fault(source, target)
            if reason:
                faults.append("layer:    %s includes %s (%s)" % (where, target, reason))
            a, b = unit_of(source), unit_of(target)
            if a == b:
                continue
            if a.startswith(BROWSER) and b.startswith(BROWSER):
                continue
            graph.setdefault(a, set()).add(b)
            witness.setdefault((a, b), where)

    for members in strongly_connected(graph):
        chain = shortest_circle(graph, members)
        steps = ["%s (%s)" % (b, witness[(a, b)]) for a, b in zip(chain, chain[1:])]
        faults.append("circle:   %s -> %s" % (chain[0], " -> ".join(steps)))
        if len(members) > len(chain) - 1:
            faults.append("          units in this circle: %s" % ", ".join(members))

    if faults:
        print("check-includes: %d fault(s)" % sum(1 for f in faults if not f.startswith(" ")))
        for fault in faults:
            print(fault)
        return 1
    print("check-includes: %d files, no circles, no include up a layer" % len(files))
    return 0


if __name__ == "__main__":
    sys.exit(main())
