"""Hostile files for the negative suite, written byte by byte (every number
under the test's control, nothing checked or fixed): each case is a name,
the bytes and what the tool must do: fail(message) (exit 1 with that library
message, any when None), OK (exit 0, output checks clean) or ANY."""
import functools
import os
import zlib

OK, ANY, GiB2 = "ok", "any", 1 << 31


def fail(message=None):
    return ("fail", message)


class Pdf:
    """A file being written: objects at known offsets, then its sections."""

    def __init__(self, header=b"%PDF-1.5\n", pages=True, content=b"BT ET"):
        self.out, self.offsets = bytearray(header), {}
        if pages:  # objects 1 (catalog), 2 (pages), 3 (page), 4 (content stream)
            self.obj(1, b"<< /Type /Catalog /Pages 2 0 R >>")
            self.obj(2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
            self.obj(3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>")
            self.stream(4, b"", content)

    def obj(self, num, body):
        self.offsets[num] = len(self.out)
        self.out += b"%d 0 obj\n" % num + body + b"\nendobj\n"

    def stream(self, num, entries, data, length=None):
        """/Length is the data's length unless given."""
        self.obj(num, b"<<" + entries + b" /Length " + (length or b"%d" % len(data)) + b">>\nstream\n" + data +
                 b"\nendstream")

    def objstm(self, num, objects):
        """An object stream of (number, body) pairs."""
        head, body = b"", b""
        for n, b in objects:
            head, body = head + b"%d %d " % (n, len(body)), body + b + b" "
        self.stream(num, b"/Type /ObjStm /N %d /First %d" % (len(objects), len(head)), head + body)

    def classic(self, count, extra=b""):
        """Closes the file with a classic table of objects 0..count-1."""
        at = len(self.out)
        self.out += b"xref\n0 %d\n" % count + b"%010d 65535 f\r\n" % 0
        for n in range(1, count):
            self.out += b"%010d 00000 n\r\n" % self.offsets[n] if n in self.offsets else b"0000000000 00000 f\r\n"
        self.out += b"trailer\n<</Size %d /Root 1 0 R" % count + extra + b">>\n"
        return self.tail(at)

    def xref_stream(self, num, rows, entries, widths=(1, 4, 2), data=None, length=None):
        """A Flate cross-reference stream of (type, f2, f3) rows; data overrides them."""
        if data is None:
            data = b"".join(v.to_bytes(8, "big")[8 - w:] if w else b"" for row in rows for v, w in zip(row, widths))
        self.stream(num, b"/Type /XRef /W [%d %d %d] /Filter /FlateDecode" % widths + entries, zlib.compress(data, 9),
                    length)

    def closed(self, count, extra=b"", placed=None, **kwargs):
        """Closes the file with a cross-reference stream `count` listing objects
        1..count-1 (in use where written, free if not, `placed`: number -> row)
        and itself."""
        at, placed = len(self.out), placed or {}
        rows = [(0, 0, 65535)] + [placed.get(n) or ((1, self.offsets[n], 0) if n in self.offsets else (0, 0, 0))
                                  for n in range(1, count)] + [(1, at, 0)]
        self.xref_stream(count, rows, b" /Size %d /Root 1 0 R" % (count + 1) + extra, **kwargs)
        return self.tail(at)

    def tail(self, startxref):
        self.out += b"startxref\n%d\n%%%%EOF\n" % startxref
        return bytes(self.out)


def minimal():
    return Pdf(b"%PDF-1.4\n").classic(5)


def _object_file(body):
    """A classic file whose object 5 has the given body."""
    pdf = Pdf()
    pdf.obj(5, body)
    return pdf.classic(6)


def _objstm_file(entries, content, length=None, first=4, root=False):
    """Object 6 in object stream 5 of the given entries and raw content; root:
    object 6 is the catalog the trailer names, so that its value is read."""
    pdf = Pdf()
    pdf.stream(5, b"/Type /ObjStm /N 1 /First %d" % first + entries, content, length=length)
    data = pdf.closed(7, placed={6: (2, 5, 0)})
    return data.replace(b"/Root 1 0 R", b"/Root 6 0 R") if root else data


def object_streams():
    # An object stream that lists itself as one of its objects (those whose
    # /Length lies inside themselves: parser tests).
    pdf = Pdf()
    pdf.objstm(5, [(5, b"<< /A 1 >>"), (6, b"(six)")])
    yield "objstm-contains-itself", pdf.closed(7, placed={5: (2, 5, 0), 6: (2, 5, 1)}), fail()


@functools.lru_cache(maxsize=None)
def _zeros_past_limit():
    """Flate data of 256 MiB + 1 zero bytes: one past the per-stream limit."""
    return zlib.compress(b"\0" * ((256 << 20) + 1), 1)


def bombs():
    for name, filters, data, message in (
            ("bomb-objstm-flate", b"/FlateDecode", _zeros_past_limit(), "PdfDeflateStreamFilter::Filter:limit"),
            # Flate under the limit around LZW past it: the chain as a whole.
            ("bomb-objstm-lzw", b"[/FlateDecode /LZWDecode]", zlib.compress(_lzw_encode_zeros(80000), 9),
             "PdfLZWDecodeStreamFilter::Filter:limit")):
        pdf = Pdf()
        pdf.stream(5, b"/Type /ObjStm /N 1 /First 4 /Filter " + filters, data)
        yield name, pdf.closed(7, placed={6: (2, 5, 0)}), fail(message)
    # Many object streams each decoding to 64 MiB (under the per-stream
    # limit): what is kept decoded at once, and all the decoding done for one
    # file, must stay bounded. The padding comes first (the header is read
    # after white space), so it is compressed once for all of them.
    padding, common, pdf, placed = b" " * (64 << 20), zlib.compressobj(1), Pdf(), {}
    head = common.compress(padding)
    for stm in range(5, 53, 2):
        header, c = b"%d 0 " % (stm + 1), common.copy()
        pdf.stream(stm, b"/Type /ObjStm /N 1 /First %d /Filter /FlateDecode" % (len(padding) + len(header)),
                   head + c.compress(header + b"(x)") + c.flush())
        placed[stm + 1] = (2, stm, 0)
    yield "bomb-many-objstm", pdf.closed(53, placed=placed), fail("PdfCompressedStream::Decompress:limit")


def _lzw_encode_zeros(repeats):
    """LZW data that decodes to runs of zeros: codes 0, 258, 259, ... 4095
    (each one zero longer than the one before), then code 4095 (3838 zeros)
    repeated, then EOD. Code widths follow the decoder's early change."""
    out, acc, bits, width, next_code = bytearray(), 0, 0, 9, 258
    for i, code in enumerate([256, 0] + list(range(258, 4096)) + [4095] * repeats + [257]):
        acc, bits = (acc << width) | code, bits + width
        while bits >= 8:
            bits -= 8
            out.append((acc >> bits) & 0xFF)
        acc &= (1 << bits) - 1
        if i >= 2 and next_code < 4096:  # from the second code after the clear on
            next_code += 1
            width = {511: 10, 1023: 11, 2047: 12}.get(next_code, width)
    return bytes(out + (bytes([(acc << (8 - bits)) & 0xFF]) if bits else b""))


def huge_numbers():
    # /Length 2^31 (far past the end: the data ends at "endstream", the output
    # carries the length copied), negative and absurd lengths.
    for name, length in (("length-2^31-content", b"%d" % GiB2), ("length-negative", b"-5"),
                         ("length-2^63", b"9223372036854775808"), ("length-real", b"5.5")):
        pdf = Pdf()
        pdf.out = pdf.out.replace(b"/Length 5>>", b"/Length " + length + b">>", 1)
        yield name, pdf.classic(5), OK
    # The same on an object stream and on a cross-reference stream.
    pdf = Pdf()
    pdf.stream(5, b"/Type /ObjStm /N 1 /First 4", b"6 0 (six)", length=b"%d" % GiB2)
    yield "length-2^31-streams", pdf.closed(7, placed={6: (2, 5, 0)}, length=b"%d" % GiB2), OK
    # /Size 2^31 with entries for five objects only.
    yield "size-2^31", Pdf().closed(5).replace(b"/Size 6", b"/Size %d" % GiB2), \
        fail("PdfFileParser::LeerCrossReferenceStream. bad /Index")
    # /Index pairs at and around 2^31, and counts that overflow when added.
    for name, index in (("index-start-2^31", b"[%d 1]" % GiB2), ("index-count-2^31", b"[0 %d]" % GiB2),
                        ("index-2^63", b"[0 9223372036854775807 9223372036854775807 2]")):
        pdf = Pdf()
        at = len(pdf.out)
        pdf.xref_stream(5, [(1, pdf.offsets[1], 0)], b" /Size 6 /Index " + index + b" /Root 1 0 R")
        yield name, pdf.tail(at), fail()
    # A classic subsection claiming 2^31 rows, and one starting at 2^31.
    for name, head in (("classic-count-2^31", b"0 %d\n" % GiB2), ("classic-first-2^31", b"%d 5\n" % GiB2)):
        yield name, Pdf().classic(5).replace(b"xref\n0 5\n", b"xref\n" + head), fail()
    # An in-use entry of generation 2^32-1.
    pdf = Pdf()
    yield "generation-2^32-1", pdf.closed(6, placed={5: (1, pdf.offsets[1], 0xFFFFFFFF)}, widths=(1, 4, 4)), fail()
    yield "startxref-huge", minimal().replace(b"startxref\n", b"startxref\n999999999999999999999999999999 %"), fail()


def nesting():
    # Inside an object stream and in a trailer (plain objects: parser tests);
    # deep but legal (200 levels) is accepted.
    pdf = Pdf()
    pdf.objstm(5, [(1, b"<< /Type /Catalog /Pages 2 0 R /X " + b"[" * 100000 + b">>")])
    yield "nesting-in-objstm", pdf.closed(6, placed={1: (2, 5, 0)}), fail("PdfFileParser::ParseValue:nesting too deep")
    yield "nesting-in-trailer", Pdf().classic(5, b" /X " + b"[" * 100000), fail("PdfFileParser::ParseValue:nesting too deep")
    yield "nesting-200", _object_file(b"[" * 200 + b"]" * 200), OK


def damaged_syntax():
    # Damage other readers repair, which the copy must not carry on as
    # something no PDF may hold.
    for name, body in (("name-stray-hash", b"<< /Type /XObject /Subtype /Imag# /A#zz 1 >>"),
                       ("entry-without-value", b"<< /A ] /B 1 >>"), ("entry-without-value-endobj", b"<< /A endobj /B 1 >>")):
        yield name, _object_file(body), OK


def long_tokens():
    # A literal string and a hexadecimal string just over 64 MiB (the blank
    # after "<" ends the token there, so the string reader meets it).
    over = (64 << 20) + 16
    for name, message, body in (("long-string", "PdfParser::ParseString:Limit", b"(" + b"s" * over + b")"),
                                ("long-hexstring", "PdfParser::ParseHexString:Limit", b"< " + b"4" * over + b">")):
        yield name, _object_file(b"[" + body + b"]"), fail(message)


def short_xref_stream():
    # Widths whose sum is 0 with a non-empty range, and widths over 8.
    for name, widths in (("xref-widths-zero", (0, 0, 0)), ("xref-width-9", (1, 9, 1))):
        pdf = Pdf()
        at = len(pdf.out)
        pdf.xref_stream(5, [], b" /Size 6 /Root 1 0 R", widths=widths, data=b"\0" * 40)
        yield name, pdf.tail(at), fail()


def amplification():
    # Many streams whose /Length is one shared object holding a long array:
    # each fetch of that object must not build the array again.
    pdf = Pdf()
    pdf.obj(5, b"[" + b"0 " * 500000 + b"]")
    for n in range(6, 2006):
        pdf.stream(n, b"", b"x", length=b"5 0 R")
    yield "shared-length-array", pdf.classic(2006), OK
    # Many streams with a wrong /Length and one "endstream" at the very end:
    # finding the end of each must not rescan the rest of the file each time.
    pdf = Pdf()
    for n in range(5, 40005):
        pdf.obj(n, b"<< /Length 1 >>\nstream\nxyz")
    pdf.out += b"\nendstream\n"
    yield "lengths-without-endstream", pdf.classic(40005), fail("PdfFileWriter::WriteDictionary:stream data limit")
    # Many objects whose literal (or hexadecimal) string is left open, closed
    # only at the end of the file: each would run over all that follow it.
    for name, opening, closing in (("strings-over-objects", b"(", b")"), ("hexstrings-over-objects", b"<", b">")):
        pdf = Pdf()
        for n in range(5, 30005):
            pdf.obj(n, opening)
        pdf.out += closing * 30000 + b"\n"
        yield name, pdf.classic(30005), fail("PdfFileParser::DameObjeto:limit")
    # An object stream holding a catalog with an array of many numbers: the
    # values built from one small file must stay bounded.
    pdf = Pdf(pages=False)
    pdf.obj(2, b"<< /Type /Pages /Kids [] /Count 0 >>")
    pdf.stream(3, b"/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode",
               zlib.compress(b"1 0 << /Type /Catalog /Pages 2 0 R /X [" + b"0 " * (3 << 20) + b"] >>", 1))
    yield "values-from-objstm", pdf.closed(4, placed={1: (2, 3, 0)}), fail("PdfFileParser::NuevoValue:limit")
    # Three million empty subsections ("0 0") in a classic table: each makes
    # a record, and records cost memory even without entries.
    yield "empty-subsections", Pdf().classic(5).replace(b"trailer", b"0 0\n" * (3 << 20) + b"trailer", 1), \
        fail("PdfFileParser::ParseCrossReference:limit")


def messages():
    """Messages of the reader and writer that no parser or writer test
    checks, and two that show the tool passes a library message on."""
    rows = [
        ("No es archivo pdf.", b"%PDX-1.4\n" + minimal()[9:]),
        ("Encrypted", Pdf().closed(5, b" /Encrypt << /Filter /Standard >>")),
        ("PdfFileParser::ParseKeyValuePair", minimal().replace(b"<</Size 5", b"<<(Size) 5")),
        ("PdfFileParser::LeerCrossReferenceStream. no /Size", Pdf().closed(5).replace(b"/Size 6", b"/Sixe 6")),
        ("PdfFileParser::ParseValue:end of data", _objstm_file(b"", b"6 0     ", root=True)),
        ("/OffsetStream no /Length", _objstm_file(b"", b"6 0 (six)").replace(b" /Length 9>>", b" /Lxngth 9>>")),
        ("PdfCompressedStream::DecompressDict() length=0", _objstm_file(b"", b"", length=b"0")),
        ("PdfCompressedStream::DecodePredictor. decode value != PdfDiccionario", _objstm_file(b" /DecodeParms 5", b"6 0 (six)")),
        ("/DCTDecode", _objstm_file(b" /Filter /DCTDecode", b"6 0 (six)")),
        ("PdfFileParser::DameObjeto:recursion", _length_chain(40)),
    ]
    for i, (message, data) in enumerate(rows):
        yield "message-%02d" % i, data, fail(message)


PUBSEC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "pubsec")


def public_key():
    """Files encrypted for certificates, opened with tests/data/pubsec/alice.p12 (cases named pubsec-*)."""
    def envelope(name):
        return b"<" + open(os.path.join(PUBSEC, name), "rb").read().hex().encode() + b">"

    def file(recipients, v=b"5", method=b"/AESV3"):
        return Pdf().closed(5, b" /Encrypt << /Filter /Adobe.PubSec /SubFilter /adbe.pkcs7.s5 /V " + v +
                            b" /CF << /DefaultCryptFilter << /CFM " + method + b" /Recipients [" + recipients +
                            b"] >> >> /StmF /DefaultCryptFilter /StrF /DefaultCryptFilter >>")
    rows = [
        ("PdfDecryption:recipients limit", file(b"<30> " * 4097)),
        ("CmsEnvelope:malformed", file(envelope("pkcs1.der")[:-9] + b">")),  # the envelope's own table: crypt tests
        ("PdfDecryption:not a recipient", file(b"")),
        ("PdfDecryption:unsupported Encrypt dictionary", file(envelope("pkcs1.der"), v=b"6")),
        ("PdfDecryption:unsupported Encrypt dictionary", file(envelope("pkcs1.der"), v=b"4", method=b"/Other")),
    ]
    for i, (message, data) in enumerate(rows):
        yield "pubsec-%02d" % i, data, fail(message)


def _length_chain(depth):
    """Object streams 10, 12, 14, ... each with its /Length in the next one:
    fetching the first starts a chain of fetches deeper than the limit."""
    pdf, placed = Pdf(), {}
    for stm in range(10, 10 + 2 * depth, 2):
        content = b"%d 0 9" % (stm + 1)
        pdf.stream(stm, b"/Type /ObjStm /N 1 /First %d" % (len(content) - 1), content,
                   length=b"%d 0 R" % (stm + 3) if stm + 2 < 10 + 2 * depth else None)
        placed[stm + 1] = (2, stm, 0)
    return pdf.closed(10 + 2 * depth, placed=placed)
