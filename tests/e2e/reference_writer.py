#!/usr/bin/python3
"""A small, slow writer of RC4-128 (Standard security handler, revision 3)
encrypted copies that keep every object's number and generation, as
`varnel encrypt` does. It exists only to feed the checker's self-test with
known-good outputs and, through --fault, with outputs that carry one
deliberate fault each, so that the self-test can prove the checker notices.

    reference_writer.py IN OUT --user U --owner O --permissions LETTERS [--fault NAME]

Every object is written as a top-level object (object streams are copied
as streams too); strings are written as hexadecimal strings.
"""

import argparse
import decimal
import hashlib
import os
import sys
import zlib

import pikepdf

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from check_encrypted import is_xref_stream, xref_in_use  # noqa: E402

PAD = bytes.fromhex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A")
LETTER_BITS = {"P": 0x804, "D": 0x4, "M": 0x8, "C": 0x10, "A": 0x20, "S": 0x400}

FAULTS = {
    "drop-object": "leave out the highest-numbered ordinary object",
    "flip-stream-byte": "change one byte of the first non-empty stream",
    "plain-string": "write the first string without encrypting it",
    "utf16-to-utf8": "transcode strings that start with FE FF to UTF-8",
    "wrong-p": "grant fill-in-forms (0x100) beyond the letters",
    "copy-xref-stream": "copy the input's cross-reference streams",
    "drop-info": "leave /Info out of the trailer",
    "extra-object": "add an object that the input does not have",
    "short-length": "write streams one byte short",
    "header-1.4": "write a %PDF-1.4 header",
    "gen-zero": "write every object with generation 0",
    "empty-owner": "use an empty owner password as it is instead of making one up",
}


def rc4(key, data):
    s = list(range(256))
    j = 0
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 0xFF
        s[i], s[j] = s[j], s[i]
    out = bytearray(len(data))
    i = j = 0
    for n, byte in enumerate(data):
        i = (i + 1) & 0xFF
        j = (j + s[i]) & 0xFF
        s[i], s[j] = s[j], s[i]
        out[n] = byte ^ s[(s[i] + s[j]) & 0xFF]
    return bytes(out)


def md5(*parts):
    h = hashlib.md5()
    for p in parts:
        h.update(p)
    return h.digest()


class Keys:
    def __init__(self, user, owner, p, file_id):
        pu = (user + PAD)[:32]
        po = (owner + PAD)[:32]
        d = md5(po)
        for _ in range(50):
            d = md5(d)
        o = pu
        for i in range(20):
            o = rc4(bytes(b ^ i for b in d), o)
        key = md5(pu, o, (p & 0xFFFFFFFF).to_bytes(4, "little"), file_id)
        for _ in range(50):
            key = md5(key)
        u = md5(PAD, file_id)
        for i in range(20):
            u = rc4(bytes(b ^ i for b in key), u)
        self.o, self.u, self.key, self.p = o, u + bytes(16), key, p

    def object_key(self, num, gen):
        return md5(self.key, num.to_bytes(4, "little")[:3], gen.to_bytes(4, "little")[:2])


class Writer:
    def __init__(self, pdf, keys, fault):
        self.pdf, self.keys, self.fault = pdf, keys, fault
        self.plain_string_done = False
        self.flip_done = False

    def string(self, data, key):
        if self.fault == "utf16-to-utf8" and data.startswith(b"\xfe\xff"):
            data = data[2:].decode("utf-16-be", "replace").encode("utf-8")
        if self.fault == "plain-string" and not self.plain_string_done:
            self.plain_string_done = True
            return b"<" + data.hex().encode() + b">"
        return b"<" + rc4(key, data).hex().encode() + b">"

    def value(self, obj, key, depth=0):
        if isinstance(obj, bool):
            return b"true" if obj else b"false"
        if obj is None:
            return b"null"
        if isinstance(obj, int):
            return str(obj).encode()
        if isinstance(obj, (decimal.Decimal, float)):
            return format(decimal.Decimal(obj), "f").encode()
        if obj.is_indirect and depth > 0:
            return f"{obj.objgen[0]} {obj.objgen[1]} R".encode()
        if isinstance(obj, pikepdf.String):
            return self.string(bytes(obj), key)
        if isinstance(obj, pikepdf.Name):
            return obj.unparse(resolved=True)
        if isinstance(obj, pikepdf.Array):
            return b"[" + b" ".join(self.value(x, key, depth + 1) for x in obj) + b"]"
        if isinstance(obj, pikepdf.Stream):
            raw = obj.read_raw_bytes()
            if self.fault == "flip-stream-byte" and raw and not self.flip_done:
                self.flip_done = True
                raw = bytes([raw[0] ^ 0x01]) + raw[1:]
            length = len(raw) - 1 if self.fault == "short-length" and raw else len(raw)
            items = {k: v for k, v in obj.stream_dict.items() if k != "/Length"}
            head = self.dictionary(items, key, depth)[:-2] + b"/Length " + str(length).encode() + b">>"
            return head + b"\nstream\n" + rc4(key, raw) + b"\nendstream"
        if isinstance(obj, pikepdf.Dictionary):
            return self.dictionary(dict(obj.items()), key, depth)
        if obj._type_code == pikepdf.ObjectType.null:
            return b"null"
        raise ValueError(f"cannot write {obj!r}")

    def dictionary(self, items, key, depth):
        parts = [pikepdf.Name(k).unparse() + b" " + self.value(v, key, depth + 1) for k, v in items.items()]
        return b"<<" + b" ".join(parts) + b">>"




def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("input")
    ap.add_argument("output")
    ap.add_argument("--user", default="")
    ap.add_argument("--owner", default="")
    ap.add_argument("--permissions", default="")
    ap.add_argument("--fault", choices=sorted(FAULTS))
    args = ap.parse_args()

    bits = 0
    for letter, value in LETTER_BITS.items():
        if letter in args.permissions:
            bits |= value
    if args.fault == "wrong-p":
        bits |= 0x100
    p = bits | 0xFFFFF0C0
    p = p - (1 << 32) if p & 0x80000000 else p
    file_id = hashlib.md5(args.output.encode()).digest()
    owner = args.owner or ("" if args.fault == "empty-owner" else "generated-owner")
    keys = Keys(args.user.encode(), owner.encode(), p, file_id)

    pdf = pikepdf.open(args.input, inherit_page_attributes=False)
    ids = xref_in_use(args.input)
    top = max(n for n, _ in ids)
    if args.fault == "drop-object":  # an object in the middle: a font, page or content
        ordinary = [i for i in ids if not is_xref_stream(pdf.get_object(i))
                    and i != tuple(pdf.trailer.Root.objgen)]
        ids.remove(ordinary[len(ordinary) // 2])

    writer = Writer(pdf, keys, args.fault)
    header = b"%PDF-1.4" if args.fault == "header-1.4" else b"%PDF-1.5"
    out = bytearray(header + b"\n%\xe2\xe3\xcf\xd3\n")
    offsets = {}

    def emit(num, gen, body):
        offsets[num] = (len(out), gen)
        out.extend(f"{num} {gen} obj\n".encode() + body + b"\nendobj\n")

    for num, gen in ids:
        obj = pdf.get_object((num, gen))
        if is_xref_stream(obj) and args.fault != "copy-xref-stream":
            continue
        if args.fault == "gen-zero":
            gen = 0
        emit(num, gen, writer.value(obj, keys.object_key(num, gen)))

    if args.fault == "extra-object":
        top += 1
        emit(top, 0, b"<</Extra true>>")
    enc = top + 1
    emit(enc, 0, b"<</Filter/Standard/V 2/R 3/Length 128/P %d/O<%s>/U<%s>>>"
         % (p, keys.o.hex().encode(), keys.u.hex().encode()))
    xref = enc + 1
    offsets[xref] = (len(out), 0)
    rows = bytearray()
    for num in range(xref + 1):
        if num in offsets:
            off, gen = offsets[num]
            rows += b"\x01" + off.to_bytes(4, "big") + gen.to_bytes(2, "big")
        else:
            rows += b"\x00" + bytes(4) + (b"\xff\xff" if num == 0 else b"\x00\x00")
    data = zlib.compress(bytes(rows))
    trailer = b"/Root %d %d R" % tuple(pdf.trailer.Root.objgen)
    if "/Info" in pdf.trailer and pdf.trailer.Info.is_indirect and args.fault != "drop-info":
        trailer += b"/Info %d %d R" % tuple(pdf.trailer.Info.objgen)
    out += (b"%d 0 obj\n<</Type/XRef/Size %d/W[1 4 2]/Filter/FlateDecode/Length %d%s"
            b"/Encrypt %d 0 R/ID[<%s><%s>]>>\nstream\n"
            % (xref, xref + 1, len(data), trailer, enc, file_id.hex().encode(), file_id.hex().encode()))
    out += data + b"\nendstream\nendobj\nstartxref\n%d\n%%%%EOF\n" % offsets[xref][0]
    with open(args.output, "wb") as f:
        f.write(out)
    return 0


if __name__ == "__main__":
    sys.exit(main())
