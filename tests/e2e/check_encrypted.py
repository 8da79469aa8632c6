#!/usr/bin/python3
"""Checks an encrypted PDF written by `varnel encrypt` against its plain input
with readers that share no code with Varnel: qpdf (also through pikepdf),
pypdf, poppler's pdftotext and MuPDF's mutool.

    check_encrypted.py --input IN.pdf --output OUT.pdf \
        --user U --owner O --permissions LETTERS

What must hold:
  * the output is a "%PDF-1.5" file that ends with a cross-reference stream;
  * qpdf --check is clean with the user and with the owner password (or no
    worse than qpdf --check of the input, when the input itself is damaged);
  * a wrong password is refused when the user password is not empty, and no
    password is needed when it is empty;
  * the security handler is Standard, revision 3, V 2, 128-bit RC4 and P is
    (letter bits) | 0xFFFFF0C0; qpdf's permission flags agree with the letters;
  * pypdf, an independent decryptor, accepts both passwords;
  * decrypted, every object of the input is there with the same number,
    generation and value, and every stream has the same raw (still filtered)
    bytes; the output adds only the Encrypt dictionary and its own
    cross-reference stream, and leaves out the input's cross-reference streams;
  * the trailer keeps /Root and /Info and has a two-element /ID;
  * pdftotext and mutool extract the same text from input and output.

Prints one PASS/FAIL line per check and a RESULT line. Exit 0 when every
check passed, 1 when one failed, 2 on bad usage or a missing tool.
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
except ImportError as exc:  # pragma: no cover - environment problem
    print(f"ERROR missing Python module: {exc}", file=sys.stderr)
    sys.exit(2)

# Permission letters and the P bits they grant.
LETTER_BITS = {"P": 0x804, "D": 0x4, "M": 0x8, "C": 0x10, "A": 0x20, "S": 0x400}
P_BASE = 0xFFFFF0C0

# How qpdf reports each permission, as a function of the letters given.
CAPABILITIES = {
    "printlow": lambda l: "P" in l or "D" in l,
    "printhigh": lambda l: "P" in l,
    "modifyother": lambda l: "M" in l,
    "extract": lambda l: "C" in l,
    "modifyannotations": lambda l: "A" in l,
    "modifyassembly": lambda l: "S" in l,
}

TIMEOUT = 600
MAX_DIFFS = 12


def expected_p(letters):
    bits = 0
    for letter, value in LETTER_BITS.items():
        if letter in letters:
            bits |= value
    value = bits | P_BASE
    return value - (1 << 32) if value & 0x80000000 else value


def run(cmd, timeout=TIMEOUT):
    """Runs a command; returns (exit code, stdout, stderr) as text.
    A signal shows as a negative exit code."""
    try:
        proc = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.PIPE, timeout=timeout)
    except subprocess.TimeoutExpired:
        return -999, "", f"timed out after {timeout}s"
    return (proc.returncode, proc.stdout.decode("utf-8", "replace"),
            proc.stderr.decode("utf-8", "replace"))


def wrong_password(*known):
    """A password that shares its first 32 bytes (all that counts) with none of `known`."""
    for candidate in ("wrong-password", "WRONG-password-2", "\x01x"):
        if all(candidate.encode()[:32] != k.encode()[:32] for k in known):
            return candidate
    raise AssertionError("no wrong password")


class Report:
    def __init__(self):
        self.failed = []
        self.lines = []

    def ok(self, name, detail=""):
        self.lines.append(f"PASS {name}" + (f": {detail}" if detail else ""))

    def fail(self, name, detail):
        self.failed.append(name)
        self.lines.append(f"FAIL {name}: {detail}")

    def check(self, name, problems, detail=""):
        if problems:
            shown = problems[:MAX_DIFFS]
            more = len(problems) - len(shown)
            text = "\n    ".join(shown) + (f"\n    ... and {more} more" if more > 0 else "")
            self.fail(name, "\n    " + text if len(shown) > 1 else text)
        else:
            self.ok(name, detail)

    def skip(self, name, why):
        self.lines.append(f"SKIP {name}: {why}")

    def note(self, text):
        self.lines.append(f"NOTE {text}")


# --- qpdf ---------------------------------------------------------------

class Qpdf:
    def __init__(self, exe):
        self.exe = exe

    def cmd(self, path, password, *args):
        pw = [] if password is None else ["--password-mode=bytes", f"--password={password}"]
        return [self.exe, *pw, *args, path]

    def check(self, path, password=None):
        return run(self.cmd(path, password, "--check"))

    def json(self, path, password, *args):
        rc, out, err = run(self.cmd(path, password, "--json=2", *args))
        if rc not in (0, 3):
            raise RuntimeError(f"qpdf --json failed ({rc}): {err.strip()[:300]}")
        return json.loads(out)


def check_issues(path, rc, out, err):
    """The warnings and errors of a qpdf --check run, without file names and
    offsets, so that the same fault in input and output compares equal."""
    issues = set()
    names = sorted({path, os.path.abspath(path), os.path.basename(path)}, key=len, reverse=True)
    for line in (out + "\n" + err).splitlines():
        m = re.search(r"\b(WARNING|ERROR): (.*)", line)
        if not m:
            continue
        text = m.group(2)
        for name in names:
            text = text.replace(name, "FILE")
        text = re.sub(r"\(offset \d+\)", "", text)
        text = re.sub(r", offset \d+", "", text)
        text = re.sub(r"^FILE:?\s*", "", text)
        issues.add(text.strip(" :"))
    if rc not in (0, 3) and not issues:
        issues.add(f"qpdf exit code {rc}: {err.strip()[:200]}")
    return issues


def check_with_qpdf(report, qpdf, args, input_issues, input_rc):
    passwords = [("user", args.user)]
    if args.owner:
        passwords.append(("owner", args.owner))
    for role, password in passwords:
        name = f"qpdf-check-{role}-password"
        rc, out, err = qpdf.check(args.output, password)
        if rc == 0 and "WARNING" not in out + err:
            report.ok(name, "no errors or warnings")
            continue
        issues = check_issues(args.output, rc, out, err)
        new = sorted(issues - input_issues)
        if rc in (0, 3) or (rc == 2 and input_rc == 2):
            if not new:
                report.ok(name, f"exit {rc}; only the input's own {len(issues)} issue(s)")
                continue
        report.fail(name, f"exit {rc}; issues not seen in the input:\n    " +
                    "\n    ".join(new[:MAX_DIFFS] or [err.strip()[:300]]))


def check_passwords(report, qpdf, args):
    problems = []
    rc, out, err = run([qpdf.exe, "--requires-password", args.output])
    if args.user:
        if rc != 0:
            problems.append(f"qpdf --requires-password exit {rc}, expected 0 (a password is required)")
        # The empty password too: an empty owner password means a made-up one.
        for bad in (wrong_password(args.user, args.owner), ""):
            rc, out, err = qpdf.check(args.output, bad)
            if rc != 2 or "invalid password" not in out + err:
                problems.append(f"qpdf opened the file with the wrong password {bad!r} (exit {rc})")
    elif rc != 3:
        problems.append(f"qpdf --requires-password exit {rc}, expected 3 (encrypted, empty user password)")

    roles = [("user", args.user, True, args.user == args.owner)]
    if args.owner and args.owner != args.user:
        roles.append(("owner", args.owner, None, True))
    for role, password, user_match, owner_match in roles:
        try:
            info = qpdf.json(args.output, password, "--json-key=encrypt")["encrypt"]
        except (RuntimeError, ValueError) as exc:
            problems.append(f"{role} password: {exc}")
            continue
        if user_match is not None and info.get("userpasswordmatched") is not user_match:
            problems.append(f"{role} password: userpasswordmatched={info.get('userpasswordmatched')}")
        if info.get("ownerpasswordmatched") is not owner_match:
            problems.append(f"{role} password: ownerpasswordmatched={info.get('ownerpasswordmatched')}, "
                            f"expected {owner_match}")
    report.check("passwords", problems,
                 "wrong password refused" if args.user else "opens without a password")


def check_encryption(report, qpdf, args):
    problems = []
    info = qpdf.json(args.output, args.user, "--json-key=encrypt")["encrypt"]
    params = info.get("parameters", {})
    want_p = expected_p(args.permissions)
    expected = {"R": 3, "V": 2, "bits": 128, "P": want_p, "method": "RC4",
                "streammethod": "RC4", "stringmethod": "RC4", "filemethod": "RC4"}
    if not info.get("encrypted"):
        problems.append("qpdf says the output is not encrypted")
    for key, value in expected.items():
        if params.get(key) != value:
            problems.append(f"{key} = {params.get(key)!r}, expected {value!r}")
    caps = info.get("capabilities", {})
    for cap, rule in CAPABILITIES.items():
        if caps.get(cap) is not rule(args.permissions):
            problems.append(f"permission {cap} = {caps.get(cap)}, expected {rule(args.permissions)} "
                            f"for letters {args.permissions!r}")
    # The text form as well, which is what people read.
    rc, out, err = run(qpdf.cmd(args.output, args.user, "--show-encryption"))
    for line in ("R = 3", f"P = {want_p}"):
        if line not in out.splitlines():
            problems.append(f"qpdf --show-encryption lacks {line!r}")
    report.check("encryption", problems, f"Standard R3 V2 RC4-128, P = {want_p}")


def check_pypdf(report, args, input_pages):
    problems = []
    roles = [("user", args.user, pypdf.PasswordType.USER_PASSWORD)]
    if args.owner:
        roles.append(("owner", args.owner, pypdf.PasswordType.OWNER_PASSWORD))
    for role, password, want in roles:
        try:
            reader = pypdf.PdfReader(args.output)
            if not reader.is_encrypted:
                problems.append("pypdf: not encrypted")
                break
            got = reader.decrypt(password)
            if got == pypdf.PasswordType.NOT_DECRYPTED:
                problems.append(f"pypdf refuses the {role} password")
                continue
            if role == "owner" and got != want:
                problems.append(f"pypdf takes the owner password as {got!r}")
            if len(reader.pages) != input_pages:
                problems.append(f"pypdf counts {len(reader.pages)} pages, input has {input_pages}")
        except Exception as exc:  # pypdf raises many kinds on bad files
            problems.append(f"pypdf with the {role} password: {type(exc).__name__}: {exc}")
    report.check("pypdf", problems, f"{input_pages} page(s)")


# --- object comparison -------------------------------------------------

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
        objgen = tuple(obj.objgen)
        return ("ref",) + objgen if objgen in live else NULL
    if isinstance(obj, pikepdf.String):
        return ("str", bytes(obj))
    if isinstance(obj, pikepdf.Name):
        return ("name", str(obj))
    if isinstance(obj, pikepdf.Array):
        return ("array", tuple(canon(item, live, depth + 1) for item in obj))
    if isinstance(obj, (pikepdf.Stream, pikepdf.Dictionary)):
        items = obj.stream_dict.items() if isinstance(obj, pikepdf.Stream) else obj.items()
        entries = {k: canon(v, live, depth + 1) for k, v in items}
        return ("dict", {k: v for k, v in entries.items() if v != NULL})
    if isinstance(obj, pikepdf.Object) and obj._type_code == pikepdf.ObjectType.null:
        return NULL
    return ("other", repr(obj))


NULL = ("null",)


def show(value, limit=120):
    text = repr(value)
    return text if len(text) <= limit else text[:limit] + "..."


def diff(a, b, path, out):
    """Appends to `out` where the canonical values a (input) and b (output) differ."""
    if a == b:
        return
    if a[0] == "dict" and b[0] == "dict":
        for key in sorted(set(a[1]) | set(b[1])):
            if key not in b[1]:
                out.append(f"{path}{key}: missing in output (input {show(a[1][key])})")
            elif key not in a[1]:
                out.append(f"{path}{key}: added in output ({show(b[1][key])})")
            else:
                diff(a[1][key], b[1][key], f"{path}{key}", out)
        return
    if a[0] == "array" and b[0] == "array" and len(a[1]) == len(b[1]):
        for i, (x, y) in enumerate(zip(a[1], b[1])):
            diff(x, y, f"{path}[{i}]", out)
        return
    out.append(f"{path or 'value'}: input {show(a)}, output {show(b)}")


def object_ids(qpdf, path, password):
    """Object (number, generation) pairs that qpdf's cross-reference view lists.
    qpdf keeps every generation it met along /Prev, also those deleted by a
    later update; only the highest generation of a number can be in use."""
    data = qpdf.json(path, password, "--json-key=qpdf", "--json-stream-data=none")
    best = {}
    for key in data["qpdf"][1]:
        m = re.fullmatch(r"obj:(\d+) (\d+) R", key)
        if m:
            num, gen = int(m.group(1)), int(m.group(2))
            best[num] = max(gen, best.get(num, gen))
    return sorted(best.items())


MAX_SECTIONS = 1000
WS = rb"[\x00\t\n\x0c\r ]*"


def xref_in_use(path):
    """The objects that the file's own cross-reference sections list as in
    use, walking startxref and /Prev without repair: the newest section that
    mentions a number decides; within one section (a classic table and the
    stream its /XRefStm names) an in-use entry beats a free one. Raises
    ValueError when the chain cannot be read."""
    with open(path, "rb") as f:
        data = f.read()
    m = re.compile(rb"startxref" + WS + rb"(\d+)").match(data, max(0, data.rfind(b"startxref")))
    if m is None:
        raise ValueError("no startxref")
    state = {}
    offset, seen = int(m.group(1)), set()
    while offset is not None:
        if offset in seen or len(seen) >= MAX_SECTIONS or offset >= len(data):
            raise ValueError(f"bad or looping section offset {offset}")
        seen.add(offset)
        if re.match(WS + rb"xref", data[offset:offset + 64]):
            entries, prev, stm = classic_section(data, offset)
            if stm is not None:
                more, _ = stream_section(data, stm)
                entries = more + entries
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


def classic_section(data, offset):
    pos = re.compile(WS + rb"xref" + WS).match(data, offset).end()
    header = re.compile(rb"(\d+)[ \t]+(\d+)" + WS)
    row = re.compile(rb"(\d+)[ \t]+(\d+)[ \t]+([nf])" + WS)
    entries = []
    while True:
        m = header.match(data, pos)
        if not m:
            break
        start, count = int(m.group(1)), int(m.group(2))
        pos = m.end()
        for i in range(count):
            r = row.match(data, pos)
            if not r:
                raise ValueError(f"bad classic cross-reference row at {pos}")
            entries.append((start + i, int(r.group(2)), r.group(3) == b"n"))
            pos = r.end()
    if not data.startswith(b"trailer", pos):
        raise ValueError(f"no trailer after the table at {offset}")
    start = re.compile(rb"trailer" + WS).match(data, pos).end()
    trailer = data[start:dictionary_end(data, start)]
    prev = re.search(rb"/Prev" + WS + rb"(\d+)", trailer)
    stm = re.search(rb"/XRefStm" + WS + rb"(\d+)", trailer)
    return (entries, int(prev.group(1)) if prev else None, int(stm.group(1)) if stm else None)


def dictionary_end(data, pos, limit=1 << 20):
    """Offset just past the dictionary that starts at `pos` ("<<" ... ">>")."""
    if not data.startswith(b"<<", pos):
        raise ValueError(f"no dictionary at {pos}")
    depth, i, end = 0, pos, min(len(data), pos + limit)
    while i < end:
        if data.startswith(b"<<", i):
            depth, i = depth + 1, i + 2
        elif data.startswith(b">>", i):
            depth, i = depth - 1, i + 2
            if depth == 0:
                return i
        elif data[i:i + 1] == b"(":  # literal string: skip, minding escapes and nesting
            nest, i = 1, i + 1
            while i < end and nest:
                c = data[i:i + 1]
                i += 2 if c == b"\\" else 1
                nest += {b"(": 1, b")": -1}.get(c, 0)
        else:
            i += 1
    raise ValueError(f"unterminated dictionary at {pos}")


def stream_section(data, offset):
    """Entries of the cross-reference stream at `offset`. Its dictionary is
    parsed and its data decoded by qpdf (through pikepdf), but the stream is
    located here, by offset, so that a number reused by several sections'
    streams does not matter."""
    m = re.compile(WS + rb"\d+" + WS + rb"\d+" + WS + rb"obj" + WS).match(data, offset)
    if not m:
        raise ValueError(f"no object at {offset}")
    end = dictionary_end(data, m.end())
    text = re.sub(rb"\d+" + WS + rb"\d+" + WS + rb"R\b", b"null", data[m.end():end])
    head = pikepdf.Object.parse(text)
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
        raw = data[s.end():stop]
        for eol in (b"\r\n", b"\n", b"\r"):
            if raw.endswith(eol):
                raw = raw[:-len(eol)]
                break
    scratch = pikepdf.new()
    stream = pikepdf.Stream(scratch, raw)
    for key in ("/Filter", "/DecodeParms"):
        if key in head:
            stream[key] = head[key]
    rows = stream.read_bytes()
    obj = head
    widths = [int(w) for w in obj["/W"]]
    index = [int(i) for i in obj.get("/Index", [0, obj["/Size"]])]
    size = sum(widths)
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
            gen = field(at + widths[0] + widths[1], widths[2], 0) if kind == 1 else 0
            entries.append((num, gen, kind in (1, 2)))
            at += size
    prev = obj.get("/Prev")
    return entries, int(prev) if prev is not None else None


def is_xref_stream(obj):
    return isinstance(obj, pikepdf.Stream) and obj.stream_dict.get("/Type") == pikepdf.Name.XRef


def input_objects(report, qpdf, args):
    """The input's objects in use, and those that qpdf still finds although a
    later update deleted them (lenient readers show such objects)."""
    seen = object_ids(qpdf, args.input, None)
    try:
        in_ids = xref_in_use(args.input)
    except Exception as exc:  # damaged chain: fall back to qpdf's repaired view
        report.note(f"cross-reference chain of the input not readable ({exc}); "
                    "comparing the objects qpdf finds")
        return seen, []
    deleted = sorted(set(seen) - set(in_ids))
    if deleted:
        report.note("objects deleted by an update of the input, which qpdf and other readers "
                    "still use: " + ", ".join(f"{n} {g}" for n, g in deleted[:10]))
    return in_ids, deleted


def compare_objects(report, qpdf, args, pin, pout, in_ids):
    problems = []
    # qpdf also lists numbers it resolved to nothing: those are not in the output
    out_ids = {i for i in object_ids(qpdf, args.output, args.user)
               if canon(pout.get_object(i), ()) != NULL}
    in_set = set(in_ids)
    compared = streams = skipped_xref = 0
    in_max = 0
    for num, gen in in_ids:
        obj = pin.get_object((num, gen))
        if is_xref_stream(obj):
            skipped_xref += 1
            if (num, gen) in out_ids and is_xref_stream(pout.get_object((num, gen))):
                problems.append(f"object {num} {gen}: the input's cross-reference stream was copied")
            continue
        in_max = max(in_max, num)
        a = canon(obj, in_set)
        if (num, gen) not in out_ids:
            if a != NULL:  # unreadable in the input too: nothing to copy
                problems.append(f"object {num} {gen}: missing in output")
            continue
        other = pout.get_object((num, gen))
        b = canon(other, out_ids)
        diffs = []
        diff(a, b, "", diffs)
        if isinstance(obj, pikepdf.Stream):
            streams += 1
            if not isinstance(other, pikepdf.Stream):
                diffs.append("is a stream in the input, not in the output")
            else:
                raw_in, raw_out = obj.read_raw_bytes(), other.read_raw_bytes()
                if raw_in != raw_out:
                    at = next((i for i, (x, y) in enumerate(zip(raw_in, raw_out)) if x != y),
                              min(len(raw_in), len(raw_out)))
                    diffs.append(f"stream data differs ({len(raw_in)} bytes in, {len(raw_out)} out, "
                                 f"first difference at byte {at})")
        elif isinstance(other, pikepdf.Stream):
            diffs.append("is a stream in the output, not in the input")
        problems.extend(f"object {num} {gen}: {d}" for d in diffs)
        compared += 1

    # Only the Encrypt dictionary and the output's own cross-reference stream
    # may be added, numbered above every object of the input.
    extra = sorted(out_ids - in_set)
    encrypt = [i for i in extra if isinstance(pout.get_object(i), pikepdf.Dictionary)
               and pout.get_object(i).get("/Filter") == pikepdf.Name.Standard]
    xrefs = [i for i in extra if is_xref_stream(pout.get_object(i))]
    others = [i for i in extra if i not in encrypt and i not in xrefs]
    if others:
        problems.append("objects not in the input: " + ", ".join(f"{n} {g}" for n, g in others[:20]))
    if len(encrypt) != 1:
        problems.append(f"{len(encrypt)} Encrypt dictionaries among the added objects, expected 1")
    if len(xrefs) > 1:
        problems.append(f"{len(xrefs)} cross-reference streams among the added objects, expected 1")
    low = [f"{n} {g}" for n, g in encrypt + xrefs if n <= in_max]
    if low:
        problems.append(f"added objects {', '.join(low)} are not numbered above the input's {in_max}")
    report.check("objects", problems,
                 f"{compared} objects ({streams} streams) equal; {skipped_xref} input xref stream(s) "
                 f"left out")


def compare_trailer(report, args, pin, pout, data):
    problems = []
    if not data.startswith(b"%PDF-1.5"):
        problems.append(f"header {data[:8]!r}, expected b'%PDF-1.5'")
    m = re.search(rb"startxref\s+(\d+)\s+%%EOF\s*$", data[-1024:])
    if not m:
        problems.append("no startxref and %%EOF at the end of the file")
    else:
        head = data[int(m.group(1)):int(m.group(1)) + 4096]
        if not re.match(rb"\d+\s+\d+\s+obj\b", head) or not re.search(rb"/Type\s*/XRef\b", head):
            problems.append("startxref does not point at a cross-reference stream")
        elif not re.search(rb"/Filter\s*/FlateDecode\b", head.split(b"stream", 1)[0]):
            problems.append("the cross-reference stream is not compressed with /FlateDecode")

    def ref(trailer, key):
        value = trailer.get(key)
        return tuple(value.objgen) if isinstance(value, pikepdf.Object) and value.is_indirect else None

    if ref(pout.trailer, "/Root") != ref(pin.trailer, "/Root"):
        problems.append(f"/Root {ref(pout.trailer, '/Root')}, input {ref(pin.trailer, '/Root')}")
    if ref(pin.trailer, "/Info") and ref(pout.trailer, "/Info") != ref(pin.trailer, "/Info"):
        problems.append(f"/Info {ref(pout.trailer, '/Info')}, input {ref(pin.trailer, '/Info')}")
    ids = pout.trailer.get("/ID")
    if not isinstance(ids, pikepdf.Array) or len(ids) != 2 or \
            not all(isinstance(s, pikepdf.String) and len(bytes(s)) >= 16 for s in ids):
        problems.append(f"/ID is {show(ids)}, expected two strings of 16 bytes")
    if not isinstance(pout.trailer.get("/Encrypt"), pikepdf.Dictionary):
        problems.append("no /Encrypt dictionary in the trailer")
    report.check("trailer", problems, "header, xref stream, /Root, /Info, /ID, /Encrypt")


# --- text extraction ----------------------------------------------------

def text_difference(want, got):
    lines_in, lines_out = want.splitlines(), got.splitlines()
    for i, (a, b) in enumerate(zip(lines_in, lines_out)):
        if a != b:
            return f"text differs at line {i + 1}: input {show(a, 60)}, output {show(b, 60)}"
    return f"text differs: {len(lines_in)} lines in the input, {len(lines_out)} in the output"


def check_text(report, args, lenient):
    """Text of input and output must agree. With `lenient` (the input has
    objects that a later update deleted, which readers still show, so they
    see more in the input than in a correct output) a difference is noted."""
    roles = [("user", "-upw", args.user)]
    if args.owner:
        roles.append(("owner", "-opw", args.owner))

    def verdict(name, problems, detail):
        if problems and lenient:
            report.note(f"{name}: " + "; ".join(problems) +
                        " (the input has deleted objects that readers still show)")
        else:
            report.check(name, problems, detail)

    if not shutil.which("pdftotext"):
        report.skip("pdftotext", "pdftotext not installed")
    else:
        rc, want, err = run(["pdftotext", "-q", "-enc", "UTF-8", args.input, "-"])
        if rc != 0:
            report.skip("pdftotext", f"input gives exit {rc}")
        else:
            problems = []
            for role, flag, password in roles:
                rc, got, err = run(["pdftotext", "-q", "-enc", "UTF-8", flag, password, args.output, "-"])
                if rc != 0:
                    problems.append(f"{role} password: exit {rc} {err.strip()[:200]}")
                elif got != want:
                    problems.append(f"{role} password: {text_difference(want, got)}")
            verdict("pdftotext", problems, f"{len(want)} characters")

    if not shutil.which("mutool"):
        report.skip("mutool", "mutool not installed")
        return
    pages = f"1-{args.mutool_pages}"
    rc, want, err = run(["mutool", "draw", "-q", "-F", "txt", "-o", "-", args.input, pages])
    if rc != 0:
        report.skip("mutool", f"input gives exit {rc}")
        return
    problems = []
    for role, _, password in roles:
        rc, got, err = run(["mutool", "draw", "-q", "-F", "txt", "-o", "-", "-p", password,
                            args.output, pages])
        if rc != 0:
            problems.append(f"{role} password: exit {rc} {err.strip()[:200]}")
        elif got != want:
            problems.append(f"{role} password: {text_difference(want, got)}")
    verdict("mutool", problems, f"pages {pages}, {len(want)} characters")


def guarded(report, name, fn, *args):
    """Runs one check; an exception of a reader is that check's failure."""
    try:
        return fn(report, *args)
    except Exception as exc:
        report.fail(name, f"{type(exc).__name__}: {exc}")
        return None


def main():
    ap = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    ap.add_argument("--input", required=True)
    ap.add_argument("--output", required=True)
    ap.add_argument("--user", default="")
    ap.add_argument("--owner", default="",
                    help="empty: the writer made up an owner password, so no owner checks")
    ap.add_argument("--permissions", default="")
    ap.add_argument("--qpdf", default=shutil.which("qpdf") or "qpdf")
    ap.add_argument("--mutool-pages", type=int, default=20,
                    help="mutool extracts this many pages at most (it is the slow one)")
    ap.add_argument("--no-text", action="store_true", help="skip pdftotext and mutool")
    args = ap.parse_args()
    sys.setrecursionlimit(10000)

    if not shutil.which(args.qpdf):
        print("ERROR qpdf not found", file=sys.stderr)
        return 2
    for path in (args.input, args.output):
        if not os.path.isfile(path):
            print(f"ERROR no such file: {path}", file=sys.stderr)
            return 2

    qpdf = Qpdf(args.qpdf)
    report = Report()
    print(f"checking {args.output} against {args.input} "
          f"(user {args.user!r}, owner {args.owner!r}, permissions {args.permissions!r})")

    in_rc, in_out, in_err = qpdf.check(args.input)
    input_issues = check_issues(args.input, in_rc, in_out, in_err)
    if input_issues:
        report.note(f"qpdf --check of the input: exit {in_rc}, {len(input_issues)} issue(s); "
                    "the same issues are allowed in the output")

    guarded(report, "qpdf-check", check_with_qpdf, qpdf, args, input_issues, in_rc)
    guarded(report, "passwords", check_passwords, qpdf, args)
    guarded(report, "encryption", check_encryption, qpdf, args)

    deleted = []
    try:
        pin = pikepdf.open(args.input, inherit_page_attributes=False)
        pout = pikepdf.open(args.output, password=args.user, inherit_page_attributes=False)
    except Exception as exc:
        report.fail("objects", f"pikepdf cannot open input and output: {exc}")
    else:
        with open(args.output, "rb") as f:
            data = f.read()
        in_ids, deleted = input_objects(report, qpdf, args)
        guarded(report, "objects", compare_objects, qpdf, args, pin, pout, in_ids)
        guarded(report, "trailer", compare_trailer, args, pin, pout, data)
        guarded(report, "pypdf", check_pypdf, args, len(pin.pages))

    if not args.no_text:
        guarded(report, "text", check_text, args, bool(deleted))

    for line in report.lines:
        print("  " + line)
    if report.failed:
        print(f"RESULT FAIL {args.output}: {', '.join(report.failed)}")
        return 1
    print(f"RESULT PASS {args.output}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
