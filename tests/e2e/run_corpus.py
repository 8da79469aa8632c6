#!/usr/bin/python3
"""`varnel encrypt` over the corpus with each file's SETTINGS row, judged by
MANIFEST.tsv `expected` (check_encrypted.py for encrypt-ok). README.md;
exit 0, 1, or 77 (a tool or the corpus missing)."""
import csv
import os
import sys

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


def check(args, src, dst, user, owner, letters, *extra):
    return run([sys.executable, os.path.join(HERE, "check_encrypted.py"), "--input", src, "--output", dst,
                "--cipher", args.cipher, "--user", user, "--owner", owner, "--permissions", letters, *extra])


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


def cases(args):
    args.pdfjs = set(filter(None, args.pdfjs.split(",")))
    args.part = (0, 1) if args.full else tuple(int(x) for x in args.part.split("/"))
    with open(os.path.join(args.corpus, "MANIFEST.tsv"), newline="", encoding="utf-8") as f:
        return [(r["file"], i, r["expected"]) for i, r in enumerate(csv.DictReader(f, delimiter="\t"))
                if i % args.part[1] == args.part[0] or r["file"] in args.pdfjs]


if __name__ == "__main__":
    sys.exit(harness.main(__doc__, cases, lambda args, case, work: judge(args, *case, work), needs=lambda args: ["qpdf", "pikepdf", "pypdf"] + (
            ["node", os.path.join(HERE, "node_modules", "pdfjs-dist")] if args.pdfjs else []), options=[
        ("--cipher", dict(default="rc4-128")),
        ("--pdfjs", dict(default="", help="comma-separated corpus files to open with pdf.js too")),
        ("--part", dict(default="0/1", help="K/N: every N-th file from the K-th (all with VARNEL_FULL_TESTS)"))]))
