#!/usr/bin/env python3
"""Certificate encryption: files sealed for alice (every right) and bob (PCA) by varnel and by PDFBox (PubSecTool.java)
read by both (varnel's refused by qpdf and mutool); refused certificates, failed identities, usage errors, re-keying."""
import json
import os
import re
import subprocess
import sys

import harness
from harness import run, varnel

JARS = [f"/usr/share/java/{j}.jar" for j in ("pdfbox2", "fontbox2", "commons-logging", "bcprov", "bcpkix", "bcutil")]
FILES = ["classic-02.pdf", "xrefstream-objstm-03.pdf", "xrefstream-incr-objstm-01.pdf", "classic-utf16-indlen-01.pdf"]
CIPHERS = {"aes-256": "256", "aes-128": "128", "rc4-128": "128"}  # rc4-128: PDFBox's files only
RIGHTS = 0xC3C  # the bits the letters grant; the others differ between writers
BOB, BOB_BITS = "PCA", 0x834  # print (bits 3 and 12), copy, annotate
PW = "test-pass"
RSA, EC = ["-newkey", "rsa:2048"], ["-newkey", "ec", "-pkeyopt", "ec_paramgen_curve:prime256v1"]
CERTS = [  # name, key, keyUsage, expired, PKCS#12 (password PW; OpenSSL 3's AES-256-CBC/PBKDF2, which Java 17 reads)
    ("alice", RSA, "keyEncipherment", False, True),
    ("bob", RSA, "keyEncipherment", False, True),
    ("carol", RSA, "keyEncipherment", False, True),
    ("expired", RSA, "keyEncipherment", True, False),
    ("ec", EC, "keyAgreement", False, False),  # not RSA: no key transport
    ("signonly", RSA, "digitalSignature", False, False),  # may sign, may not receive keys
]
READ = [  # varnel reading {e}: alice's identity in each form, bob without the right to re-key, carol a stranger
    ("decrypt {e} {t}/plain.pdf --identity {F}/alice.p12 --identity-password {pw}", (0,), ""),
    ("decrypt {e} {t}/plain.pdf --identity {F}/alice-identity.pem", (0,), ""),  # key and certificate, no password
    ("VARNEL_IDENTITY_PASSWORD={pw} decrypt {e} {t}/plain.pdf --identity {F}/alice.p12", (0,), ""),
    ("decrypt {e} {t}/bob.pdf --identity {F}/bob.p12 --identity-password {pw}", (1,), ""),
    ("decrypt {e} {t}/carol.pdf --identity {F}/carol.p12 --identity-password {pw}", (3,), ""),
    ("check --identity {F}/bob.p12 --identity-password {pw} {e}", (0,), r"public-key.*\b2 recipients"),
]
F = CLASSES = None  # fixtures and compiled harness, made once by cases()


def fixtures(folder):
    """NAME.pem, .der, .key and .p12 of CERTS; alice's key and certificate in one PEM file, two certificates in one."""
    def openssl(*args):
        subprocess.run(["openssl", *args], check=True, capture_output=True)
    for name, key, usage, expired, p12 in CERTS:
        base = os.path.join(folder, name)
        openssl("req", "-x509", *key, "-nodes", "-keyout", base + ".key", "-out", base + ".pem", "-days", "30",
                "-subj", f"/CN=Varnel test {name}", "-addext", f"keyUsage=critical,{usage}")
        if expired:  # re-signed so that notAfter lies a day before notBefore, now
            openssl("x509", "-in", base + ".pem", "-key", base + ".key", "-days", "-1", "-out", base + ".pem")
        openssl("x509", "-in", base + ".pem", "-outform", "DER", "-out", base + ".der")
        if p12:
            openssl("pkcs12", "-export", "-inkey", base + ".key", "-in", base + ".pem", "-name", name, "-out",
                    base + ".p12", "-passout", "pass:" + PW, "-keypbe", "AES-256-CBC", "-certpbe", "AES-256-CBC")
    for out, parts in [("alice-identity.pem", ["alice.key", "alice.pem"]), ("two.pem", ["bob.pem", "carol.pem"])]:
        with open(os.path.join(folder, out), "wb") as f:
            f.write(b"".join(open(os.path.join(folder, part), "rb").read() for part in parts))
    return folder


def make(args, maker, src, cipher, out):
    bob = str((0xFFFFF0C0 | BOB_BITS) - (1 << 32))
    rc, _, err = pdfbox("encrypt", src, out, "--rc4" if cipher == "rc4-128" else "--aes", CIPHERS[cipher],
                        f"{F}/alice.pem:owner", f"{F}/bob.pem:{bob}") if maker == "pdfbox" else varnel(
        args, "encrypt", src, out, "--owner-recipient", f"{F}/alice.pem", "--recipient", f"{F}/bob.pem", "-p", BOB,
        "--cipher", cipher)
    if rc != 0:
        raise RuntimeError(f"{maker} encrypt: {err.strip()[-300:]}")


def pdfbox(*cmd):
    return run(["java", "-Djava.awt.headless=true", "-Dorg.apache.commons.logging.Log=org.apache.commons.logging.impl"
                ".NoOpLog", "-cp", ":".join([CLASSES] + JARS), "PubSecTool", *cmd])


def pdfbox_open(path, who):
    rc, out, err = pdfbox("open", path, f"{F}/{who}.p12", PW)
    return json.loads(out) if rc == 0 else err.strip().splitlines()[0]


def pages(path):
    rc, out, err = run(["pdftotext", path, "-"])
    return out.split("\f") if rc == 0 else err


def interop(args, tmp, label, maker, name, cipher):
    src, enc = os.path.join(args.corpus, name), f"{tmp}/enc.pdf"
    make(args, maker, src, cipher, enc)
    plain, problems = pdfbox_open(src, "alice"), []
    for who, owner in (("alice", True), ("bob", False), ("carol", None)):
        got = pdfbox_open(enc, who)
        if owner is None:
            problems += [f"PDFBox opens for {who}"] if isinstance(got, dict) else []
        elif not isinstance(got, dict):
            problems.append(f"PDFBox for {who}: {got}")
        elif got["owner"] != owner or got["pages"] != plain["pages"] or got["text"] != plain["text"] or \
                not owner and got["permissions"] & RIGHTS != BOB_BITS:
            problems.append(f"PDFBox for {who}: owner {got['owner']}, permissions {got['permissions']:#x}, "
                            f"pages {got['pages']}/{plain['pages']}, text equal: {got['text'] == plain['text']}")
    for tool in [["qpdf", "--check", enc], ["mutool", "show", enc, "trailer"]] if maker == "varnel" else ():
        rc, out, err = run(tool)  # readers without the handler refuse it by name
        problems += [] if rc and re.search(r"unsupported|unknown", out + err) else [f"{tool[0]} opens it: {out[:99]}"]
    if maker == "varnel":  # openssl cms opens alice's envelope (of two) to a 20-byte seed and 4 bytes of permissions
        sealed = [bytes.fromhex(h.decode()) for h in re.findall(rb"<([0-9A-Fa-f]{400,})>", open(enc, "rb").read())]
        opened = [subprocess.run(["openssl", "cms", "-decrypt", "-inform", "DER", "-inkey", f"{F}/alice.key", "-binary"],
                                 input=e, capture_output=True) for e in sealed]
        got = [len(o.stdout) for o in opened if o.returncode == 0]
        problems += [] if got == [24] else [f"openssl cms: {len(sealed)} envelopes, alice's opens to {got} bytes"]
    return label, problems + steps(args, tmp, label, name, READ, enc)[1]


STEPS = {  # {in} the input, {t} the case's folder: varnel commands, exit statuses, what the output must say
    **{f"{kind} certificate": [(f"encrypt {{in}} {{t}}/o.pdf --recipient {{F}}/{cert}", (1, 2), ""),
                               (f"encrypt {{in}} {{t}}/o.pdf --recipient {{F}}/{cert} --allow-any-certificate", ok, "")]
       for kind, cert, ok in (("expired", "expired.pem", (0,)), ("signing-only", "signonly.pem", (0,)),
                              ("EC", "ec.der", (0, 1)))},  # RSA only: EC may stay refused
    "identities that do not open": [
        ("encrypt {in} {t}/e.pdf --recipient {F}/alice.pem", (0,), ""), ("decrypt {t}/e.pdf {t}/plain.pdf", (3,), ""),
        ("decrypt {t}/e.pdf {t}/plain.pdf --identity {F}/alice.p12 --identity-password wrong-pass", (1, 2, 3), "")],
    "two certificates in one PEM": [("encrypt {in} {t}/o.pdf --recipient {F}/two.pem --cipher aes-128", (0,), ""),
                                    ("check --identity {F}/carol.p12 --identity-password {pw} {t}/o.pdf", (0,),
                                     r"\b2 recipients")],
    "usage errors": [("encrypt {in} {t}/o.pdf -u u --recipient {F}/alice.pem", (2,), ""),
                     ("encrypt {in} {t}/o.pdf --cipher rc4-128 --recipient {F}/alice.pem", (2,), ""),
                     ("encrypt {in} {t}/o.pdf --recipient {F}/alice.pem --verify", (2,), "")],  # no --verify-identity
    "--verify as a recipient": [("encrypt {in} {t}/o.pdf --recipient {F}/alice.der --verify --verify-identity "
                                 "{F}/alice.p12 --identity-password {pw}", (0,), "")],
    "re-keying": [  # recipients to passwords (bob may not), passwords to recipients
        ("encrypt {in} {t}/e.pdf --owner-recipient {F}/alice.pem --recipient {F}/bob.pem", (0,), ""),
        ("encrypt {t}/e.pdf {t}/b.pdf --input-identity {F}/bob.p12 --identity-password {pw} -u u", (1,), ""),
        ("encrypt {t}/e.pdf {t}/p.pdf --input-identity {F}/alice.p12 --identity-password {pw} -u u -o o", (0,), ""),
        ("decrypt {t}/p.pdf {t}/plain.pdf --password o", (0,), ""),
        ("encrypt {in} {t}/p.pdf -u u -o o --cipher aes-128", (0,), ""),
        ("encrypt {t}/p.pdf {t}/e.pdf --input-password o --owner-recipient {F}/carol.pem", (0,), ""),
        ("decrypt {t}/e.pdf {t}/plain.pdf --identity {F}/carol.p12 --identity-password {pw}", (0,), "")],
}


def steps(args, tmp, label, name=FILES[1], rows=None, enc=None):
    """rows (STEPS[label]) in turn, on the corpus file name; a failing step leaves no output and names no password;
    each plain.pdf written passes qpdf --check and reads as the input."""
    src, problems = os.path.join(args.corpus, name), []
    for cmd, want, says in rows or STEPS[label]:
        argv, env = cmd.format(F=F, t=tmp, pw=PW, e=enc, **{"in": src}).split(), dict(os.environ)
        while "=" in argv[0]:
            env.update([argv.pop(0).split("=", 1)])
        rc, stdout, err = varnel(args, *argv, env=env)
        if rc not in want or rc and argv[0] != "check" and os.path.exists(argv[2]):
            problems.append(f"{cmd}: exit {rc} (expected {want}): {err.strip()[-200:]}")
        if rc and (PW in err or "wrong-pass" in err):
            problems.append(f"{cmd}: a password in the message {err.strip()!r}")
        if says and not re.search(says, stdout + err, re.I):
            problems.append(f"{cmd}: no {says!r} in {(stdout + err).strip()[-200:]}")
        if rc == 0 and argv[2].endswith("/plain.pdf"):
            if run(["qpdf", "--check", argv[2]])[0] != 0 or pages(argv[2]) != pages(src):
                problems.append(f"{cmd}: the output fails qpdf --check or its text differs")
            os.remove(argv[2])
    return label, problems


def cases(args):
    global F, CLASSES
    F = fixtures(args.work)
    CLASSES = os.path.join(F, "classes")
    subprocess.run(["javac", "-d", CLASSES, "-cp", ":".join(JARS), os.path.join(harness.HERE, "PubSecTool.java")],
                   check=True)
    return [(f"{m} {c} {n}", interop, m, n, c) for m in ("pdfbox", "varnel") for c in CIPHERS for n in FILES
            if m == "pdfbox" or c != "rc4-128"] + [(name, steps) for name in STEPS]


if __name__ == "__main__":
    sys.exit(harness.main(__doc__, cases, needs=("java", "javac", "openssl", "qpdf", "mutool", "pdftotext", *JARS)))
