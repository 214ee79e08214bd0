#!/usr/bin/env python3
"""Checks that the source folders depend on each other only downwards.

Every production folder has a layer number. A file may include headers of its
own folder and of folders with a lower number, never of a higher one or of a
different folder with the same number (peers stay apart); the browser and the
proxy server share nothing but common/. The same rule is checked on the
libraries that each folder's CMakeLists.txt links. Test harnesses (tests/,
bench/ and the fuzz/ folders beside the code) link whole programs and are not
layers, so they are left out.

    scripts/check_layers.py [ROOT]           check; exit 1 and name each fault
    scripts/check_layers.py --graph [ROOT]   also print folder-to-folder counts
"""

import collections
import os
import re
import sys

# The browser, bottom to top.
BROWSER = {
    "common": 0,
    "screen": 1,
    "passone": 2,
    "tables": 3,
    "render": 4,
    "net": 5,
    "controls": 6,
    "shell": 7,
    "tools": 7,
}

# The proxy server, bottom to top (common/ is shared with the browser). The
# fetcher and the normaliser are peers: the server puts them together, and
# main.cpp (in proxy/ itself) puts the server and the normaliser together.
PROXY = {
    "proxy/core": 1,
    "proxy/fetch": 2,
    "proxy/normalise": 2,
    "proxy/cache": 3,
    "proxy/server": 4,
    "proxy": 5,
}

LIBRARIES = {
    "wexa_common": "common",
    "wexa_screen": "screen",
    "wexa_passone": "passone",
    "wexa_tables": "tables",
    "wexa_render": "render",
    "wexa_net": "net",
    "wexa_controls": "controls",
    "wexa_shell": "shell",
    "wexa_proxy_core": "proxy/core",
    "wexa_proxy_fetch": "proxy/fetch",
    "wexa_proxy_normalise": "proxy/normalise",
    "wexa_proxy_cache": "proxy/cache",
    "wexa_proxy_server": "proxy/server",
    "wexapserver": "proxy",
}

SOURCE_SUFFIXES = (".cpp", ".h", ".hpp", ".cc")
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"')
HARNESS_PARTS = {"fuzz", "tests", "bench"}


def layer_of(folder):
    """The (program, rank) of a folder such as 'proxy/server', or None."""
    parts = folder.split("/")
    for depth in range(len(parts), 0, -1):
        key = "/".join(parts[:depth])
        if key == "common":
            return ("common", 0)
        if key in BROWSER:
            return ("browser", BROWSER[key])
        if key in PROXY:
            return ("proxy", PROXY[key])
    return None


def owning_folder(path):
    """The most specific folder of the layer tables that holds path."""
    parts = path.split("/")[:-1]
    for depth in range(len(parts), 0, -1):
        key = "/".join(parts[:depth])
        if key == "common" or key in BROWSER or key in PROXY:
            return key
    return None


def allowed(src, dst):
    """True when folder src may depend on folder dst."""
    if src == dst:
        return True
    a, b = layer_of(src), layer_of(dst)
    if a is None or b is None:
        return False
    if b[0] == "common":
        return True
    if a[0] != b[0]:
        return False
    # A subfolder may use its parent folder's files only when the parent is a
    # lower layer; a parent and a subfolder in one layer count as one folder.
    if a[1] == b[1]:
        return src.startswith(dst + "/") or dst.startswith(src + "/")
    return b[1] < a[1]


def production_files(root):
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        parts = [] if rel == "." else rel.split("/")
        if parts and (parts[0].startswith(".") or parts[0].startswith("build")):
            dirnames[:] = []
            continue
        if HARNESS_PARTS.intersection(parts):
            dirnames[:] = []
            continue
        for name in filenames:
            if name.endswith(SOURCE_SUFFIXES):
                yield os.path.join(rel, name) if parts else name


def include_edges(root):
    """(file, its folder, included path, that file's folder) per project include."""
    for path in production_files(root):
        src = owning_folder(path)
        if src is None:
            continue
        with open(os.path.join(root, path), encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                m = INCLUDE.match(line)
                if not m:
                    continue
                target = m.group(1)
                if not os.path.exists(os.path.join(root, target)):
                    # Includes are written from the source root; anything else
                    # (a generated or system header) is not a project file.
                    continue
                dst = owning_folder(target)
                if dst is None:
                    continue
                yield path, number, src, target, dst


def library_edges(root):
    """(CMakeLists path, its folder, linked library's folder) per link."""
    link = re.compile(r"target_link_libraries\s*\(\s*(\w+)([^)]*)\)", re.S)
    for dirpath, dirnames, filenames in os.walk(root):
        rel = os.path.relpath(dirpath, root)
        parts = [] if rel == "." else rel.split("/")
        if parts and (parts[0].startswith(".") or parts[0].startswith("build")):
            dirnames[:] = []
            continue
        if HARNESS_PARTS.intersection(parts) or "CMakeLists.txt" not in filenames or not parts:
            continue
        with open(os.path.join(dirpath, "CMakeLists.txt"), encoding="utf-8") as f:
            text = f.read()
        for m in link.finditer(text):
            own = LIBRARIES.get(m.group(1))
            if own is None:
                continue
            for word in re.findall(r"\$?\{?[\w:]+\}?", m.group(2)):
                if word in LIBRARIES:
                    yield os.path.join(rel, "CMakeLists.txt"), own, LIBRARIES[word]


def main(argv):
    graph = "--graph" in argv
    args = [a for a in argv if a != "--graph"]
    root = os.path.abspath(args[0] if args else os.path.join(os.path.dirname(__file__), ".."))

    faults = []
    counts = collections.Counter()
    for path, number, src, target, dst in include_edges(root):
        if src != dst:
            counts[(src, dst)] += 1
        if not allowed(src, dst):
            faults.append(f"{path}:{number}: {src}/ includes {target} of {dst}/, a layer it may not use")
    for cmake, src, dst in library_edges(root):
        if not allowed(src, dst):
            faults.append(f"{cmake}: {src}/ links the library of {dst}/, a layer it may not use")

    if graph:
        print("includes between folders (from -> to: lines)")
        for (src, dst), n in sorted(counts.items()):
            mark = "" if allowed(src, dst) else "   <- not allowed"
            print(f"  {src} -> {dst}: {n}{mark}")
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f"layer check: {len(faults)} dependencies run against the layers", file=sys.stderr)
        return 1
    print("layer check: every include and library link runs downwards")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
