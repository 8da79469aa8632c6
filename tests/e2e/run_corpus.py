#!/usr/bin/python3
"""`varnel encrypt` over the corpus with each file's SETTINGS row, judged by
MANIFEST.tsv `expected` (check_encrypted.py for encrypt-ok); --selftest
proves the checker on good outputs and on outputs or claims with one fault
each. README.md; exit 0, 1, or 77 (a tool or the corpus missing)."""
import csv
import os
import re
import shutil
import sys
import zlib

import harness
from harness import describe, run

HERE = os.path.dirname(os.path.abspath(__file__))
# Password and permission settings; how the passwords reach varnel varies too.
SETTINGS = [
    dict(name="empty-user", user="", owner="Owner-Secret", letters="PC", via="options"),
    dict(name="both-no-letters", user="user pw", owner="owner pw", letters="", via="options"),
    dict(name="user-only-all-letters", user="just-user", owner="", letters="PDMCAS", via="env"),
    dict(name="long-passwords", user="u" * 40, owner="o(w)n\\er-" * 5, letters="DSM", via="file"),
    dict(name="owner-only-all-letters", user="", owner="0wner", letters="SACMDP", via="options"),
    dict(name="same-passwords", user="same", owner="same", letters="A", via="options"),
]
PLAIN = dict(user="u", owner="o", letters="PC", via="options")


def encrypt(args, src, dst, setting, workdir):
    cmd = [args.varnel, "encrypt", src, dst, "--cipher", args.cipher, "--permissions", setting["letters"]]
    env = {k: v for k, v in os.environ.items() if not k.startswith("VARNEL_")}
    if setting["via"] == "options":
        cmd += ["--user-password", setting["user"], "--owner-password", setting["owner"]]
    elif setting["via"] == "env":
        env.update(VARNEL_USER_PASSWORD=setting["user"], VARNEL_OWNER_PASSWORD=setting["owner"])
    else:
        with open(os.path.join(workdir, "passwords.txt"), "w", encoding="utf-8") as f:
            f.write(f"{setting['user']}\n{setting['owner']}\n")
        cmd += ["--password-file", os.path.join(workdir, "passwords.txt")]
    return run(cmd, 300, env=env)


def check(args, src, dst, user, owner, letters, *extra, cipher=None):
    return run([sys.executable, os.path.join(HERE, "check_encrypted.py"), "--input", src, "--output", dst,
                "--cipher", cipher or args.cipher, "--user", user, "--owner", owner, "--permissions", letters, *extra])


def judge(args, name, index, expected, work):
    setting = SETTINGS[index // args.part[1] % len(SETTINGS)]
    outdir, src = os.path.join(work, "out"), os.path.join(args.corpus, name)
    os.makedirs(outdir)
    dst = os.path.join(outdir, "out.pdf")
    rc, _, err = encrypt(args, src, dst, setting, work)
    left, problems = sorted(os.listdir(outdir)), []
    if rc == 0 and left != ["out.pdf"]:
        problems.append(f"exit 0 but the output folder holds {left}")
    elif rc == 0 and expected == "refuse-encrypted":
        problems.append("an encrypted input was accepted")
    elif rc == 0 and expected == "encrypt-ok":
        crc, cout, cerr = check(args, src, dst, setting["user"], setting["owner"], setting["letters"],
                                *(["--pdfjs"] if name in args.pdfjs else []))
        if crc != 0:
            problems.append(f"check_encrypted.py {describe(crc)}\n" + cout + cerr)
    elif rc == 0:  # repaired: the output must at least be sound
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
    return f"{name} [{expected}, {setting['name']}]", problems


# --- self-test of the checker -------------------------------------------

def edit(data, old, new, after=0):
    """data with the first `old` at or after `after` replaced (same length, so offsets hold)."""
    at = data.index(old, after)
    assert len(old) == len(new)
    return data[:at] + new + data[at + len(old):]


def flip_stream_byte(data):
    at = re.search(rb"stream\r?\n", data[data.index(b"obj"):]).end() + 60
    return edit(data, data[at:at + 1], bytes([data[at] ^ 1]), at)


def free_one_object(data):
    """The closing cross-reference stream with the first in-use entry above 0 made free."""
    start = int(re.search(rb"startxref\s+(\d+)", data[-64:])[1])
    m = re.compile(rb".*?/Length (\d+)\n>>\nstream\n", re.S).match(data, start)
    rows = bytearray(zlib.decompress(data[m.end():m.end() + int(m[1])]))
    w = sum(int(x) for x in re.search(rb"/W \[(\d+) (\d+) (\d+)\]", data[start:m.end()]).groups())
    rows[next(i for i in range(w, len(rows), w) if rows[i] == 1)] = 0
    packed = zlib.compress(bytes(rows))
    return data[:m.start(1)] + b"%d" % len(packed) + data[m.end(1):m.end()] + packed + \
        b"\nendstream\nendobj\nstartxref\n%d\n%%%%EOF" % start


# (name, corpus file, how the output is made from a good one, claimed (user,
# owner, letters, cipher), checks that must fail: a set for "at least
# these", a frozenset for "exactly these")
PLAINF, GEN1, OBJSTM = "classic-01.pdf", "classic-incr-gen1-01.pdf", "xrefstream-objstm-01.pdf"
GOOD = ("u", "o", "PC", None)
CASES = [
    ("good-plain", PLAINF, None, GOOD, set()),
    ("good-gen1-deleted", GEN1, None, GOOD, set()),
    ("good-damaged-input", "classic-lzw-indlen-01.pdf", None, GOOD, set()),
    ("claims-wrong-user", PLAINF, None, ("x", "o", "PC", None), {"qpdf-check-user-password", "passwords"}),
    ("claims-wrong-owner", PLAINF, None, ("u", "x", "PC", None), {"qpdf-check-owner-password", "passwords"}),
    ("claims-empty-user", PLAINF, None, ("", "o", "PC", None), {"passwords"}),
    ("claims-other-letters", PLAINF, None, ("u", "o", "PCM", None), frozenset({"encryption"})),
    ("flip-stream-byte", OBJSTM, flip_stream_byte, GOOD, {"objects"}),
    ("free-one-object", GEN1, free_one_object, GOOD, {"objects"}),
    ("header-1.4", PLAINF, lambda d: edit(d, d[:8], b"%PDF-1.4"), GOOD, {"trailer"}),
    ("drop-info", PLAINF, lambda d: edit(d, b"/Info ", b"/Infx ", d.rindex(b"/Type /XRef")), GOOD, {"trailer"}),
    ("not-encrypted", PLAINF, "copy", GOOD, {"passwords", "encryption"}),
    # qpdf's output (it ends with a table, not an xref stream), claimed as it is and as another cipher
    ("qpdf-rc4-128", PLAINF, "qpdf", ("u", "o", "PDMCAS", "rc4-128"), frozenset({"trailer"})),
    ("qpdf-rc4-128-claimed-aes-128", PLAINF, "qpdf", ("u", "o", "PDMCAS", "aes-128"),
     frozenset({"trailer", "encryption"})),
]


def selftest_case(args, name, source, maker, claimed, must_fail, work):
    (user, owner, letters, claim), src, dst = claimed, os.path.join(args.corpus, source), os.path.join(work, "out.pdf")
    if maker == "copy":
        shutil.copy(src, dst)
    elif maker == "qpdf":  # against a qpdf-normalized copy, whose numbering qpdf keeps
        norm, keep = os.path.join(work, "norm.pdf"), ["--stream-data=preserve", "--object-streams=preserve",
                                                      "--force-version=1.5"]
        run(["qpdf", *keep, src, norm])
        run(["qpdf", "--allow-weak-crypto", *keep, "--encrypt", "u", "o", "128", "--use-aes=n", "--form=n",
             "--accessibility=n", "--", norm, dst])
        src = norm
    else:
        rc, _, err = encrypt(args, src, dst, PLAIN, work)
        if rc != 0:
            return name, [f"varnel {describe(rc)} {err[:200]}"]
        if maker:
            with open(dst, "r+b") as f:
                data = maker(f.read())
                f.seek(0), f.truncate(), f.write(data)
    rc, out, _ = check(args, src, dst, user, owner, letters, "--no-text", cipher=claim)
    m = re.search(r"^RESULT FAIL \S+: (.*)$", out, re.M)
    failed = set(m[1].split(", ")) if m else set()
    ok = rc == (1 if must_fail else 0) and (failed == must_fail if isinstance(must_fail, frozenset)
                                           else must_fail <= failed)
    return f"{name}: failed {sorted(failed)}, expected {sorted(must_fail)}", [] if ok else [out]


def cases(args):
    args.pdfjs = set(filter(None, args.pdfjs.split(",")))
    args.part = (0, 1) if args.full else tuple(int(x) for x in args.part.split("/"))
    if args.selftest:
        return CASES
    with open(os.path.join(args.corpus, "MANIFEST.tsv"), newline="", encoding="utf-8") as f:
        return [(r["file"], i, r["expected"]) for i, r in enumerate(csv.DictReader(f, delimiter="\t"))
                if i % args.part[1] == args.part[0] or r["file"] in args.pdfjs]


if __name__ == "__main__":
    sys.exit(harness.main(__doc__, cases, lambda args, case, work: (selftest_case if args.selftest else judge)(
        args, *case, work), needs=lambda args: ["qpdf", "pikepdf", "pypdf"] + (
            ["node", os.path.join(HERE, "node_modules", "pdfjs-dist")] if args.pdfjs else []), options=[
        ("--cipher", dict(default="rc4-128")),
        ("--pdfjs", dict(default="", help="comma-separated corpus files to open with pdf.js too")),
        ("--part", dict(default="0/1", help="K/N: every N-th file from the K-th (all with VARNEL_FULL_TESTS)")),
        ("--selftest", dict(action="store_true"))]))
