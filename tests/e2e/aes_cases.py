#!/usr/bin/env python3
"""What the AES writers must get right beyond the corpus, made with pikepdf,
encrypted by varnel with aes-128 and aes-256 and read back: an empty string
and an empty stream (an IV and one padded block), a catalog's own
/Extensions (merged, not replaced), a repaired stream without /Length (the
length of its encrypted data)."""
import re
import subprocess
import sys

import pikepdf
import pypdf

import harness
from harness import run

DATA = b"seventeen bytes!!"


CASES = [  # name, the catalog's /Extensions levels, those expected from aes-256 (aes-128 adds none)
    (f"{name}, {cipher}", extensions, expected, cipher) for cipher in ("aes-128", "aes-256")
    for name, extensions, expected in [
        ("no /Extensions", {}, {"/ADBE": 8}),
        ("other extensions kept", {"/XYZ": 3}, {"/ADBE": 8, "/XYZ": 3}),
        ("a higher ADBE level kept", {"/ADBE": 11}, {"/ADBE": 11}),
        ("stream without /Length", {}, None)]]


def case(args, row, tmp):
    name, extensions, expected, cipher = row
    src, out, problems = f"{tmp}/in.pdf", f"{tmp}/out.pdf", []
    pdf = pikepdf.new()
    pdf.add_blank_page()
    pdf.Root.Empty = pikepdf.String("")
    pdf.Root.EmptyStream = pdf.make_indirect(pikepdf.Stream(pdf, b""))
    pdf.Root.Data = pdf.make_indirect(pikepdf.Stream(pdf, DATA))
    if extensions:
        pdf.Root.Extensions = pikepdf.Dictionary({k: pikepdf.Dictionary(
            BaseVersion=pikepdf.Name("/1.7"), ExtensionLevel=v) for k, v in extensions.items()})
    pdf.save(src, compress_streams=False, object_stream_mode=pikepdf.ObjectStreamMode.disable)
    with open(src, "rb") as f:  # pikepdf sets an /ADBE base version to the file's own: put it back
        data = f.read().replace(b"/BaseVersion /1.3", b"/BaseVersion /1.7")
    with open(src, "wb") as f:  # the row without expected /Extensions: the stream without /Length
        f.write(data if expected else data.replace(b"/Length 17", b"/Lxngth 17"))
    subprocess.run([args.varnel, "encrypt", src, out, "-u", "u", "-o", "o", "--cipher", cipher], check=True)
    if (check := run(["qpdf", "--check", "--password=u", out]))[0] != 0:
        problems.append(check[1])
    with pikepdf.open(out, password="u") as pdf:
        if str(pdf.Root.Empty) != "" or pdf.Root.EmptyStream.read_bytes() != b"" or pdf.Root.Data.read_bytes() != DATA:
            problems.append("strings or streams changed")
        got = {k: int(v.ExtensionLevel) for k, v in pdf.Root.get("/Extensions", {}).items()}
        if expected is not None and got != (expected if cipher == "aes-256" else extensions):
            problems.append(f"/Extensions {got}, expected {expected}")
    reader = pypdf.PdfReader(out)
    reader.decrypt("u")
    if reader.trailer["/Root"]["/Empty"] != "":
        problems.append("pypdf reads the empty string wrong")
    with open(out, "rb") as f:  # the empty stream's stored bytes: an IV and one block
        problems += [] if re.search(rb"/Length 32\s*>>\s*stream\n", f.read()) else ["no 32-byte stream (IV, one block)"]
    return name, problems


if __name__ == "__main__":
    sys.exit(harness.main(__doc__, lambda args: CASES, case, needs=("qpdf", "pikepdf", "pypdf"), corpus=False))
