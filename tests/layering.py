#!/usr/bin/env python3
"""Fails when an #include "dir/..." line runs against the ladder of folders:
each folder may include its own headers and those of the folders below it;
the command line and the Python module only the public headers."""
import pathlib, re, sys

LADDER = ["base", "crypt", "pdf", "writer", "api", "front"]
ALLOWED = {d: set(LADDER[:i + 1]) for i, d in enumerate(LADDER)}
ALLOWED["api"].add("varnel")
ALLOWED["front"].add("varnel")
ALLOWED["cli"] = {"cli", "varnel"}
ALLOWED["python"] = {"varnel"}

root = pathlib.Path(sys.argv[1] if len(sys.argv) > 1 else ".")
wrong = []
for folder, allowed in ALLOWED.items():
    for path in sorted((root / folder).glob("*.[ch]*")):
        for n, line in enumerate(path.read_text(errors="replace").splitlines(), 1):
            m = re.match(r'\s*#\s*include\s+"([^/"]+)/', line)
            if m and m.group(1) not in allowed:
                wrong.append(f"{path.relative_to(root)}:{n}: {folder}/ may not include {m.group(1)}/")
print("\n".join(wrong) or "layering: every include runs down the ladder")
sys.exit(1 if wrong else 0)
