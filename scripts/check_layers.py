#!/usr/bin/env python3
"""Checks the include graph of the source tree against cmake/layers.txt.

  check_layers.py [ROOT]

Every #include "..." in a file of a listed folder must name a file of that
folder or of a folder its layer may include (cmake/layers.txt); no files of
the tree may include each other in a loop. Folders that are not listed
(tests, benchmarks, fuzz targets, examples) sit on top: they may include
anything, and their includes count for the loop check. Prints each finding
as FILE:LINE: ... and exits 1 when there is one.
"""
import os
import re
import sys

SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cpp")
SKIPPED_TOP_FOLDERS = {".git"}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')


def read_layers(root):
    """Folder -> the folders its code may include (its own among them)."""
    layers = {}
    path = os.path.join(root, "cmake", "layers.txt")
    with open(path, encoding="utf-8") as table:
        for number, line in enumerate(table, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            folder, _, below = line.partition(":")
            folder = folder.strip()
            seen = {folder}
            for lower in below.split():
                if lower not in layers:
                    sys.exit(f"{path}:{number}: {folder} names {lower}, which is not listed above it")
                seen |= layers[lower]
            layers[folder] = seen
    return layers


def layer_of(path, layers):
    """The listed folder that holds `path` (the longest match), or None."""
    best = None
    for folder in layers:
        if path.startswith(folder + "/") and (best is None or len(folder) > len(best)):
            best = folder
    return best


def source_files(root):
    for folder, subfolders, names in os.walk(root):
        relative = os.path.relpath(folder, root)
        if relative == ".":
            subfolders[:] = [s for s in subfolders if s not in SKIPPED_TOP_FOLDERS and not s.startswith("build")]
        for name in names:
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.normpath(os.path.join(relative, name))


def resolve(root, including, name):
    """The tree file an include names: beside the including file first, then
    from the root; None for a file outside the tree."""
    for candidate in (os.path.join(os.path.dirname(including), name), name):
        candidate = os.path.normpath(candidate)
        if os.path.isfile(os.path.join(root, candidate)):
            return candidate
    return None


def find_loop(graph):
    """One include loop as a list of files, or None."""
    state = {}  # file -> 1 while on the path, 2 when done
    for start in sorted(graph):
        if state.get(start):
            continue
        path, iterators = [start], [iter(sorted(graph[start]))]
        state[start] = 1
        while path:
            following = next(iterators[-1], None)
            if following is None:
                state[path.pop()] = 2
                iterators.pop()
            elif state.get(following) == 1:
                return path[path.index(following):] + [following]
            elif not state.get(following):
                state[following] = 1
                path.append(following)
                iterators.append(iter(sorted(graph.get(following, ()))))
    return None


def main():
    root = os.path.abspath(sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), ".."))
    layers = read_layers(root)
    findings, graph, includes = [], {}, 0
    for path in sorted(source_files(root)):
        own = layer_of(path, layers)
        graph[path] = set()
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as source:
            for number, line in enumerate(source, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                includes += 1
                target = resolve(root, path, match.group(1))
                if target is not None:
                    graph[path].add(target)
                if own is None:
                    continue
                target_layer = layer_of(target, layers) if target else None
                if target_layer is None:
                    findings.append(f"{path}:{number}: includes \"{match.group(1)}\", which is in no layer")
                elif target_layer not in layers[own]:
                    findings.append(f"{path}:{number}: includes \"{match.group(1)}\": {own} may not see {target_layer}")
    loop = find_loop(graph)
    if loop:
        findings.append(f"{loop[0]}: files include each other in a loop: {' -> '.join(loop)}")
    for finding in findings:
        print(finding)
    if findings:
        return 1
    print(f"layers: {len(graph)} files, {includes} includes; none crosses the layering, no loop")
    return 0


if __name__ == "__main__":
    sys.exit(main())
