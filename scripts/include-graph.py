#!/usr/bin/env python3
"""Prints the include edges between the folders of src/ and fails on an edge that points upwards.

The layers, lowest first; a folder includes only folders of lower layers:
  platform  <  core  <  caption  <  definitions  <  toolkit  <  pages  <  shell
A form header (ui_Name.h) belongs to the folder of its Name.ui.
"""
import pathlib
import re
import sys

LAYERS = [["platform"], ["core"], ["caption"], ["definitions"], ["toolkit"],
          ["scan", "repair", "integrity", "guard"], ["shell"]]
RANK = {folder: rank for rank, folders in enumerate(LAYERS) for folder in folders}

src = pathlib.Path(__file__).resolve().parent.parent / "src"
forms = {ui.stem: ui.parent.name for ui in src.glob("*/*.ui")}
edges = {}
for file in sorted(src.rglob("*")):
    if file.suffix not in (".h", ".cpp"):
        continue
    source = file.relative_to(src).parts[0]
    for line in file.read_text(encoding="utf-8").splitlines():
        match = re.match(r'#include "([^"]+)"', line)
        if not match:
            continue
        name = match.group(1)
        if "/" in name:
            target = name.split("/")[0]
        elif name.startswith("ui_"):
            target = forms.get(name[3:-2], source)
        else:
            target = source
        if target != source:
            edges.setdefault((source, target), []).append(f"{file.relative_to(src)} -> {name}")

upward = []
for (source, target), files in sorted(edges.items(), key=lambda e: (RANK.get(e[0][0], 99), e[0])):
    print(f"{source} -> {target} ({len(files)})")
    if RANK.get(target, 99) >= RANK.get(source, 99):
        upward.extend(files)  # the pages do not include one another either
if upward:
    print("\nIncludes that point upwards or sideways:", *upward, sep="\n  ")
    sys.exit(1)
