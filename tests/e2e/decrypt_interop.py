#!/usr/bin/env python3
"""Inputs encrypted at test time by qpdf, mutool and pikepdf: `varnel decrypt`
passes qpdf --check and equals object by object what pikepdf reads with the
password (signed documents too: a signature's /Contents is never encrypted);
`encrypt --input-password --verify` round trips every cipher; wrong
password exit 3; --verify on the corpus (one cipher per file in turn, every
cipher with VARNEL_FULL_TESTS)."""
import atexit
import csv
import os
import shutil
import subprocess
import sys
import tempfile

import pikepdf

import harness
import signed_fixtures
from check_encrypted import canon, diff, is_xref_stream, xref_in_use
from harness import run

CIPHERS = ("rc4-128", "aes-128", "aes-256")
FILES = ["classic-02.pdf", "xrefstream-objstm-03.pdf"]  # metadata stream; object streams
# The corpus's encrypted files that open with the empty user password.
ENCRYPTED = ["classic-encrypted-01.pdf", "classic-encrypted-02.pdf", "classic-encrypted-linear-01.pdf",
             "classic-encrypted-pred15-01.pdf"]
MAKERS = [  # name, command making OUT from SRC with passwords u and o
    *((f"qpdf-{name}-{mode.split('=')[1]}", ["qpdf", "--allow-weak-crypto", mode, "--encrypt", "u", "o", *extra, "--"])
      for name, extra in [("r2", ["40"]), ("r3", ["128", "--use-aes=n"]), ("r4-rc4", ["128", "--use-aes=n", "--force-V4"]),
                          ("r4-aes", ["128", "--use-aes=y"]), ("r4-aes-clear", ["128", "--use-aes=y", "--cleartext-metadata"]),
                          ("r5", ["256", "--force-R5"]), ("r6", ["256"]), ("r6-clear", ["256", "--cleartext-metadata"])]
      for mode in ["--object-streams=disable", "--object-streams=generate"]),
    *((f"mutool-{m}", ["mutool", "clean", "-E", m, "-U", "u", "-O", "o"]) for m in ("rc4-40", "rc4-128", "aes-128", "aes-256")),
    *((f"pikepdf-r{r}", r) for r in (4, 6)),
]
REENCRYPT = ("pikepdf-r6", "qpdf-r4-aes-generate")  # also re-encrypted with every cipher


EVERY = type("Every", (), {"__contains__": lambda self, objgen: True})()  # references all kept as such


def compare(encrypted, password, plain, plain_password="", gains=()):
    """Differences between pikepdf's readings of both, object by object (a
    missing object reads as null); the catalog may gain `gains`."""
    problems = []
    with pikepdf.open(encrypted, password=password, inherit_page_attributes=False) as ref, \
            pikepdf.open(plain, password=plain_password, inherit_page_attributes=False) as got:
        enc = ref.trailer.get("/Encrypt")
        for og in xref_in_use(encrypted, password):
            obj, other = ref.get_object(og), got.get_object(og)
            if (enc is not None and enc.is_indirect and enc.objgen == og) or is_xref_stream(obj):
                continue
            diff(canon(obj, EVERY), canon(other, EVERY), f"object {og}", problems,
                 gains if og == ref.Root.objgen else ())
            if isinstance(obj, pikepdf.Stream) and not (isinstance(other, pikepdf.Stream)
                                                        and obj.read_raw_bytes() == other.read_raw_bytes()):
                problems.append(f"object {og}: stream data differs")
    return problems[:5]


def varnel(args, *cmd):
    return run([args.varnel, *cmd])


def one(args, tmp, label, enc, passwords, maker=None):
    """enc (made by maker from a corpus file) decrypted with each password."""
    problems, out = [], f"{tmp}/plain.pdf"
    if isinstance(maker, int):
        with pikepdf.open(os.path.join(args.corpus, enc)) as pdf:
            pdf.save(f"{tmp}/enc.pdf", encryption=pikepdf.Encryption(user="u", owner="o", R=maker))
    elif maker:
        subprocess.run(maker + [os.path.join(args.corpus, enc), f"{tmp}/enc.pdf"], check=True)
    enc = f"{tmp}/enc.pdf" if maker else os.path.join(args.corpus, enc)
    for password in passwords:
        rc, _, err = varnel(args, "decrypt", enc, out, "--password", password)
        if rc != 0:
            problems.append(f"decrypt --password {password}: exit {rc}: {err.strip()}")
            continue
        rc, qout, _ = run(["qpdf", "--check", out])
        if rc != 0:
            problems.append(f"qpdf --check: {qout.strip()[-200:]}")
        with pikepdf.open(out) as pdf:
            if "/Encrypt" in pdf.trailer or "/ID" not in pdf.trailer:
                problems.append("/Encrypt kept or /ID lost")
        problems += compare(enc, password, out)
    rc = varnel(args, "decrypt", enc, out + ".wrong", "--password", "wrong")[0]
    if rc != 3 or os.path.exists(out + ".wrong"):
        problems.append(f"wrong password: exit {rc}")
    for cipher in CIPHERS if label.endswith(REENCRYPT) else ():
        rc, _, err = varnel(args, "encrypt", enc, out, "--input-password", "o", "-u", "nu", "-o", "no", "--cipher", cipher,
                            "--verify")
        problems += [f"encrypt --input-password ({cipher}): {err.strip()}"] if rc else \
            compare(enc, "o", out, "nu", gains=("/Extensions",))
    return label, problems


def verify(args, tmp, label, name, cipher):
    rc, _, err = varnel(args, "encrypt", os.path.join(args.corpus, name), f"{tmp}/out.pdf", "-u", "a", "-o", "b",
                        "--cipher", cipher, "--verify")
    return label, [err.strip()] if rc else []


def signed_copy(args, tmp, label, path, cipher):
    """With --invalidate-signatures (the refusal without it: tests/cli), the
    copy, read by pikepdf and mutool, keeps every signature's bytes."""
    out, problems = f"{tmp}/out.pdf", []
    rc, _, err = varnel(args, "encrypt", path, out, "-u", "u", "-o", "o", "--cipher", cipher, "--verify",
                        "--invalidate-signatures")
    if rc != 0 or "invalidates what was signed" not in err:
        return label, problems + [f"exit {rc}: {err.strip()}"]
    expected = signed_fixtures.contents(path)
    if signed_fixtures.contents(out, "u") != expected:
        problems.append("pikepdf reads other signature bytes")
    for number, der in expected.items():
        rc, shown, _ = run(["mutool", "show", "-p", "u", out, f"{number}/Contents"])
        if rc != 0 or bytes.fromhex(shown.strip().strip("<>")).rstrip(b"\0") != der.rstrip(b"\0"):
            problems.append(f"mutool reads other bytes in object {number}")
    return label, problems


def cases(args):
    with open(os.path.join(args.corpus, "MANIFEST.tsv"), newline="", encoding="utf-8") as f:
        rows = [r["file"] for r in csv.DictReader(f, delimiter="\t") if r["expected"] == "encrypt-ok"]
    signed = tempfile.mkdtemp(prefix="varnel-signed-")
    atexit.register(shutil.rmtree, signed, True)
    made = signed_fixtures.make(signed)
    files = FILES + [made["signed-twice.pdf"], made["signed-certified.pdf"]]
    return [
        (f"{os.path.basename(f)} {name}", one, f, ("u", "o"), maker) for f in files for name, maker in MAKERS] + [
        (f"{name} {cipher}", signed_copy, path, cipher) for name, path in made.items() if name.startswith("signed")
        for cipher in CIPHERS] + [
        (f, one, f, ("",)) for f in ENCRYPTED] + [
        (f"--verify {name} {cipher}", verify, name, cipher) for i, name in enumerate(rows)
        for cipher in (CIPHERS if args.full else CIPHERS[i % 3:i % 3 + 1])]


if __name__ == "__main__":
    sys.exit(harness.main(__doc__, cases, lambda args, case, tmp: case[1](args, tmp, case[0], *case[2:]),
                          needs=("qpdf", "mutool", "pikepdf")))
