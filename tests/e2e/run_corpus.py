#!/usr/bin/python3
"""Runs `varnel encrypt` over every file of the shared corpus and judges each
outcome by the `expected` column of MANIFEST.tsv:

  encrypt-ok        exit 0, and the output passes check_encrypted.py;
  refuse-encrypted  exit 1 with "is already encrypted" on stderr and no output file;
  repair-or-error   exit 0 with an output that qpdf --check accepts with the
                    password, or exit 1 with a message and no output file;
                    never a signal.

In every case a failed run must leave nothing behind in the output folder.
Each file gets one of a few password/permission settings, picked by its
position in the manifest, so that the corpus as a whole covers them all.

    run_corpus.py --varnel PATH [--corpus DIR] [--jobs 2] [--only SUBSTRING]

The last line is "N passed, M failed". Exit 0 when nothing failed, 1 when
something did, 77 (skip) when qpdf, pikepdf or the corpus is missing.
"""

import argparse
import concurrent.futures
import csv
import os
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SKIP = 77
RUN_TIMEOUT = 300
CHECK_TIMEOUT = 1200

# Password and permission settings; how the passwords reach varnel varies too.
SETTINGS = [
    # empty user password: opens without one, the owner password has every right
    dict(name="empty-user", user="", owner="Owner-Secret", letters="PC", via="options"),
    # both passwords, no letters: P = 0xFFFFF0C0
    dict(name="both-no-letters", user="user pw", owner="owner pw", letters="", via="options"),
    # user password only: the owner password is made up and unknown
    dict(name="user-only-all-letters", user="just-user", owner="", letters="PDMCAS", via="env"),
    # passwords over 32 bytes (only the first 32 count) and odd letters
    dict(name="long-passwords", user="u" * 40, owner="o(w)n\\er-" * 5, letters="DSM", via="file"),
    # owner password only, every letter
    dict(name="owner-only-all-letters", user="", owner="0wner", letters="SACMDP", via="options"),
    # same password for both roles
    dict(name="same-passwords", user="same", owner="same", letters="A", via="options"),
]


def read_manifest(corpus):
    with open(os.path.join(corpus, "MANIFEST.tsv"), newline="", encoding="utf-8") as f:
        return list(csv.DictReader(f, delimiter="\t"))


def run(cmd, timeout, env=None):
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout, env=env)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return None, "", f"timed out after {timeout}s"


def encrypt(varnel, src, dst, setting, workdir):
    cmd = [varnel, "encrypt", src, dst, "--cipher", "rc4-128", "--permissions", setting["letters"]]
    env = {k: v for k, v in os.environ.items() if not k.startswith("VARNEL_")}
    if setting["via"] == "options":
        cmd += ["--user-password", setting["user"], "--owner-password", setting["owner"]]
    elif setting["via"] == "env":
        env["VARNEL_USER_PASSWORD"] = setting["user"]
        env["VARNEL_OWNER_PASSWORD"] = setting["owner"]
    else:
        path = os.path.join(workdir, "passwords.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(f"{setting['user']}\n{setting['owner']}\n")
        cmd += ["--password-file", path]
    return run(cmd, RUN_TIMEOUT, env)


def describe_exit(rc):
    if rc is None:
        return "timed out"
    if rc < 0:
        return f"killed by signal {-rc}"
    return f"exit {rc}"


def judge(row, index, args):
    """Runs one file; returns (passed, lines of report)."""
    name, expected = row["file"], row["expected"]
    setting = SETTINGS[index % len(SETTINGS)]
    src = os.path.join(args.corpus, name)
    outdir = os.path.join(args.work, os.path.splitext(name)[0])
    os.makedirs(outdir, exist_ok=True)
    for leftover in os.listdir(outdir):
        os.remove(os.path.join(outdir, leftover))
    pwdir = os.path.join(outdir + ".pw")
    os.makedirs(pwdir, exist_ok=True)
    dst = os.path.join(outdir, "out.pdf")
    rc, out, err = encrypt(args.varnel, src, dst, setting, pwdir)
    left = sorted(os.listdir(outdir))
    label = f"{name} [{expected}, {setting['name']}]"
    problems = []

    if rc is None or rc < 0:
        problems.append(f"varnel {describe_exit(rc)}: {err.strip()[:300]}")
    elif rc == 0:
        if left != ["out.pdf"]:
            problems.append(f"exit 0 but the output folder holds {left}")
        elif expected == "refuse-encrypted":
            problems.append("an encrypted input was accepted")
        elif expected == "encrypt-ok":
            check = [sys.executable, os.path.join(HERE, "check_encrypted.py"), "--input", src,
                     "--output", dst, "--user", setting["user"], "--owner", setting["owner"],
                     "--permissions", setting["letters"]]
            crc, cout, cerr = run(check, CHECK_TIMEOUT)
            if crc != 0:
                problems.append(f"check_encrypted.py {describe_exit(crc)}\n" + cout + cerr)
        else:  # repair-or-error, repaired: the output must at least be sound
            qrc, qout, qerr = run([args.qpdf, "--check", "--password-mode=bytes",
                                   f"--password={setting['user']}", dst], CHECK_TIMEOUT)
            if qrc != 0 or "WARNING" in qout + qerr:
                problems.append(f"repaired output fails qpdf --check ({describe_exit(qrc)}):\n"
                                + (qout + qerr)[-1500:])
    elif rc == 1:
        if left:
            problems.append(f"exit 1 but left {left} behind")
        if not err.strip():
            problems.append("exit 1 without a message on stderr")
        if expected == "encrypt-ok":
            problems.append(f"refused a file it must encrypt: {err.strip()[:300]}")
        elif expected == "refuse-encrypted" and "is already encrypted" not in err:
            problems.append(f"message {err.strip()[:200]!r} lacks \"is already encrypted\"")
    else:
        problems.append(f"unexpected {describe_exit(rc)}: {err.strip()[:300]}")

    if problems:
        return False, [f"FAIL {label}"] + ["    " + line for p in problems for line in p.splitlines()]
    shutil.rmtree(outdir, ignore_errors=True)
    shutil.rmtree(pwdir, ignore_errors=True)
    outcome = "encrypted" if rc == 0 else f"refused: {err.strip().splitlines()[-1][:100]}"
    return True, [f"PASS {label}: {outcome}"]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--varnel", required=True, help="the varnel executable")
    ap.add_argument("--corpus", default=os.environ.get("VARNEL_CORPUS") or
                    os.path.join(REPO, "..", "shared", "corpus"))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--only", default="", help="run only files whose name contains this")
    ap.add_argument("--work", help="folder for outputs (default: a temporary folder); "
                    "outputs of failed files are kept there")
    ap.add_argument("--qpdf", default=shutil.which("qpdf"))
    args = ap.parse_args()

    if not args.qpdf:
        print("SKIP: qpdf is not installed (scripts/install-test-deps installs it)")
        return SKIP
    try:
        import pikepdf  # noqa: F401
        import pypdf  # noqa: F401
    except ImportError as exc:
        print(f"SKIP: {exc} (scripts/install-test-deps installs python3-pikepdf and python3-pypdf)")
        return SKIP
    manifest = os.path.join(args.corpus, "MANIFEST.tsv")
    if not os.path.isfile(manifest):
        print(f"SKIP: no corpus at {args.corpus}")
        return SKIP
    if not os.access(args.varnel, os.X_OK):
        print(f"FAIL: {args.varnel} is not an executable")
        print("0 passed, 1 failed")
        return 1

    rows = read_manifest(args.corpus)
    jobs = [(i, row) for i, row in enumerate(rows) if args.only in row["file"]]
    own_work = not args.work
    args.work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="varnel-e2e-"))
    os.makedirs(args.work, exist_ok=True)
    print(f"{len(jobs)} corpus files from {os.path.abspath(args.corpus)}; outputs in {args.work}",
          flush=True)

    passed = failed = 0
    failures = []
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        futures = {pool.submit(judge, row, i, args): row["file"] for i, row in jobs}
        for future in concurrent.futures.as_completed(futures):
            try:
                ok, lines = future.result()
            except Exception as exc:  # a bug here must not hide the other files
                ok, lines = False, [f"FAIL {futures[future]}: harness error {type(exc).__name__}: {exc}"]
            passed, failed = passed + ok, failed + (not ok)
            if not ok:
                failures.append(lines[0])
            print("\n".join(lines), flush=True)

    if failures:
        print("\nFailed files (outputs kept in " + args.work + "):\n  " + "\n  ".join(sorted(failures)))
    if failed == 0 and own_work:
        shutil.rmtree(args.work, ignore_errors=True)
    print(f"{passed} passed, {failed} failed")
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
