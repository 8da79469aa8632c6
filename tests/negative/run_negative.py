#!/usr/bin/python3
"""'varnel encrypt' on hostile files (cases.py) and damaged samples under memory and time limits: exit 1 (3: wrong
key) with one line on stderr, the library's message (the case's) as the JSON detail and no output; or exit 0 and an
output qpdf checks clean, but for what the tool copies as it stands (PASSED_ON) from a damaged input."""
import json
import os
import random
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path[:0] = [HERE, os.path.join(HERE, "..", "e2e")]
import cases  # noqa: E402
import harness  # noqa: E402
from harness import run  # noqa: E402

USER, OWNER = "U", "O"
NOT_LIBRARY = {"out of memory", "Fatal error parse phase."}  # the tool's own words: never right
# Messages that exit 3: the key given does not open the file.
WRONG_KEY = {"Wrong password", "PdfDecryption:not a recipient", "PdfDecryption:identity needed"}
IDENTITY = ["--input-identity", os.path.join(cases.PUBSEC, "alice.p12"), "--identity-password", "pw"]
# qpdf's findings about what the tool copies as it stands (stream data) or what objects mean.
PASSED_ON = [re.compile(p) for p in (
    r"\(content, offset N\)", r"content stream", r"^WARNING: FILE object stream N ", r"error decoding stream data",
    r"re-processed without filtering", r"input stream is complete but output may still be valid",
    r"attempted on object of type", r"is supposed to be", r"^WARNING: page object N N:", r"/Type key should be",
    r"is direct; converting to indirect", r"^qpdf: operation succeeded with warnings$", r"^qpdf: errors detected$")]


def damaged_cases(corpus, n_files, n_points):
    """Sample files cut short and with one byte changed at n_points places each, a third in the last 2 KiB."""
    rng = random.Random(20240601)
    names = sorted(f for f in os.listdir(corpus) if f.endswith(".pdf") and "encrypted" not in f
                   and os.path.getsize(os.path.join(corpus, f)) <= 128 << 10)
    for name in sorted(rng.sample(names, min(n_files, len(names)))):
        with open(os.path.join(corpus, name), "rb") as f:
            data = f.read()
        places = [sorted({rng.randrange(max(0, len(data) - 2048), len(data)) if rng.random() < 1 / 3
                          else rng.randrange(len(data)) for _ in range(n_points)}) for _ in range(2)]
        for at in places[0]:
            yield "cut-%s-%d" % (name[:-4], at), data[:at], cases.ANY
        for at in places[1]:
            yield "flip-%s-%d" % (name[:-4], at), data[:at] + bytes([(data[at] + rng.randrange(1, 256)) % 256]) + \
                data[at + 1:], cases.ANY


def run_case(args, work, name, data, expect):
    if args.repair and isinstance(expect, tuple):  # repairing, a file that must fail may be repaired
        expect = cases.ANY
    out_dir = os.path.join(work, "out")
    os.makedirs(out_dir)
    src, out = os.path.join(work, "input.pdf"), os.path.join(out_dir, "encrypted.pdf")
    with open(src, "wb") as f:
        f.write(data)
    # ulimit through the shell: preexec_fn is unsafe with threads
    limits = "ulimit -c 0; " + ("" if args.no_memory_limit else "ulimit -v %d; " % (1 << 20))
    rc, stdout, err = run(["/bin/sh", "-c", limits + 'exec "$0" "$@"', args.varnel, "encrypt"] +
                          ([] if args.repair else ["--no-repair"]) + [src, out, "-u", USER, "-o", OWNER, "-p", "PC", "--json"] +
                          (IDENTITY if name.startswith("pubsec") else []),
                          args.time_limit)
    left = sorted(os.listdir(out_dir))
    if rc in (1, 3):
        record = json.loads(stdout.splitlines()[0]) if stdout else {}
        message = record.get("detail") if err.startswith("varnel: ") and err.count("\n") == 1 else None
        if not message or message in NOT_LIBRARY:
            return "exit 1 without a library message: %r" % err[-300:]
        if left:
            return "exit 1 but left %s" % left
        if expect == cases.OK:
            return "refused a readable file: %s" % message
        if isinstance(expect, tuple) and expect[1] is not None and message != expect[1]:
            return "message %r, expected %r" % (message, expect[1])
        return None if (rc == 3) == (message in WRONG_KEY) else "exit %d with %r" % (rc, message)
    if rc != 0:
        return "exit %s: %s" % (rc, err[-300:])
    if left != ["encrypted.pdf"]:
        return "exit 0 but the output folder holds %s" % left
    if isinstance(expect, tuple):
        return "accepted a file that must fail with %r" % expect[1]
    status, found = harness.qpdf_findings(out, USER, 120)
    if status == 0 or args.repair and status == 3:  # a repaired copy may name objects lost with the damage
        return None
    in_status, in_found = harness.qpdf_findings(src, None, 120) if expect != cases.OK else (0, set())
    own = sorted(f for f in found - in_found if not any(p.search(f) for p in PASSED_ON))
    if own or in_status == 0:
        return "exit 0 but qpdf finds (exit %s): %s" % (status, (own or sorted(found))[:4])
    return None


def all_cases(args):
    return [c for group in (cases.structure, cases.amplification, cases.messages) for c in group()] + \
        list(damaged_cases(args.corpus, args.files, args.points or (10 if args.full else 4)))


if __name__ == "__main__":
    sys.exit(harness.main(__doc__, all_cases, lambda args, case, work: (
        case[0], [problem] if (problem := run_case(args, work, *case)) else []), needs=("qpdf",), options=[
        *((name, dict(type=int, default=default, help=text)) for name, default, text in (
            ("--files", 12, "sample files to damage"), ("--points", 0, "cuts and changed bytes per file (default 4, 10 full)"),
            ("--time-limit", 30, "seconds per run (a case takes under 5 optimised)"))),
        ("--no-memory-limit", dict(action="store_true", help="for sanitizer builds, whose shadow memory needs more")),
        ("--repair", dict(action="store_true", help="let varnel repair (files that must fail may be repaired)"))]))
