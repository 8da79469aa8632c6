"""Signed and certified documents made at test time: written by hand
object by object, each signature a detached PKCS#7 over its byte range made
with python3-cryptography and a throwaway self-signed certificate.

make(folder) writes them and returns their paths by name."""
import datetime
import os

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.hazmat.primitives.serialization import pkcs7
from cryptography.x509.oid import NameOID

ROOM = 8192  # bytes reserved for each signature's DER


def _signer():
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "Varnel test signer")])
    now = datetime.datetime.now(datetime.timezone.utc)
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=30)).sign(key, hashes.SHA256()))
    return cert, key


def _section(base, objects, root, prev=None, size=None):
    """base (bytes so far) with objects {number: body} appended, then their
    cross-reference section and trailer."""
    out, offsets = bytearray(base), {}
    for n, body in sorted(objects.items()):
        offsets[n] = len(out)
        out += b"%d 0 obj\n" % n + body + b"\nendobj\n"
    xref = len(out)
    out += b"xref\n0 1\n0000000000 65535 f \n"
    for n in sorted(offsets):
        out += b"%d 1\n%010d 00000 n \n" % (n, offsets[n])
    out += b"trailer\n<< /Size %d /Root %d 0 R /Info 99 0 R /ID [<0123456789ABCDEF0123456789ABCDEF> " \
           b"<0123456789ABCDEF0123456789ABCDEF>]" % (size or max(offsets) + 1, root)
    out += (b" /Prev %d" % prev if prev is not None else b"") + b" >>\nstartxref\n%d\n%%%%EOF\n" % xref
    return bytes(out), xref


def _sign(data, signer):
    """data with its last placeholder signature filled in: /ByteRange set
    around the /Contents hex string, the DER of a detached signature over
    the rest written into it."""
    at = data.rindex(b"/Contents <") + len(b"/Contents ")
    end = at + 2 + 2 * ROOM
    ranges = b"[0 %d %d %d]" % (at, end, len(data) - end)
    slot = data.rindex(b"/ByteRange [")
    width = data.index(b"]", slot) + 1 - (slot + len(b"/ByteRange "))
    data = data[:slot + 11] + ranges.ljust(width) + data[slot + 11 + width:]
    der = pkcs7.PKCS7SignatureBuilder().set_data(data[:at] + data[end:]).add_signer(
        signer[0], signer[1], hashes.SHA256()).sign(serialization.Encoding.DER, [pkcs7.PKCS7Options.DetachedSignature])
    assert len(der) <= ROOM
    return data[:at + 1] + der.hex().upper().encode().ljust(2 * ROOM, b"0") + data[end - 1:]


def _signature(extra=b""):
    return (b"<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached /M (D:20240501103000+02'00') "
            b"/ByteRange [0 0000000000 0000000000 0000000000] /Contents <" + b"0" * (2 * ROOM) + b"> " + extra + b">>")


def _document(catalog=b"", annots=b"", objects=None):
    base = {
        1: b"<< /Type /Catalog /Pages 2 0 R " + catalog + b">>",
        2: b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        3: b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 6 0 R " + annots + b">>",
        6: b"<< /Length 44 >>\nstream\nBT /F1 12 Tf 20 100 Td (Signed text) Tj ET\n\nendstream",
        99: b"<< /Title (A signed document) /Producer (Varnel tests) >>",
    }
    base.update(objects or {})
    return base


def _field(n, name, sig, page=3):
    return b"<< /FT /Sig /T (%s) /V %d 0 R /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P %d 0 R /F 132 >>" % (
        name, sig, page)


def make(folder):
    signer, paths = _signer(), {}

    def write(name, data):
        paths[name] = os.path.join(folder, name)
        with open(paths[name], "wb") as f:
            f.write(data)

    form = b"/AcroForm << /Fields [4 0 R] /SigFlags 3 >> "
    approval = _document(form, b"/Annots [4 0 R] ", {4: _field(4, b"Approval", 5), 5: _signature()})
    one, xref = _section(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n", approval, 1)
    write("signed-approval.pdf", _sign(one, signer))

    # A second signature added in an incremental update, over the first.
    update = {1: b"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 7 0 R] /SigFlags 3 >> >>",
              3: approval[3].replace(b"[4 0 R]", b"[4 0 R 7 0 R]"), 7: _field(7, b"Review", 8), 8: _signature()}
    signed = _sign(one, signer)
    two, _ = _section(signed, update, 1, prev=xref, size=100)
    write("signed-twice.pdf", _sign(two, signer))

    mdp = b"/Reference [<< /Type /SigRef /TransformMethod /DocMDP /TransformParams << /Type /TransformParams /P 2 " \
          b"/V /1.2 >> >>] "
    certified = _document(form + b"/Perms << /DocMDP 5 0 R >> ", b"/Annots [4 0 R] ",
                          {4: _field(4, b"Author", 5), 5: _signature(mdp)})
    write("signed-certified.pdf", _sign(_section(b"%PDF-1.7\n", certified, 1)[0], signer))

    ur3 = b"/Reference [<< /Type /SigRef /TransformMethod /UR3 /TransformParams << /Type /TransformParams " \
          b"/V /2.2 /Form [/FillIn] >> >>] "
    rights = _document(b"/Perms << /UR3 5 0 R >> ", objects={5: _signature(ur3)})
    write("signed-usage-rights.pdf", _sign(_section(b"%PDF-1.7\n", rights, 1)[0], signer))
    return paths


def contents(path, password=""):
    """The /Contents bytes of every signature dictionary, by object number, as
    pikepdf reads them."""
    import pikepdf
    with pikepdf.open(path, password=password) as pdf:
        return {o.objgen[0]: bytes(o.Contents) for o in pdf.objects
                if isinstance(o, pikepdf.Dictionary) and o.get("/Type") == "/Sig"}
