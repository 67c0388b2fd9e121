#!/usr/bin/env python3
"""Fails when a source folder includes a header of a folder above it in the layer order."""
import os
import re
import sys

ORDER = {"host": 0, "common": 1, "scrub": 2, "logselect": 3, "bundle": 4, "diag": 4,
         "delivery": 4, "collector": 5, "service": 6}
INCLUDE = re.compile(r'^\s*#\s*include\s*"([A-Za-z_]+)/', re.M)


def upward_includes(src):
    found = []
    for folder in sorted(os.listdir(src)):
        if folder not in ORDER:
            continue
        for root, _, names in os.walk(os.path.join(src, folder)):
            for name in sorted(names):
                path = os.path.join(root, name)
                with open(path, errors="replace") as f:
                    for target in INCLUDE.findall(f.read()):
                        if target in ORDER and target != folder and ORDER[target] >= ORDER[folder]:
                            found.append(f"{path}: includes {target}/ from {folder}/")
    return found


if __name__ == "__main__":
    src = sys.argv[1] if len(sys.argv) > 1 else "src"
    unknown = [d for d in os.listdir(src)
               if os.path.isdir(os.path.join(src, d)) and d not in ORDER]
    problems = upward_includes(src) + [f"{src}/{d}: folder has no place in the layer order"
                                       for d in unknown]
    print("\n".join(problems) if problems else "layers point one way")
    sys.exit(1 if problems else 0)
