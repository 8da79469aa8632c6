#!/usr/bin/python3
"""Writes the seed inputs of every fuzz target: pieces of the sample PDF files
(whole small files, object text, the raw data of their filtered streams and
their cross-reference rows) and generated data for each filter.

Usage: seeds.py OUT_DIR PDF_FILE_OR_DIR...   (writes OUT_DIR/<target>/...)
"""
import base64
import hashlib
import os
import random
import sys
import zlib

import pikepdf

MAX_DOCUMENT = 128 << 10
MAX_PIECE = 64 << 10


class Seeds:
    def __init__(self, root):
        self.root = root
        self.counts = {}

    def add(self, target, data):
        if not data or len(data) > MAX_DOCUMENT:
            return
        d = os.path.join(self.root, target)
        os.makedirs(d, exist_ok=True)
        name = hashlib.sha1(data).hexdigest()
        path = os.path.join(d, name)
        if not os.path.exists(path):
            with open(path, "wb") as f:
                f.write(data)
            self.counts[target] = self.counts.get(target, 0) + 1


def lzw_encode(data, early=True):
    """LZW as PDF writes it: 9..12-bit codes, Clear first, EOD last."""
    table = {bytes([i]): i for i in range(256)}
    next_code, width = 258, 9
    out, acc, bits = bytearray(), 0, 0

    def put(code):
        nonlocal acc, bits
        acc = (acc << width) | code
        bits += width
        while bits >= 8:
            bits -= 8
            out.append((acc >> bits) & 0xFF)
        acc &= (1 << bits) - 1

    put(256)
    w = b""
    for byte in data:
        wc = w + bytes([byte])
        if wc in table:
            w = wc
            continue
        put(table[w])
        if next_code < 4096:
            table[wc] = next_code
            next_code += 1
            if next_code + (1 if early else 0) > (1 << width) and width < 12:
                width += 1
        else:
            put(256)
            table = {bytes([i]): i for i in range(256)}
            next_code, width = 258, 9
        w = bytes([byte])
    if w:
        put(table[w])
    put(257)
    if bits:
        out.append((acc << (8 - bits)) & 0xFF)
    return bytes(out)


def samples():
    rng = random.Random(7)
    text = b"BT /F1 12 Tf 72 712 Td (Hello, world) Tj ET\n" * 40
    return [text, b"\0" * 5000, bytes(rng.randrange(256) for _ in range(3000)),
            bytes(range(256)) * 8, b"abababababababab" * 100, b"x"]


def predictor_header(predictor, colors, bits, columns):
    """The fuzz_predictor parameter bytes: selector 2 takes the value modulo
    4096, which reaches every small value directly."""
    return b"".join(b"\x02" + v.to_bytes(4, "big") for v in (predictor, colors, bits, columns))


def png_rows(data, row_bytes, tag):
    out = bytearray()
    for i in range(0, len(data) - row_bytes + 1, row_bytes):
        out.append(tag)
        out += data[i:i + row_bytes]
    return bytes(out)


def xrefstream_seeds(seeds):
    """Inputs for fuzz_xrefstream: the parameter bytes and correct rows for
    its fixed file (catalog, pages, object stream, then the stream itself)."""
    def obj(n, body):
        return b"%d 0 obj\n" % n + body + b"\nendobj\n"
    f = b"%PDF-1.5\n"
    o1 = len(f); f += obj(1, b"<< /Type /Catalog /Pages 2 0 R >>")
    o2 = len(f); f += obj(2, b"<< /Type /Pages /Kids [ 4 0 R ] /Count 1 >>")
    page = b"<< /Type /Page /Parent 2 0 R /MediaBox [ 0 0 9 9 ] /Annots 5 0 R >> "
    head = b"4 0 5 %d " % len(page)
    stm = head + page + b"[ (x) <41> /N 1 0 R ]"
    o3 = len(f)
    f += obj(3, b"<< /Type /ObjStm /N 2 /First %d /Length %d >>\nstream\n" % (len(head), len(stm)) + stm + b"\nendstream")
    o6 = len(f)
    rows = [(0, 0, 65535), (1, o1, 0), (1, o2, 0), (1, o3, 0), (2, 3, 0), (2, 3, 1), (1, o6, 0)]
    for w in ((1, 2, 1), (1, 4, 2), (0, 2, 0), (1, 8, 4), (1, 3, 0)):
        data = bytearray()
        for t, f2, f3 in rows:
            if w[0] == 0 and t != 1:
                t, f2, f3 = 1, 0, 0
            data += t.to_bytes(8, "big")[8 - w[0]:] + f2.to_bytes(8, "big")[8 - w[1]:] + f3.to_bytes(8, "big")[8 - w[2]:]
        size = (len(rows)).to_bytes(4, "big")
        for flags in (0x01 | 0x10, 0x02, 0x00 | 0x20):
            pairs = b"\0\0\0\0" + size if flags & 0x10 else b"\0\0\0\0\0\0\0\x04" + b"\0\0\0\x04\0\0\0\x03"
            params = bytes(w) + bytes([flags]) + size + pairs.ljust(32, b"\0")
            seeds.add("xrefstream", params + bytes(data))
        cols = sum(w)
        params = bytes(w) + bytes([0x04 | 0x01]) + size + b"\0" * 32
        seeds.add("xrefstream", params + png_rows(bytes(data), cols, 0))


def pdf_files(args):
    for a in args:
        if os.path.isdir(a):
            for name in sorted(os.listdir(a)):
                if name.endswith(".pdf"):
                    yield os.path.join(a, name)
        elif os.path.isfile(a):
            yield a


def from_pdf(seeds, path):
    data = open(path, "rb").read()
    if len(data) <= MAX_DOCUMENT:
        seeds.add("document", data)
        seeds.add("recovery", data)
        # Object text, cut at "endobj", for the syntax target.
        for piece in data.split(b"endobj")[:40]:
            seeds.add("syntax", piece[-4096:] + b"endobj")
    try:
        pdf = pikepdf.open(path)
    except Exception:
        return
    with pdf:
        for o in pdf.objects:
            if not isinstance(o, pikepdf.Stream):
                continue
            try:
                raw = o.read_raw_bytes()
            except Exception:
                continue
            if len(raw) > MAX_PIECE:
                continue
            filt = o.get("/Filter")
            names = [str(filt)] if isinstance(filt, pikepdf.Name) else [str(x) for x in filt] if filt is not None else []
            if not names:
                continue
            first = names[0]
            if first == "/FlateDecode":
                seeds.add("flate", raw)
                parms = o.get("/DecodeParms")
                if isinstance(parms, pikepdf.Dictionary) and "/Predictor" in parms:
                    try:
                        rows = zlib.decompress(raw)
                    except zlib.error:
                        continue
                    p = int(parms.get("/Predictor", 1))
                    c = int(parms.get("/Colors", 1))
                    b = int(parms.get("/BitsPerComponent", 8))
                    n = int(parms.get("/Columns", 1))
                    seeds.add("predictor", predictor_header(p, c, b, n) + rows[:MAX_PIECE])
            elif first == "/LZWDecode":
                seeds.add("lzw", raw)
            elif first == "/ASCII85Decode":
                seeds.add("ascii85", raw)
                if len(names) > 1 and names[1] == "/LZWDecode":
                    try:
                        seeds.add("lzw", base64.a85decode(raw.strip().rstrip(b"~>").rstrip(b"~") + b"~>", adobe=False))
                    except Exception:
                        pass


def generated(seeds):
    for s in samples():
        for level in (0, 1, 9):
            z = zlib.compress(s, level)
            seeds.add("flate", z)
            seeds.add("flate", z[:len(z) // 2])
        seeds.add("lzw", lzw_encode(s))
        seeds.add("lzw", lzw_encode(s)[:-2])
        a = base64.a85encode(s)
        seeds.add("ascii85", a + b"~>")
        seeds.add("ascii85", base64.a85encode(s, wrapcol=64) + b"\n~>")
        for pred, colors, bits, cols in ((12, 1, 8, 5), (15, 3, 8, 4), (11, 1, 16, 3), (2, 3, 8, 4), (2, 1, 1, 16), (1, 1, 8, 1)):
            row = (colors * bits * cols + 7) // 8
            body = s[: row * 20]
            if pred >= 10:
                body = b"".join(bytes([i % 5]) + body[j:j + row] for i, j in enumerate(range(0, len(body) - row + 1, row)))
            seeds.add("predictor", predictor_header(pred, colors, bits, cols) + body)
    xrefstream_seeds(seeds)


def main():
    out = sys.argv[1]
    seeds = Seeds(out)
    for path in pdf_files(sys.argv[2:]):
        from_pdf(seeds, path)
    generated(seeds)
    for target in sorted(seeds.counts):
        print("  %-10s %4d new seeds" % (target, seeds.counts[target]))


if __name__ == "__main__":
    main()
