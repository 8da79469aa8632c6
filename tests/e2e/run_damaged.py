#!/usr/bin/python3
"""Damaged files: varnel against qpdf and mutool. Usage:
  run_damaged.py --varnel V [--damage-from VALID.pdf]... [--sample N] DIR_OR_FILE...
Every tool writes AES-256. A copy is good when qpdf --check exits 0 or 3 and it
has pages and R = 6 (exit
codes are not trusted). When a peer's copy is good, varnel's must be, with at
least the better peer's pages and pdftotext text; varnel's copies must pass
qpdf --check or fail it only as the input does; encrypted input is refused.
Unless VARNEL_FULL_TESTS is set, a third of the files and of the sample run.
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

TIMEOUT = 30  # a tool that takes longer failed (qpdf took 74 s on one damaged file)
# qpdf --check as the judge is given longer: on one crafted file it takes
# half a minute of its own, more on a loaded machine, and a judge that
# times out would blame the copy.
CHECK_TIMEOUT = 300


def run(cmd, timeout=TIMEOUT):
    try:
        r = subprocess.run(cmd, capture_output=True, timeout=timeout)
        return r.returncode, r.stdout.decode("latin-1"), r.stderr.decode("latin-1")
    except subprocess.TimeoutExpired:
        return -1, "", "timeout"


def judge(copy):
    """(good, pages, text bytes, qpdf --check exit) of an encrypted copy."""
    if not os.path.exists(copy):
        return False, 0, 0, None
    check = run(["qpdf", "--password=u", "--check", copy], CHECK_TIMEOUT)[0]
    if check not in (0, 3):
        return False, 0, 0, check
    npages = run(["qpdf", "--password=u", "--show-npages", copy])[1].strip()
    r6 = re.search(r"^R = 6$", run(["qpdf", "--password=u", "--show-encryption", copy])[1], re.M)
    text = len(run(["pdftotext", "-upw", "u", copy, "-"])[1].encode("latin-1"))
    pages = int(npages) if npages.isdigit() else 0
    return pages >= 1 and r6 is not None, pages, text, check


def one(varnel, path, work):
    base = os.path.join(work, os.path.basename(path))
    copies = {"varnel": base + ".v.pdf", "qpdf": base + ".q.pdf", "mutool": base + ".m.pdf"}
    vrc, _, verr = run([varnel, "encrypt", "-u", "u", "-o", "o", path, copies["varnel"]])
    run(["qpdf", "--encrypt", "u", "o", "256", "--", path, copies["qpdf"]])
    run(["mutool", "clean", "-E", "aes-256", "-U", "u", "-O", "o", path, copies["mutool"]])
    res = {name: judge(copy) for name, copy in copies.items()}
    wrote = os.path.exists(copies["varnel"])
    for copy in copies.values():
        if os.path.exists(copy):
            os.remove(copy)
    vgood, vpages, vtext, vcheck = res["varnel"]
    if re.search(r"^R = ", run(["qpdf", "--show-encryption", path])[1], re.M):
        return res, [] if vrc == 1 and "is already encrypted" in verr and not wrote else ["encrypted input not refused"]
    problems = []
    peers = [res[p] for p in ("qpdf", "mutool") if res[p][0]]
    if peers and not vgood:
        problems.append("a peer repaired it, varnel did not: " + verr.strip()[-200:])
    elif peers and (vpages < max(p[1] for p in peers) or vtext < max(p[2] for p in peers)):
        problems.append("varnel %d pages, %d text bytes; the better peer more" % (vpages, vtext))
    if wrote and vrc != 0 or not wrote and vrc == 0:
        problems.append("exit %d, output %s" % (vrc, "written" if wrote else "missing"))
    if wrote and (vcheck not in (0, 3) or vcheck == 3 and not vgood):
        input_check = run(["qpdf", "--check", path], CHECK_TIMEOUT)[0]
        if vcheck != input_check and not (vcheck == 3 and input_check in (2, 3)):
            problems.append("qpdf --check of varnel's copy exits %s, of the input %s" % (vcheck, input_check))
    return res, problems


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--varnel", required=True)
    ap.add_argument("--damage-from", action="append", default=[])
    ap.add_argument("--sample", type=int, default=0)
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("paths", nargs="+")
    args = ap.parse_args()
    if any(shutil.which(t) is None for t in ("qpdf", "mutool", "pdftotext")):
        print("SKIP: qpdf, mutool or pdftotext missing (scripts/install-test-deps)")
        return 77
    files = []
    for p in args.paths:
        files += sorted(os.path.join(p, f) for f in os.listdir(p) if f.endswith(".pdf")) if os.path.isdir(p) else [p]
    totals, failed = {"varnel": 0, "qpdf": 0, "mutool": 0}, 0
    with tempfile.TemporaryDirectory(prefix="varnel-damaged-") as work, ThreadPoolExecutor(args.jobs) as pool:
        made = []
        for valid in args.damage_from:
            base = os.path.splitext(os.path.basename(valid))[0]
            with open(valid, "rb") as f:
                made += [(os.path.join(work, "%s.%s.pdf" % (base, kind)), d) for kind, d in make_damaged.damages(f.read())]
        if not os.environ.get("VARNEL_FULL_TESTS"):
            files, args.sample = files[::3], max(1, args.sample // 3)
        if 0 < args.sample < len(made):
            made = random.Random(1).sample(made, args.sample)
        for path, data in sorted(made):
            with open(path, "wb") as f:
                f.write(data)
            files.append(path)
        for path, (res, problems) in zip(files, pool.map(lambda f: one(args.varnel, f, work), files)):
            failed += bool(problems)
            for name in totals:
                totals[name] += res[name][0]
            cells = " ".join("%s=%s/%dp/%dc" % (n, "good" if r[0] else "bad", r[1], r[2]) for n, r in res.items())
            print("%-4s %s: %s" % ("FAIL" if problems else "ok", os.path.basename(path), cells) +
                  "".join("\n     " + p for p in problems))
    print("TOTAL %d files: good copies varnel %d, qpdf %d, mutool %d; %d failed" %
          (len(files), totals["varnel"], totals["qpdf"], totals["mutool"], failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
