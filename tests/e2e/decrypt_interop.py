#!/usr/bin/env python3
"""Inputs encrypted at test time by qpdf, mutool and pikepdf: `varnel decrypt`
passes qpdf --check and equals object by object what pikepdf reads with the
password; `encrypt --input-password --verify` round trips every cipher; wrong
password exit 3; no modify right exit 1. Usage: decrypt_interop.py VARNEL CORPUS"""
import os
import subprocess
import sys
import tempfile

import pikepdf

VARNEL, CORPUS = sys.argv[1], sys.argv[2]
FILES = ["classic-02.pdf", "xrefstream-objstm-03.pdf"]  # metadata stream; object streams
# The corpus's encrypted files that open with the empty user password.
ENCRYPTED = ["classic-encrypted-01.pdf", "classic-encrypted-02.pdf", "classic-encrypted-linear-01.pdf",
             "classic-encrypted-pred15-01.pdf"]
QPDF = [  # name, arguments of qpdf --encrypt u o ... --
    ("qpdf-r2", ["40"]),
    ("qpdf-r3", ["128", "--use-aes=n"]),
    ("qpdf-r4-rc4", ["128", "--use-aes=n", "--force-V4"]),
    ("qpdf-r4-aes", ["128", "--use-aes=y"]),
    ("qpdf-r4-aes-clear-metadata", ["128", "--use-aes=y", "--cleartext-metadata"]),
    ("qpdf-r5", ["256", "--force-R5"]),
    ("qpdf-r6", ["256"]),
    ("qpdf-r6-clear-metadata", ["256", "--cleartext-metadata"]),
]
STREAM_MODES = ["--object-streams=disable", "--object-streams=generate"]
MUTOOL = ["rc4-40", "rc4-128", "aes-128", "aes-256"]
PIKEPDF = [4, 6]


def same(a, b, path, size, ignored):
    """Differences between two pikepdf values; references compared by number
    (below size: from size on, pikepdf made them pushing page attributes down)."""
    if isinstance(a, pikepdf.Object) and isinstance(b, pikepdf.Object) and a.is_indirect and b.is_indirect \
            and path.count("/") > 0 and max(a.objgen[0], b.objgen[0]) < size:
        return [] if a.objgen == b.objgen else [f"{path}: {a.objgen} != {b.objgen}"]
    if isinstance(a, pikepdf.Stream) != isinstance(b, pikepdf.Stream):
        return [f"{path}: stream vs not"]
    if isinstance(a, pikepdf.Stream):
        out = [] if a.read_raw_bytes() == b.read_raw_bytes() else [f"{path}: stream bytes differ"]
        return out + same(a.stream_dict, b.stream_dict, path + "<<", size, ignored)
    if isinstance(a, pikepdf.Dictionary) and isinstance(b, pikepdf.Dictionary):
        keys = (set(a.keys()) | set(b.keys())) - ignored
        return [d for k in sorted(keys) for d in (same(a.get(k), b.get(k), path + k, size, {"/Length"})
                                                   if k in a and k in b else [f"{path}{k}: missing on one side"])]
    if isinstance(a, pikepdf.Array) and isinstance(b, pikepdf.Array):
        if len(a) != len(b):
            return [f"{path}: array lengths"]
        return [d for i in range(len(a)) for d in same(a[i], b[i], f"{path}[{i}]", size, {"/Length"})]
    if isinstance(a, pikepdf.String) and isinstance(b, pikepdf.String):
        return [] if bytes(a) == bytes(b) else [f"{path}: string {bytes(a)!r} != {bytes(b)!r}"]
    return [] if type(a) is type(b) and a == b else [f"{path}: {a!r} != {b!r}"]


def compare(encrypted, password, plain, plain_password="", catalog_gains=()):
    """Object-by-object differences between pikepdf's reading of both (a
    missing object reads as null); the catalog may gain catalog_gains."""
    problems = []
    with pikepdf.open(encrypted, password=password) as ref, pikepdf.open(plain, password=plain_password) as got:
        enc = ref.trailer.get("/Encrypt")
        size = int(ref.trailer.Size)
        # (pikepdf gives indirect numbers as Python numbers, without objgen.)
        for num, gen in sorted(o.objgen for o in ref.objects
                               if isinstance(o, pikepdf.Object) and o.is_indirect and 0 < o.objgen[0] < size):
            obj = ref.get_object((num, gen))
            if (enc is not None and enc.is_indirect and num == enc.objgen[0]) or \
                    (isinstance(obj, (pikepdf.Dictionary, pikepdf.Stream)) and obj.get("/Type") == "/XRef"):
                continue
            ignored = {"/Length"} | (set(catalog_gains) if (num, gen) == ref.Root.objgen else set())
            problems += same(obj, got.get_object((num, gen)), f"object {num} {gen}", size, ignored)
    return problems


def run(args):
    return subprocess.run([VARNEL] + args, capture_output=True, text=True)


def main():
    failures = 0
    with tempfile.TemporaryDirectory() as tmp:
        inputs = []  # (name, encrypted path)
        for f in FILES:
            src = os.path.join(CORPUS, f)
            for name, extra in QPDF:
                for mode in STREAM_MODES:
                    out = f"{tmp}/{f}-{name}{mode[-8:]}.pdf"
                    subprocess.run(["qpdf", "--allow-weak-crypto", mode, "--encrypt", "u", "o"] + extra + ["--", src, out], check=True)
                    inputs.append((f"{f} {name} {mode}", out, ("u", "o")))
            for method in MUTOOL:
                out = f"{tmp}/{f}-mutool-{method}.pdf"
                subprocess.run(["mutool", "clean", "-E", method, "-U", "u", "-O", "o", src, out], check=True)
                inputs.append((f"{f} mutool {method}", out, ("u", "o")))
            for r in PIKEPDF:
                out = f"{tmp}/{f}-pikepdf-r{r}.pdf"
                with pikepdf.open(src) as pdf:
                    pdf.save(out, encryption=pikepdf.Encryption(user="u", owner="o", R=r))
                inputs.append((f"{f} pikepdf R{r}", out, ("u", "o")))
        inputs += [(f, os.path.join(CORPUS, f), ("",)) for f in ENCRYPTED]
        for label, enc, passwords in inputs:
            problems = []
            for password in passwords:
                out = f"{tmp}/plain.pdf"
                r = run(["decrypt", enc, out, "--password", password])
                if r.returncode != 0:
                    problems.append(f"decrypt --password {password}: exit {r.returncode}: {r.stderr.strip()}")
                    continue
                check = subprocess.run(["qpdf", "--check", out], capture_output=True, text=True)
                if check.returncode != 0:
                    problems.append(f"qpdf --check: {check.stdout.strip()[-200:]}")
                with pikepdf.open(out) as pdf:
                    if "/Encrypt" in pdf.trailer or "/ID" not in pdf.trailer:
                        problems.append("/Encrypt kept or /ID lost")
                problems += compare(enc, password, out)[:5]
                os.remove(out)
            r = run(["decrypt", enc, f"{tmp}/wrong.pdf", "--password", "wrong"])
            if r.returncode != 3 or os.path.exists(f"{tmp}/wrong.pdf"):
                problems.append(f"wrong password: exit {r.returncode}")
            if "pikepdf R6" in label or "qpdf-r4-aes --object-streams=generate" in label:
                for cipher in ("rc4-128", "aes-128", "aes-256"):
                    out = f"{tmp}/re-{cipher}.pdf"
                    r = run(["encrypt", enc, out, "--input-password", "o", "-u", "nu", "-o", "no", "--cipher", cipher,
                             "--verify"])
                    if r.returncode != 0:
                        problems.append(f"encrypt --input-password ({cipher}): {r.stderr.strip()}")
                        continue
                    problems += compare(enc, "o", out, "nu", catalog_gains=("/Extensions",))[:5]
            print(("FAIL " if problems else "ok   ") + label + "".join("\n     " + p for p in problems))
            failures += bool(problems)
        # A user password without the modify right neither decrypts nor re-encrypts; the owner's does.
        src = os.path.join(CORPUS, FILES[0])
        enc = f"{tmp}/restricted.pdf"
        subprocess.run(["qpdf", "--encrypt", "u", "o", "256", "--modify=none", "--", src, enc], check=True)
        for args in (["decrypt", enc, f"{tmp}/r.pdf", "--password", "u"],
                     ["encrypt", enc, f"{tmp}/r.pdf", "--input-password", "u"]):
            r = run(args)
            if r.returncode != 1 or "wner password" not in r.stderr or "need" not in r.stderr or os.path.exists(f"{tmp}/r.pdf"):
                print(f"FAIL restricted {args[0]}: exit {r.returncode} {r.stderr.strip()}")
                failures += 1
        failures += run(["decrypt", enc, f"{tmp}/r.pdf", "--password", "o"]).returncode != 0
        # --verify on every corpus file the encryptor accepts: one cipher each
        # in turn, every cipher with VARNEL_FULL_TESTS.
        ciphers = ("rc4-128", "aes-128", "aes-256")
        for i, row in enumerate(open(os.path.join(CORPUS, "MANIFEST.tsv")).read().splitlines()[1:]):
            name, expected = row.split("\t")[0], row.split("\t")[12]
            chosen = ciphers if os.environ.get("VARNEL_FULL_TESTS") else ciphers[i % 3:i % 3 + 1]
            for cipher in chosen if expected == "encrypt-ok" else ():
                r = run(["encrypt", os.path.join(CORPUS, name), f"{tmp}/v.pdf", "-u", "a", "-o", "b", "--cipher", cipher,
                         "--verify"])
                if r.returncode != 0:
                    print(f"FAIL --verify {name} {cipher}: {r.stderr.strip()}")
                    failures += 1
    print(f"{len(inputs)} encrypted inputs, {failures} failures")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
