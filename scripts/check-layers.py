#!/usr/bin/env python3
"""The folders of the product code include only their own layer or a lower one,
and no two folders include each other, directly or round a loop.

Usage: check-layers.py [source root]. Prints each breach; exits 1 on any.
"""

import re
import sys
from pathlib import Path

# Lowest first. A folder may include its own layer and those below it.
LAYERS = [
    {"text", "fileio"},
    {"settings"},
    {"reader"},
    {"modes", "list", "personnel"},
    {"output", "keyboard", "delivery"},
    {"redirect", "tray"},
    # The program, its forms, the command-line tools, and packaging's icon renderer.
    {"app", "forms", "tools", "packaging"},
]
LAYER_OF = {folder: rank for rank, folder_set in enumerate(LAYERS) for folder in folder_set}

# Folders of one layer that include nothing of each other: what typing made of
# a text reaches the card output only through redirect/.
APART = [{"output", "keyboard"}]

# Not product code.
OUTSIDE = {"tests", "bench", "docs", "cmake", "scripts"}

SOURCE_SUFFIXES = {".c", ".cpp", ".h"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"/]+)/', re.MULTILINE)


def product_folders(root):
    for folder in sorted(root.iterdir()):
        if not folder.is_dir() or folder.name.startswith((".", "build")):
            continue
        if folder.name in OUTSIDE:
            continue
        yield folder


def includes_of(folder):
    """(file, included folder) for every include that names a folder."""
    for path in sorted(folder.rglob("*")):
        if path.suffix not in SOURCE_SUFFIXES or not path.is_file():
            continue
        text = path.read_text(encoding="utf-8", errors="replace")
        for target in INCLUDE.findall(text):
            yield path, target


def find_cycle(edges):
    """A loop of folders as a list, its first folder again at the end; None without one."""
    state = {}  # folder -> "open" while on the path, "done" once explored
    path = []

    def visit(folder):
        state[folder] = "open"
        path.append(folder)
        for successor in sorted(edges.get(folder, ())):
            if state.get(successor) == "open":
                return path[path.index(successor):] + [successor]
            if successor not in state:
                found = visit(successor)
                if found:
                    return found
        path.pop()
        state[folder] = "done"
        return None

    for folder in sorted(edges):
        if folder not in state:
            found = visit(folder)
            if found:
                return found
    return None


def main():
    root = Path(sys.argv[1] if len(sys.argv) > 1 else Path(__file__).resolve().parent.parent)
    breaches = []
    edges = {}
    for folder in product_folders(root):
        own = folder.name
        has_sources = any(p.suffix in SOURCE_SUFFIXES for p in folder.rglob("*"))
        if own not in LAYER_OF:
            if has_sources:
                breaches.append(f"{own}/: a folder of product code without a layer")
            continue
        for path, target in includes_of(folder):
            where = path.relative_to(root)
            if target not in LAYER_OF:
                breaches.append(f"{where}: includes {target}/, which is not product code")
            elif LAYER_OF[target] > LAYER_OF[own]:
                breaches.append(f"{where}: includes {target}/, a higher layer than {own}/")
            elif {own, target} in APART:
                breaches.append(f"{where}: includes {target}/, which {own}/ is kept apart from")
            if target != own:
                edges.setdefault(own, set()).add(target)
    cycle = find_cycle(edges)
    if cycle:
        breaches.append("folders that include each other: " + " -> ".join(cycle))
    for breach in breaches:
        print(breach)
    return 1 if breaches else 0


if __name__ == "__main__":
    sys.exit(main())
