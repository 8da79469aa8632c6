#!/usr/bin/env python3
"""Certificate (public-key) encryption against PDFBox and openssl: files
sealed for alice (every right) and bob (rights PCA, no M) by varnel and by
PDFBox (PubSecTool.java) are each read by PDFBox, by varnel and, envelope by
envelope, by `openssl cms`; then certificates varnel must refuse, identities
that do not open, usage errors and re-keying. --pdfbox-only runs the cases that need
no varnel option for certificates (the PDFBox files, read by PDFBox and
openssl)."""
import atexit
import functools
import json
import operator
import os
import re
import shutil
import subprocess
import sys
import tempfile

import harness
import pubsec_fixtures
from check_encrypted import LETTER_BITS
from harness import run

JARS = [f"/usr/share/java/{j}.jar" for j in ("pdfbox2", "fontbox2", "commons-logging", "bcprov", "bcpkix", "bcutil")]
FILES = ["classic-02.pdf", "xrefstream-objstm-03.pdf", "xrefstream-incr-objstm-01.pdf", "classic-utf16-indlen-01.pdf"]
CIPHERS = {"aes-256": "256", "aes-128": "128", "rc4-128": "128"}  # rc4-128: PDFBox's files only
RIGHTS = 0xC3C  # the bits the letters grant; the others differ between writers
BOB = "PCA"
LEGACY = ["-provider", "legacy", "-provider", "default"]  # PDFBox seals with RC2
PW = pubsec_fixtures.PASSWORD
UNSUPPORTED = re.compile(r"unsupported|unknown", re.I)
ALICE = [  # alice's identity for decrypt: arguments, environment
    (["{F}/alice.p12", "--identity-password", PW], {}),
    (["{F}/alice-identity.pem"], {}),  # key and certificate in one PEM file, no password
    (["{F}/alice.p12"], {"VARNEL_IDENTITY_PASSWORD": PW}),
]
F = CLASSES = None  # fixtures and compiled harness, made once by cases()


def bits(letters):
    return functools.reduce(operator.or_, (LETTER_BITS[letter] for letter in letters), 0)


def make(args, maker, src, cipher, out):
    """src sealed by maker for alice (every right) and bob (BOB)."""
    if maker == "pdfbox":
        bob = str((0xFFFFF0C0 | bits(BOB)) - (1 << 32))
        rc, _, err = pdfbox("encrypt", src, out, "--rc4" if cipher == "rc4-128" else "--aes", CIPHERS[cipher], f"{F}/alice.pem:owner", f"{F}/bob.pem:{bob}")
    else:
        rc, _, err = run([args.varnel, "encrypt", src, out, "--owner-recipient", f"{F}/alice.pem", "--recipient",
                          f"{F}/bob.pem", "-p", BOB, "--cipher", cipher])
    if rc != 0:
        raise RuntimeError(f"{maker} encrypt: {err.strip()[-300:]}")


def pdfbox(*cmd):
    return run(["java", "-Djava.awt.headless=true", "-Dorg.apache.commons.logging.Log=org.apache.commons.logging.impl"
                ".NoOpLog", "-cp", ":".join([CLASSES] + JARS), "PubSecTool", *cmd])


def pdfbox_open(path, who):
    rc, out, err = pdfbox("open", path, f"{F}/{who}.p12", PW)
    return json.loads(out) if rc == 0 else err.strip().splitlines()[0]


def recipients(data):
    """(start, end, DER) of each /Recipients string: the Encrypt dictionary is
    the last object the last /Encrypt names, never in an object stream."""
    number = [m for m in re.finditer(rb"/Encrypt\s+(\d+)\s+\d+\s+R", data)][-1].group(1)
    obj = [m for m in re.finditer(rb"(?<!\d)" + number + rb"\s+\d+\s+obj\b(.*?)endobj", data, re.S)][-1]
    array = re.compile(rb"/Recipients\s*\[([^\]]*)\]").search(data, obj.start(1), obj.end(1))
    return [(m.start(), m.end(), bytes.fromhex(m.group(1).decode()))
            for m in re.compile(rb"<([0-9A-Fa-f\s]*)>").finditer(data, array.start(1), array.end(1))]


def openssl_open(der, who, maker):
    # -recip: matched by issuer and serial; without it OpenSSL tries the key on each recipient and, against
    # padding oracles, decrypts with a random key when none fits, which now and then "opens" for a stranger.
    p = subprocess.run(["openssl", "cms", "-decrypt", "-inform", "DER", "-inkey", f"{F}/{who}.key",
                        "-recip", f"{F}/{who}.pem",
                        *(LEGACY if maker == "pdfbox" else [])], input=der, capture_output=True)
    return p.stdout if p.returncode == 0 else None


def envelopes(path, maker):
    """Each /Recipients string opens for exactly one of alice and bob, to a
    seed shared by all and the recipient's rights as 4 big-endian bytes."""
    problems, seeds, want = [], set(), {"alice": RIGHTS, "bob": bits(BOB)}
    found = recipients(open(path, "rb").read())
    for i, (_, _, der) in enumerate(found):
        opened = {who: openssl_open(der, who, maker) for who in ("alice", "bob", "carol")}
        opened = {who: seed for who, seed in opened.items() if seed is not None}
        if len(opened) != 1 or "carol" in opened:
            problems.append(f"envelope {i} opens for {sorted(opened)}")
            continue
        (who, seed), = opened.items()
        seeds.add(seed[:20])
        if len(seed) != 24 or int.from_bytes(seed[20:], "big") & RIGHTS != want[who]:
            problems.append(f"envelope {i} ({who}): {seed.hex()}")
        if maker == "varnel":
            shown = subprocess.run(["openssl", "cms", "-cmsout", "-print", "-inform", "DER"], input=der,
                                   capture_output=True).stdout.decode()
            problems += [f"envelope {i} lacks {a}" for a in ("aes-256-cbc", "rsaEncryption") if a not in shown]
    return problems + ([f"{len(found)} envelopes, {len(seeds)} seeds"] if len(found) != 2 or len(seeds) != 1 else [])


def pages(path):
    rc, out, err = run(["pdftotext", path, "-"])
    return out.split("\f") if rc == 0 else err


def no_output(rc, path, want):
    return [] if rc in want and not os.path.exists(path) else [f"exit {rc} (expected {want}), output kept: "
                                                               f"{os.path.exists(path)}"]


def interop(args, tmp, label, maker, name, cipher):
    """maker's file read by PDFBox, openssl, qpdf, mutool and varnel."""
    src, enc, out = os.path.join(args.corpus, name), f"{tmp}/enc.pdf", f"{tmp}/out.pdf"
    make(args, maker, src, cipher, enc)
    plain, problems = pdfbox_open(src, "alice"), envelopes(enc, maker)
    for who, owner in (("alice", True), ("bob", False), ("carol", None)):
        got = pdfbox_open(enc, who)
        if owner is None:
            problems += [f"PDFBox opens for {who}"] if isinstance(got, dict) else []
        elif not isinstance(got, dict):
            problems.append(f"PDFBox for {who}: {got}")
        elif got["owner"] != owner or got["pages"] != plain["pages"] or got["text"] != plain["text"] or \
                not owner and got["permissions"] & RIGHTS != bits(BOB):
            problems.append(f"PDFBox for {who}: owner {got['owner']}, permissions {got['permissions']:#x}, "
                            f"pages {got['pages']}/{plain['pages']}, text equal: {got['text'] == plain['text']}")
    for tool in (["qpdf", "--check", enc], ["mutool", "show", enc, "trailer"]):
        rc, stdout, err = run(tool)
        problems += [] if rc and UNSUPPORTED.search(stdout + err) else [f"{tool[0]}: exit {rc} {err.strip()[-100:]}"]
    if args.pdfbox_only:
        return label, problems
    for id_args, env in ALICE:
        id_args = [a.format(F=F) for a in id_args]
        rc, _, err = run([args.varnel, "decrypt", enc, out, "--identity", *id_args], env={**os.environ, **env})
        checked = run(["qpdf", "--check", out])[0] if rc == 0 else None
        if rc != 0 or checked != 0 or pages(out) != pages(src):
            problems.append(f"decrypt --identity {' '.join(id_args)}: exit {rc}, qpdf --check exit {checked}, "
                            f"text equal {rc == 0 and pages(out) == pages(src)}: {err.strip()[-200:]}")
        if os.path.exists(out):
            os.remove(out)
    for who, want in (("bob", (1,)), ("carol", (3,))):
        rc, _, _ = run([args.varnel, "decrypt", enc, out, "--identity", f"{F}/{who}.p12", "--identity-password", PW])
        problems += [f"decrypt as {who}: " + p for p in no_output(rc, out, want)]
    rc, shown, err = run([args.varnel, "check", "--identity", f"{F}/bob.p12", "--identity-password", PW, enc])
    if rc != 0 or not all(re.search(w, shown + err, re.I) for w in (r"public-key", r"\b2 recipients")):
        problems.append(f"check --identity bob: exit {rc}: {(shown + err).strip()[-300:]}")
    return label, problems


STEPS = {  # {in} the input, {t} the case's folder: varnel commands, exit statuses, what the output must say
    "expired certificate": [("encrypt {in} {t}/o.pdf --recipient {F}/expired.pem", (1, 2), ""),
                            ("encrypt {in} {t}/o.pdf --recipient {F}/expired.pem --allow-any-certificate", (0,), "")],
    "EC certificate": [("encrypt {in} {t}/o.pdf --recipient {F}/ec.der", (1, 2), ""),  # RSA only: EC may stay refused
                       ("encrypt {in} {t}/o.pdf --recipient {F}/ec.der --allow-any-certificate", (0, 1), "")],
    "signing-only certificate": [
        ("encrypt {in} {t}/o.pdf --recipient {F}/signonly.pem", (1, 2), ""),
        ("encrypt {in} {t}/o.pdf --recipient {F}/signonly.pem --allow-any-certificate", (0,), "")],
    "no identity": [("encrypt {in} {t}/e.pdf --recipient {F}/alice.pem", (0,), ""),
                    ("decrypt {t}/e.pdf {t}/plain.pdf", (3,), "")],
    "wrong identity password": [("encrypt {in} {t}/e.pdf --recipient {F}/alice.pem", (0,), ""),
                                ("decrypt {t}/e.pdf {t}/plain.pdf --identity {F}/alice.p12 --identity-password wrong-pass",
                                 (1, 2, 3), "")],
    "two certificates in one PEM": [("encrypt {in} {t}/o.pdf --recipient {F}/two.pem --cipher aes-128", (0,), ""),
                                    ("check --identity {F}/carol.p12 --identity-password {pw} {t}/o.pdf", (0,),
                                     r"\b2 recipients")],
    "passwords with recipients": [("encrypt {in} {t}/o.pdf -u u --recipient {F}/alice.pem", (2,), "")],
    "rc4-128 with recipients": [("encrypt {in} {t}/o.pdf --cipher rc4-128 --recipient {F}/alice.pem", (2,), "")],
    "--verify without --verify-identity": [("encrypt {in} {t}/o.pdf --recipient {F}/alice.pem --verify", (2,), "")],
    "--verify as a recipient": [("encrypt {in} {t}/o.pdf --recipient {F}/alice.der --verify --verify-identity "
                                 "{F}/alice.p12 --identity-password {pw}", (0,), "")],
    "re-key to passwords": [
        ("encrypt {in} {t}/e.pdf --owner-recipient {F}/alice.pem --recipient {F}/bob.pem", (0,), ""),
        ("encrypt {t}/e.pdf {t}/b.pdf --input-identity {F}/bob.p12 --identity-password {pw} -u u", (1,), ""),
        ("encrypt {t}/e.pdf {t}/p.pdf --input-identity {F}/alice.p12 --identity-password {pw} -u u -o o", (0,), ""),
        ("decrypt {t}/p.pdf {t}/plain.pdf --password o", (0,), "")],
    "passwords to recipients": [
        ("encrypt {in} {t}/p.pdf -u u -o o --cipher aes-128", (0,), ""),
        ("encrypt {t}/p.pdf {t}/e.pdf --input-password o --owner-recipient {F}/carol.pem", (0,), ""),
        ("decrypt {t}/e.pdf {t}/plain.pdf --identity {F}/carol.p12 --identity-password {pw}", (0,), "")],
}


def steps(args, tmp, label):
    """STEPS[label] in turn; a failing step leaves no output; plain.pdf reads as the input."""
    src, problems = os.path.join(args.corpus, FILES[1]), []
    if "--recipient" not in run([args.varnel, "encrypt", "--help"])[1]:
        return label, ["varnel encrypt has no --recipient"]  # its usage errors would pass for the wrong reason
    for cmd, want, says in STEPS[label]:
        argv = cmd.format(F=F, t=tmp, pw=PW, **{"in": src}).split()
        rc, stdout, err = run([args.varnel, *argv])
        if rc not in want or rc and argv[0] != "check" and os.path.exists(argv[2]):
            problems.append(f"{cmd}: exit {rc} (expected {want}): {err.strip()[-200:]}")
        if rc and (PW in err or "wrong-pass" in err):
            problems.append(f"{cmd}: a password in the message {err.strip()!r}")
        if says and not re.search(says, stdout + err, re.I):
            problems.append(f"{cmd}: no {says!r} in {(stdout + err).strip()[-200:]}")
    plain = f"{tmp}/plain.pdf"
    return label, problems + ([] if not os.path.exists(plain) or pages(plain) == pages(src) else ["text differs"])


def cases(args):
    global F, CLASSES
    F = tempfile.mkdtemp(prefix="varnel-pubsec-")
    atexit.register(shutil.rmtree, F, True)
    pubsec_fixtures.make(F)
    CLASSES = os.path.join(F, "classes")
    subprocess.run(["javac", "-d", CLASSES, "-cp", ":".join(JARS), os.path.join(harness.HERE, "PubSecTool.java")],
                   check=True)
    makers = ("pdfbox",) if args.pdfbox_only else ("pdfbox", "varnel")
    return [(f"{m} {c} {n}", interop, m, n, c) for m in makers for c in CIPHERS for n in FILES
                                               if m == "pdfbox" or c != "rc4-128"] + [
        (name, steps) for name in (STEPS if not args.pdfbox_only else ())]


if __name__ == "__main__":
    sys.exit(harness.main(__doc__, cases, lambda args, case, tmp: case[1](args, tmp, case[0], *case[2:]),
                          needs=("java", "javac", "openssl", "qpdf", "mutool", "pdftotext", *JARS),
                          options=[("--pdfbox-only", dict(action="store_true"))]))
