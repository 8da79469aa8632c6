#!/usr/bin/python3
"""Runs `varnel encrypt` over every file of the shared corpus and judges each
outcome by the `expected` column of MANIFEST.tsv:

  encrypt-ok        exit 0, and the output passes check_encrypted.py;
  refuse-encrypted  exit 1 with "is already encrypted" on stderr and no output file;
  repair-or-error   exit 0 with an output that qpdf --check accepts with the
                    password, or exit 1 with a message and no output file;
                    never a signal.

A failed run must leave nothing behind. Each file gets one of SETTINGS (by
its place in the manifest), so the corpus as a whole covers them all; files
named by --pdfjs are opened with pdf.js too. With --part K/N only every N-th
file from the K-th on is run, and those named by --pdfjs (the ciphers share
the corpus in the fast suite), unless VARNEL_FULL_TESTS is set.

    run_corpus.py --varnel PATH [--cipher rc4-128] [--corpus DIR] [--jobs 2]
                  [--only SUBSTRING] [--pdfjs FILE,...] [--part K/N] [--selftest]

--selftest proves the checker instead: good outputs pass, and outputs or
claims with one fault each fail the check meant to catch it. Last line
"N passed, M failed"; exit 0, 1, or 77 (skip) when a tool or the corpus is
missing.
"""
import argparse
import concurrent.futures
import csv
import os
import re
import shutil
import subprocess
import sys
import tempfile
import zlib

HERE = os.path.dirname(os.path.abspath(__file__))
sys.path.insert(0, HERE)
SKIP = 77

# Password and permission settings; how the passwords reach varnel varies too.
SETTINGS = [
    dict(name="empty-user", user="", owner="Owner-Secret", letters="PC", via="options"),
    dict(name="both-no-letters", user="user pw", owner="owner pw", letters="", via="options"),
    dict(name="user-only-all-letters", user="just-user", owner="", letters="PDMCAS", via="env"),
    dict(name="long-passwords", user="u" * 40, owner="o(w)n\\er-" * 5, letters="DSM", via="file"),
    dict(name="owner-only-all-letters", user="", owner="0wner", letters="SACMDP", via="options"),
    dict(name="same-passwords", user="same", owner="same", letters="A", via="options"),
]


def run(cmd, timeout=1200, env=None):
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout, env=env)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return None, "", f"timed out after {timeout}s"


def encrypt(args, src, dst, setting, workdir):
    cmd = [args.varnel, "encrypt", src, dst, "--cipher", args.cipher, "--permissions", setting["letters"]]
    env = {k: v for k, v in os.environ.items() if not k.startswith("VARNEL_")}
    if setting["via"] == "options":
        cmd += ["--user-password", setting["user"], "--owner-password", setting["owner"]]
    elif setting["via"] == "env":
        env.update(VARNEL_USER_PASSWORD=setting["user"], VARNEL_OWNER_PASSWORD=setting["owner"])
    else:
        path = os.path.join(workdir, "passwords.txt")
        with open(path, "w", encoding="utf-8") as f:
            f.write(f"{setting['user']}\n{setting['owner']}\n")
        cmd += ["--password-file", path]
    return run(cmd, 300, env)


def check(args, src, dst, user, owner, letters, *extra, cipher=None):
    return run([sys.executable, os.path.join(HERE, "check_encrypted.py"), "--input", src, "--output", dst,
                "--cipher", cipher or args.cipher, "--user", user, "--owner", owner, "--permissions", letters, *extra])


def describe(rc):
    return "timed out" if rc is None else f"killed by signal {-rc}" if rc < 0 else f"exit {rc}"


def judge(args, index, row):
    """Runs one corpus file; returns (passed, report lines)."""
    name, expected = row["file"], row["expected"]
    setting = SETTINGS[index // args.part[1] % len(SETTINGS)]
    src, work = os.path.join(args.corpus, name), os.path.join(args.work, os.path.splitext(name)[0])
    outdir, pwdir = os.path.join(work, "out"), os.path.join(work, "pw")
    os.makedirs(outdir), os.makedirs(pwdir)
    dst = os.path.join(outdir, "out.pdf")
    rc, out, err = encrypt(args, src, dst, setting, pwdir)
    left, problems = sorted(os.listdir(outdir)), []
    if rc == 0 and left != ["out.pdf"]:
        problems.append(f"exit 0 but the output folder holds {left}")
    elif rc == 0 and expected == "refuse-encrypted":
        problems.append("an encrypted input was accepted")
    elif rc == 0 and expected == "encrypt-ok":
        extra = ["--pdfjs"] if name in args.pdfjs else []
        crc, cout, cerr = check(args, src, dst, setting["user"], setting["owner"], setting["letters"], *extra)
        if crc != 0:
            problems.append(f"check_encrypted.py {describe(crc)}\n" + cout + cerr)
    elif rc == 0:  # repair-or-error, repaired: the output must at least be sound
        qrc, qout, qerr = run(["qpdf", "--check", "--password-mode=bytes", f"--password={setting['user']}", dst])
        if qrc != 0 or "WARNING" in qout + qerr:
            problems.append(f"repaired output fails qpdf --check ({describe(qrc)}):\n" + (qout + qerr)[-1500:])
    elif rc == 1:
        if left or not err.strip():
            problems.append(f"exit 1 with message {err.strip()[:200]!r}, left behind {left}")
        if expected == "encrypt-ok" or (expected == "refuse-encrypted" and "is already encrypted" not in err):
            problems.append(f"{expected}, but refused: {err.strip()[:300]}")
    else:
        problems.append(f"unexpected {describe(rc)}: {err.strip()[:300]}")
    label = f"{name} [{expected}, {setting['name']}]"
    if problems:
        return False, [f"FAIL {label}"] + ["    " + line for p in problems for line in p.splitlines()]
    shutil.rmtree(work, ignore_errors=True)
    return True, [f"PASS {label}: " + ("encrypted" if rc == 0 else "refused: " + err.strip().splitlines()[-1][:100])]


# --- self-test of the checker -------------------------------------------

def edit(data, old, new, after=0):
    """data with the first `old` at or after `after` replaced (same length, so offsets hold)."""
    at = data.index(old, after)
    assert len(old) == len(new)
    return data[:at] + new + data[at + len(old):]


def flip_stream_byte(data):
    m = re.search(rb"stream\r?\n", data[data.index(b"obj"):])
    return edit(data, data[m.end() + 60:m.end() + 61], bytes([data[m.end() + 60] ^ 1]), m.end() + 60)


def free_one_object(data):
    """The closing cross-reference stream with the first in-use entry above 0 made free."""
    start = int(re.search(rb"startxref\s+(\d+)", data[-64:]).group(1))
    m = re.compile(rb".*?/Length (\d+)\n>>\nstream\n", re.S).match(data, start)
    rows = bytearray(zlib.decompress(data[m.end():m.end() + int(m.group(1))]))
    w = [int(x) for x in re.search(rb"/W \[(\d+) (\d+) (\d+)\]", data[start:m.end()]).groups()]
    at = next(i for i in range(sum(w), len(rows), sum(w)) if rows[i] == 1)
    rows[at] = 0
    packed = zlib.compress(bytes(rows))
    head = data[:m.start(1)] + str(len(packed)).encode() + data[m.end(1):m.end()]
    return head + packed + b"\nendstream\nendobj\nstartxref\n%d\n%%%%EOF" % start


# (name, corpus file, how the output is made from a good one, claimed (user,
# owner, letters, cipher), checks that must fail: none for a good output,
# a set for "at least these", a frozenset for "exactly these")
PLAIN, GEN1, OBJSTM, DAMAGED = ("classic-01.pdf", "classic-incr-gen1-01.pdf", "xrefstream-objstm-01.pdf",
                                "classic-lzw-indlen-01.pdf")
CASES = [
    ("good-plain", PLAIN, None, ("u", "o", "PC", None), set()),
    ("good-gen1-deleted", GEN1, None, ("u", "o", "PC", None), set()),
    ("good-damaged-input", DAMAGED, None, ("u", "o", "PC", None), set()),
    ("claims-wrong-user", PLAIN, None, ("x", "o", "PC", None), {"qpdf-check-user-password", "passwords"}),
    ("claims-wrong-owner", PLAIN, None, ("u", "x", "PC", None), {"qpdf-check-owner-password", "passwords"}),
    ("claims-empty-user", PLAIN, None, ("", "o", "PC", None), {"passwords"}),
    ("claims-other-letters", PLAIN, None, ("u", "o", "PCM", None), frozenset({"encryption"})),
    ("flip-stream-byte", OBJSTM, flip_stream_byte, ("u", "o", "PC", None), {"objects"}),
    ("free-one-object", GEN1, free_one_object, ("u", "o", "PC", None), {"objects"}),
    ("header-1.4", PLAIN, lambda d: edit(d, d[:8], b"%PDF-1.4"), ("u", "o", "PC", None), {"trailer"}),
    ("drop-info", PLAIN, lambda d: edit(d, b"/Info ", b"/Infx ", d.rindex(b"/Type /XRef")),
     ("u", "o", "PC", None), {"trailer"}),
    ("not-encrypted", PLAIN, "copy", ("u", "o", "PC", None), {"passwords", "encryption"}),
    # qpdf's output (it ends with a table, not an xref stream), claimed as it is and as another cipher
    ("qpdf-rc4-128", PLAIN, "qpdf", ("u", "o", "PDMCAS", "rc4-128"), frozenset({"trailer"})),
    ("qpdf-rc4-128-claimed-aes-128", PLAIN, "qpdf", ("u", "o", "PDMCAS", "aes-128"),
     frozenset({"trailer", "encryption"})),
]


def selftest_case(args, case):
    name, source, maker, (user, owner, letters, claim), must_fail = case
    src, dst = os.path.join(args.corpus, source), os.path.join(args.work, name + ".pdf")
    if maker == "copy":
        shutil.copy(src, dst)
    elif maker == "qpdf":  # keeping the numbering of a qpdf-normalized copy
        norm = os.path.join(args.work, name + "-norm.pdf")
        for cmd in (["qpdf", "--stream-data=preserve", "--object-streams=preserve", "--force-version=1.5", src, norm],
                    ["qpdf", "--allow-weak-crypto", "--stream-data=preserve", "--object-streams=preserve",
                     "--force-version=1.5", "--encrypt", "u", "o", "128", "--use-aes=n", "--form=n",
                     "--accessibility=n", "--", norm, dst]):
            run(cmd)
        src = norm
    else:
        good = encrypt(args, src, dst, dict(user="u", owner="o", letters="PC", via="options"), args.work)
        if good[0] != 0:
            return False, f"FAIL {name}: varnel {describe(good[0])} {good[2][:200]}"
        if maker:
            data = open(dst, "rb").read()
            open(dst, "wb").write(maker(data))
    rc, out, _ = check(args, src, dst, user, owner, letters, "--no-text", cipher=claim)
    m = re.search(r"^RESULT FAIL \S+: (.*)$", out, re.M)
    failed = set(m.group(1).split(", ")) if m else set()
    ok = rc == (1 if must_fail else 0) and (failed == must_fail if isinstance(must_fail, frozenset)
                                           else must_fail <= failed)
    want = f"exactly {sorted(must_fail)}" if isinstance(must_fail, frozenset) else f"at least {sorted(must_fail)}"
    return ok, f"{'PASS' if ok else 'FAIL'} {name}: failed {sorted(failed)}, {want}" + ("" if ok else "\n" + out)


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--varnel", required=True)
    ap.add_argument("--cipher", default="rc4-128")
    ap.add_argument("--corpus", default=os.environ.get("VARNEL_CORPUS") or os.path.join(HERE, "../../../shared/corpus"))
    ap.add_argument("--jobs", type=int, default=2)
    ap.add_argument("--only", default="", help="run only files (or self-test cases) whose name contains this")
    ap.add_argument("--pdfjs", default="", help="comma-separated corpus files to open with pdf.js too")
    ap.add_argument("--part", default="0/1", help="K/N: every N-th file from the K-th (all with VARNEL_FULL_TESTS)")
    ap.add_argument("--selftest", action="store_true")
    ap.add_argument("--work", help="folder for outputs (default: temporary); failed files' outputs stay there")
    args = ap.parse_args()
    args.pdfjs = set(filter(None, args.pdfjs.split(",")))
    args.part = (0, 1) if os.environ.get("VARNEL_FULL_TESTS") else tuple(int(x) for x in args.part.split("/"))
    try:
        import pikepdf  # noqa: F401
        import pypdf  # noqa: F401
    except ImportError as exc:
        print(f"SKIP: {exc} (scripts/install-test-deps installs it)")
        return SKIP
    missing = [t for t in ["qpdf"] + (["node"] if args.pdfjs else []) if not shutil.which(t)]
    if args.pdfjs and not os.path.isdir(os.path.join(HERE, "node_modules", "pdfjs-dist")):
        missing.append("pdfjs-dist in tests/e2e/node_modules")
    if missing or not os.path.isfile(os.path.join(args.corpus, "MANIFEST.tsv")):
        print(f"SKIP: missing {missing or 'the corpus at ' + args.corpus} (scripts/install-test-deps)")
        return SKIP
    own_work = not args.work
    args.work = os.path.abspath(args.work or tempfile.mkdtemp(prefix="varnel-e2e-"))
    os.makedirs(args.work, exist_ok=True)
    if args.selftest:
        jobs = [(selftest_case, c) for c in CASES if args.only in c[0]]
    else:
        with open(os.path.join(args.corpus, "MANIFEST.tsv"), newline="", encoding="utf-8") as f:
            rows = list(csv.DictReader(f, delimiter="\t"))
        jobs = [(lambda a, ir: judge(a, *ir), (i, row)) for i, row in enumerate(rows)
                if args.only in row["file"] and (i % args.part[1] == args.part[0] or row["file"] in args.pdfjs)]
    passed = failed = 0
    with concurrent.futures.ThreadPoolExecutor(max_workers=max(1, args.jobs)) as pool:
        for future in concurrent.futures.as_completed([pool.submit(fn, args, job) for fn, job in jobs]):
            try:
                ok, lines = future.result()
            except Exception as exc:  # a bug here must not hide the other files
                ok, lines = False, f"FAIL harness error {type(exc).__name__}: {exc}"
            passed, failed = passed + ok, failed + (not ok)
            print(lines if isinstance(lines, str) else "\n".join(lines), flush=True)
    if failed == 0 and own_work:
        shutil.rmtree(args.work, ignore_errors=True)
    print(f"{passed} passed, {failed} failed" + (f" (outputs kept in {args.work})" if failed else ""))
    return 0 if failed == 0 else 1


if __name__ == "__main__":
    sys.exit(main())
