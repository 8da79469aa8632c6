#!/usr/bin/env python3
"""Files encrypted by qpdf and mutool decrypted and re-encrypted by varnel, compared by pikepdf; signed
copies; the AES writers' edge cases (AES_CASES) read back by pikepdf and pypdf."""
import io
import os
import subprocess
import sys

import harness
import signed_fixtures
from harness import compare, pikepdf, run, varnel

CIPHERS = ("rc4-128", "aes-128", "aes-256")
FILES = ["classic-02.pdf", "xrefstream-objstm-03.pdf"]  # metadata stream; object streams
ENCRYPTED = ["classic-encrypted-01.pdf", "classic-encrypted-02.pdf", "classic-encrypted-linear-01.pdf",
             "classic-encrypted-pred15-01.pdf"]  # the corpus's, open with the empty password
MAKERS = [  # name, command making OUT from SRC with passwords u and o
    *((f"qpdf-{name}-{mode.split('=')[1]}", ["qpdf", "--allow-weak-crypto", mode, "--encrypt", "u", "o", *extra, "--"])
      for name, extra in [("r2", ["40"]), ("r3", ["128", "--use-aes=n"]), ("r4-rc4", ["128", "--use-aes=n", "--force-V4"]),
                          ("r4-aes", ["128", "--use-aes=y"]), ("r4-aes-clear", ["128", "--use-aes=y", "--cleartext-metadata"]),
                          ("r5", ["256", "--force-R5"]), ("r6", ["256"]), ("r6-clear", ["256", "--cleartext-metadata"])]
      for mode in ["--object-streams=disable", "--object-streams=generate"]),
    *((f"mutool-{m}", ["mutool", "clean", "-E", m, "-U", "u", "-O", "o"]) for m in ("rc4-40", "rc4-128", "aes-128", "aes-256")),
]
REENCRYPT = ("qpdf-r6-disable", "qpdf-r4-aes-generate")  # also re-encrypted with every cipher
AES_CASES = [  # an empty string and stream, the catalog's /Extensions and those aes-256 leaves
    ("no /Extensions", {}, {"/ADBE": 8}),
    ("other extensions kept", {"/XYZ": 3}, {"/ADBE": 8, "/XYZ": 3}),
    ("a higher ADBE level kept", {"/ADBE": 11}, {"/ADBE": 11}),
    ("stream without /Length", {}, None)]  # repaired: the length of its encrypted data
DATA = b"seventeen bytes!!"


def one(args, tmp, label, enc, passwords, maker=None):
    problems, out = [], f"{tmp}/plain.pdf"
    if maker:
        subprocess.run(maker + [os.path.join(args.corpus, enc), f"{tmp}/enc.pdf"], check=True)
    enc = f"{tmp}/enc.pdf" if maker else os.path.join(args.corpus, enc)
    for password in passwords:
        rc, _, err = varnel(args, "decrypt", enc, out, "--password", password)
        if rc != 0:
            problems.append(f"decrypt --password {password}: exit {rc}: {err.strip()}")
            continue
        rc, qout, _ = run(["qpdf", "--check", out])  # also: no /Encrypt left, or it would need a password
        problems += compare(enc, password, out) + ([f"qpdf --check: {qout.strip()[-200:]}"] if rc else [])
    for cipher in CIPHERS if label.endswith(REENCRYPT) else ():
        rc, _, err = varnel(args, "encrypt", enc, out, "--input-password", "o", "-u", "nu", "-o", "no", "--cipher", cipher,
                            "--verify")
        problems += [f"encrypt --input-password ({cipher}): {err.strip()}"] if rc else \
            compare(enc, "o", out, "nu", gains=("/Extensions",))
    return label, problems


def signed_copy(args, tmp, label, path, cipher):
    """With --invalidate-signatures the copy, read by pikepdf, keeps every signature's bytes."""
    out = f"{tmp}/out.pdf"
    rc, _, err = varnel(args, "encrypt", path, out, "-u", "u", "-o", "o", "--cipher", cipher, "--verify",
                        "--invalidate-signatures")
    if rc != 0 or "invalidates what was signed" not in err:
        return label, [f"exit {rc}: {err.strip()}"]
    return label, [] if signed_fixtures.contents(out, "u") == signed_fixtures.contents(path) else ["other bytes"]


def aes_case(args, tmp, label, extensions, expected, cipher):
    src, out, problems = f"{tmp}/in.pdf", f"{tmp}/out.pdf", []
    pdf = pikepdf.new()
    pdf.add_blank_page()
    pdf.Root.Empty = pikepdf.String("")
    pdf.Root.EmptyStream = pdf.make_indirect(pikepdf.Stream(pdf, b""))
    pdf.Root.Data = pdf.make_indirect(pikepdf.Stream(pdf, DATA))
    if extensions:
        pdf.Root.Extensions = pikepdf.Dictionary({k: pikepdf.Dictionary(
            BaseVersion=pikepdf.Name("/1.7"), ExtensionLevel=v) for k, v in extensions.items()})
    pdf.save(buf := io.BytesIO(), compress_streams=False, object_stream_mode=pikepdf.ObjectStreamMode.disable)
    data = buf.getvalue().replace(b"/BaseVersion /1.3", b"/BaseVersion /1.7")  # pikepdf sets the file's own
    with open(src, "wb") as f:
        f.write(data if expected else data.replace(b"/Length 17", b"/Lxngth 17"))
    if (rc := varnel(args, "encrypt", src, out, "-u", "u", "-o", "o", "--cipher", cipher))[0] != 0:
        return label, [rc[2]]
    if (check := run(["qpdf", "--check", "--password=u", out]))[0] != 0:
        problems.append(check[1])
    with pikepdf.open(out, password="u") as pdf:
        if str(pdf.Root.Empty) != "" or pdf.Root.EmptyStream.read_bytes() != b"" or pdf.Root.Data.read_bytes() != DATA:
            problems.append("strings or streams changed")
        got = {k: int(v.ExtensionLevel) for k, v in pdf.Root.get("/Extensions", {}).items()}
        if expected is not None and got != (expected if cipher == "aes-256" else extensions):
            problems.append(f"/Extensions {got}, expected {expected}")
    import pypdf
    reader = pypdf.PdfReader(out)
    reader.decrypt("u")
    if reader.trailer["/Root"]["/Empty"] != "":
        problems.append("pypdf reads the empty string wrong")
    return label, problems


def cases(args):
    made = signed_fixtures.make(args.work)
    files = FILES + [made["signed-twice.pdf"]]
    return [(f"{os.path.basename(f)} {name}", one, f, ("u", "o"), maker) for f in files for name, maker in MAKERS] + [
        (f"{name} {cipher}", signed_copy, path, cipher) for name, path in made.items() for cipher in CIPHERS] + [
        (f"{row[0]}, {cipher}", aes_case, *row[1:], cipher) for row in AES_CASES for cipher in CIPHERS[1:]] + [
        (f, one, f, ("",)) for f in ENCRYPTED]


if __name__ == "__main__":
    sys.exit(harness.main(__doc__, cases, needs=("qpdf", "mutool", "pikepdf", "pypdf")))
