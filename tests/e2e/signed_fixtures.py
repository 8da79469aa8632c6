"""Signed documents written object by object, each signature a detached PKCS#7 over its byte range from a throwaway
self-signed certificate; make(folder) writes them and returns their paths by name."""
import datetime
import os
import sys

from cryptography import x509
from cryptography.hazmat.primitives import hashes, serialization
from cryptography.hazmat.primitives.asymmetric import rsa
from cryptography.hazmat.primitives.serialization import pkcs7
from cryptography.x509.oid import NameOID

sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from harness import Pdf  # noqa: E402

ROOM = 8192  # bytes reserved for each signature's DER


def _signer():
    key = rsa.generate_private_key(public_exponent=65537, key_size=2048)
    name = x509.Name([x509.NameAttribute(NameOID.COMMON_NAME, "Varnel test signer")])
    now = datetime.datetime.now(datetime.timezone.utc)
    cert = (x509.CertificateBuilder().subject_name(name).issuer_name(name).public_key(key.public_key())
            .serial_number(x509.random_serial_number()).not_valid_before(now - datetime.timedelta(days=1))
            .not_valid_after(now + datetime.timedelta(days=30)).sign(key, hashes.SHA256()))
    return cert, key


def _sign(data, signer):
    """data with its last placeholder signature filled in: /ByteRange set around the /Contents hex string, the DER
    of a detached signature over the rest written into it."""
    at = data.rindex(b"/Contents <") + len(b"/Contents ")
    end = at + 2 + 2 * ROOM
    ranges = b"[0 %d %d %d]" % (at, end, len(data) - end)
    slot = data.rindex(b"/ByteRange [")
    width = data.index(b"]", slot) + 1 - (slot + len(b"/ByteRange "))
    data = data[:slot + 11] + ranges.ljust(width) + data[slot + 11 + width:]
    der = pkcs7.PKCS7SignatureBuilder().set_data(data[:at] + data[end:]).add_signer(  # Binary: no CR LF for LF
        signer[0], signer[1], hashes.SHA256()).sign(serialization.Encoding.DER, [
            pkcs7.PKCS7Options.DetachedSignature, pkcs7.PKCS7Options.Binary])
    assert len(der) <= ROOM
    return data[:at + 1] + der.hex().upper().encode().ljust(2 * ROOM, b"0") + data[end - 1:]


def _field(name, sig):
    return b"<< /FT /Sig /T (%s) /V %d 0 R /Type /Annot /Subtype /Widget /Rect [0 0 0 0] /P 3 0 R /F 132 >>" % (name, sig)


SIGNATURE = (b"<< /Type /Sig /Filter /Adobe.PPKLite /SubFilter /adbe.pkcs7.detached /M (D:20240501103000+02'00') "
             b"/ByteRange [0 0000000000 0000000000 0000000000] /Contents <" + b"0" * (2 * ROOM) + b"> >>")
TRAILER = b" /Info 99 0 R /ID [<0123456789ABCDEF0123456789ABCDEF> <0123456789ABCDEF0123456789ABCDEF>]"


def make(folder):
    signer, paths, pdf = _signer(), {}, Pdf(b"%PDF-1.7\n%\xe2\xe3\xcf\xd3\n", pages=False)

    def write(name, extra=b""):
        paths[name] = os.path.join(folder, name)
        with open(paths[name], "wb") as f:
            f.write(_sign(pdf.classic(100, TRAILER + extra), signer))
        return paths[name]
    for n, body in sorted({
            1: b"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R] /SigFlags 3 >> >>",
            2: b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
            3: b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 6 0 R /Annots [4 0 R] >>",
            4: _field(b"Approval", 5), 5: SIGNATURE,
            6: b"<< /Length 44 >>\nstream\nBT /F1 12 Tf 20 100 Td (Signed text) Tj ET\n\nendstream",
            99: b"<< /Title (A signed document) /Producer (Varnel tests) >>"}.items()):
        pdf.obj(n, body)
    one = open(write("signed-approval.pdf"), "rb").read()
    # A second signature added in an incremental update, over the first.
    pdf.out, prev = bytearray(one), int(one.rsplit(b"startxref", 1)[1].split()[0])
    pdf.obj(1, b"<< /Type /Catalog /Pages 2 0 R /AcroForm << /Fields [4 0 R 7 0 R] /SigFlags 3 >> >>")
    pdf.obj(3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 6 0 R /Annots [4 0 R 7 0 R] >>")
    pdf.obj(7, _field(b"Review", 8))
    pdf.obj(8, SIGNATURE)
    write("signed-twice.pdf", b" /Prev %d" % prev)
    return paths


def contents(path, password=""):
    """The /Contents bytes of every signature dictionary, by object number, as pikepdf reads them."""
    import pikepdf
    with pikepdf.open(path, password=password) as pdf:
        return {o.objgen[0]: bytes(o.Contents) for o in pdf.objects
                if isinstance(o, pikepdf.Dictionary) and o.get("/Type") == "/Sig"}
