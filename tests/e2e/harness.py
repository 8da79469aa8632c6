"""What the whole-program runners share: commands, a PDF builder, qpdf's and pikepdf's readings, main()."""
import argparse
import concurrent.futures
import decimal
import importlib
import importlib.util
import os
import re
import shutil
import subprocess
import tempfile
import zlib

pikepdf = importlib.import_module("pikepdf") if importlib.util.find_spec("pikepdf") else None
SKIP = 77  # CTest's SKIP_RETURN_CODE: a reader or the corpus is missing
HERE = os.path.dirname(os.path.abspath(__file__))


def run(cmd, timeout=600, **kwargs):
    """(exit status, stdout, stderr) as text; status None on a timeout."""
    try:
        p = subprocess.run(cmd, capture_output=True, timeout=timeout, **kwargs)
        return p.returncode, p.stdout.decode("utf-8", "replace"), p.stderr.decode("utf-8", "replace")
    except subprocess.TimeoutExpired:
        return None, "", f"timed out after {timeout}s"


def varnel(args, *cmd, **kwargs):
    return run([args.varnel, *cmd], **kwargs)


def qpdf(path, password, *args, timeout=600):
    return run(["qpdf", *([] if password is None else ["--password-mode=bytes", f"--password={password}"]), *args,
                path], timeout)


def qpdf_findings(path, password=None, timeout=600):
    """qpdf --check's exit status and its findings, file name and numbers taken out."""
    rc, out, err = qpdf(path, password, "--check", timeout=timeout)
    return rc, {re.sub(r"\d+", "N", line.replace(path, "FILE")) for line in (out + err).splitlines()
                if re.match(r"^(WARNING|ERROR|qpdf)", line) or "damaged" in line}


class Pdf:
    """A file written byte by byte, every number under the test's control."""

    def __init__(self, header=b"%PDF-1.5\n", pages=True):
        self.out, self.offsets = bytearray(header), {}
        if pages:  # objects 1 (catalog), 2 (pages), 3 (page), 4 (content stream)
            self.obj(1, b"<< /Type /Catalog /Pages 2 0 R >>")
            self.obj(2, b"<< /Type /Pages /Kids [3 0 R] /Count 1 >>")
            self.obj(3, b"<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] /Contents 4 0 R >>")
            self.stream(4, b"", b"BT ET")

    def obj(self, num, body):
        self.offsets[num] = len(self.out)
        self.out += b"%d 0 obj\n" % num + body + b"\nendobj\n"

    def stream(self, num, entries, data, length=None):
        self.obj(num, b"<<" + entries + b" /Length " + (length or b"%d" % len(data)) + b">>\nstream\n" + data +
                 b"\nendstream")

    def objstm(self, num, objects):
        head, body = b"", b""
        for n, b in objects:
            head, body = head + b"%d %d " % (n, len(body)), body + b + b" "
        self.stream(num, b"/Type /ObjStm /N %d /First %d" % (len(objects), len(head)), head + body)

    def classic(self, count, extra=b""):
        at = len(self.out)
        self.out += b"xref\n0 %d\n" % count + b"%010d 65535 f\r\n" % 0
        for n in range(1, count):
            self.out += b"%010d 00000 n\r\n" % self.offsets[n] if n in self.offsets else b"0000000000 00000 f\r\n"
        self.out += b"trailer\n<</Size %d /Root 1 0 R" % count + extra + b">>\n"
        return self.tail(at)

    def xref_stream(self, num, rows, entries, widths=(1, 4, 2), data=None, length=None):
        if data is None:
            data = b"".join(v.to_bytes(8, "big")[8 - w:] if w else b"" for row in rows for v, w in zip(row, widths))
        self.stream(num, b"/Type /XRef /W [%d %d %d] /Filter /FlateDecode" % widths + entries, zlib.compress(data, 9),
                    length)

    def closed(self, count, extra=b"", placed=None, **kwargs):
        """Closes the file with cross-reference stream `count` (`placed`: number -> row; else in use where written)."""
        at, placed = len(self.out), placed or {}
        rows = [(0, 0, 65535)] + [placed.get(n) or ((1, self.offsets[n], 0) if n in self.offsets else (0, 0, 0))
                                  for n in range(1, count)] + [(1, at, 0)]
        self.xref_stream(count, rows, b" /Size %d /Root 1 0 R" % (count + 1) + extra, **kwargs)
        return self.tail(at)

    def tail(self, startxref):
        self.out += b"startxref\n%d\n%%%%EOF\n" % startxref
        return bytes(self.out)


def canon(obj, live=None, depth=0):
    """A comparable form of a value; a reference to an object not in `live` (when given) means null."""
    if depth > 200:
        raise RecursionError("nesting deeper than 200")
    if isinstance(obj, bool):
        return ("bool", obj)
    if isinstance(obj, (int, decimal.Decimal, float)):
        return ("num", decimal.Decimal(obj) if isinstance(obj, float) else obj)
    if obj is None or not isinstance(obj, pikepdf.Object) or obj._type_code == pikepdf.ObjectType.null:
        return ("null",) if obj is None or isinstance(obj, pikepdf.Object) else ("other", repr(obj))
    if obj.is_indirect and depth > 0:
        return ("ref",) + tuple(obj.objgen) if live is None or tuple(obj.objgen) in live else ("null",)
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
        return ("dict", {k: v for k, v in entries.items() if v != ("null",)})
    return ("other", repr(obj))


def highest(ids):
    best = {}
    for num, gen in ids:
        best[int(num)] = max(int(gen), best.get(int(num), 0))
    return sorted(best.items())


def xref_in_use(path, password=None):
    """The objects in use as qpdf lists them (of the generations it keeps along /Prev, the highest)."""
    rc, out, err = qpdf(path, password, "--show-xref")
    if rc not in (0, 3):
        raise ValueError(err.strip()[:300])
    return highest(re.findall(r"^(\d+)/(\d+):", out, re.M))


def compare(first, password, second, second_password="", gains=(), ids=None, live=False):
    """Where pikepdf's readings differ over the objects first has in use (`ids`); the catalog may gain `gains`."""
    ids = ids or xref_in_use(first, password)
    lives, problems = (set(ids), set(xref_in_use(second, second_password))) if live else (None, None), []
    with pikepdf.open(first, password=password, inherit_page_attributes=False) as ref, \
            pikepdf.open(second, password=second_password, inherit_page_attributes=False) as got:
        enc = ref.trailer.get("/Encrypt")
        for og in ids:
            obj, other = ref.get_object(og), got.get_object(og)
            if enc is not None and enc.is_indirect and enc.objgen == og or isinstance(obj, pikepdf.Stream) and \
                    obj.stream_dict.get("/Type") == pikepdf.Name.XRef:
                continue
            want, have = canon(obj, lives[0]), canon(other, lives[1])
            if og == ref.Root.objgen and want[0] == have[0] == "dict":
                have = ("dict", {k: v for k, v in have[1].items() if k in want[1] or k not in gains})
            if want != have:
                problems.append(f"object {og}: input {repr(want)[:300]}, output {repr(have)[:300]}")
            if isinstance(obj, pikepdf.Stream) and not (isinstance(other, pikepdf.Stream)
                                                        and obj.read_raw_bytes() == other.read_raw_bytes()):
                problems.append(f"object {og}: stream data differs")
    return problems[:5]


def main(doc, cases, one=None, needs=(), options=()):
    """SKIP when a tool of `needs` (or needs(args)) or the corpus is missing; else each case of cases(args) (case[0]
    its name) by one(args, case, folder), or case[1](args, folder, *case), on two threads in folders of their own,
    kept when the case fails. args.full: VARNEL_FULL_TESTS is set. Returns the exit status."""
    ap = argparse.ArgumentParser(description=doc.split("\n\n")[0])
    ap.add_argument("--varnel", required=True)
    ap.add_argument("--corpus", default=os.environ.get("VARNEL_CORPUS") or os.path.join(HERE, "../data/corpus"))
    for flag, kwargs in options:
        ap.add_argument(flag, **kwargs)
    args = ap.parse_args()
    args.full = bool(os.environ.get("VARNEL_FULL_TESTS"))
    absent = [t for t in (*(needs(args) if callable(needs) else needs), os.path.join(args.corpus, "MANIFEST.tsv"))
              if not (shutil.which(t) or os.path.exists(t) or "/" not in t and importlib.util.find_spec(t))]
    if absent:
        print(f"SKIP: missing {', '.join(absent)} (scripts/install-test-deps)")
        return SKIP
    args.work = tempfile.mkdtemp(prefix="varnel-test-")
    one = one or (lambda args, case, folder: case[1](args, folder, case[0], *case[2:]))

    def each(index, case):
        folder = os.path.join(args.work, "%04d" % index)
        os.makedirs(folder)
        try:
            label, problems = one(args, case, folder)
        except Exception as exc:  # a bug here must not hide the other cases
            label, problems = case[0], [f"harness error {type(exc).__name__}: {exc}"]
        if problems:
            problems.append(f"(files in {folder})")
        else:
            shutil.rmtree(folder, ignore_errors=True)
        print(("FAIL " if problems else "ok   ") + label + "".join("\n    " + line for p in problems
                                                               for line in str(p).splitlines()), flush=True)
        return bool(problems)
    todo = cases(args)
    with concurrent.futures.ThreadPoolExecutor(2) as pool:
        failed = sum(pool.map(each, range(len(todo)), todo))
    print(f"{len(todo)} cases, {failed} failed")
    if not failed:
        shutil.rmtree(args.work, ignore_errors=True)
    return 1 if failed else 0
