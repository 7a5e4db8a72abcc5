#!/usr/bin/env python3
"""Checks that the program's folders include downward only and that no modules include each other.

A module is a header with its source (a/b.h and a/b.cpp). Every quoted #include of the program
folders is read; an include of a folder above the includer's, or any include cycle between
modules, even inside one folder, fails with the path that shows it.
"""
import re
import sys
from pathlib import Path

# Top first: a folder may include only itself and the folders after it.
LAYERS = ["app", "ui", "controls", "desktop", "update", "state", "services", "version", "win"]
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def main() -> int:
    root = Path(__file__).resolve().parent.parent
    rank = {name: i for i, name in enumerate(LAYERS)}
    edges: dict[str, set[str]] = {}
    faults = []
    for folder in LAYERS:
        for path in sorted((root / folder).glob("*.[ch]*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            rel = path.relative_to(root).as_posix()
            module = rel.rsplit(".", 1)[0]
            edges.setdefault(module, set())
            for target in INCLUDE.findall(path.read_text(encoding="utf-8")):
                top = target.split("/", 1)[0]
                if top not in rank:
                    faults.append(f"{rel}: includes {target}, outside the program's folders")
                    continue
                if rank[top] < rank[folder]:
                    faults.append(f"{rel}: includes {target}, a folder above {folder}/")
                other = target.rsplit(".", 1)[0]
                if other != module:
                    edges[module].add(other)
    # Depth-first search; a grey module met again closes a cycle.
    state: dict[str, int] = {}
    stack: list[str] = []

    def visit(module: str) -> None:
        state[module] = 1
        stack.append(module)
        for other in sorted(edges.get(module, ())):
            if state.get(other) == 1:
                cycle = stack[stack.index(other):] + [other]
                faults.append("include cycle: " + " -> ".join(cycle))
            elif other not in state:
                visit(other)
        stack.pop()
        state[module] = 2

    for module in sorted(edges):
        if module not in state:
            visit(module)
    for fault in faults:
        print("layers:", fault)
    if not faults:
        print(f"layers: {len(edges)} modules in {len(LAYERS)} folders, includes point down, no cycles")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main())
