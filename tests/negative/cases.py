"""Hostile files for the negative suite: each case is a name, the file's
bytes and what the tool must do with it: FAIL (exit 1 with the message given,
or any library message when None) or OK (exit 0, output checks clean)."""
import functools
import hashlib
import struct
import zlib

from pdfgen import Pdf, catalog_and_pages, minimal, rows_for

OK = "ok"
ANY = "any"
GiB2 = 1 << 31


def fail(message=None):
    return ("fail", message)


def _pages():
    pdf = Pdf()
    catalog_and_pages(pdf)
    return pdf


def _classic(pdf, count, trailer_extra=b""):
    at = pdf.classic_xref(rows_for(pdf, count), b"/Size %d /Root 1 0 R" % count + trailer_extra)
    return pdf.tail(at)


def object_streams():
    # An object stream that lists itself as one of its own objects.
    pdf = _pages()
    pdf.objstm(5, [(5, b"<< /A 1 >>"), (6, b"(six)")])
    yield "objstm-contains-itself", _with_xref_stream(pdf, 7, compressed=[(5, 5, 0), (6, 5, 1)]), fail()
    # An object stream whose /Length lies inside itself.
    pdf = _pages()
    pdf.stream(5, b"/Type /ObjStm /N 2 /First 8", b"6 0 8 6 (six) 10", length=b"8 0 R")
    at = pdf.pos()
    rows = [(0, 0, 65535)] + [(1, pdf.offsets[n], 0) for n in range(1, 6)] + [(2, 5, 0), (1, at, 0), (2, 5, 1)]
    pdf.xref_stream(7, rows, b" /Size 9 /Root 1 0 R")
    yield "objstm-length-inside-itself", pdf.tail(at), fail()
    # Two object streams, each holding the /Length of the other.
    pdf = _pages()
    pdf.stream(5, b"/Type /ObjStm /N 1 /First 4", b"8 0 (eight)", length=b"9 0 R")
    pdf.stream(6, b"/Type /ObjStm /N 1 /First 4", b"9 0 11", length=b"8 0 R")
    at = pdf.pos()
    rows = [(0, 0, 65535)] + [(1, pdf.offsets[n], 0) for n in range(1, 7)] + [(1, at, 0), (2, 6, 0), (2, 5, 0)]
    pdf.xref_stream(7, rows, b" /Size 10 /Root 1 0 R")
    yield "objstm-lengths-cross", pdf.tail(at), fail()
    # A compressed entry naming an object stream that is itself compressed.
    pdf = _pages()
    pdf.objstm(5, [(6, b"<< /Type /ObjStm /N 0 /First 0 >>")])
    at = pdf.pos()
    rows = [(0, 0, 65535)] + [(1, pdf.offsets[n], 0) for n in range(1, 6)] + [(2, 5, 0), (1, at, 0), (2, 6, 0)]
    pdf.xref_stream(7, rows, b" /Size 9 /Root 1 0 R")
    yield "objstm-in-objstm", pdf.tail(at), fail()


@functools.lru_cache(maxsize=None)
def _zeros_past_limit():
    """Flate data of 256 MiB + 1 zero bytes: one past the per-stream limit."""
    return zlib.compress(b"\0" * ((256 << 20) + 1), 1)


def bombs():
    pdf = _pages()
    pdf.stream(5, b"/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", _zeros_past_limit())
    yield "bomb-objstm-flate", _with_xref_stream(pdf, 7, compressed=[(6, 5, 0)]), fail("PdfDeflateStreamFilter::Filter:limit")
    # Flate under the limit around LZW past it: the chain as a whole.
    pdf = _pages()
    pdf.stream(5, b"/Type /ObjStm /N 1 /First 4 /Filter [/FlateDecode /LZWDecode]", zlib.compress(_lzw_encode_zeros(80000), 9))
    yield "bomb-objstm-lzw", _with_xref_stream(pdf, 7, compressed=[(6, 5, 0)]), fail("PdfLZWDecodeStreamFilter::Filter:limit")
    # Many object streams each decoding to 64 MiB (under the per-stream
    # limit): what is kept decoded at once, and all the decoding done for one
    # file, must stay bounded. The padding comes first (the header is read
    # after white space), so it is compressed once for all of them.
    padding = b" " * (64 << 20)
    common = zlib.compressobj(1)
    head = common.compress(padding)
    pdf = _pages()
    count = 24
    compressed = []
    for i in range(count):
        stm = 5 + 2 * i
        header = b"%d 0 " % (stm + 1)
        c = common.copy()
        pdf.stream(stm, b"/Type /ObjStm /N 1 /First %d /Filter /FlateDecode" % (len(padding) + len(header)),
                   head + c.compress(header + b"(x)") + c.flush())
        compressed.append((stm + 1, stm, 0))
    yield "bomb-many-objstm", _with_xref_stream(pdf, 5 + 2 * count, compressed=compressed), \
        fail("PdfCompressedStream::Decompress:limit")


def _lzw_encode_zeros(repeats):
    """LZW data that decodes to runs of zeros: codes 0, 258, 259, ... 4095
    (each one zero longer than the one before), then code 4095 (3838 zeros)
    repeated, then EOD. Code widths follow the decoder's early change."""
    codes = [256, 0] + list(range(258, 4096)) + [4095] * repeats + [257]
    out, acc, bits = bytearray(), 0, 0
    width, next_code, previous = 9, 258, None
    for code in codes:
        acc = (acc << width) | code
        bits += width
        while bits >= 8:
            bits -= 8
            out.append((acc >> bits) & 0xFF)
        acc &= (1 << bits) - 1
        if code == 256:
            width, next_code, previous = 9, 258, None
            continue
        if previous is not None and next_code < 4096:
            next_code += 1
            width = {511: 10, 1023: 11, 2047: 12}.get(next_code, width)
        previous = code
    if bits:
        out.append((acc << (8 - bits)) & 0xFF)
    return bytes(out)


def huge_numbers():
    # A content stream whose /Length is 2^31: far past the end of the file.
    # The data is taken to end at "endstream"; the output carries the length
    # of the data actually copied.
    pdf = _pages()
    pdf.out = pdf.out.replace(b"/Length 5>>", b"/Length %d>>" % GiB2, 1)
    yield "length-2^31-content", _classic(pdf, 5), OK
    # The same on an object stream and on a cross-reference stream.
    pdf = _pages()
    pdf.stream(5, b"/Type /ObjStm /N 1 /First 4", b"6 0 (six)", length=b"%d" % GiB2)
    at = pdf.pos()
    rows = [(0, 0, 65535)] + [(1, pdf.offsets[n], 0) for n in range(1, 6)] + [(2, 5, 0), (1, at, 0)]
    pdf.xref_stream(7, rows, b" /Size 8 /Root 1 0 R", length=b"%d" % GiB2)
    yield "length-2^31-streams", pdf.tail(at), OK
    # Negative and absurd lengths.
    for name, length in (("length-negative", b"-5"), ("length-2^63", b"9223372036854775808"), ("length-real", b"5.5")):
        pdf = _pages()
        pdf.out = pdf.out.replace(b"/Length 5>>", b"/Length " + length + b">>", 1)
        yield name, _classic(pdf, 5), OK
    # /Size 2^31 with entries for five objects only.
    yield "size-2^31", _with_xref_stream(_pages(), 5).replace(b"/Size 6", b"/Size %d" % GiB2), \
        fail("PdfFileParser::LeerCrossReferenceStream. bad /Index")
    # /Index pairs at and around 2^31, and counts that overflow when added.
    for name, index in (("index-start-2^31", b"[%d 1]" % GiB2),
                        ("index-count-2^31", b"[0 %d]" % GiB2),
                        ("index-sum-overflow", b"[2147483640 10]"),
                        ("index-2^63", b"[0 9223372036854775807 9223372036854775807 2]")):
        pdf = _pages()
        at = pdf.pos()
        pdf.xref_stream(5, [(1, pdf.offsets[1], 0)], b" /Size 6 /Index " + index + b" /Root 1 0 R")
        yield name, pdf.tail(at), fail()
    # A classic subsection claiming 2^31 rows, and one starting at 2^31.
    for name, head in (("classic-count-2^31", b"0 %d" % GiB2), ("classic-first-2^31", b"%d 5" % GiB2)):
        pdf = _pages()
        at = pdf.classic_xref(rows_for(pdf, 5), b"/Size 5 /Root 1 0 R")
        pdf.out = pdf.out[:at] + pdf.out[at:].replace(b"0 5\n", head + b"\n", 1)
        yield name, pdf.tail(at), fail()
    # Object numbers and generations at the edges in an in-use entry.
    pdf = _pages()
    at = pdf.pos()
    rows = [(0, 0, 65535)] + [(1, pdf.offsets[n], 0) for n in range(1, 5)] + [(1, at, 0), (1, pdf.offsets[1], 0xFFFFFFFF)]
    pdf.xref_stream(5, rows, b" /Size 7 /Root 1 0 R", widths=(1, 4, 4))
    yield "generation-2^32-1", pdf.tail(at), fail()
    # "startxref" with a number of 30 digits.
    yield "startxref-huge", minimal().replace(b"startxref\n", b"startxref\n999999999999999999999999999999 %"), fail()


def nesting():
    # Inside an object stream and in a trailer (plain objects: parser tests).
    depth = 100000
    pdf = _pages()
    pdf.objstm(5, [(1, b"<< /Type /Catalog /Pages 2 0 R /X " + b"[" * depth + b">>")])
    at = pdf.pos()
    rows = [(0, 0, 65535), (2, 5, 0)] + [(1, pdf.offsets[n], 0) for n in range(2, 6)] + [(1, at, 0)]
    pdf.xref_stream(6, rows, b" /Size 7 /Root 1 0 R")
    yield "nesting-in-objstm", pdf.tail(at), fail("PdfFileParser::ParseValue:nesting too deep")
    pdf = _pages()
    at = pdf.classic_xref(rows_for(pdf, 5), b"/Size 5 /Root 1 0 R /X " + b"[" * depth)
    yield "nesting-in-trailer", pdf.tail(at), fail("PdfFileParser::ParseValue:nesting too deep")
    # Deep but legal (200 levels) is accepted.
    pdf = _pages()
    pdf.obj(5, b"[" * 200 + b"]" * 200)
    yield "nesting-200", _classic(pdf, 6), OK


def damaged_syntax():
    # Damage other readers repair, which the copy must not carry on as
    # something no PDF may hold.
    for name, body in (("name-stray-hash", b"<< /Type /XObject /Subtype /Imag# /A#zz 1 >>"),
                       ("entry-without-value", b"<< /A ] /B 1 >>"),
                       ("entry-without-value-endobj", b"<< /A endobj /B 1 >>")):
        yield name, _object_file(body), OK


def long_tokens():
    # A name, a literal string and a hexadecimal string just over 64 MiB (the
    # blank after "<" ends the token there, so the string reader meets it).
    over = (64 << 20) + 16
    for name, message, body in (("long-name", "PdfParser::NextToken:Limit", b"/" + b"N" * over),
                                ("long-string", "PdfParser::ParseString:Limit", b"(" + b"s" * over + b")"),
                                ("long-hexstring", "PdfParser::ParseHexString:Limit", b"< " + b"4" * over + b">")):
        yield name, _object_file(b"[" + body + b"]"), fail(message)


def short_xref_stream():
    # Widths whose sum is 0 with a non-empty range, and widths over 8.
    for name, widths in (("xref-widths-zero", (0, 0, 0)), ("xref-width-9", (1, 9, 1))):
        pdf = _pages()
        at = pdf.pos()
        pdf.xref_stream(5, [], b" /Size 6 /Root 1 0 R", widths=widths, data=b"\0" * 40)
        yield name, pdf.tail(at), fail()


def amplification():
    # Many streams whose /Length is one shared object holding a long array:
    # each fetch of that object must not build the array again.
    pdf = _pages()
    pdf.obj(5, b"[" + b"0 " * 500000 + b"]")
    for n in range(6, 2006):
        pdf.stream(n, b"", b"x", length=b"5 0 R")
    yield "shared-length-array", _classic(pdf, 2006), OK
    # Many streams with a wrong /Length and one "endstream" at the very end:
    # finding the end of each must not rescan the rest of the file each time.
    pdf = _pages()
    for n in range(5, 40005):
        pdf.obj(n, b"<< /Length 1 >>\nstream\nxyz")
    pdf.raw(b"\nendstream\n")
    yield "lengths-without-endstream", _classic(pdf, 40005), fail("PdfFileWriter::WriteDictionary:stream data limit")
    # Many objects whose literal (or hexadecimal) string is left open, closed
    # only at the end of the file: each would run over all that follow it.
    for name, opening, closing in (("strings-over-objects", b"(", b")"), ("hexstrings-over-objects", b"<", b">")):
        pdf = _pages()
        for n in range(5, 30005):
            pdf.obj(n, opening)
        pdf.raw(closing * 30000 + b"\n")
        yield name, _classic(pdf, 30005), fail("PdfFileParser::DameObjeto:limit")
    # An object stream holding a catalog with an array of many numbers: the
    # values built from one small file must stay bounded.
    pdf = Pdf()
    pdf.obj(2, b"<< /Type /Pages /Kids [] /Count 0 >>")
    catalog = b"<< /Type /Catalog /Pages 2 0 R /X [" + b"0 " * (3 << 20) + b"] >>"
    pdf.stream(3, b"/Type /ObjStm /N 1 /First 4 /Filter /FlateDecode", zlib.compress(b"1 0 " + catalog, 1))
    at = pdf.pos()
    rows = [(0, 0, 65535), (2, 3, 0), (1, pdf.offsets[2], 0), (1, pdf.offsets[3], 0), (1, at, 0)]
    pdf.xref_stream(4, rows, b" /Size 5 /Root 1 0 R")
    yield "values-from-objstm", pdf.tail(at), fail("PdfFileParser::NuevoValue:limit")
    # Three million empty subsections ("0 0") in a classic table: each makes
    # a record, and records cost memory even without entries.
    pdf = _pages()
    at = pdf.classic_xref(rows_for(pdf, 5), b"/Size 5 /Root 1 0 R")
    pdf.out = pdf.out.replace(b"trailer", b"0 0\n" * (3 << 20) + b"trailer", 1)
    yield "empty-subsections", pdf.tail(at), fail("PdfFileParser::ParseCrossReference:limit")
    # A cross-reference stream of 1-byte entries decoding to 10 MiB: ten
    # million in-use entries from a file of a few kilobytes.
    pdf = _pages()
    at = pdf.pos()
    count = 10 << 20
    data = zlib.compress(b"\x09" * count, 6)
    pdf.stream(5, b"/Type /XRef /W [0 1 0] /Size %d /Root 1 0 R /Filter /FlateDecode" % count, data)
    yield "xref-entries-bomb", pdf.tail(at), fail("PdfFileParser::ParseCrossReference:limit")


def _with_xref_stream(pdf, count, extra=b"", compressed=(), widths=(1, 4, 2), data=None):
    """Closes pdf with a cross-reference stream listing objects 1..count-1
    (compressed: (number, object stream, index) triples) and itself."""
    at = pdf.pos()
    rows = [(0, 0, 65535)]
    placed = {n: (2, s, i) for n, s, i in compressed}
    for n in range(1, count):
        rows.append(placed.get(n) or ((1, pdf.offsets[n], 0) if n in pdf.offsets else (0, 0, 0)))
    rows.append((1, at, 0))
    pdf.xref_stream(count, rows, b" /Size %d /Root 1 0 R" % (count + 1) + extra, widths=widths, data=data)
    return pdf.tail(at)


def _objstm_file(entries, content, length=None, first=4, root=False, stm=5, held=6):
    """A file whose object held (6) lies in object stream stm (5), made of the
    given dictionary entries and (raw) content; root: the held object is the
    catalog the trailer names, so that its value is read. With stm 6 and held
    5 the object stream is decoded before it is written."""
    pdf = _pages()
    pdf.stream(stm, b"/Type /ObjStm /N 1 /First %d" % first + entries, content, length=length)
    data = _with_xref_stream(pdf, 7, compressed=[(held, stm, 0)])
    return data.replace(b"/Root 1 0 R", b"/Root %d 0 R" % held) if root else data


def _object_file(body, count=6, tail=b""):
    """A classic file whose object 5 has the given body."""
    pdf = _pages()
    pdf.obj(5, body)
    pdf.raw(tail)
    return _classic(pdf, count)


def messages():
    """Messages of the reader and writer that no parser or writer test
    checks, and two that show the tool passes a library message on."""
    good = minimal()
    at_xref = good.rindex(b"\nxref\n") + 1
    rows = [
        ("No es archivo pdf.", b"%PDX-1.4\n" + good[9:]),
        ("Encrypted", _with_xref_stream(_pages(), 5, b" /Encrypt << /Filter /Standard >>")),
        ("PdfFileParser::ParseKeyValuePair", good[:at_xref] + good[at_xref:].replace(b"/Size 5", b"(Size) 5")),
        ("PdfFileParser::LeerCrossReferenceStream. no /Size", _with_xref_stream(_pages(), 5).replace(b"/Size 6", b"/Sixe 6")),
        ("PdfFileParser::StreamExtent:no endstream", _object_file(b"<< /Length 1 >>\nstream\nxyz")),
        ("PdfFileParser::ParseValue:end of data", _objstm_file(b"", b"6 0     ", root=True)),
        ("/OffsetStream no /Length", _objstm_file(b"", b"6 0 (six)").replace(b" /Length 9>>", b" /Lxngth 9>>")),
        ("PdfCompressedStream::DecompressDict() length=0", _objstm_file(b"", b"", length=b"0")),
        ("PdfCompressedStream::DecodePredictor. decode value != PdfDiccionario", _objstm_file(b" /DecodeParms 5", b"6 0 (six)")),
        ("/DCTDecode", _objstm_file(b" /Filter /DCTDecode", b"6 0 (six)")),
        ("PdfFileParser::DameObjeto:recursion", _length_chain(40)),
    ]
    for i, (message, data) in enumerate(rows):
        yield "message-%02d" % i, data, fail(message)


def _length_chain(depth):
    """Object streams 10, 12, 14, ... each with its /Length in the next one:
    fetching the first starts a chain of fetches deeper than the limit."""
    pdf = _pages()
    compressed = []
    for i in range(depth):
        stm, held = 10 + 2 * i, 11 + 2 * i
        content = b"%d 0 " % held + b"9"
        length = b"%d 0 R" % (held + 2) if i + 1 < depth else b"%d" % len(content)
        pdf.stream(stm, b"/Type /ObjStm /N 1 /First %d" % (len(content) - 1), content, length=length)
        compressed.append((held, stm, 0))
    return _with_xref_stream(pdf, 10 + 2 * depth, compressed=compressed)


def _rc4(key, data):
    s, j, out = list(range(256)), 0, bytearray()
    for i in range(256):
        j = (j + s[i] + key[i % len(key)]) & 255
        s[i], s[j] = s[j], s[i]
    i = j = 0
    for c in data:
        i, j = (i + 1) & 255, (j + s[(i + 1) & 255]) & 255
        s[i], s[j] = s[j], s[i]
        out.append(c ^ s[(s[i] + s[j]) & 255])
    return bytes(out)


def _encrypted_file(owner):
    """Revision 2 (40-bit RC4, empty user password): object 4's data encrypted, 5 the Encrypt dictionary."""
    pad = bytes.fromhex("28BF4E5E4E758A4164004E56FFFA01082E2E00B6D0683E802F0CA9FE6453697A")
    ident = b"0123456789abcdef"
    o = _rc4(hashlib.md5((owner + pad)[:32]).digest()[:5], pad)
    key = hashlib.md5(pad + o + struct.pack("<i", -4) + ident).digest()[:5]
    pdf = Pdf()
    catalog_and_pages(pdf, _rc4(hashlib.md5(key + b"\x04\0\0\0\0").digest()[:10], b"BT ET"))
    pdf.obj(5, b"<< /Filter /Standard /V 1 /R 2 /P -4 /O <" + o.hex().encode() + b"> /U <" + _rc4(key, pad).hex().encode()
            + b"> >>")
    return _classic(pdf, 6, b" /Encrypt 5 0 R /ID [<" + ident.hex().encode() + b"><00>]")


def encrypted():
    """Encrypted inputs, opened with the owner password the runner gives."""
    yield "encrypted-r2", _encrypted_file(b"O"), OK
    yield "encrypted-wrong-password", _encrypted_file(b"X"), fail("Wrong password")
