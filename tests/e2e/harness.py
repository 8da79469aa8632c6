"""What the whole-program runners share: a command run with a time limit,
the skip status, and main(): options, a work folder, cases run on a thread
pool with one line each."""
import argparse
import concurrent.futures
import importlib.util
import os
import shutil
import subprocess
import tempfile

SKIP = 77  # CTest's SKIP_RETURN_CODE: a reader or the corpus is missing
HERE = os.path.dirname(os.path.abspath(__file__))


def run(cmd, timeout=600, **kwargs):
    """(exit status, stdout, stderr) as text; status None on a timeout."""
    try:
        p = subprocess.run(cmd, capture_output=True, timeout=timeout, **kwargs)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return None, "", f"timed out after {timeout}s"


def describe(rc):
    return "timed out" if rc is None else f"killed by signal {-rc}" if rc < 0 else f"exit {rc}"


def missing(*tools):
    """The programs, Python modules or paths of `tools` not installed."""
    return [t for t in tools if not (shutil.which(t) or os.path.exists(t) or "/" not in t and importlib.util.find_spec(t))]


def main(doc, cases, one, needs=(), options=(), corpus=True):
    """A runner: its options (--varnel, --corpus, --jobs, --only, --work and
    `options`, (flag, add_argument keywords) pairs); SKIP when a tool of
    `needs` (or of needs(args)) or the corpus (if `corpus`) is missing; then
    one(args, case, folder) -> (label, problems) for each of cases(args)
    (named by their first item) whose name holds --only, on --jobs threads,
    each in a folder of its own removed when it passed, with a line as it
    ends (an exception fails the case). args.full: VARNEL_FULL_TESTS is set.
    Returns the exit status."""
    ap = argparse.ArgumentParser(description=doc.split("\n\n")[0])
    ap.add_argument("--varnel", required=True)
    ap.add_argument("--corpus", default=os.environ.get("VARNEL_CORPUS") or os.path.join(HERE, "../data/corpus"))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--only", default="", help="only the cases whose name contains this")
    ap.add_argument("--work", help="folder for inputs and outputs (default: temporary); a failed case's stay")
    for flag, kwargs in options:
        ap.add_argument(flag, **kwargs)
    args = ap.parse_args()
    args.full = bool(os.environ.get("VARNEL_FULL_TESTS"))
    tools = list(needs(args) if callable(needs) else needs)
    absent = missing(*tools, *([os.path.join(args.corpus, "MANIFEST.tsv")] if corpus else []))
    if absent:
        print(f"SKIP: missing {', '.join(absent)} (scripts/install-test-deps)")
        return SKIP
    own = not args.work
    args.work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="varnel-test-"))

    def each(index, case):
        folder = os.path.join(args.work, "%04d" % index)
        shutil.rmtree(folder, ignore_errors=True)
        os.makedirs(folder)
        try:
            label, problems = one(args, case, folder)
        except Exception as exc:  # a bug here must not hide the other cases
            label, problems = case[0], [f"harness error {type(exc).__name__}: {exc}"]
        if not problems:
            shutil.rmtree(folder, ignore_errors=True)
        notes = problems + [f"(files in {folder})"] if problems else []
        print(("FAIL " if problems else "ok   ") + label +
              "".join("\n    " + line for p in notes for line in str(p).splitlines()), flush=True)
        return bool(problems)
    todo = [c for c in cases(args) if args.only in c[0]]
    with concurrent.futures.ThreadPoolExecutor(max(1, args.jobs)) as pool:
        failed = sum(pool.map(each, range(len(todo)), todo))
    print(f"{len(todo)} cases, {failed} failed")
    if own and not failed:
        shutil.rmtree(args.work, ignore_errors=True)
    return 1 if failed else 0
