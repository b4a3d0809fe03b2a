#!/usr/bin/python3
"""Checks that the product's rooms stand in one order, lowest first: a file includes the
headers of its own room and of the rooms below it, never one of a room above or outside
the product, and no files include each other in a circle. Prints every include that
breaks this and exits 1; else prints the order.
    check-rooms.py [ROOT]"""

import os
import re
import sys

# Each room is named by the paths it holds: a folder, or some files of one. app/ holds two
# floors: the run's state, texts and boxes, which removal and discovery use too, and, on
# top, the two uninstall sequences and the entry.
ROOMS = [
    ("platform", ["platform/"]),
    ("log", ["log/"]),
    ("app's state, texts and boxes", ["app/state.", "app/resource.h", "app/messages."]),
    ("removal", ["removal/"]),
    ("discovery", ["discovery/"]),
    ("app", ["app/"]),
]
SOURCE_SUFFIXES = (".cpp", ".h", ".rc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def room_of(path):
    """The index of the room that holds path, by its longest matching prefix; None if none."""
    best, best_length = None, 0
    for index, (_, prefixes) in enumerate(ROOMS):
        for prefix in prefixes:
            if path.startswith(prefix) and len(prefix) > best_length:
                best, best_length = index, len(prefix)
    return best


def product_files(root):
    folders = sorted({prefix.split("/")[0] for _, prefixes in ROOMS for prefix in prefixes})
    for folder in folders:
        for directory, _, names in os.walk(os.path.join(root, folder)):
            for name in sorted(names):
                if name.endswith(SOURCE_SUFFIXES):
                    yield os.path.relpath(os.path.join(directory, name), root)


def includes(root, path):
    """(line number, included path) of each quoted include, as written: from the top."""
    with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
        for number, line in enumerate(source, 1):
            match = INCLUDE.match(line)
            if match:
                yield number, match.group(1)


def unit(path):
    """A source and its header are one unit: the path without its suffix."""
    return os.path.splitext(path)[0]


def find_circle(edges):
    """One circle of units, as a list whose first and last are the same; None if none."""
    state = {}  # 1 while on the current path, 2 when done
    path = []

    def visit(node):
        state[node] = 1
        path.append(node)
        for target in sorted(edges.get(node, ())):
            if state.get(target) == 1:
                return path[path.index(target):] + [target]
            if target not in state:
                found = visit(target)
                if found:
                    return found
        path.pop()
        state[node] = 2
        return None

    for node in sorted(edges):
        if node not in state:
            found = visit(node)
            if found:
                return found
    return None


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    faults = []
    edges = {}
    count = 0
    for path in product_files(root):
        own = room_of(path)
        for number, included in includes(root, path):
            count += 1
            where = f"{path}:{number}: includes {included}"
            target = room_of(included)
            if target is None or not os.path.isfile(os.path.join(root, included)):
                faults.append(f"{where}, which is no file of the product's rooms")
            elif target > own:
                faults.append(f"{where}, of {ROOMS[target][0]}, above {ROOMS[own][0]}")
            if unit(included) != unit(path):
                edges.setdefault(unit(path), set()).add(unit(included))
    circle = find_circle(edges)
    if circle:
        faults.append("a circle of includes: " + " -> ".join(circle))
    for fault in faults:
        print(fault)
    if faults:
        print("rooms: an include breaks their order (scripts/check-rooms.py)", file=sys.stderr)
        return 1
    order = " < ".join(name for name, _ in ROOMS)
    print(f"rooms: {order}; {count} includes, none upwards, no circle")
    return 0


if __name__ == "__main__":
    sys.exit(main())
