#!/usr/bin/python3
"""`varnel encrypt --verify` over the corpus with each file's SETTINGS row, judged by MANIFEST.tsv `expected`; an
encrypt-ok output is checked against its input by readers that share no code with varnel."""
import csv
import os
import re
import sys
import types

import harness
from harness import highest, pikepdf, qpdf, run, xref_in_use

# Revisions and the entries each may add to the catalog.
CIPHERS = {"rc4-128": dict(R=3, catalog=()), "aes-128": dict(R=4, catalog=()),
           "aes-256": dict(R=6, catalog=("/Extensions",))}
# Password and permission settings, one per file in turn.
SETTINGS = [
    dict(name="empty-user", user="", owner="Owner-Secret", letters="PC"),
    dict(name="both-no-letters", user="user pw", owner="owner pw", letters=""),
    dict(name="user-only-all-letters", user="just-user", owner="", letters="PDMCAS"),
    dict(name="long-passwords", user="u" * 40, owner="o(w)n\\er-" * 5, letters="DSM"),
    dict(name="owner-only-all-letters", user="", owner="0wner", letters="SACMDP"),
    dict(name="same-passwords", user="same", owner="same", letters="A"),
]


def check_qpdf(t, password, input_rc, input_found):
    """qpdf --check finds nothing the input does not have."""
    rc, found = harness.qpdf_findings(t.output, password)
    new = sorted(found - input_found)
    if rc == 0 and not any("WARNING" in f for f in found) or (rc in (0, 3) or rc == input_rc == 2) and not new:
        return []
    return [f"exit {rc}; issues not seen in the input:"] + (new or sorted(found))


def check_passwords(t):
    """pypdf opens it with each password as user or owner, with the input's pages; a wrong and the empty one not."""
    import pypdf
    kind, problems = pypdf.PasswordType, []
    with pikepdf.open(t.input, inherit_page_attributes=False) as pin:
        input_pages = len(pin.pages)
    rows = [(t.user, kind.OWNER_PASSWORD if t.user == t.owner else kind.USER_PASSWORD)] + (
        [(t.owner, kind.OWNER_PASSWORD)] if t.owner else []) + ([("wrong-password", None), ("", None)] if t.user else [])
    for password, want in rows:
        reader = pypdf.PdfReader(t.output)
        got = reader.decrypt(password) if reader.is_encrypted else "plain"  # AES needs PyCryptodome
        if got != (want or kind.NOT_DECRYPTED) or want and len(reader.pages) != input_pages:
            problems.append(f"password {password!r} opens it as {got!r}, expected {want!r}")
    return problems


def mutool_text(path, password=""):
    return run(["mutool", "draw", "-q", "-F", "txt", "-o", "-", *(["-p", password] if password else []), path, "1-20"])


def check_text(t, lenient):
    """mutool sees the same text in input and output; with `lenient` (the input has deleted objects, which readers
    still show) differences pass."""
    rc, want, _ = mutool_text(t.input)
    problems = []
    for role, password in t.roles if rc == 0 and not lenient else ():
        rc, got, err = mutool_text(t.output, password)
        if rc != 0 or got != want:
            problems.append(f"{role} password: exit {rc} {err.strip()[:200]}, text {got[:200]!r}")
    return problems


def check_output(t, pdfjs):
    """The output against its input, reader by reader."""
    def checked(name, fn, *fargs):  # a reader's exception is the check's failure
        try:
            return [f"{name}: {p}" for p in fn(*fargs)[:12]]
        except Exception as exc:
            return [f"{name}: {type(exc).__name__}: {exc}"]
    rc, found = harness.qpdf_findings(t.input)
    problems = [p for role, pw in t.roles for p in checked(f"qpdf --check ({role})", check_qpdf, t, pw, rc, found)]
    seen = highest(re.findall(r'"obj:(\d+) (\d+) R"', qpdf(t.input, None, "--json=2", "--json-key=qpdf",
                                                             "--json-stream-data=none")[1]))
    try:
        in_ids = xref_in_use(t.input)
    except ValueError:  # qpdf cannot list the input's objects: all it sees
        in_ids = seen
    problems += checked("objects", harness.compare, t.input, "", t.output, t.user, t.cipher["catalog"], in_ids, True)
    problems += checked("pypdf", check_passwords, t)
    problems += checked("mutool", check_text, t, bool(set(seen) - set(in_ids)))
    for role, password in t.roles if pdfjs else ():
        rc, out, err = run(["node", os.path.join(harness.HERE, "pdfjs_open.mjs"), t.input, t.output, password])
        problems += [f"pdf.js, {role} password: {(out + err).strip()[:400]}"] if rc else []
    return problems


def judge(args, name, index, expected, work):
    setting = SETTINGS[index // args.part[1] % len(SETTINGS)]
    outdir, src = os.path.join(work, "out"), os.path.join(args.corpus, name)
    os.makedirs(outdir)
    dst = os.path.join(outdir, "out.pdf")
    rc, _, err = run([args.varnel, "encrypt", src, dst, "--cipher", args.cipher, "--permissions", setting["letters"],
                      "--user-password", setting["user"], "--owner-password", setting["owner"], "--verify"], 300,
                     env={k: v for k, v in os.environ.items() if not k.startswith("VARNEL_")})
    left, problems = sorted(os.listdir(outdir)), []
    if rc == 0 and left != ["out.pdf"]:
        problems.append(f"exit 0 but the output folder holds {left}")
    elif rc == 0 and expected == "refuse-encrypted":
        problems.append("an encrypted input was accepted")
    elif rc == 0 and expected == "encrypt-ok":  # no owner password: made up by the writer, no owner checks
        user, owner = setting["user"], setting["owner"]
        problems += check_output(types.SimpleNamespace(
            input=src, output=dst, cipher=CIPHERS[args.cipher], user=user, owner=owner,
            roles=[("user", user)] + ([("owner", owner)] if owner else [])), name in args.pdfjs)
    elif rc == 0:  # repaired: the output must at least be sound
        qrc, qout, qerr = qpdf(dst, setting["user"], "--check")
        if qrc != 0 or "WARNING" in qout + qerr:
            problems.append(f"repaired output fails qpdf --check (exit {qrc}):\n" + (qout + qerr)[-1500:])
    elif rc == 1:
        if left or not err.strip():
            problems.append(f"exit 1 with message {err.strip()[:200]!r}, left behind {left}")
        if expected == "encrypt-ok" or (expected == "refuse-encrypted" and "is already encrypted" not in err):
            problems.append(f"{expected}, but refused: {err.strip()[:300]}")
    else:
        problems.append(f"unexpected exit {rc}: {err.strip()[:300]}")
    return f"{name} [{expected}, {setting['name']}]", problems


def cases(args):
    args.pdfjs = set(filter(None, args.pdfjs.split(",")))
    args.part = (0, 1) if args.full else tuple(int(x) for x in args.part.split("/"))
    with open(os.path.join(args.corpus, "MANIFEST.tsv"), newline="", encoding="utf-8") as f:
        return [(r["file"], i, r["expected"]) for i, r in enumerate(csv.DictReader(f, delimiter="\t"))
                if i % args.part[1] == args.part[0] or r["file"] in args.pdfjs]


if __name__ == "__main__":
    sys.setrecursionlimit(10000)
    pdfjs = ["node", os.path.join(harness.HERE, "node_modules", "pdfjs-dist")]
    sys.exit(harness.main(__doc__, cases, lambda args, case, work: judge(args, *case, work),
        needs=lambda args: ["qpdf", "pikepdf", "pypdf", "mutool"] + (pdfjs if args.pdfjs else []),
        options=[("--cipher", dict(default="rc4-128", choices=sorted(CIPHERS))),
                 ("--pdfjs", dict(default="", help="comma-separated corpus files to open with pdf.js too")),
                 ("--part", dict(default="0/1", help="K/N: every N-th file from the K-th (all with VARNEL_FULL_TESTS)"))]))
