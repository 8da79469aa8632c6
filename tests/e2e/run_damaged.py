#!/usr/bin/python3
"""Damaged files (CORPUS/damaged, and copies of --damage-from files damaged by damages()) encrypted with AES-256
by varnel, qpdf and mutool. A copy is good when qpdf --check exits 0 or 3 and it has pages and R = 6. When a
peer's copy is good, varnel's must be, with at least the better peer's pages and pdftotext text; varnel's copies
fail qpdf --check only as the input does; encrypted input is refused. Copies of --opened-from files encrypted
by qpdf and then damaged are opened with the owner password instead (varnel decrypt, qpdf --decrypt, mutool
clean -p): then good copies are not encrypted."""
import os
import random
import tempfile
import re
import sys

import harness
from harness import run

TIMEOUT = 30  # a tool that takes longer failed (qpdf took 74 s on one damaged file)
CHECK_TIMEOUT = 300  # qpdf --check as the judge: a judge that times out would blame the copy
SAMPLE = 40  # damaged copies taken at random (a third without VARNEL_FULL_TESTS)


def stream_spans(data, type_name):
    """(start, end) of the data of each stream whose dictionary names type_name."""
    return [(m.end(), data.find(b"endstream", m.end())) for m in re.finditer(
        rb"/Type\s*/" + type_name + rb"\b.*?stream\r?\n", data, re.S) if b"endstream" in data[m.end():]]


def damages(data):
    """(kind, bytes) of damaged copies of data."""
    n, sx = len(data), data.rfind(b"startxref")
    for pct in (10, 25, 40, 55, 70, 85, 95, 99):
        yield "trunc%02d" % pct, data[: n * pct // 100]
    if sx > 0:
        yield "trunc-startxref", data[:sx]
        yield "no-startxref", data[:sx] + b"%%EOF\n"
        yield "startxref-wrong", data[:sx] + b"startxref\n%d\n%%%%EOF\n" % (n // 3)
    yield ("lf", data.replace(b"\r\n", b"\n")) if b"\r\n" in data else ("crlf", data.replace(b"\n", b"\r\n"))
    yield "junk-prefix", b"Content-Type: application/pdf\r\n\r\n" + bytes(range(32, 127)) * 3 + b"\n" + data
    if b"/Prev" in data:
        yield "prev-nowhere", re.sub(rb"/Prev\s+\d+", b"/Prev 9999999", data)
    if b"trailer" in data:
        yield "no-trailer", data.replace(b"trailer", b"trailex")
    if xs := list(stream_spans(data, b"XRef")):
        z = bytearray(data)
        for s, e in xs:
            z[s:e] = bytes(e - s)
        yield "xrefstm-zeroed", bytes(z)
    if os_ := list(stream_spans(data, b"ObjStm")):
        s, e = os_[0][0], min(os_[0][1], os_[0][0] + 16)
        yield "objstm-data", data[:s] + bytes(e - s) + data[e:]
        yield "objstm-first", re.sub(rb"/First\s+\d+", b"/First 3", data, count=1)
        yield "objstm-n", re.sub(rb"/N\s+\d+", b"/N 999999", data, count=1)
    if m := re.search(rb"\d+\s+\d+\s+obj\s*<<(?:(?!endobj).){0,300}?/Type\s*/Catalog", data, re.S):
        yield "catalog-lost", data[: m.start()] + re.sub(rb"obj", b"obx", m.group(0), count=1) + data[m.end():]
        untyped = data[: m.start()] + m.group(0).replace(b"/Catalog", b"/Catalox") + data[m.end():]
        yield "catalog-untyped-no-trailer", untyped.replace(b"trailer", b"trailex")


def judge(copy, opened):
    """(good, pages, text length, qpdf --check exit) of a copy encrypted for the user password u (or not at all)."""
    exists, pw = os.path.exists(copy), [] if opened else ["--password=u"]
    check, shown, _ = run(["qpdf", *pw, "--check", copy], CHECK_TIMEOUT) if exists else (None, "", "")
    if check not in (0, 3):
        return False, 0, 0, check
    npages = run(["qpdf", *pw, "--show-npages", copy], TIMEOUT)[1].strip()
    pages = int(npages) if npages.isdigit() else 0
    text = run(["pdftotext", *(["-upw", "u"] if pw else []), copy, "-"], TIMEOUT)[1]
    kept = "File is not encrypted" in shown if opened else re.search(r"^R = 6$", shown, re.M)  # as --check shows
    return pages >= 1 and bool(kept), pages, len(text), check


def one(args, case, work):
    name, path = case
    base = os.path.join(work, name)
    if isinstance(path, bytes):  # a damaged copy made here
        with open(base, "wb") as f:
            f.write(path)
        path = base
    copies = {"varnel": base + ".v.pdf", "qpdf": base + ".q.pdf", "mutool": base + ".m.pdf"}
    opened = ".opened." in name  # encrypted here, then damaged: opened with its owner password
    if opened:
        vrc, _, verr = run([args.varnel, "decrypt", "--password", "o", path, copies["varnel"]], TIMEOUT)
        run(["qpdf", "--password=o", "--decrypt", path, copies["qpdf"]], TIMEOUT)
        run(["mutool", "clean", "-p", "o", path, copies["mutool"]], TIMEOUT)
    else:
        vrc, _, verr = run([args.varnel, "encrypt", "-u", "u", "-o", "o", path, copies["varnel"]], TIMEOUT)
        run(["qpdf", "--encrypt", "u", "o", "256", "--", path, copies["qpdf"]], TIMEOUT)
        run(["mutool", "clean", "-E", "aes-256", "-U", "u", "-O", "o", path, copies["mutool"]], TIMEOUT)
    res, wrote = {tool: judge(copy, opened) for tool, copy in copies.items()}, os.path.exists(copies["varnel"])
    label = name + ": " + " ".join("%s=%s/%dp/%dc" % (n, "good" if r[0] else "bad", r[1], r[2]) for n, r in res.items())
    vgood, vpages, vtext, vcheck = res["varnel"]
    if not opened and re.search(r"^R = ", run(["qpdf", "--show-encryption", path], TIMEOUT)[1], re.M):
        return label, [] if vrc == 1 and "is already encrypted" in verr and not wrote else ["encrypted input not refused"]
    problems, peers = [], [res[p] for p in ("qpdf", "mutool") if res[p][0]]
    if peers and not vgood:
        problems.append("a peer repaired it, varnel did not: " + verr.strip()[-200:])
    elif peers and (vpages < max(p[1] for p in peers) or vtext < max(p[2] for p in peers)):
        problems.append("varnel %d pages, %d text characters; the better peer more" % (vpages, vtext))
    if wrote != (vrc == 0):
        problems.append("exit %s, output %s" % (vrc, "written" if wrote else "missing"))
    if wrote and (vcheck not in (0, 3) or vcheck == 3 and not vgood):
        input_check = run(["qpdf", "--check", path], CHECK_TIMEOUT)[0]
        if vcheck != input_check and not (vcheck == 3 and input_check in (2, 3)):
            problems.append("qpdf --check of varnel's copy exits %s, of the input %s" % (vcheck, input_check))
    return label, problems


def cases(args):
    folder = os.path.join(args.corpus, "damaged")
    files = [(f, os.path.join(folder, f)) for f in sorted(os.listdir(folder)) if f.endswith(".pdf")]
    made = []
    for valid in args.damage_from.split(","):
        with open(os.path.join(args.corpus, valid), "rb") as f:
            made += [(f"{valid[:-4]}.{kind}.pdf", d) for kind, d in damages(f.read())]
    opened = []
    for valid in filter(None, args.opened_from.split(",")):
        with tempfile.TemporaryDirectory() as t:
            run(["qpdf", "--encrypt", "u", "o", "256", "--", os.path.join(args.corpus, valid), t + "/e.pdf"], TIMEOUT)
            with open(t + "/e.pdf", "rb") as f:
                opened += [(f"{valid[:-4]}.opened.{kind}.pdf", d) for kind, d in damages(f.read())]
    some = sorted(random.Random(1).sample(made, min(SAMPLE if args.full else SAMPLE // 3, len(made))))
    return (files if args.full else files[::3]) + some + (opened if args.full else opened[::3])


if __name__ == "__main__":
    sys.exit(harness.main(__doc__, cases, one, needs=("qpdf", "mutool", "pdftotext"),
                          options=[("--damage-from", dict(required=True, help="comma-separated valid corpus files")),
                                   ("--opened-from", dict(default="", help="the same, encrypted by qpdf first"))]))
