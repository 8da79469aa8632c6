#!/usr/bin/python3
"""Encrypts corpus files with `varnel encrypt` and opens each output with
pdf.js (pdfjs_open.mjs): with the user password (a wrong one must be
refused) and with the owner password, comparing page count and first-page
text with the input's.

    pdfjs_corpus.py --varnel PATH [--corpus DIR] FILE...

Last line "N passed, M failed"; exit 0, 1, or 77 when node, the installed
pdfjs-dist (scripts/install-test-deps) or the corpus is missing.
"""

import argparse
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SKIP = 77
USER, OWNER = "pdfjs user", "pdfjs owner"


def run(cmd, timeout=300):
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, timeout=timeout, cwd=HERE)
        return p.returncode, p.stdout.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return None, f"timed out after {timeout}s"


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--varnel", required=True)
    ap.add_argument("--corpus", default=os.environ.get("VARNEL_CORPUS") or
                    os.path.join(REPO, "..", "shared", "corpus"))
    ap.add_argument("files", nargs="+")
    args = ap.parse_args()

    if not shutil.which("node"):
        print("SKIP: node is not installed (scripts/install-test-deps installs it)")
        return SKIP
    if not os.path.isdir(os.path.join(HERE, "node_modules", "pdfjs-dist")):
        print("SKIP: pdfjs-dist is not installed in tests/e2e (run scripts/install-test-deps)")
        return SKIP
    missing = [f for f in args.files if not os.path.isfile(os.path.join(args.corpus, f))]
    if missing:
        print(f"SKIP: not in the corpus at {args.corpus}: {', '.join(missing)}")
        return SKIP

    passed = failed = 0
    tmp = tempfile.mkdtemp(prefix="varnel-pdfjs-")
    try:
        for name in args.files:
            src = os.path.join(args.corpus, name)
            out = os.path.join(tmp, name)
            rc, text = run([args.varnel, "encrypt", src, out, "--user-password", USER,
                            "--owner-password", OWNER, "--permissions", "PC"])
            if rc != 0:
                print(f"FAIL {name}: varnel encrypt exit {rc}: {text.strip()[:300]}")
                failed += 1
                continue
            for role, password, extra in (("user", USER, ["--wrong-password-refused"]),
                                          ("owner", OWNER, [])):
                rc, text = run(["node", os.path.join(HERE, "pdfjs_open.mjs"), "--input", src,
                                "--output", out, "--password", password, *extra])
                ok = rc == 0
                passed, failed = passed + ok, failed + (not ok)
                print(f"{'PASS' if ok else 'FAIL'} {name} ({role} password): {text.strip()}")
    finally:
        shutil.rmtree(tmp, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
