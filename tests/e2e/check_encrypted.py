#!/usr/bin/python3
"""Checks an encrypted PDF written by varnel against its plain input with
readers that share no code with varnel: qpdf (also through pikepdf), pypdf,
pdftotext, mutool and, with --pdfjs, pdf.js.

    check_encrypted.py --input IN --output OUT [--cipher rc4-128] [--user U]
                       [--owner O] [--permissions LETTERS] [--pdfjs] [--no-text]

Checks (one PASS/FAIL line each, then RESULT): qpdf --check with each password
no worse than for the input; a wrong password refused (none needed when the
user password is empty); the security handler of --cipher (row of CIPHERS,
read back with qpdf) and P = letter bits | 0xFFFFF0C0; pypdf opens it; every
input object is there decrypted with its number, generation, value and raw
stream bytes, and only the Encrypt dictionary and one cross-reference stream
are added (the input's cross-reference streams left out); header, /Root,
/Info, /ID; the same text from pdftotext and mutool. Exit 0, 1 on a failed
check, 2 on bad usage.
"""
import argparse
import decimal
import json
import os
import re
import shutil
import subprocess
import sys

try:
    import pikepdf
    import pypdf
except ImportError as exc:
    sys.exit(f"ERROR missing Python module: {exc}")

HERE = os.path.dirname(os.path.abspath(__file__))
# Security handler per cipher as qpdf reports it, the header version, P bits
# set whatever the letters, and entries the output may add to the catalog.
CIPHERS = {
    "rc4-128": dict(R=3, V=2, bits=128, method="RC4", version="1.5", p=0, catalog=()),
    "aes-128": dict(R=4, V=4, bits=128, method="AESv2", version="1.6", p=0x200, catalog=()),
    "aes-256": dict(R=6, V=5, bits=256, method="AESv3", version="1.7", p=0x200, catalog=("/Extensions",)),
}
LETTER_BITS = {"P": 0x804, "D": 0x4, "M": 0x8, "C": 0x10, "A": 0x20, "S": 0x400}
CAPABILITIES = {"printlow": "PD", "printhigh": "P", "modifyother": "M", "extract": "C",
                "modifyannotations": "A", "modifyassembly": "S"}  # qpdf's name: letters granting it
NULL = ("null",)
WS = rb"[\x00\t\n\x0c\r ]*"


def expected_p(letters, always=0):
    value = 0xFFFFF0C0 | always
    for letter, bits in LETTER_BITS.items():
        value |= bits if letter in letters else 0
    return value - (1 << 32)


def run(cmd, timeout=600):
    try:
        p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout, cwd=HERE)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return -999, "", f"timed out after {timeout}s"


def qpdf(path, password, *args):
    pw = [] if password is None else ["--password-mode=bytes", f"--password={password}"]
    return run(["qpdf", *pw, *args, path])


def qpdf_json(path, password, *args):
    rc, out, err = qpdf(path, password, "--json=2", *args)
    if rc not in (0, 3):
        raise RuntimeError(f"qpdf --json failed ({rc}): {err.strip()[:300]}")
    return json.loads(out)


def show(value, limit=120):
    text = repr(value)
    return text if len(text) <= limit else text[:limit] + "..."


class Report:
    def __init__(self):
        self.failed, self.lines = [], []

    def check(self, name, problems, detail=""):
        if problems:
            self.failed.append(name)
            self.lines.append(f"FAIL {name}: " + "\n    ".join(problems[:12]) +
                              (f"\n    ... and {len(problems) - 12} more" if len(problems) > 12 else ""))
        else:
            self.lines.append(f"PASS {name}" + (f": {detail}" if detail else ""))

    def note(self, text):
        self.lines.append(f"NOTE {text}")

    def guarded(self, name, fn, *args):
        """Runs one check; an exception of a reader is that check's failure."""
        try:
            return fn(self, *args)
        except Exception as exc:
            self.check(name, [f"{type(exc).__name__}: {exc}"])


def check_issues(path, rc, out, err):
    """qpdf --check's findings without file names and offsets."""
    issues = set()
    for line in (out + "\n" + err).splitlines():
        m = re.search(r"\b(WARNING|ERROR): (.*)", line)
        if m:
            text = m.group(2)
            for name in sorted({path, os.path.abspath(path), os.path.basename(path)}, key=len, reverse=True):
                text = text.replace(name, "FILE")
            text = re.sub(r"^FILE:?\s*", "", re.sub(r"\(offset \d+\)|, offset \d+", "", text))
            issues.add(text.strip(" :"))
    if rc not in (0, 3) and not issues:
        issues.add(f"qpdf exit code {rc}: {err.strip()[:200]}")
    return issues


def roles(args):
    return [("user", args.user)] + ([("owner", args.owner)] if args.owner else [])


def check_qpdf(report, args, input_issues, input_rc):
    for role, password in roles(args):
        rc, out, err = qpdf(args.output, password, "--check")
        new = sorted(check_issues(args.output, rc, out, err) - input_issues)
        sound = rc == 0 and "WARNING" not in out + err
        allowed = (rc in (0, 3) or rc == input_rc == 2) and not new
        report.check(f"qpdf-check-{role}-password", [] if sound or allowed else
                     [f"exit {rc}; issues not seen in the input:"] + (new or [err.strip()[:300]]))


def check_passwords(report, args):
    problems = []
    rc, _, _ = run(["qpdf", "--requires-password", args.output])
    if rc != (0 if args.user else 3):
        problems.append(f"qpdf --requires-password exit {rc}, expected {0 if args.user else 3}")
    if args.user:  # the empty password too: an empty owner password means a made-up one
        wrong = next(w for w in ("wrong-password", "WRONG-password-2")
                     if all(w.encode()[:32] != k.encode()[:32] for k in (args.user, args.owner)))
        for bad in (wrong, ""):
            rc, out, err = qpdf(args.output, bad, "--check")
            if rc != 2 or "invalid password" not in out + err:
                problems.append(f"qpdf opened the file with the wrong password {bad!r} (exit {rc})")
    checks = [("user", args.user, True, args.user == args.owner)]
    if args.owner and args.owner != args.user:
        checks.append(("owner", args.owner, None, True))
    for role, password, user_match, owner_match in checks:
        info = qpdf_json(args.output, password, "--json-key=encrypt")["encrypt"]
        if user_match is not None and info.get("userpasswordmatched") is not user_match:
            problems.append(f"{role} password: userpasswordmatched={info.get('userpasswordmatched')}")
        if info.get("ownerpasswordmatched") is not owner_match:
            problems.append(f"{role} password: ownerpasswordmatched={info.get('ownerpasswordmatched')}")
    report.check("passwords", problems, "wrong password refused" if args.user else "opens without a password")


def check_encryption(report, args):
    cipher = CIPHERS[args.cipher]
    info = qpdf_json(args.output, args.user, "--json-key=encrypt")["encrypt"]
    params, caps = info.get("parameters", {}), info.get("capabilities", {})
    want_p = expected_p(args.permissions, cipher["p"])
    expected = {"R": cipher["R"], "V": cipher["V"], "bits": cipher["bits"], "P": want_p}
    expected.update({k: cipher["method"] for k in ("method", "streammethod", "stringmethod", "filemethod")})
    problems = [] if info.get("encrypted") else ["qpdf says the output is not encrypted"]
    problems += [f"{k} = {params.get(k)!r}, expected {v!r}" for k, v in expected.items() if params.get(k) != v]
    for cap, letters in CAPABILITIES.items():
        want = any(letter in args.permissions for letter in letters)
        if caps.get(cap) is not want:
            problems.append(f"permission {cap} = {caps.get(cap)}, expected {want} for {args.permissions!r}")
    _, out, _ = qpdf(args.output, args.user, "--show-encryption")
    problems += [f"qpdf --show-encryption lacks {line!r}" for line in (f"R = {cipher['R']}", f"P = {want_p}")
                 if line not in out.splitlines()]
    report.check("encryption", problems, f"{args.cipher} R{cipher['R']} V{cipher['V']}, P = {want_p}")


def check_pypdf(report, args, input_pages):
    problems = []
    for role, password in roles(args):
        reader = pypdf.PdfReader(args.output)
        try:
            got = reader.decrypt(password) if reader.is_encrypted else None
        except pypdf.errors.DependencyError as exc:  # AES needs PyCryptodome (scripts/install-test-deps)
            problems.append(f"pypdf: {exc}")
            break
        if got is None or got == pypdf.PasswordType.NOT_DECRYPTED:
            problems.append(f"pypdf: not encrypted or refuses the {role} password")
        elif role == "owner" and got != pypdf.PasswordType.OWNER_PASSWORD:
            problems.append(f"pypdf takes the owner password as {got!r}")
        elif len(reader.pages) != input_pages:
            problems.append(f"pypdf counts {len(reader.pages)} pages, input has {input_pages}")
    report.check("pypdf", problems, f"{input_pages} page(s)")


# --- objects -------------------------------------------------------------

def canon(obj, live, depth=0):
    """A comparable form of a direct value. References stay references when
    they name an object in `live`; any other reference means null, and a
    dictionary entry whose value is null counts as absent."""
    if depth > 200:
        raise RecursionError("nesting deeper than 200")
    if isinstance(obj, bool):
        return ("bool", obj)
    if obj is None:
        return NULL
    if isinstance(obj, (int, decimal.Decimal, float)):
        return ("num", decimal.Decimal(obj) if isinstance(obj, float) else obj)
    if isinstance(obj, pikepdf.Object) and obj.is_indirect and depth > 0:
        return ("ref",) + tuple(obj.objgen) if tuple(obj.objgen) in live else NULL
    if isinstance(obj, pikepdf.String):
        return ("str", bytes(obj))
    if isinstance(obj, pikepdf.Name):
        return ("name", str(obj))
    if isinstance(obj, pikepdf.Array):
        return ("array", tuple(canon(item, live, depth + 1) for item in obj))
    if isinstance(obj, (pikepdf.Stream, pikepdf.Dictionary)):  # a stream's data and length are compared raw
        items = obj.stream_dict.items() if isinstance(obj, pikepdf.Stream) else obj.items()
        entries = {k: canon(v, live, depth + 1) for k, v in items if not (k == "/Length" and isinstance(obj, pikepdf.Stream))}
        return ("dict", {k: v for k, v in entries.items() if v != NULL})
    if isinstance(obj, pikepdf.Object) and obj._type_code == pikepdf.ObjectType.null:
        return NULL
    return ("other", repr(obj))


def diff(a, b, path, out, added=()):
    """Appends where the canonical values a (input) and b (output) differ;
    keys in `added` may be only in the output."""
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
        out.append(f"{path or 'value'}: input {show(a)}, output {show(b)}")


def object_ids(path, password):
    """(number, generation) of qpdf's objects; only a number's highest
    generation can be in use (qpdf keeps every generation met along /Prev)."""
    best = {}
    for key in qpdf_json(path, password, "--json-key=qpdf", "--json-stream-data=none")["qpdf"][1]:
        m = re.fullmatch(r"obj:(\d+) (\d+) R", key)
        if m:
            best[int(m.group(1))] = max(int(m.group(2)), best.get(int(m.group(1)), 0))
    return sorted(best.items())


def dictionary_end(data, pos, limit=1 << 20):
    """Offset just past the dictionary that starts at `pos`."""
    if not data.startswith(b"<<", pos):
        raise ValueError(f"no dictionary at {pos}")
    depth, i, end = 0, pos, min(len(data), pos + limit)
    while i < end:
        if data.startswith(b"<<", i) or data.startswith(b">>", i):
            depth, i = depth + (1 if data[i] == 0x3C else -1), i + 2
            if depth == 0:
                return i
        elif data[i] == 0x28:  # literal string: skip, minding escapes and nesting
            nest, i = 1, i + 1
            while i < end and nest:
                c = data[i:i + 1]
                i += 2 if c == b"\\" else 1
                nest += {b"(": 1, b")": -1}.get(c, 0)
        else:
            i += 1
    raise ValueError(f"unterminated dictionary at {pos}")


def classic_section(data, offset):
    pos = re.compile(WS + rb"xref" + WS).match(data, offset).end()
    entries = []
    while m := re.compile(rb"(\d+)[ \t]+(\d+)" + WS).match(data, pos):
        pos = m.end()
        for i in range(int(m.group(2))):
            r = re.compile(rb"(\d+)[ \t]+(\d+)[ \t]+([nf])" + WS).match(data, pos)
            if not r:
                raise ValueError(f"bad classic cross-reference row at {pos}")
            entries.append((int(m.group(1)) + i, int(r.group(2)), r.group(3) == b"n"))
            pos = r.end()
    if not data.startswith(b"trailer", pos):
        raise ValueError(f"no trailer after the table at {offset}")
    start = re.compile(rb"trailer" + WS).match(data, pos).end()
    trailer = data[start:dictionary_end(data, start)]
    prev, stm = (re.search(key + WS + rb"(\d+)", trailer) for key in (rb"/Prev", rb"/XRefStm"))
    return entries, int(prev.group(1)) if prev else None, int(stm.group(1)) if stm else None


def stream_section(data, offset):
    """Entries of the cross-reference stream at `offset`, located by offset
    (a number reused by several sections' streams does not matter); qpdf
    decodes the data."""
    m = re.compile(WS + rb"\d+" + WS + rb"\d+" + WS + rb"obj" + WS).match(data, offset)
    if not m:
        raise ValueError(f"no object at {offset}")
    end = dictionary_end(data, m.end())
    head = pikepdf.Object.parse(re.sub(rb"\d+" + WS + rb"\d+" + WS + rb"R\b", b"null", data[m.end():end]))
    s = re.compile(WS + rb"stream\r?\n").match(data, end)
    if not s or head.get("/Type") != pikepdf.Name.XRef:
        raise ValueError(f"no cross-reference stream at {offset}")
    length = head.get("/Length")
    if isinstance(length, int) and 0 <= length <= len(data) - s.end():
        raw = data[s.end():s.end() + length]
    else:  # indirect /Length: the data runs to "endstream"
        stop = data.find(b"endstream", s.end())
        if stop < 0:
            raise ValueError(f"unterminated stream at {offset}")
        raw = re.sub(rb"(\r\n|\n|\r)$", b"", data[s.end():stop])
    stream = pikepdf.Stream(pikepdf.new(), raw)
    for key in ("/Filter", "/DecodeParms"):
        if key in head:
            stream[key] = head[key]
    rows, widths = stream.read_bytes(), [int(w) for w in head["/W"]]
    index, size = [int(i) for i in head.get("/Index", [0, head["/Size"]])], sum(widths)
    if size <= 0 or len(widths) != 3:
        raise ValueError(f"bad /W at {offset}")

    def field(at, width, default):
        return int.from_bytes(rows[at:at + width], "big") if width else default
    entries, at = [], 0
    for start, count in zip(index[0::2], index[1::2]):
        for num in range(start, start + count):
            if at + size > len(rows):
                raise ValueError(f"cross-reference stream at {offset} is short")
            kind = field(at, widths[0], 1)
            entries.append((num, field(at + widths[0] + widths[1], widths[2], 0) if kind == 1 else 0, kind in (1, 2)))
            at += size
    return entries, int(head["/Prev"]) if "/Prev" in head else None


def xref_in_use(path):
    """The objects the file's own cross-reference sections list as in use,
    walking startxref and /Prev without repair: the newest section that
    mentions a number decides; within one section (a table and its /XRefStm
    stream) an in-use entry beats a free one."""
    data = open(path, "rb").read()
    m = re.compile(rb"startxref" + WS + rb"(\d+)").match(data, max(0, data.rfind(b"startxref")))
    if m is None:
        raise ValueError("no startxref")
    state, offset, seen = {}, int(m.group(1)), set()
    while offset is not None:
        if offset in seen or len(seen) >= 1000 or offset >= len(data):
            raise ValueError(f"bad or looping section offset {offset}")
        seen.add(offset)
        if re.match(WS + rb"xref", data[offset:offset + 64]):
            entries, prev, stm = classic_section(data, offset)
            entries = (stream_section(data, stm)[0] if stm is not None else []) + entries
        else:
            entries, prev = stream_section(data, offset)
        section = {}
        for num, gen, used in entries:
            if num not in section or (used and not section[num][1]):
                section[num] = (gen, used)
        for num, value in section.items():
            state.setdefault(num, value)
        offset = prev
    return sorted((num, gen) for num, (gen, used) in state.items() if used and num > 0)


def is_xref_stream(obj):
    return isinstance(obj, pikepdf.Stream) and obj.stream_dict.get("/Type") == pikepdf.Name.XRef


def compare_objects(report, args, pin, pout, in_ids):
    problems = []
    # qpdf also lists numbers it resolved to nothing: those are not in the output
    out_ids = {i for i in object_ids(args.output, args.user) if canon(pout.get_object(i), ()) != NULL}
    in_set, compared, in_max = set(in_ids), 0, 0
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
        root = pin.trailer.get("/Root")
        added = CIPHERS[args.cipher]["catalog"] if root is not None and tuple(root.objgen) == (num, gen) else ()
        diff(a, canon(other, out_ids), "", diffs, added)
        if isinstance(obj, pikepdf.Stream) != isinstance(other, pikepdf.Stream):
            diffs.append("a stream in only one of input and output")
        elif isinstance(obj, pikepdf.Stream) and obj.read_raw_bytes() != other.read_raw_bytes():
            raw_in, raw_out = obj.read_raw_bytes(), other.read_raw_bytes()
            at = next((i for i, (x, y) in enumerate(zip(raw_in, raw_out)) if x != y), min(len(raw_in), len(raw_out)))
            diffs.append(f"stream data differs ({len(raw_in)} bytes in, {len(raw_out)} out, first at {at})")
        problems.extend(f"object {num} {gen}: {d}" for d in diffs)
        compared += 1
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
    low = [f"{n} {g}" for n, g in encrypt + xrefs if n <= in_max]
    if low:
        problems.append(f"added objects {', '.join(low)} are not numbered above the input's {in_max}")
    report.check("objects", problems, f"{compared} objects equal")


def compare_trailer(report, args, pin, pout):
    data, problems = open(args.output, "rb").read(), []
    header = b"%PDF-" + CIPHERS[args.cipher]["version"].encode()
    if not data.startswith(header):
        problems.append(f"header {data[:8]!r}, expected {header!r}")
    m = re.search(rb"startxref\s+(\d+)\s+%%EOF\s*$", data[-1024:])
    head = data[int(m.group(1)):int(m.group(1)) + 4096] if m else b""
    if not re.match(rb"\d+\s+\d+\s+obj\b", head) or not re.search(rb"/Type\s*/XRef\b", head):
        problems.append("the file does not end with startxref pointing at a cross-reference stream, and %%EOF")
    elif not re.search(rb"/Filter\s*/FlateDecode\b", head.split(b"stream", 1)[0]):
        problems.append("the cross-reference stream is not compressed with /FlateDecode")

    def ref(trailer, key):
        value = trailer.get(key)
        return tuple(value.objgen) if isinstance(value, pikepdf.Object) and value.is_indirect else None
    for key in ("/Root", "/Info"):
        if ref(pout.trailer, key) != ref(pin.trailer, key) and (key == "/Root" or ref(pin.trailer, key)):
            problems.append(f"{key} {ref(pout.trailer, key)}, input {ref(pin.trailer, key)}")
    ids = pout.trailer.get("/ID")
    if not isinstance(ids, pikepdf.Array) or len(ids) != 2 or \
            not all(isinstance(s, pikepdf.String) and len(bytes(s)) >= 16 for s in ids):
        problems.append(f"/ID is {show(ids)}, expected two strings of 16 bytes")
    if not isinstance(pout.trailer.get("/Encrypt"), pikepdf.Dictionary):
        problems.append("no /Encrypt dictionary in the trailer")
    report.check("trailer", problems, "header, xref stream, /Root, /Info, /ID, /Encrypt")


# --- what readers show ---------------------------------------------------

def check_text(report, args, lenient):
    """pdftotext and mutool see the same text in input and output. With
    `lenient` (the input has objects a later update deleted, which readers
    still show) a difference is only noted."""
    tools = [("pdftotext", lambda path, pw, flag: ["pdftotext", "-q", "-enc", "UTF-8", *([flag, pw] if pw else []), path, "-"]),
             ("mutool", lambda path, pw, flag: ["mutool", "draw", "-q", "-F", "txt", "-o", "-", *(["-p", pw] if pw else []),
                                                path, f"1-{args.mutool_pages}"])]
    for tool, cmd in tools:
        rc, want, _ = run(cmd(args.input, "", "")) if shutil.which(tool) else (None, "", "")
        if rc != 0:
            report.note(f"{tool}: not installed or the input gives exit {rc}")
            continue
        problems = []
        for role, password in roles(args):
            if tool == "pdftotext" and CIPHERS[args.cipher]["R"] >= 5 and len(password.encode()) > 32:
                # poppler 22 refuses revision-6 passwords over 32 bytes, also in qpdf's files.
                report.note(f"pdftotext: {role} password of {len(password.encode())} bytes not tried")
                continue
            rc, got, err = run(cmd(args.output, password, "-upw" if role == "user" else "-opw"))
            if rc != 0 or got != want:
                at = next((i for i, (a, b) in enumerate(zip(want.splitlines(), got.splitlines())) if a != b), None)
                problems.append(f"{role} password: exit {rc} {err.strip()[:200]}, text differs at line {at}")
        if problems and lenient:
            report.note(f"{tool}: {'; '.join(problems)} (the input has deleted objects that readers still show)")
        else:
            report.check(tool, problems, f"{len(want)} characters")


def check_pdfjs(report, args):
    problems = []
    for role, password in roles(args):
        rc, out, err = run(["node", os.path.join(HERE, "pdfjs_open.mjs"), "--input", args.input, "--output",
                            args.output, "--password", password] + (["--wrong-password-refused"] if args.user else []))
        if rc != 0:
            problems.append(f"{role} password: {(out + err).strip()[:400]}")
    report.check("pdfjs", problems, "pages and first-page text equal")


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--input", required=True)
    ap.add_argument("--output", required=True)
    ap.add_argument("--cipher", default="rc4-128", choices=sorted(CIPHERS))
    ap.add_argument("--user", default="")
    ap.add_argument("--owner", default="", help="empty: the writer made one up, so no owner checks")
    ap.add_argument("--permissions", default="")
    ap.add_argument("--mutool-pages", type=int, default=20, help="mutool reads this many pages at most")
    ap.add_argument("--no-text", action="store_true", help="skip pdftotext and mutool")
    ap.add_argument("--pdfjs", action="store_true", help="open the output with pdf.js too")
    args = ap.parse_args()
    sys.setrecursionlimit(10000)
    if not shutil.which("qpdf") or not all(os.path.isfile(p) for p in (args.input, args.output)):
        print("ERROR qpdf or a file is missing", file=sys.stderr)
        return 2

    report = Report()
    print(f"checking {args.output} against {args.input} ({args.cipher}, user {args.user!r}, "
          f"owner {args.owner!r}, permissions {args.permissions!r})")
    in_rc, in_out, in_err = qpdf(args.input, None, "--check")
    input_issues = check_issues(args.input, in_rc, in_out, in_err)
    if input_issues:
        report.note(f"qpdf --check of the input: exit {in_rc}; its {len(input_issues)} issue(s) are allowed")
    report.guarded("qpdf-check", check_qpdf, args, input_issues, in_rc)
    report.guarded("passwords", check_passwords, args)
    report.guarded("encryption", check_encryption, args)
    deleted = []
    try:
        pin = pikepdf.open(args.input, inherit_page_attributes=False)
        pout = pikepdf.open(args.output, password=args.user, inherit_page_attributes=False)
    except Exception as exc:
        report.check("objects", [f"pikepdf cannot open input and output: {exc}"])
    else:
        seen = object_ids(args.input, None)
        try:
            in_ids = xref_in_use(args.input)
            deleted = sorted(set(seen) - set(in_ids))
        except Exception as exc:  # damaged chain: qpdf's repaired view
            report.note(f"cross-reference chain of the input not readable ({exc}); comparing qpdf's objects")
            in_ids = seen
        report.guarded("objects", compare_objects, args, pin, pout, in_ids)
        report.guarded("trailer", compare_trailer, args, pin, pout)
        report.guarded("pypdf", check_pypdf, args, len(pin.pages))
    if not args.no_text:
        report.guarded("text", check_text, args, bool(deleted))
    if args.pdfjs:
        report.guarded("pdfjs", check_pdfjs, args)
    print("\n".join("  " + line for line in report.lines))
    print(f"RESULT {'FAIL' if report.failed else 'PASS'} {args.output}" +
          (f": {', '.join(report.failed)}" if report.failed else ""))
    return 1 if report.failed else 0


if __name__ == "__main__":
    sys.exit(main())
