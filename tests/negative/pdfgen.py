"""Small PDF files written byte by byte for the negative suite: objects at
known offsets, classic tables, cross-reference streams and object streams,
with every number under the test's control (nothing is checked or fixed)."""
import struct
import zlib


class Pdf:
    def __init__(self, header=b"%PDF-1.5\n"):
        self.out = bytearray(header)
        self.offsets = {}

    def pos(self):
        return len(self.out)

    def raw(self, data):
        self.out += data
        return self

    def obj(self, num, body, gen=0):
        """'num gen obj' body 'endobj'; returns the offset."""
        at = self.pos()
        self.offsets[num] = at
        self.out += b"%d %d obj\n" % (num, gen) + body + b"\nendobj\n"
        return at

    def stream(self, num, entries, data, length=None, gen=0):
        """A stream object; /Length is the data's length unless given."""
        if length is None:
            length = b"%d" % len(data)
        return self.obj(num, b"<<" + entries + b" /Length " + length + b">>\nstream\n" + data + b"\nendstream", gen)

    def objstm(self, num, objects, entries=b"", compress=False, data=None):
        """An object stream of (number, body) pairs; data overrides the
        decoded content."""
        head, body = b"", b""
        for n, b in objects:
            head += b"%d %d " % (n, len(body))
            body += b + b" "
        content = data if data is not None else head + body
        filt = b""
        if compress:
            content = zlib.compress(content, 9)
            filt = b" /Filter /FlateDecode"
        return self.stream(num, b"/Type /ObjStm /N %d /First %d" % (len(objects), len(head)) + filt + entries, content)

    def classic_xref(self, rows, trailer, first=0):
        """A classic table with one subsection; rows are (offset, gen, 'n'|'f')."""
        at = self.pos()
        self.out += b"xref\n%d %d\n" % (first, len(rows))
        for off, gen, kind in rows:
            self.out += b"%010d %05d %s\r\n" % (off, gen, kind.encode())
        self.out += b"trailer\n<<" + trailer + b">>\n"
        return at

    def xref_stream(self, num, rows, entries, widths=(1, 4, 2), compress=True, data=None, length=None):
        """A cross-reference stream; rows are (type, f2, f3); data overrides
        the encoded entries."""
        if data is None:
            data = b"".join(_field(t, widths[0]) + _field(f2, widths[1]) + _field(f3, widths[2]) for t, f2, f3 in rows)
        filt = b""
        if compress:
            data = zlib.compress(data, 9)
            filt = b" /Filter /FlateDecode"
        w = b" /W [%d %d %d]" % widths
        return self.stream(num, b"/Type /XRef" + w + filt + entries, data, length=length)

    def tail(self, startxref):
        self.out += b"startxref\n%d\n%%%%EOF\n" % startxref
        return bytes(self.out)


def _field(value, width):
    return value.to_bytes(8, "big")[8 - width:] if width else b""


def catalog_and_pages(pdf, content=b"BT ET"):
    """Objects 1 (catalog), 2 (pages), 3 (page), 4 (content stream)."""
    pdf.obj(1, b"<< /Type /Catalog /Pages 2 0 R >>")
    pdf.obj(2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
    pdf.obj(3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>")
    pdf.stream(4, b"", content)


def rows_for(pdf, count):
    """Classic rows for objects 0..count-1 from the recorded offsets."""
    rows = [(0, 65535, "f")]
    for n in range(1, count):
        rows.append((pdf.offsets[n], 0, "n") if n in pdf.offsets else (0, 0, "f"))
    return rows


def minimal(content=b"BT ET"):
    """A correct four-object file with a classic table."""
    pdf = Pdf(b"%PDF-1.4\n")
    catalog_and_pages(pdf, content)
    at = pdf.classic_xref(rows_for(pdf, 5), b"/Size 5 /Root 1 0 R")
    return pdf.tail(at)
