"""Recipients' certificates and identities made at test time with the openssl
command line: NAME.pem (certificate), NAME.der, NAME.key (unencrypted
PKCS#8), and for the good ones NAME.p12 (password PASSWORD, OpenSSL 3's
AES-256-CBC/PBKDF2 defaults, which Java 17 reads); alice-identity.pem (key
and certificate in one file) and two.pem (bob's and carol's certificates).

make(folder) writes them and returns folder."""
import os
import subprocess

PASSWORD = "test-pass"
RSA = ["-newkey", "rsa:2048"]
EC = ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"]
CERTS = [  # name, key, keyUsage, expired, PKCS#12
    ("alice", RSA, "keyEncipherment", False, True),
    ("bob", RSA, "keyEncipherment", False, True),
    ("carol", RSA, "keyEncipherment", False, True),
    ("expired", RSA, "keyEncipherment", True, False),
    ("ec", EC, "keyAgreement", False, False),  # not RSA: no key transport
    ("signonly", RSA, "digitalSignature", False, False),  # may sign, may not receive keys
]


def _openssl(*args):
    subprocess.run(["openssl", *args], check=True, capture_output=True)


def make(folder):
    for name, key, usage, expired, p12 in CERTS:
        base = os.path.join(folder, name)
        _openssl("req", "-x509", *key, "-nodes", "-keyout", base + ".key", "-out", base + ".pem", "-days", "30",
                 "-subj", f"/CN=Varnel test {name}", "-addext", f"keyUsage=critical,{usage}")
        if expired:  # re-signed so that notAfter lies a day before notBefore, now
            _openssl("x509", "-in", base + ".pem", "-key", base + ".key", "-days", "-1", "-out", base + ".pem")
        _openssl("x509", "-in", base + ".pem", "-outform", "DER", "-out", base + ".der")
        if p12:
            _openssl("pkcs12", "-export", "-inkey", base + ".key", "-in", base + ".pem", "-name", name, "-out",
                     base + ".p12", "-passout", "pass:" + PASSWORD, "-keypbe", "AES-256-CBC", "-certpbe", "AES-256-CBC")
    for out, parts in [("alice-identity.pem", ["alice.key", "alice.pem"]), ("two.pem", ["bob.pem", "carol.pem"])]:
        with open(os.path.join(folder, out), "wb") as f:
            for part in parts:
                with open(os.path.join(folder, part), "rb") as src:
                    f.write(src.read())
    return folder
