#!/usr/bin/env python3
"""Runs the shell and Python examples of README.md, in the order they come,
in a temporary folder holding the files they name (copies of the sample).
A block runs when its first command is one (a varnel line, a pipe into it);
a block shown as "$ command" with its output must print those lines ("..."
stands for any lines). Usage: readme_test.py README VARNEL SAMPLE BUILD_DIR"""
import os
import re
import shutil
import subprocess
import sys
import tempfile

README, VARNEL, SAMPLE, BUILD = sys.argv[1:5]
ROOT = os.path.dirname(os.path.abspath(README))
# Blocks left out, by their first line, and why.
SKIPPED = {
    "scripts/demo": "builds the project, as this test's own build did",
    "varnel encrypt INPUT OUTPUT": "the synopsis",
    "cmake --preset release": "a release build installed into /usr/local; the consumer test installs this build",
    "cd build/release && cpack": "the package-deb test makes the packages",
}


def blocks(text):
    """(language, lines) of each code block: fenced, or indented by four spaces after a blank line."""
    found, current, fence, previous = [], None, None, ""
    for line in text.split("\n"):
        if fence is not None:
            if line.startswith("```"):
                found.append((fence, current))
                fence = current = None
            else:
                current.append(line)
        elif line.startswith("```"):
            if current:
                found.append(("indented", current))
            fence, current = line[3:] or "text", []
        elif line.startswith("    ") and (current is not None or not previous.strip()):
            current = (current or []) + [line[4:]]
        elif current is not None and not line.strip():
            current.append("")
        elif current is not None:
            found.append(("indented", current))
            current = None
        previous = line
    return [(kind, [l for l in "\n".join(lines).strip().split("\n")]) for kind, lines in found]


def matches(expected, got):
    """Whether the lines got are the lines expected, "..." standing for any lines."""
    pattern = "".join(".*?" if line.strip() == "..." else re.escape(line) + "\n" for line in expected)
    return re.fullmatch(pattern, got, re.S) is not None


def main():
    work = tempfile.mkdtemp()
    try:
        for name in ("in.pdf", "examples/sample.pdf", "invoices/a.pdf", "invoices/b.pdf", "march/a.pdf", "march/b.pdf"):
            os.makedirs(os.path.join(work, os.path.dirname(name)), exist_ok=True)
            shutil.copy(SAMPLE, os.path.join(work, name))
        os.makedirs(os.path.join(work, "out"))
        for name in ("python", "scripts"):
            os.symlink(os.path.join(ROOT, name), os.path.join(work, name))
        env = dict(os.environ, PATH=os.path.dirname(VARNEL) + os.pathsep + os.environ["PATH"], PW="secret",
                   VARNEL_BUILD_DIR=BUILD)  # pip takes this build's module instead of building one of its own
        ran, found = 0, blocks(open(README).read())
        for kind, lines in found:
            if lines[0].startswith('{"input"'):  # the lines of the batch FILE, shown after the command
                open(os.path.join(work, "jobs.jsonl"), "w").write("\n".join(lines) + "\n")
        for kind, lines in found:
            first = lines[0].lstrip("$ ")
            if any(first.startswith(s) for s in SKIPPED):
                continue
            if kind == "python":
                python = os.path.join(work, "venv/bin/python3")  # made by the venv recipe above it
                command = [python if os.path.exists(python) else "/usr/bin/python3", "-c", "\n".join(lines)]
            elif kind == "indented" and shutil.which(os.path.join(work, first.split()[0]) if "/" in first.split()[0]
                                                     else first.split()[0], path=env["PATH"]):
                command = ["bash", "-euo", "pipefail", "-c", first if lines[0].startswith("$ ") else "\n".join(lines)]
            else:
                continue  # C, C++, VBScript, JSON
            r = subprocess.run(command, cwd=work, env=env, capture_output=True, text=True, timeout=600)
            ok = r.returncode == 0 and (not lines[0].startswith("$ ") or matches(lines[1:], r.stdout))
            print("%s: %s" % ("ok" if ok else "FAILED", first))
            if not ok:
                print(r.stdout + r.stderr)
                return 1
            ran += 1
        print("%d examples ran" % ran)
        return 0 if ran >= 5 else 1
    finally:
        shutil.rmtree(work)


sys.exit(main())
