#!/usr/bin/python3
"""make_damaged.py OUTDIR FILE...: writes OUTDIR/BASE.KIND.pdf, one copy of
each FILE per kind of damage that applies (see damages(); run_damaged.py uses
it directly)."""

import os
import re
import sys

TRUNCATE_AT = (10, 25, 40, 55, 70, 85, 95, 99)  # percent of the file kept


def stream_spans(data, type_name):
    """(start, end) of the data of each stream whose dictionary names type_name."""
    for m in re.finditer(rb"/Type\s*/" + type_name + rb"\b", data):
        s = data.find(b"stream", m.end())
        e = data.find(b"endstream", s)
        if s < 0 or e < 0:
            continue
        s += 6
        s += 2 if data[s:s + 2] == b"\r\n" else 1
        yield s, e


def damages(data):
    """(kind, bytes): truncations, line ends rewritten, junk before the header,
    a byte lost, startxref gone or wrong, xref streams zeroed, /Prev nowhere,
    no trailer, object streams broken."""
    n = len(data)
    for pct in TRUNCATE_AT:
        yield "trunc%02d" % pct, data[: n * pct // 100]
    sx = data.rfind(b"startxref")
    if sx > 0:
        yield "trunc-startxref", data[:sx]
        yield "no-startxref", data[:sx] + b"%%EOF\n"
        yield "startxref-wrong", data[:sx] + b"startxref\n%d\n%%%%EOF\n" % (n // 3)
    if b"\r\n" not in data:
        yield "crlf", data.replace(b"\n", b"\r\n")
    else:
        yield "lf", data.replace(b"\r\n", b"\n")
    yield "junk-prefix", b"Content-Type: application/pdf\r\n\r\n" + bytes(range(32, 127)) * 3 + b"\n" + data
    yield "byte-lost", data[: n // 10] + data[n // 10 + 1:]
    if b"/Prev" in data:
        yield "prev-nowhere", re.sub(rb"/Prev\s+\d+", b"/Prev 9999999", data)
    if b"trailer" in data:
        yield "no-trailer", data.replace(b"trailer", b"trailex")
    xs = list(stream_spans(data, b"XRef"))
    if xs:
        z = bytearray(data)
        for s, e in xs:
            z[s:e] = bytes(e - s)
        yield "xrefstm-zeroed", bytes(z)
    os_ = list(stream_spans(data, b"ObjStm"))
    if os_:
        z = bytearray(data)
        s, e = os_[0]
        z[s:min(e, s + 16)] = b"\0" * (min(e, s + 16) - s)
        yield "objstm-data", bytes(z)
        yield "objstm-first", re.sub(rb"/First\s+\d+", b"/First 3", data, count=1)
        yield "objstm-n", re.sub(rb"/N\s+\d+", b"/N 999999", data, count=1)


if __name__ == "__main__":
    os.makedirs(sys.argv[1], exist_ok=True)
    for path in sys.argv[2:]:
        for kind, damaged in damages(open(path, "rb").read()):
            open(os.path.join(sys.argv[1], "%s.%s.pdf" % (os.path.basename(path)[:-4], kind)), "wb").write(damaged)
