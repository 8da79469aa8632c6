#!/usr/bin/python3
"""The negative suite: runs 'varnel encrypt' on hostile files and on damaged
copies of the sample PDFs, each under a 1 GiB address-space limit and a time
limit, and checks that every run ends in one of the two sound ways:

- exit 1, one line "varnel: ..." on stderr and a message of the library as
  the JSON record's detail (the one the case expects, where it names one),
  and no output file;
- exit 0 and an output that qpdf checks clean with the user password; only
  what the tool copies as it stands (content streams, the meaning of
  objects) may draw qpdf's warnings, and only when qpdf finds the input
  damaged too (PASSED_ON), as may whatever qpdf finds in the input alike.

Never a signal, never a timeout, never a file left behind in the output
folder. Damaged copies are made with a fixed seed, so every run tests the
same files; unless VARNEL_FULL_TESTS is set, 4 places per file instead of
--points.

Usage: run_negative.py VARNEL [--corpus DIR] [--files N] [--points N]
                              [--seed N] [--only SUBSTRING] [--keep DIR] [--jobs N]
                              [--no-memory-limit] [--time-limit SECONDS]
"""
import argparse
import concurrent.futures
import json
import os
import random
import re
import shutil
import subprocess
import sys
import tempfile
import time

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
import cases  # noqa: E402

MEMORY_LIMIT = 1 << 30  # bytes of address space for varnel
TIME_LIMIT = 30         # seconds; a case takes under 5 in an optimised build
USER, OWNER = "U", "O"
# Messages of the tool itself, not of the library: never a correct outcome.
NOT_LIBRARY = {"out of memory", "Fatal error parse phase."}


def hostile_cases():
    for group in (cases.prev_loops, cases.object_streams, cases.bombs, cases.huge_numbers, cases.nesting,
                  cases.damaged_syntax, cases.long_tokens, cases.short_xref_stream, cases.amplification, cases.messages,
                  cases.encrypted):
        yield from group()


def damaged_cases(corpus, n_files, n_points, seed=20240601):
    """Each chosen sample file cut short at n_points places and with one byte
    changed at n_points places; a third of the places lie in the last 2 KiB,
    where the cross-reference data usually is."""
    rng = random.Random(seed)
    names = sorted(f for f in os.listdir(corpus) if f.endswith(".pdf") and "encrypted" not in f
                   and os.path.getsize(os.path.join(corpus, f)) <= 128 << 10)
    for name in sorted(rng.sample(names, min(n_files, len(names)))):
        data = open(os.path.join(corpus, name), "rb").read()
        size = len(data)

        def place():
            if rng.random() < 1 / 3:
                return rng.randrange(max(0, size - 2048), size)
            return rng.randrange(size)
        cuts = sorted({place() for _ in range(n_points)})
        flips = sorted({place() for _ in range(n_points)})
        for at in cuts:
            yield "cut-%s-%d" % (name[:-4], at), data[:at], cases.ANY
        for at in flips:
            new = bytes([(data[at] + rng.randrange(1, 256)) % 256])
            yield "flip-%s-%d" % (name[:-4], at), data[:at] + new + data[at + 1:], cases.ANY


def limited(command, memory=True):
    """The command run through the shell's ulimit (preexec_fn is unsafe with
    threads): no core files, and at most MEMORY_LIMIT of address space."""
    limits = "ulimit -c 0; " + ("ulimit -v %d; " % (MEMORY_LIMIT >> 10) if memory else "")
    return ["/bin/sh", "-c", limits + 'exec "$0" "$@"'] + command


# Findings of qpdf about what the tool copies as it stands (content streams,
# object streams and other stream data) or about what objects mean (a page
# whose /Contents is no stream). A damaged input passes these on to its copy;
# they are fair when qpdf finds the input damaged too, and so is any finding
# that qpdf makes in the input in the same words. Anything else
# (cross-reference data, stream lengths, object syntax) is the tool's own
# writing and must be clean.
PASSED_ON = [re.compile(p) for p in (
    r"\(content, offset N\)", r"content stream", r"^WARNING: FILE object stream N ", r"error decoding stream data",
    r"re-processed without filtering", r"input stream is complete but output may still be valid",
    r"attempted on object of type", r"is supposed to be", r"^WARNING: page object N N:", r"/Type key should be",
    r"is direct; converting to indirect",
    r"^qpdf: operation succeeded with warnings$", r"^qpdf: errors detected$")]


def qpdf_check(path, password=None):
    """qpdf's exit status (0 clean, 2 errors, 3 warnings) and its findings,
    with the file name and every number taken out."""
    cmd = ["qpdf", "--check"] + (["--password=" + password] if password else []) + [path]
    r = subprocess.run(cmd, capture_output=True, timeout=120)
    lines = set()
    for line in (r.stdout + r.stderr).decode("latin-1").splitlines():
        if re.match(r"^(WARNING|ERROR|qpdf)", line) or "damaged" in line:
            lines.add(re.sub(r"\d+", "N", line.replace(path, "FILE")))
    return r.returncode, lines


def run_case(varnel, work, name, data, expect, memory_limit=True, time_limit=TIME_LIMIT, repair=False):
    """Runs one case; returns (name, problem or None, seconds). Repairing, a
    file that must fail may also be repaired into an output that qpdf --check
    passes, perhaps with warnings."""
    if repair and isinstance(expect, tuple):
        expect = cases.ANY
    case_dir = os.path.join(work, name)
    out_dir = os.path.join(case_dir, "out")
    os.makedirs(out_dir)
    src = os.path.join(case_dir, "input.pdf")
    with open(src, "wb") as f:
        f.write(data)
    out = os.path.join(out_dir, "encrypted.pdf")
    start = time.monotonic()
    try:
        r = subprocess.run(limited([varnel, "encrypt"] + ([] if repair else ["--no-repair"]) +
                                   [src, out, "-u", USER, "-o", OWNER, "-p", "PC", "--json"] +
                                   (["--input-password", OWNER] if name.startswith("encrypted-") else []), memory_limit),
                           capture_output=True, timeout=time_limit)
    except subprocess.TimeoutExpired:
        return name, "no end within %d s" % time_limit, time_limit
    seconds = time.monotonic() - start
    err = r.stderr.decode("latin-1")
    left = sorted(os.listdir(out_dir))

    if r.returncode < 0:
        return name, "killed by signal %d: %s" % (-r.returncode, err[-300:]), seconds
    if r.returncode in (1, 3):
        # One line for people on stderr; the library's own text is the
        # record's detail.
        record = json.loads(r.stdout.splitlines()[0]) if r.stdout else {}
        message = record.get("detail") if err.startswith("varnel: ") and err.count("\n") == 1 else None
        if message is None or not message or message in NOT_LIBRARY:
            return name, "exit 1 without a library message: %r" % err[-300:], seconds
        if left:
            return name, "exit 1 but left %s" % left, seconds
        if expect == cases.OK:
            return name, "refused a readable file: %s" % message, seconds
        if isinstance(expect, tuple) and expect[1] is not None and message != expect[1]:
            return name, "message %r, expected %r" % (message, expect[1]), seconds
        if (r.returncode == 3) != (message == "Wrong password"):
            return name, "exit %d with %r" % (r.returncode, message), seconds
        return name, None, seconds
    if r.returncode != 0:
        return name, "exit %d: %s" % (r.returncode, err[-300:]), seconds

    if left != ["encrypted.pdf"]:
        return name, "exit 0 but the output folder holds %s" % left, seconds
    if isinstance(expect, tuple):
        return name, "accepted a file that must fail with %r" % expect[1], seconds
    status, found = qpdf_check(out, USER)
    # A repaired copy may still name objects lost with the damage: warnings.
    if status == 0 or repair and status == 3:
        return name, None, seconds
    if expect == cases.OK:
        return name, "exit 0 but qpdf finds (exit %d): %s" % (status, sorted(found)[:4]), seconds
    in_status, in_found = qpdf_check(src)
    own = sorted(f for f in found - in_found if not any(p.search(f) for p in PASSED_ON))
    if own or in_status == 0:
        return name, "exit 0 but qpdf finds (exit %d): %s" % (status, (own or sorted(found))[:4]), seconds
    return name, None, seconds


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n")[0])
    ap.add_argument("varnel")
    ap.add_argument("--corpus", default=os.path.join(os.path.dirname(__file__), "../../../shared/corpus"))
    ap.add_argument("--files", type=int, default=12, help="sample files to damage")
    ap.add_argument("--points", type=int, default=10, help="cuts and changed bytes per file (each)")
    ap.add_argument("--seed", type=int, default=20240601, help="chooses the files and the places to damage")
    ap.add_argument("--only", default="", help="run the cases whose name contains this")
    ap.add_argument("--keep", help="keep the inputs and outputs in this folder")
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--no-memory-limit", action="store_true",
                    help="no address-space limit (for sanitizer builds, whose shadow memory needs more)")
    ap.add_argument("--time-limit", type=int, default=TIME_LIMIT, help="seconds per run (sanitizer builds are slower)")
    ap.add_argument("--repair", action="store_true", help="let varnel repair (files that must fail may be repaired)")
    args = ap.parse_args()

    work = args.keep or tempfile.mkdtemp(prefix="varnel-negative-")
    if args.keep:
        shutil.rmtree(work, ignore_errors=True)
        os.makedirs(work)
    all_cases = list(hostile_cases())
    if os.path.isdir(args.corpus):
        points = args.points if os.environ.get("VARNEL_FULL_TESTS") else min(args.points, 4)
        all_cases += list(damaged_cases(args.corpus, args.files, points, args.seed))
    else:
        print("no sample files at %s: damaged copies skipped" % args.corpus)
    all_cases = [c for c in all_cases if args.only in c[0]]

    failures, slowest = [], (0, "")
    started = time.monotonic()
    try:
        with concurrent.futures.ThreadPoolExecutor(args.jobs) as pool:
            futures = [pool.submit(run_case, args.varnel, work, *c, not args.no_memory_limit, args.time_limit, args.repair)
                       for c in all_cases]
            del all_cases  # the bombs are large
            for f in concurrent.futures.as_completed(futures):
                name, problem, seconds = f.result()
                slowest = max(slowest, (seconds, name))
                if problem:
                    failures.append((name, problem))
                    print("FAIL %s: %s" % (name, problem), flush=True)
                elif not args.keep:
                    shutil.rmtree(os.path.join(work, name), ignore_errors=True)
    finally:
        if not args.keep and not failures:
            shutil.rmtree(work, ignore_errors=True)
    print("%d cases in %.0f s, slowest %s (%.1f s); %d failed%s" % (
        len(futures), time.monotonic() - started, slowest[1], slowest[0], len(failures),
        "; inputs kept in " + work if failures else ""))
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
