#!/usr/bin/env python3
"""Prints the include edges between the source folders and fails on one that is not allowed.

The panel (src/), lowest layer first; a folder includes only folders of lower layers:
  platform  <  store  <  core  <  platform/qt  <  caption  <  definitions  <  toolkit  <  pages
  <  shell
(platform/qt is the widgets beside platform: prompts, the help viewer, screen placement.)
A form header (ui_Name.h) belongs to the folder of its Name.ui.

The toolkit (avtk/), lowest first; its programs (avtk/*.cpp) may include every toolkit folder:
  engine  <  lib  <  window, resident, sched  <  programs
The toolkit and the tools (tools/) take from the panel only what TOOLKIT_EDGES and TOOL_EDGES
name: the store, the core's command lines and definitions, and platform's Qt-Core-only units.
"""
import pathlib
import re
import sys

ROOT = pathlib.Path(__file__).resolve().parent.parent

PANEL_LAYERS = [["platform"], ["store"], ["core"], ["platform/qt"], ["caption"], ["definitions"],
                ["toolkit"], ["scan", "repair", "integrity", "guard"], ["shell"]]
TOOLKIT_LAYERS = [["engine"], ["lib"], ["window", "resident", "sched"], ["programs"]]
# The panel's folders a toolkit folder may include (platform/qt, with widgets, is not among them).
TOOLKIT_EDGES = {
    "engine": {"platform"},
    "lib": {"platform"},
    "resident": {"platform", "store"},
    "sched": {"platform", "store", "core"},
    "programs": {"platform", "store"},
}
# What each tool includes of the panel.
TOOL_EDGES = {
    "vallorin-reg.cpp": {"platform", "store"},
    "vallorin-services.cpp": {"platform", "store"},
    # The icon and the style's pictures are drawn by the window's own painting code.
    "vallorin-icons.cpp": {"shell"},
    "vallorin-style-pictures.cpp": {"shell"},
}


def ranks(layers, prefix=""):
    return {prefix + folder: rank for rank, folders in enumerate(layers) for folder in folders}


PANEL_RANK = ranks(PANEL_LAYERS)
TOOLKIT_RANK = ranks(TOOLKIT_LAYERS, "avtk/")


def folder_of(file):
    """The folder a file belongs to: src/<f> is "<f>", avtk/<f> is "avtk/<f>", tools/x is "tools/x"."""
    parts = file.relative_to(ROOT).parts
    if parts[0] == "src":
        return parts[1] if parts[1] != "platform" or parts[2] != "qt" else "platform/qt"
    if parts[0] == "avtk":
        return "avtk/" + (parts[1] if len(parts) > 2 else "programs")
    return "tools/" + parts[1]


def target_of(source, name, forms):
    """The folder an include names, seen from a file of the folder `source`."""
    if name.startswith("ui_"):
        return forms.get(name[3:-2], source)
    if "/" not in name:
        return source
    head = name.split("/")[0]
    if source.startswith("avtk/") and (ROOT / "avtk" / name).exists():
        return "avtk/" + head
    if name.startswith("platform/qt/"):
        return "platform/qt"
    return head


def allowed(source, target):
    if source.startswith("tools/"):
        return target in TOOL_EDGES.get(source[6:], set())
    if source.startswith("avtk/"):
        if target.startswith("avtk/"):
            return TOOLKIT_RANK[target] < TOOLKIT_RANK[source]
        return target in TOOLKIT_EDGES.get(source[5:], set())
    # The pages do not include one another either.
    return PANEL_RANK.get(target, 99) < PANEL_RANK.get(source, 99)


def main():
    forms = {ui.stem: ui.parent.name for ui in (ROOT / "src").glob("*/*.ui")}
    edges = {}
    files = [f for tree in ("src", "avtk", "tools") for f in sorted((ROOT / tree).rglob("*"))
             if f.suffix in (".h", ".cpp")]
    for file in files:
        source = folder_of(file)
        for line in file.read_text(encoding="utf-8").splitlines():
            match = re.match(r'#include "([^"]+)"', line)
            if not match:
                continue
            target = target_of(source, match.group(1), forms)
            if target != source:
                where = f"{file.relative_to(ROOT)} -> {match.group(1)}"
                edges.setdefault((source, target), []).append(where)
    refused = []
    for (source, target), where in sorted(edges.items()):
        print(f"{source} -> {target} ({len(where)})")
        if not allowed(source, target):
            refused.extend(where)
    if refused:
        print("\nIncludes that are not allowed:", *refused, sep="\n  ")
        sys.exit(1)


main()
