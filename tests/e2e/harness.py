"""What the whole-program runners share: a command run with a time limit,
the skip status, cases run on a thread pool with one line each."""
import concurrent.futures
import importlib.util
import shutil
import subprocess

SKIP = 77  # CTest's SKIP_RETURN_CODE: a reader or the corpus is missing


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
    """The programs or Python modules of `tools` not installed."""
    return [t for t in tools if not (shutil.which(t) or importlib.util.find_spec(t))]


def run_all(fn, items, jobs=2):
    """fn(item) -> (label, problems) on `jobs` threads, a PASS/FAIL line for
    each as it ends (an exception fails that item); returns the number failed."""
    failed = 0
    with concurrent.futures.ThreadPoolExecutor(max(1, jobs)) as pool:
        futures = {pool.submit(fn, item): item[0] if isinstance(item, tuple) and isinstance(item[0], str)
                   else repr(item)[:80] for item in items}
        for future in concurrent.futures.as_completed(futures):
            try:
                label, problems = future.result()
            except Exception as exc:  # a bug here must not hide the other cases
                label, problems = futures[future], [f"harness error {type(exc).__name__}: {exc}"]
            failed += bool(problems)
            print(("FAIL " if problems else "ok   ") + label +
                  "".join("\n    " + line for p in problems for line in str(p).splitlines()), flush=True)
    print(f"{len(futures)} cases, {failed} failed")
    return failed
