#!/usr/bin/env python3
"""Checks that every include between the project's folders points down.

Each folder has a floor; a file may include files of its own folder and of
folders on lower floors only. Prints the include graph by folder and exits
1 if any include points sideways or up, or names a folder not listed here.
"""
import collections
import pathlib
import re
import subprocess
import sys

FLOORS = {
    'base': 0,
    'base/win': 1,
    'compression': 1,
    'payload': 2,
    'tools/pack/atomic_write': 2,
    'tools/pack/image': 3,
    'runtime': 3,
    'supervision': 3,
    'tools/pack/packing': 3,
    'supervision/win': 4,
    'launcher': 5,
    'tools/pack/examine': 4,
    'tools/pack/crash': 4,
    'tools/pack/cli': 5,
}


def folder_of(path):
    parent = str(pathlib.PurePosixPath(path).parent)
    return parent if parent in FLOORS else None


def main():
    root = pathlib.Path(__file__).resolve().parent.parent
    files = subprocess.check_output(['git', 'ls-files', '*.cpp', '*.h'], cwd=root, text=True).split()
    edges = collections.Counter()
    for name in files:
        source = folder_of(name)
        if source is None:
            continue
        for included in re.findall(r'#include "([^"]+)"', (root / name).read_text(encoding='utf-8')):
            target = folder_of(included)
            if target is None and '/' in included and not included.startswith(('tests/', 'bench/')):
                target = str(pathlib.PurePosixPath(included).parent)
            if target is not None and target != source:
                edges[(source, target)] += 1
    wrong = 0
    for (source, target), count in sorted(edges.items()):
        floor = FLOORS.get(target)
        bad = floor is None or floor >= FLOORS[source]
        wrong += bad
        print(f'{source:20} -> {target:20} {count:3}{"  NOT DOWNWARD" if bad else ""}')
    print(f'{len(edges)} folder edges, {wrong} not downward')
    return 1 if wrong else 0


if __name__ == '__main__':
    sys.exit(main())
