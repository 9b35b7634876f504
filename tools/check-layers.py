#!/usr/bin/env python3
"""Fails when a source file includes a header of a layer above its own.

Layers, lowest first: app; records; checks, summary, exchange, search (peers that never include each
other); shell and cli (beside each other); gui. Within a subsystem, logic files include logic only,
paint files (app/paint) logic and paint, and window files (ui/) anything of their layer or below.
The command-line tool is logic and painting only: no windows, no shell.

Usage: check-layers.py SRC_DIR      check a source tree, list every offending include
       check-layers.py --self-test  check the rules themselves on small made-up trees
"""
import os
import re
import sys
import tempfile

LAYER = {"app": 0, "records": 1, "checks": 2, "summary": 2, "exchange": 2, "search": 2,
         "shell": 3, "cli": 3, "gui": 4}
# What a file of each kind may include, by the kind of the header.
MAY_INCLUDE = {
    "logic": {"logic"},
    "paint": {"logic", "paint"},
    "ui": {"logic", "paint", "ui"},
    "shell": {"logic", "paint", "ui", "shell"},
    "cli": {"logic", "paint", "cli"},
    "gui": {"logic", "paint", "ui", "shell", "gui"},
}
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)


def unit_of(relative):
    """The subsystem and kind of a path relative to the source folder; None outside the layers."""
    parts = relative.split("/")
    subsystem = parts[0]
    if subsystem not in LAYER:
        return None
    if subsystem in ("shell", "cli", "gui"):
        return subsystem, subsystem
    if "ui" in parts[1:-1]:
        return subsystem, "ui"
    if "paint" in parts[1:-1]:
        return subsystem, "paint"
    return subsystem, "logic"


def resolve(src, including, header):
    for candidate in (os.path.join(os.path.dirname(including), header), os.path.join(src, header)):
        if os.path.isfile(candidate):
            return os.path.relpath(os.path.normpath(candidate), src).replace(os.sep, "/")
    return None  # generated or outside the tree


def offences(src):
    found = []
    for root, _, files in os.walk(src):
        for name in sorted(files):
            if not name.endswith((".h", ".cpp")):
                continue
            path = os.path.join(root, name)
            relative = os.path.relpath(path, src).replace(os.sep, "/")
            unit = unit_of(relative)
            if unit is None:
                continue
            with open(path, encoding="utf-8") as file:
                text = file.read()
            for header in INCLUDE.findall(text):
                target = resolve(src, path, header)
                target_unit = unit_of(target) if target else None
                if target_unit is None:
                    continue
                why = refusal(unit, target_unit)
                if why:
                    found.append(f"{relative}: includes {target} ({why})")
    return found


def refusal(unit, target):
    (subsystem, kind), (target_subsystem, target_kind) = unit, target
    if LAYER[target_subsystem] > LAYER[subsystem]:
        return f"{target_subsystem} lies above {subsystem}"
    if LAYER[target_subsystem] == LAYER[subsystem] and target_subsystem != subsystem:
        return f"{subsystem} and {target_subsystem} are peers"
    if target_kind not in MAY_INCLUDE[kind]:
        return f"{kind} code may not include {target_kind} code"
    return None


def self_test():
    cases = [
        # (file, its text, should it be refused)
        ("records/Rule.h", '#include "app/Settings.h"', False),
        ("app/Settings.h", '#include "records/Rule.h"', True),
        ("app/ui/Window.h", '#include "shell/MainWindow.h"', True),
        ("checks/Runner.h", '#include "search/Find.h"', True),
        ("checks/Runner.h", '#include "checks/ui/Dialog.h"', True),
        ("checks/Runner.h", '#include "app/paint/Painter.h"', True),
        ("checks/ui/Dialog.h", '#include "app/ui/Window.h"', False),
        ("checks/ui/Dialog.h", '#include "Runner.h"', False),
        ("app/paint/Painter.h", '#include "app/ui/Window.h"', True),
        ("cli/Tool.h", '#include "app/paint/Painter.h"', False),
        ("cli/Tool.h", '#include "checks/ui/Dialog.h"', True),
        ("cli/Tool.h", '#include "shell/MainWindow.h"', True),
        ("shell/MainWindow.h", '#include "checks/ui/Dialog.h"', False),
        ("gui/main.cpp", '#include "shell/MainWindow.h"', False),
        ("gui/main.cpp", '#include "cli/Tool.h"', True),
    ]
    headers = {"app/Settings.h", "records/Rule.h", "app/ui/Window.h", "shell/MainWindow.h",
               "search/Find.h", "checks/ui/Dialog.h", "checks/Runner.h", "app/paint/Painter.h",
               "cli/Tool.h"}
    failures = 0
    for file, text, refused in cases:
        with tempfile.TemporaryDirectory() as src:
            for header in headers | {file}:
                os.makedirs(os.path.join(src, os.path.dirname(header)), exist_ok=True)
                with open(os.path.join(src, header), "w", encoding="utf-8") as out:
                    out.write(text if header == file else "#pragma once\n")
            got = bool(offences(src))
            if got != refused:
                failures += 1
                print(f"FAIL: {file} with {text}: refused={got}, expected {refused}")
    print(f"{len(cases) - failures} passed, {failures} failed")
    return 1 if failures else 0


def main():
    if sys.argv[1:] == ["--self-test"]:
        return self_test()
    if len(sys.argv) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    found = offences(sys.argv[1])
    for line in found:
        print(line, file=sys.stderr)
    if found:
        print(f"{len(found)} include(s) point up a layer", file=sys.stderr)
    return 1 if found else 0


if __name__ == "__main__":
    sys.exit(main())
