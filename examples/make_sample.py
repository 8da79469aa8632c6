#!/usr/bin/env python3
"""Writes examples/sample.pdf: a small two-page document with text, a
compressed content stream, document information and a bookmark, used by
scripts/demo and the README. Standard library only; deterministic output."""
import zlib
from pathlib import Path


def build() -> bytes:
    page_text = [
        "Varnel sample document, page 1.",
        "This page is plain text drawn with a standard font.",
    ], [
        "Page 2: the content stream of this page is Flate-compressed.",
        "Encrypted copies open with the user or the owner password.",
    ]
    objects = {}
    objects[1] = b"<< /Type /Catalog /Pages 2 0 R /Outlines 9 0 R /PageMode /UseOutlines >>"
    objects[2] = b"<< /Type /Pages /Kids [3 0 R 5 0 R] /Count 2 >>"
    objects[7] = b"<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>"
    for n, (page, content, lines) in enumerate(((3, 4, page_text[0]), (5, 6, page_text[1]))):
        objects[page] = (b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 612 792] "
                         b"/Resources << /Font << /F1 7 0 R >> >> /Contents %d 0 R >>" % content)
        ops = b"BT /F1 14 Tf 72 720 Td 18 TL\n"
        for line in lines:
            ops += b"(" + line.encode("latin-1") + b") '\n"
        ops += b"ET\n"
        data = zlib.compress(ops, 9) if n == 1 else ops
        filt = b" /Filter /FlateDecode" if n == 1 else b""
        objects[content] = b"<< /Length %d%s >>\nstream\n" % (len(data), filt) + data + b"\nendstream"
    # Title in UTF-16BE with a byte order mark, as producers write non-ASCII text.
    title = "Varnel sample \u2013 caf\u00e9".encode("utf-16-be")
    objects[8] = (b"<< /Title <FEFF" + title.hex().upper().encode() + b"> /Author (Varnel developers) "
                  b"/Producer (examples/make_sample.py) >>")
    objects[9] = b"<< /Type /Outlines /First 10 0 R /Last 10 0 R /Count 1 >>"
    objects[10] = b"<< /Title (Page 2) /Parent 9 0 R /Dest [5 0 R /Fit] >>"

    out = bytearray(b"%PDF-1.4\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}
    for num in sorted(objects):
        offsets[num] = len(out)
        out += b"%d 0 obj\n" % num + objects[num] + b"\nendobj\n"
    xref = len(out)
    size = max(objects) + 1
    out += b"xref\n0 %d\n0000000000 65535 f \n" % size
    for num in range(1, size):
        out += b"%010d 00000 n \n" % offsets[num]
    out += b"trailer\n<< /Size %d /Root 1 0 R /Info 8 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (size, xref)
    return bytes(out)


if __name__ == "__main__":
    Path(__file__).with_name("sample.pdf").write_bytes(build())
