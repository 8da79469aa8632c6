#!/usr/bin/python3
"""Damaged files: varnel against qpdf and mutool.

    run_damaged.py --varnel VARNEL [--damage-from VALID.pdf]... [--sample N]
                   [--seed S] DIR_OR_FILE...

Damaged files are those named (a folder: its PDF files) and the copies that
make_damaged.py makes of each --damage-from file, of which --sample N draws N
(with --seed) when given.

For each file, `varnel encrypt`, `qpdf --encrypt` and `mutool clean -E` each
write an RC4-128 copy with user password "u". A copy is good when
`qpdf --password=u --check` exits 0 or 3, it has at least one page and it is
encrypted with R = 3; its text is what `pdftotext -upw u` extracts. The peers'
exit codes are not trusted: only their copies are judged.

Asserted for every file: when a peer's copy is good, varnel's is good with at
least the pages and the text of the better peer; and whatever varnel writes
passes `qpdf --password=u --check` (exit 0 or 3, as for the peers), or
fails it only as the input does (damaged stream data is copied as stored).
Encrypted input must be refused with "Encrypted". Prints one line
per file and the totals (files good for varnel, qpdf, mutool). Exit 0 when
all hold, 1 otherwise, 77 when a tool is missing.
"""

import argparse
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
from concurrent.futures import ThreadPoolExecutor

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import make_damaged  # noqa: E402

PEER_TIMEOUT = 30  # a tool that takes longer failed (qpdf took 74 s on one damaged file)


def run(cmd, timeout=PEER_TIMEOUT):
    try:
        r = subprocess.run(cmd, capture_output=True, timeout=timeout)
        return r.returncode, r.stdout.decode("latin-1"), r.stderr.decode("latin-1")
    except subprocess.TimeoutExpired:
        return -1, "", "timeout"


def judge(copy):
    """(good, pages, text bytes, check exit) of an encrypted copy."""
    if not os.path.exists(copy):
        return False, 0, 0, None
    check, _, _ = run(["qpdf", "--password=u", "--check", copy])
    if check not in (0, 3):
        return False, 0, 0, check  # not good: its pages and text do not count
    _, npages, _ = run(["qpdf", "--password=u", "--show-npages", copy])
    _, enc, _ = run(["qpdf", "--password=u", "--show-encryption", copy])
    _, text, _ = run(["pdftotext", "-upw", "u", copy, "-"])
    pages = int(npages.strip()) if npages.strip().isdigit() else 0
    good = check in (0, 3) and pages >= 1 and re.search(r"^R = 3$", enc, re.M) is not None
    return good, pages, len(text.encode("latin-1")), check


def one(varnel, path, work):
    base = os.path.join(work, os.path.basename(path))
    v, q, m = base + ".v.pdf", base + ".q.pdf", base + ".m.pdf"
    vrc, _, verr = run([varnel, "encrypt", "-u", "u", "-o", "o", path, v])
    run(["qpdf", "--allow-weak-crypto", "--encrypt", "u", "o", "128", "--use-aes=n", "--", path, q])
    run(["mutool", "clean", "-E", "rc4-128", "-U", "u", "-O", "o", path, m])
    res = {name: judge(copy) for name, copy in (("varnel", v), ("qpdf", q), ("mutool", m))}
    problems = []
    encrypted = "File is not encrypted" not in run(["qpdf", "--show-encryption", path])[1]
    if encrypted and vrc == 1 and "Encrypted" in verr and res["varnel"][3] is None:
        # Encrypted input is refused by design, whatever the peers do.
        return path, res, problems, ["refused: Encrypted"]
    good_peers = [res[p] for p in ("qpdf", "mutool") if res[p][0]]
    vgood, vpages, vtext, vcheck = res["varnel"]
    if good_peers:
        pages = max(p[1] for p in good_peers)
        text = max(p[2] for p in good_peers)
        if not vgood:
            problems.append("a peer repaired it, varnel did not: %s" % verr.strip()[-200:])
        elif vpages < pages or vtext < text:
            problems.append("varnel %d pages, %d text bytes; the better peer %d, %d" % (vpages, vtext, pages, text))
    if os.path.exists(v):
        if vrc != 0:
            problems.append("exit %d with an output file" % vrc)
        # Damage carried over from the input's data (streams are copied as
        # stored) may remain; nothing worse may be added.
        if vcheck not in (0, 3) or vcheck == 3 and not vgood:
            input_check = run(["qpdf", "--check", path])[0]
            if vcheck != input_check and not (vcheck == 3 and input_check in (2, 3)):
                problems.append("qpdf --check of varnel's copy exits %s, of the input %s" % (vcheck, input_check))
    elif vrc == 0:
        problems.append("exit 0 without an output file")
    for copy in (v, q, m):
        if os.path.exists(copy):
            os.remove(copy)
    return path, res, problems, verr.strip().splitlines()[-1:] if verr.strip() else []


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--varnel", required=True)
    ap.add_argument("--damage-from", action="append", default=[], help="a valid file to damage")
    ap.add_argument("--sample", type=int, default=0, help="judge only N of the damaged copies, drawn with --seed")
    ap.add_argument("--seed", type=int, default=1)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("paths", nargs="+")
    args = ap.parse_args()
    for tool in ("qpdf", "mutool", "pdftotext"):
        if shutil.which(tool) is None:
            print("SKIP: %s is not installed (scripts/install-test-deps)" % tool)
            return 77
    files = []
    for p in args.paths:
        if os.path.isdir(p):
            files += sorted(os.path.join(p, f) for f in os.listdir(p) if f.endswith(".pdf"))
        else:
            files.append(p)
    totals = {"varnel": 0, "qpdf": 0, "mutool": 0}
    failed = 0
    with tempfile.TemporaryDirectory(prefix="varnel-damaged-") as work, ThreadPoolExecutor(args.jobs) as pool:
        made = []
        for valid in args.damage_from:
            with open(valid, "rb") as f:
                data = f.read()
            base = os.path.splitext(os.path.basename(valid))[0]
            for kind, damaged in make_damaged.damages(data):
                made.append((os.path.join(work, "%s.%s.pdf" % (base, kind)), damaged))
        if args.sample and args.sample < len(made):
            made = random.Random(args.seed).sample(made, args.sample)
        for path, damaged in sorted(made):
            with open(path, "wb") as f:
                f.write(damaged)
            files.append(path)
        for path, res, problems, note in pool.map(lambda f: one(args.varnel, f, work), files):
            for name in totals:
                totals[name] += res[name][0]
            cells = " ".join("%s=%s/%dp/%dc" % (n, "good" if r[0] else "bad", r[1], r[2]) for n, r in res.items())
            status = "FAIL" if problems else "ok"
            failed += bool(problems)
            print("%-4s %s: %s%s" % (status, os.path.basename(path), cells, "".join("\n     " + p for p in problems)))
    print("TOTAL %d files: good copies varnel %d, qpdf %d, mutool %d; %d failed" %
          (len(files), totals["varnel"], totals["qpdf"], totals["mutool"], failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
