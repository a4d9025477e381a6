#!/usr/bin/env python3
"""Fails when a file includes across an edge that docs/architecture-edges.txt
does not allow: one of our headers from a folder it may not use, or a Qt
header of a module it may not use; and when a file of the core, its front
ends, tests or benchmarks names one of our headers other than as
"folder/file.h" from the root of the tree.

usage: check_architecture.py [ROOT]   (ROOT: the source tree, default: ..)
"""
import os
import re
import sys

QT_INCLUDE_DIRS = ["/usr/include/x86_64-linux-gnu/qt6", "/usr/include/qt6"]
INCLUDE = re.compile(r'\s*#\s*include\s*([<"])([^>"]+)[>"]')
# A form's custom widget names the header that the generated ui_*.h includes.
UI_HEADER = re.compile(r'\s*<header[^>]*>([^<]+)</header>')

# Folders whose includes of our headers are written from the root of the
# tree, the one style the build's include directories know. Headers of the
# siblings (below NAMED_FREELY) are reached through the siblings' own include
# directories and keep their names; so do generated headers (ui_*.h).
ROOT_STYLE = ["platform", "settings", "shell", "automation", "console", "dialogs", "app",
              "resources", "tests", "bench"]
NAMED_FREELY = ["tests/siblings", "bench/siblings"]
SOURCE_SUFFIXES = (".h", ".hpp", ".c", ".cpp")


def read_edges(path):
    rules = {}
    with open(path, encoding="utf-8") as f:
        for number, line in enumerate(f, 1):
            line = line.split("#", 1)[0].strip()
            if not line:
                continue
            folder, sep, rest = line.partition(":")
            if not sep:
                sys.exit(f"{path}:{number}: no colon after the folder")
            ours, _, qt = rest.partition("|")
            qt = qt.strip()
            if qt and not qt.startswith("qt:"):
                sys.exit(f"{path}:{number}: after | comes qt: and the modules")
            rules[folder.strip()] = (set(ours.split()), set(qt[3:].split()))
    return rules


def folder_of(relative, folders):
    for folder in sorted(folders, key=len, reverse=True):
        if relative == folder or relative.startswith(folder + "/"):
            return folder
    return None


def qt_module_of(header):
    """The Qt module whose include folder holds header, or None."""
    if "/" in header:
        module = header.split("/", 1)[0]
        return module if module.startswith("Qt") else None
    if not header.startswith("Q"):
        return None
    for base in QT_INCLUDE_DIRS:
        if not os.path.isdir(base):
            continue
        for module in sorted(os.listdir(base)):
            if os.path.isfile(os.path.join(base, module, header)):
                return module
    return None


def files_below(root, folders, suffixes):
    found = {}
    for folder in folders:
        for dirpath, _, names in os.walk(os.path.join(root, folder)):
            for name in names:
                if name.endswith(suffixes):
                    path = os.path.join(dirpath, name)
                    found[os.path.relpath(path, root)] = path
    return found


def check_root_style(root):
    """Includes in ROOT_STYLE folders that name one of the headers there by
    anything else than its path from the root of the tree."""
    files = files_below(root, ROOT_STYLE, SOURCE_SUFFIXES + (".ui",))
    ours = {relative for relative in files
            if relative.endswith(SOURCE_SUFFIXES) and folder_of(relative, NAMED_FREELY) is None}

    def meant(including, header):
        beside = os.path.normpath(os.path.join(os.path.dirname(including), header))
        if beside in ours:
            return [beside]
        return sorted(o for o in ours if o.endswith("/" + header.lstrip("./")))

    faults = []
    for relative, path in sorted(files.items()):
        if folder_of(relative, NAMED_FREELY) is not None:
            continue
        pattern = UI_HEADER if relative.endswith(".ui") else INCLUDE
        with open(path, encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                match = pattern.match(line)
                if not match:
                    continue
                if pattern is INCLUDE:
                    if match.group(1) == "<":
                        continue
                    header = match.group(2)
                else:
                    header = match.group(1).strip()
                if header in ours:
                    continue
                for target in meant(relative, header):
                    faults.append(f"{relative}:{number}: \"{header}\" is {target}: "
                                  f"write our headers from the root, \"{target}\"")
    return faults


def check(root):
    rules = read_edges(os.path.join(root, "docs", "architecture-edges.txt"))
    sources = files_below(root, rules, SOURCE_SUFFIXES)
    by_name = {}
    for relative in sources:
        by_name.setdefault(os.path.basename(relative), []).append(relative)

    def resolve(including, header):
        beside = os.path.normpath(os.path.join(os.path.dirname(including), header))
        if beside in sources:
            return [beside]
        if header in sources:
            return [header]
        # An include path names only the file: any file of that name may be
        # the one, so each of them must be allowed.
        return by_name.get(os.path.basename(header), [])

    faults = []
    for relative, path in sorted(sources.items()):
        folder = folder_of(relative, rules)
        ours, modules = rules[folder]
        with open(path, encoding="utf-8", errors="replace") as f:
            for number, line in enumerate(f, 1):
                match = INCLUDE.match(line)
                if not match:
                    continue
                header = match.group(2)
                if match.group(1) == "<":
                    module = qt_module_of(header)
                    if module is not None and module not in modules:
                        faults.append(f"{relative}:{number}: <{header}> is {module}, "
                                      f"which {folder}/ may not use")
                    continue
                for target in resolve(relative, header):
                    other = folder_of(target, rules)
                    if other != folder and other not in ours:
                        faults.append(f"{relative}:{number}: \"{header}\" is {target}: "
                                      f"{folder}/ may not include {other}/")
    return faults + check_root_style(root)


def main():
    root = sys.argv[1] if len(sys.argv) > 1 else os.path.join(os.path.dirname(__file__), "..")
    faults = check(os.path.abspath(root))
    for fault in faults:
        print(fault, file=sys.stderr)
    if faults:
        print(f"{len(faults)} include(s) across a forbidden edge (docs/architecture-edges.txt) "
              f"or not written from the root of the tree", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
