#!/usr/bin/python3
"""Checks an encrypted PDF written by varnel against its plain input with
readers that share no code with varnel (README.md). One PASS/FAIL line per
check, then RESULT; exit 0, 1 on a failed check, 2 on bad usage."""
import argparse
import decimal
import os
import re
import shutil
import sys

import pikepdf
import pypdf

from harness import run

HERE = os.path.dirname(os.path.abspath(__file__))
# Security handler as qpdf reports it, header version, P bits set whatever
# the letters, entries the output may add to the catalog.
CIPHERS = {
    "rc4-128": dict(R=3, V=2, bits=128, method="none", version="1.5", p=0, catalog=()),  # V 2: no crypt filters
    "aes-128": dict(R=4, V=4, bits=128, method="aes", version="1.6", p=0x200, catalog=()),
    "aes-256": dict(R=6, V=5, bits=256, method="aesv3", version="1.7", p=0x200, catalog=("/Extensions",)),
}
LETTER_BITS = {"P": 0x804, "D": 0x4, "M": 0x8, "C": 0x10, "A": 0x20, "S": 0x400}
NULL = ("null",)


def qpdf(path, password, *args):
    return run(["qpdf", *([] if password is None else ["--password-mode=bytes", f"--password={password}"]),
                *args, path])


def opened(path, password=""):
    return pikepdf.open(path, password=password.encode(), inherit_page_attributes=False)


def check_issues(path, rc, out, err):
    """qpdf --check's findings without file names and offsets."""
    issues = set()
    for m in re.finditer(r"\b(?:WARNING|ERROR): (.*)", out + "\n" + err):
        text = m.group(1)
        for name in sorted({path, os.path.abspath(path), os.path.basename(path)}, key=len, reverse=True):
            text = text.replace(name, "FILE")
        issues.add(re.sub(r"^FILE:?\s*", "", re.sub(r"\(offset \d+\)|, offset \d+", "", text)).strip(" :"))
    if rc not in (0, 3) and not issues:
        issues.add(f"qpdf exit code {rc}: {err.strip()[:200]}")
    return issues


def roles(args):
    return [("user", args.user)] + ([("owner", args.owner)] if args.owner else [])


def check_qpdf(args, password, input_issues, input_rc):
    rc, out, err = qpdf(args.output, password, "--check")
    new = sorted(check_issues(args.output, rc, out, err) - input_issues)
    if (rc == 0 and "WARNING" not in out + err) or ((rc in (0, 3) or rc == input_rc == 2) and not new):
        return []
    return [f"exit {rc}; issues not seen in the input:"] + (new or [err.strip()[:300]])


def check_passwords(args):
    """Which password opens the output as which (user, owner; None: either):
    the empty one too, as an empty owner password means a made-up one."""
    wrong = next(w for w in ("wrong-password", "WRONG-password-2")
                 if all(w.encode()[:32] != k.encode()[:32] for k in (args.user, args.owner)))
    rows = [(args.user, (True, args.user == args.owner))] + (
        [(args.owner, (None, True))] if args.owner and args.owner != args.user else []) + (
        [(wrong, None), ("", None)] if args.user else [])
    problems = []
    for password, want in rows:
        try:
            with opened(args.output, password) as pdf:
                got = (pdf.user_password_matched, pdf.owner_password_matched) if pdf.is_encrypted else "plain"
        except pikepdf.PasswordError:
            got = None
        if got != want and not (got and want and want[0] is None and got[1] == want[1]):
            problems.append(f"password {password!r} opens it as (user, owner) {got}, expected {want}")
    return problems


def check_encryption(args):
    """The security handler and P as qpdf reads them."""
    cipher = CIPHERS[args.cipher]
    want_p = 0xFFFFF0C0 | cipher["p"]
    for letter, bits in LETTER_BITS.items():
        want_p |= bits if letter in args.permissions else 0
    with opened(args.output, args.user) as pdf:
        if not pdf.is_encrypted:
            return ["not encrypted"]
        e = pdf.encryption
        got = dict(R=e.R, V=e.V, bits=e.bits, P=e.P, methods={m.name for m in (e.stream_method, e.string_method,
                                                                                  e.file_method)})
    want = dict(R=cipher["R"], V=cipher["V"], bits=cipher["bits"], P=want_p - (1 << 32), methods={cipher["method"]})
    return [f"{k} = {got[k]!r}, expected {v!r}" for k, v in want.items() if got[k] != v]


def check_pypdf(args, input_pages):
    problems = []
    for role, password in roles(args):
        reader = pypdf.PdfReader(args.output)
        got = reader.decrypt(password) if reader.is_encrypted else None  # AES needs PyCryptodome
        if got is None or got == pypdf.PasswordType.NOT_DECRYPTED:
            problems.append(f"not encrypted or refuses the {role} password")
        elif role == "owner" and got != pypdf.PasswordType.OWNER_PASSWORD:
            problems.append(f"takes the owner password as {got!r}")
        elif len(reader.pages) != input_pages:
            problems.append(f"{len(reader.pages)} pages, the input has {input_pages}")
    return problems


# --- objects -------------------------------------------------------------

def canon(obj, live, depth=0):
    """A comparable form of a direct value. A reference stays one when it
    names an object in `live`, else it means null; null entries are absent."""
    if depth > 200:
        raise RecursionError("nesting deeper than 200")
    if isinstance(obj, bool):
        return ("bool", obj)
    if isinstance(obj, (int, decimal.Decimal, float)):
        return ("num", decimal.Decimal(obj) if isinstance(obj, float) else obj)
    if obj is None or not isinstance(obj, pikepdf.Object) or obj._type_code == pikepdf.ObjectType.null:
        return NULL if obj is None or isinstance(obj, pikepdf.Object) else ("other", repr(obj))
    if obj.is_indirect and depth > 0:
        return ("ref",) + tuple(obj.objgen) if tuple(obj.objgen) in live else NULL
    if isinstance(obj, pikepdf.String):
        return ("str", bytes(obj))
    if isinstance(obj, pikepdf.Name):
        return ("name", str(obj))
    if isinstance(obj, pikepdf.Array):
        return ("array", tuple(canon(item, live, depth + 1) for item in obj))
    if isinstance(obj, (pikepdf.Stream, pikepdf.Dictionary)):  # a stream's data and /Length: compared raw
        stream = isinstance(obj, pikepdf.Stream)
        entries = {k: canon(v, live, depth + 1) for k, v in (obj.stream_dict if stream else obj).items()
                   if not (stream and k == "/Length")}
        return ("dict", {k: v for k, v in entries.items() if v != NULL})
    return ("other", repr(obj))


def diff(a, b, path, out, added=()):
    """Appends where a (input) and b (output) differ; keys in `added` may be
    only in the output."""
    if a == b:
        return
    if a[0] == b[0] == "dict":
        for key in sorted(set(a[1]) | set(b[1]) - set(added)):
            if key not in b[1] or key not in a[1]:
                out.append(f"{path}{key}: only in the {'input' if key in a[1] else 'output'}")
            else:
                diff(a[1][key], b[1][key], f"{path}{key}", out)
    elif a[0] == b[0] == "array" and len(a[1]) == len(b[1]):
        for i, (x, y) in enumerate(zip(a[1], b[1])):
            diff(x, y, f"{path}[{i}]", out)
    else:
        out.append(f"{path or 'value'}: input {repr(a)[:120]}, output {repr(b)[:120]}")


def highest(ids):
    """(number, generation) pairs, the highest generation of each number."""
    best = {}
    for num, gen in ids:
        best[int(num)] = max(int(gen), best.get(int(num), 0))
    return sorted(best.items())


def xref_in_use(path, password=None):
    """The objects the file's cross-reference sections list in use, as qpdf
    reads them (it drops numbers a later section frees, and keeps each
    generation met along /Prev: a number's highest one is in use)."""
    rc, out, err = qpdf(path, password, "--show-xref")
    if rc not in (0, 3):
        raise ValueError(err.strip()[:300])
    return highest(re.findall(r"^(\d+)/(\d+):", out, re.M))


def is_xref_stream(obj):
    return isinstance(obj, pikepdf.Stream) and obj.stream_dict.get("/Type") == pikepdf.Name.XRef


def compare_objects(args, pin, pout, in_ids):
    problems, in_set, in_max = [], set(in_ids), 0
    out_ids = set(xref_in_use(args.output, args.user))
    root = pin.trailer.get("/Root")
    for num, gen in in_ids:
        obj = pin.get_object((num, gen))
        if is_xref_stream(obj):
            if (num, gen) in out_ids and is_xref_stream(pout.get_object((num, gen))):
                problems.append(f"object {num} {gen}: the input's cross-reference stream was copied")
            continue
        in_max, a = max(in_max, num), canon(obj, in_set)
        if (num, gen) not in out_ids:
            if a != NULL:  # unreadable in the input too: nothing to copy
                problems.append(f"object {num} {gen}: missing in output")
            continue
        other, diffs = pout.get_object((num, gen)), []
        added = CIPHERS[args.cipher]["catalog"] if root is not None and root.objgen == (num, gen) else ()
        diff(a, canon(other, out_ids), "", diffs, added)
        if isinstance(obj, pikepdf.Stream) != isinstance(other, pikepdf.Stream):
            diffs.append("a stream in only one of input and output")
        elif isinstance(obj, pikepdf.Stream) and (raw := obj.read_raw_bytes()) != other.read_raw_bytes():
            diffs.append(f"stream data differs ({len(raw)} bytes in, {len(other.read_raw_bytes())} out)")
        problems.extend(f"object {num} {gen}: {d}" for d in diffs)
    # Only the Encrypt dictionary and the output's own cross-reference stream
    # may be added, numbered above every object of the input.
    extra = sorted(out_ids - in_set)
    encrypt = [i for i in extra if isinstance(pout.get_object(i), pikepdf.Dictionary)
               and pout.get_object(i).get("/Filter") == pikepdf.Name.Standard]
    xrefs = [i for i in extra if is_xref_stream(pout.get_object(i))]
    others = [f"{n} {g}" for n, g in extra if (n, g) not in encrypt + xrefs]
    if others:
        problems.append("objects not in the input: " + ", ".join(others[:20]))
    if len(encrypt) != 1 or len(xrefs) > 1:
        problems.append(f"{len(encrypt)} Encrypt dictionaries and {len(xrefs)} xref streams added, expected 1 and 1")
    if low := [f"{n} {g}" for n, g in encrypt + xrefs if n <= in_max]:
        problems.append(f"added objects {', '.join(low)} are not numbered above the input's {in_max}")
    return problems


def compare_trailer(args, pin, pout):
    data, problems = open(args.output, "rb").read(), []
    header = b"%PDF-" + CIPHERS[args.cipher]["version"].encode()
    if not data.startswith(header):
        problems.append(f"header {data[:8]!r}, expected {header!r}")
    if (pout.trailer.get("/Type"), pout.trailer.get("/Filter")) != (pikepdf.Name.XRef, pikepdf.Name.FlateDecode) \
            or not re.search(rb"startxref\s+\d+\s+%%EOF\s*$", data[-64:]):  # qpdf's trailer: the last section's
        problems.append("the file does not end with a Flate cross-reference stream, startxref and %%EOF")

    def ref(trailer, key):
        value = trailer.get(key)
        return value.objgen if isinstance(value, pikepdf.Object) and value.is_indirect else None
    for key in ("/Root", "/Info"):
        if ref(pout.trailer, key) != ref(pin.trailer, key) and (key == "/Root" or ref(pin.trailer, key)):
            problems.append(f"{key} {ref(pout.trailer, key)}, input {ref(pin.trailer, key)}")
    ids = pout.trailer.get("/ID")
    if not isinstance(ids, pikepdf.Array) or len(ids) != 2 or \
            not all(isinstance(s, pikepdf.String) and len(bytes(s)) >= 16 for s in ids):
        problems.append(f"/ID is {repr(ids)[:120]}, expected two strings of 16 bytes")
    if not isinstance(pout.trailer.get("/Encrypt"), pikepdf.Dictionary):
        problems.append("no /Encrypt dictionary in the trailer")
    return problems


# --- what readers show ---------------------------------------------------

TEXT = {"pdftotext": lambda path, pw, flag: ["pdftotext", "-q", "-enc", "UTF-8", *([flag, pw] if pw else []), path, "-"],
        "mutool": lambda path, pw, flag: ["mutool", "draw", "-q", "-F", "txt", "-o", "-", *(["-p", pw] if pw else []),
                                          path, "1-20"]}


def check_text(args, tool, lenient, report):
    """The tool sees the same text in input and output; with `lenient` (the
    input has deleted objects, which readers still show) a difference is
    only noted."""
    rc, want, _ = run(TEXT[tool](args.input, "", "")) if shutil.which(tool) else (None, "", "")
    if rc != 0:
        report.append(f"NOTE {tool}: not installed or the input gives exit {rc}")
        return []
    problems = []
    for role, password in roles(args):
        if tool == "pdftotext" and CIPHERS[args.cipher]["R"] >= 5 and len(password.encode()) > 32:
            continue  # poppler 22 refuses revision-6 passwords over 32 bytes, also in qpdf's files
        rc, got, err = run(TEXT[tool](args.output, password, "-upw" if role == "user" else "-opw"))
        if rc != 0 or got != want:
            at = next((i for i, (a, b) in enumerate(zip(want.splitlines(), got.splitlines())) if a != b), None)
            problems.append(f"{role} password: exit {rc} {err.strip()[:200]}, text differs at line {at}")
    if problems and lenient:
        report.append(f"NOTE {tool}: {'; '.join(problems)} (deleted objects in the input)")
        return []
    return problems


def check_pdfjs(args):
    runs = [(role, run(["node", os.path.join(HERE, "pdfjs_open.mjs"), args.input, args.output, password]
                       + (["wrong-password"] if args.user else []))) for role, password in roles(args)]
    return [f"{role} password: {(out + err).strip()[:400]}" for role, (rc, out, err) in runs if rc != 0]


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    for flag in ("--input", "--output"):
        ap.add_argument(flag, required=True)
    for flag in ("--user", "--owner", "--permissions"):  # no --owner: made up by the writer, no owner checks
        ap.add_argument(flag, default="")
    ap.add_argument("--cipher", default="rc4-128", choices=sorted(CIPHERS))
    ap.add_argument("--no-text", action="store_true", help="skip pdftotext and mutool")
    ap.add_argument("--pdfjs", action="store_true", help="open the output with pdf.js too")
    args = ap.parse_args()
    sys.setrecursionlimit(10000)
    report, failed = [], []

    def check(name, fn, *fargs):  # a reader's exception is the check's failure
        try:
            problems = fn(*fargs)
        except Exception as exc:
            problems = [f"{type(exc).__name__}: {exc}"]
        failed.extend([name] if problems else [])
        report.append(f"FAIL {name}: " + "\n    ".join(problems[:12]) if problems else f"PASS {name}")

    in_rc, in_out, in_err = qpdf(args.input, None, "--check")
    input_issues = check_issues(args.input, in_rc, in_out, in_err)
    if input_issues:
        report.append(f"NOTE qpdf --check of the input: exit {in_rc}; its {len(input_issues)} issue(s) are allowed")
    for role, password in roles(args):
        check(f"qpdf-check-{role}-password", check_qpdf, args, password, input_issues, in_rc)
    check("passwords", check_passwords, args)
    check("encryption", check_encryption, args)
    deleted = []
    try:
        pin, pout = opened(args.input), opened(args.output, args.user)
    except Exception as exc:
        check("objects", lambda e=exc: [f"pikepdf cannot open input and output: {e}"])
    else:
        seen = highest(re.findall(r'"obj:(\d+) (\d+) R"', qpdf(args.input, None, "--json=2", "--json-key=qpdf",
                                                                 "--json-stream-data=none")[1]))
        try:
            in_ids = xref_in_use(args.input)
            deleted = sorted(set(seen) - set(in_ids))
        except ValueError as exc:
            report.append(f"NOTE qpdf cannot list the input's objects ({exc}); comparing all it sees")
            in_ids = seen
        check("objects", compare_objects, args, pin, pout, in_ids)
        check("trailer", compare_trailer, args, pin, pout)
        check("pypdf", check_pypdf, args, len(pin.pages))
    for tool in () if args.no_text else TEXT:
        check(tool, check_text, args, tool, bool(deleted), report)
    if args.pdfjs:
        check("pdfjs", check_pdfjs, args)
    print("\n".join("  " + line for line in report))
    print(f"RESULT {'FAIL' if failed else 'PASS'} {args.output}" + (f": {', '.join(failed)}" if failed else ""))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
