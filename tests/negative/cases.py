"""Hostile files for the negative suite, written byte by byte: each case is a name, the bytes and what the tool
must do: fail(message) (exit 1 with that library message, any when None), OK (exit 0, output checks clean) or ANY."""
import os
import zlib

from harness import Pdf

OK, ANY, GiB2 = "ok", "any", 1 << 31


def fail(message=None):
    return ("fail", message)


def minimal():
    return Pdf(b"%PDF-1.4\n").classic(5)


def _object_file(body):
    pdf = Pdf()  # object 5 of a classic file
    pdf.obj(5, body)
    return pdf.classic(6)


def _objstm_file(entries, content, length=None, first=4, root=False):
    """Object 6 in object stream 5 of the given entries and raw content; root: object 6 is the catalog."""
    pdf = Pdf()
    pdf.stream(5, b"/Type /ObjStm /N 1 /First %d" % first + entries, content, length=length)
    data = pdf.closed(7, placed={6: (2, 5, 0)})
    return data.replace(b"/Root 1 0 R", b"/Root 6 0 R") if root else data


def structure():
    pdf = Pdf()  # an object stream that lists itself as one of its objects
    pdf.objstm(5, [(5, b"<< /A 1 >>"), (6, b"(six)")])
    yield "objstm-contains-itself", pdf.closed(7, placed={5: (2, 5, 0), 6: (2, 5, 1)}), fail()
    pdf = Pdf()  # Flate past the per-stream limit in an object stream
    pdf.stream(5, b"/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", zlib.compress(b"\0" * ((256 << 20) + 1), 1))
    yield "bomb-objstm-flate", pdf.closed(7, placed={6: (2, 5, 0)}), fail("PdfDeflateStreamFilter::Filter:limit")
    # Object streams of 64 MiB each (padding first, compressed once): the decoding done for one file is bounded.
    padding, common, pdf, placed = b" " * (64 << 20), zlib.compressobj(1), Pdf(), {}
    head = common.compress(padding)
    for stm in range(5, 53, 2):
        header, c = b"%d 0 " % (stm + 1), common.copy()
        pdf.stream(stm, b"/Type /ObjStm /N 1 /First %d /Filter /FlateDecode" % (len(padding) + len(header)),
                   head + c.compress(header + b"(x)") + c.flush())
        placed[stm + 1] = (2, stm, 0)
    yield "bomb-many-objstm", pdf.closed(53, placed=placed), fail("PdfCompressedStream::Decompress:limit")
    # /Length 2^31 (the data ends at "endstream"), negative and absurd, also of an object and a cross-reference stream.
    for name, length in (("length-2^31-content", b"%d" % GiB2), ("length-negative", b"-5"),
                         ("length-2^63", b"9223372036854775808"), ("length-real", b"5.5")):
        pdf = Pdf()
        pdf.out = pdf.out.replace(b"/Length 5>>", b"/Length " + length + b">>", 1)
        yield name, pdf.classic(5), OK
    pdf = Pdf()
    pdf.stream(5, b"/Type /ObjStm /N 1 /First 4", b"6 0 (six)", length=b"%d" % GiB2)
    yield "length-2^31-streams", pdf.closed(7, placed={6: (2, 5, 0)}, length=b"%d" % GiB2), OK
    # /Index at and around 2^31, counts that overflow when added, widths 0 and over 8; classic subsections.
    for name, index, widths in (("index-start-2^31", b"[%d 1]" % GiB2, (1, 4, 2)), ("index-count-2^31", b"[0 %d]" % GiB2,
                                (1, 4, 2)), ("index-2^63", b"[0 9223372036854775807 9223372036854775807 2]", (1, 4, 2)),
                                ("xref-widths-zero", b"[0 6]", (0, 0, 0)), ("xref-width-9", b"[0 6]", (1, 9, 1))):
        pdf = Pdf()
        at = len(pdf.out)
        pdf.xref_stream(5, [], b" /Size 6 /Index " + index + b" /Root 1 0 R", widths=widths, data=b"\0" * 40)
        yield name, pdf.tail(at), fail()
    for name, head in (("classic-count-2^31", b"0 %d\n" % GiB2), ("classic-first-2^31", b"%d 5\n" % GiB2)):
        yield name, Pdf().classic(5).replace(b"xref\n0 5\n", b"xref\n" + head), fail()
    pdf = Pdf()
    yield "generation-2^32-1", pdf.closed(6, placed={5: (1, pdf.offsets[1], 0xFFFFFFFF)}, widths=(1, 4, 4)), fail()
    yield from nesting()
    # Strings just over 64 MiB (the blank after "<" ends the token there, so the string reader meets it).
    over = (64 << 20) + 16
    for name, message, body in (("long-string", "PdfParser::ParseString:Limit", b"(" + b"s" * over + b")"),
                                ("long-hexstring", "PdfParser::ParseHexString:Limit", b"< " + b"4" * over + b">")):
        yield name, _object_file(b"[" + body + b"]"), fail(message)


def nesting():
    pdf = Pdf()  # the catalog, inside an object stream
    pdf.objstm(5, [(1, b"<< /Type /Catalog /Pages 2 0 R /X " + b"[" * 100000 + b">>")])
    yield "nesting-in-objstm", pdf.closed(6, placed={1: (2, 5, 0)}), fail("PdfFileParser::ParseValue:nesting too deep")


def amplification():
    # Many streams whose /Length is one shared long array: each fetch must not build the array again.
    pdf = Pdf()
    pdf.obj(5, b"[" + b"0 " * 500000 + b"]")
    for n in range(6, 2006):
        pdf.stream(n, b"", b"x", length=b"5 0 R")
    yield "shared-length-array", pdf.classic(2006), OK
    # Many streams with a wrong /Length and one "endstream" at the end: no rescan of the rest for each.
    pdf = Pdf()
    for n in range(5, 40005):
        pdf.obj(n, b"<< /Length 1 >>\nstream\nxyz")
    pdf.out += b"\nendstream\n"
    yield "lengths-without-endstream", pdf.classic(40005), fail("PdfFileWriter::WriteDictionary:stream data limit")
    # Many strings left open, closed only at the end of the file: each would run over all that follow it.
    for name, opening, closing in (("strings-over-objects", b"(", b")"), ("hexstrings-over-objects", b"<", b">")):
        pdf = Pdf()
        for n in range(5, 30005):
            pdf.obj(n, opening)
        pdf.out += closing * 30000 + b"\n"
        yield name, pdf.classic(30005), fail("PdfFileParser::DameObjeto:limit")
    # A catalog in an object stream with an array of many numbers: the values one small file builds are bounded.
    pdf = Pdf(pages=False)
    pdf.obj(2, b"<< /Type /Pages /Kids [] /Count 0 >>")
    pdf.stream(3, b"/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode",
               zlib.compress(b"1 0 << /Type /Catalog /Pages 2 0 R /X [" + b"0 " * (3 << 20) + b"] >>", 1))
    yield "values-from-objstm", pdf.closed(4, placed={1: (2, 3, 0)}), fail("PdfFileParser::NuevoValue:limit")
    # Three million empty subsections ("0 0"): records cost memory even without entries.
    yield "empty-subsections", Pdf().classic(5).replace(b"trailer", b"0 0\n" * (3 << 20) + b"trailer", 1), \
        fail("PdfFileParser::ParseCrossReference:limit")


def messages():
    """Messages no parser or writer test checks, and the public-key handler's (pubsec-*, opened with alice.p12)."""
    def envelope(name):
        return b"<" + open(os.path.join(PUBSEC, name), "rb").read().hex().encode() + b">"

    def pubsec(recipients, v=b"5", method=b"/AESV3"):
        return Pdf().closed(5, b" /Encrypt << /Filter /Adobe.PubSec /SubFilter /adbe.pkcs7.s5 /V " + v +
                            b" /CF << /DefaultCryptFilter << /CFM " + method + b" /Recipients [" + recipients +
                            b"] >> >> /StmF /DefaultCryptFilter /StrF /DefaultCryptFilter >>")
    rows = [
        ("PdfFileParser::ParseKeyValuePair", minimal().replace(b"<</Size 5", b"<<(Size) 5")),
        ("PdfFileParser::LeerCrossReferenceStream. no /Size", Pdf().closed(5).replace(b"/Size 6", b"/Sixe 6")),
        ("PdfFileParser::ParseValue:end of data", _objstm_file(b"", b"6 0     ", root=True)),
        ("PdfCompressedStream::DecompressDict() length=0", _objstm_file(b"", b"", length=b"0")),
        ("PdfCompressedStream::DecodePredictor. decode value != PdfDiccionario", _objstm_file(b" /DecodeParms 5", b"6 0 (six)")),
        ("/DCTDecode", _objstm_file(b" /Filter /DCTDecode", b"6 0 (six)")),
        ("PdfFileParser::DameObjeto:recursion", _length_chain(40)),
    ]
    public_key = [
        ("PdfDecryption:recipients limit", pubsec(b"<30> " * 4097)),
        ("CmsEnvelope:malformed", pubsec(envelope("pkcs1.der")[:-9] + b">")),  # the envelope's own table: crypt tests
        ("PdfDecryption:not a recipient", pubsec(b"")),
        ("PdfDecryption:unsupported Encrypt dictionary", pubsec(envelope("pkcs1.der"), v=b"6")),
        ("PdfDecryption:unsupported Encrypt dictionary", pubsec(envelope("pkcs1.der"), v=b"4", method=b"/Other")),
    ]
    for prefix, table in (("message", rows), ("pubsec", public_key)):
        for i, (message, data) in enumerate(table):
            yield "%s-%02d" % (prefix, i), data, fail(message)


PUBSEC = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "data", "pubsec")


def _length_chain(depth):
    """Object streams 10, 12, 14, ... each with its /Length in the next one: a chain of fetches past the limit."""
    pdf, placed = Pdf(), {}
    for stm in range(10, 10 + 2 * depth, 2):
        content = b"%d 0 9" % (stm + 1)
        pdf.stream(stm, b"/Type /ObjStm /N 1 /First %d" % (len(content) - 1), content,
                   length=b"%d 0 R" % (stm + 3) if stm + 2 < 10 + 2 * depth else None)
        placed[stm + 1] = (2, stm, 0)
    return pdf.closed(10 + 2 * depth, placed=placed)
