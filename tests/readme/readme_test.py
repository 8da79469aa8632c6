#!/usr/bin/env python3
"""readme_test.py README VARNEL SAMPLE BUILD: runs README's shell blocks (first word a command) and Python in order
on copies of the sample; one shown as "$ command" must print the lines that follow it ("...": any lines)."""
import os
import re
import shutil
import subprocess
import sys
import tempfile

README, VARNEL, SAMPLE, BUILD = sys.argv[1:5]
ROOT = os.path.dirname(os.path.abspath(README))
# Left out: builds (as this test's own), the synopsis, an install (the consumer test's), packages (package-deb's).
SKIPPED = ("scripts/demo", "varnel encrypt INPUT OUTPUT", "cmake --preset release", "cd build/release && cpack")
# Fenced blocks, and blocks indented by four spaces after a blank line.
BLOCK = re.compile(r"^```(\w+)\n(.*?)^```|(?<=\n\n)((?: {4}[^\n]*\n|\n(?= {4}))+)", re.S | re.M)

work = tempfile.mkdtemp()
for name in ("in.pdf", "examples/sample.pdf", "invoices/a.pdf", "invoices/b.pdf", "march/a.pdf", "march/b.pdf"):
    os.makedirs(os.path.join(work, os.path.dirname(name), "../out"), exist_ok=True)
    shutil.copy(SAMPLE, os.path.join(work, name))
for name in ("python", "scripts"):
    os.symlink(os.path.join(ROOT, name), os.path.join(work, name))
env = dict(os.environ, PATH=os.path.dirname(os.path.abspath(VARNEL)) + os.pathsep + os.environ["PATH"], PW="secret",
           VARNEL_BUILD_DIR=BUILD)  # pip takes this build's module rather than building its own
found = [(m[1] or "indented", re.sub(r"(?m)^ {4}", "", m[2] or m[3]).strip()) for m in BLOCK.finditer(open(README).read())]
with open(os.path.join(work, "jobs.jsonl"), "w") as jobs:  # the batch FILE, shown after its command
    jobs.writelines(text + "\n" for _, text in found if text.startswith('{"input"'))
ran = 0
for kind, text in found:
    first, shown = text.split("\n")[0].removeprefix("$ "), text.startswith("$ ")
    word = os.path.join(work, first.split()[0]) if "/" in first.split()[0] else first.split()[0]
    if first.startswith(SKIPPED) or not (kind == "python" or kind == "indented" and shutil.which(word, path=env["PATH"])):
        continue  # C, C++, VBScript, JSON, or left to another test
    python = os.path.join(work, "venv/bin/python3")  # made by the README's venv recipe
    command = [python, "-c", text] if kind == "python" else ["bash", "-euo", "pipefail", "-c", first if shown else text]
    r = subprocess.run(command, cwd=work, env=env, capture_output=True, text=True, timeout=600)
    expected = "".join(".*?" if line.strip() == "..." else re.escape(line) + "\n" for line in text.split("\n")[1:])
    ok = r.returncode == 0 and (not shown or re.fullmatch(expected, r.stdout, re.S))
    print("ok:" if ok else "FAILED:", first, "" if ok else "\n" + r.stdout + r.stderr)
    if not ok:
        sys.exit(1)
    ran += 1
shutil.rmtree(work)
sys.exit(0 if ran >= 5 else "only %d examples ran" % ran)
