#!/usr/bin/env python3
"""What the AES writers must get right beyond the corpus, each case made with
pikepdf, encrypted by varnel with aes-128 and aes-256, and read back by
pikepdf and pypdf: an empty string and an empty stream (an IV and one padded
block, never left empty or cut to the IV), a stream with an indirect /Length
(the encrypted length written in its place), and a catalog with /Extensions
of its own (merged, not replaced). Usage: aes_cases.py VARNEL"""
import re
import subprocess
import sys
import tempfile

import pikepdf
import pypdf

VARNEL = sys.argv[1]


def make(path, extensions):
    pdf = pikepdf.new()
    pdf.add_blank_page()
    pdf.Root.Empty = pikepdf.String("")
    pdf.Root.EmptyStream = pdf.make_indirect(pikepdf.Stream(pdf, b""))
    pdf.Root.Data = pdf.make_indirect(pikepdf.Stream(pdf, b"seventeen bytes!!"))
    if extensions is not None:
        pdf.Root.Extensions = extensions
    pdf.save(path, compress_streams=False, object_stream_mode=pikepdf.ObjectStreamMode.disable)
    # pikepdf sets an /ADBE base version to the file's own: put it back.
    with open(path, "r+b") as f:
        data = f.read().replace(b"/BaseVersion /1.3", b"/BaseVersion /1.7")
        f.seek(0)
        f.write(data)


def main():
    failures = 0
    cases = [
        ("no /Extensions", None, {"/ADBE": 8}),
        ("other extensions kept", pikepdf.Dictionary(XYZ=pikepdf.Dictionary(BaseVersion=pikepdf.Name("/1.7"),
                                                                             ExtensionLevel=3)),
         {"/ADBE": 8, "/XYZ": 3}),
        ("a higher ADBE level kept", pikepdf.Dictionary(ADBE=pikepdf.Dictionary(BaseVersion=pikepdf.Name("/1.7"),
                                                                                ExtensionLevel=11)),
         {"/ADBE": 11}),
    ]
    with tempfile.TemporaryDirectory() as tmp:
        for name, extensions, expected in cases:
            src = f"{tmp}/in.pdf"
            make(src, extensions)
            for cipher in ("aes-128", "aes-256"):
                out = f"{tmp}/out-{cipher}.pdf"
                subprocess.run([VARNEL, "encrypt", src, out, "-u", "u", "-o", "o", "--cipher", cipher], check=True)
                problems = []
                with pikepdf.open(out, password="u") as pdf:
                    if str(pdf.Root.Empty) != "" or pdf.Root.EmptyStream.read_bytes() != b"":
                        problems.append("empty string or stream not empty after decryption")
                    if pdf.Root.Data.read_bytes() != b"seventeen bytes!!":
                        problems.append("stream data changed")
                    if cipher == "aes-256":
                        got = {k: int(v.ExtensionLevel) for k, v in pdf.Root.Extensions.items()}
                        if got != expected:
                            problems.append(f"/Extensions {got}, expected {expected}")
                    elif "/Extensions" in pdf.Root and extensions is None:
                        problems.append("/Extensions added for aes-128")
                with open(out, "rb") as f:
                    reader = pypdf.PdfReader(f)
                    reader.decrypt("u")
                    if reader.trailer["/Root"]["/Empty"] != "":
                        problems.append("pypdf reads the empty string wrong")
                # The empty stream's stored bytes: an IV and one block.
                body = open(out, "rb").read()
                if not re.search(rb"/Length 32\s*>>\s*stream\n", body):
                    problems.append("no stream of 32 bytes (IV plus one padded block) for the empty stream")
                print(("FAIL" if problems else "ok") + f": {name}, {cipher}" + "".join("\n  " + p for p in problems))
                failures += bool(problems)
        # A repaired stream without /Length gets the length of its encrypted data.
        data = open(src, "rb").read()
        at = data.index(b"/Length 17")
        with open(f"{tmp}/nolength.pdf", "wb") as f:
            f.write(data[:at] + b"/Lxngth 17" + data[at + 10:])
        for cipher in ("aes-128", "aes-256"):
            out = f"{tmp}/nolength-{cipher}.pdf"
            subprocess.run([VARNEL, "encrypt", f"{tmp}/nolength.pdf", out, "-u", "u", "--cipher", cipher], check=True)
            check = subprocess.run(["qpdf", "--check", "--password=u", out], capture_output=True, text=True)
            with pikepdf.open(out, password="u") as pdf:
                ok = check.returncode == 0 and pdf.Root.Data.read_bytes() == b"seventeen bytes!!"
            print(("ok" if ok else "FAIL") + f": stream without /Length, {cipher}" + ("" if ok else "\n  " + check.stdout))
            failures += not ok
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
