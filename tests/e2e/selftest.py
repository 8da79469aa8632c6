#!/usr/bin/python3
"""Self-test of check_encrypted.py (and pdfjs_open.mjs): known-good outputs
must pass, and outputs that carry one deliberate fault each must fail in the
check meant to catch that fault. Good outputs come from reference_writer.py
(which keeps object numbers, as varnel does) and from qpdf.

    selftest.py [--corpus DIR]

Last line "N passed, M failed"; exit 0, 1, or 77 when tools or corpus are missing.
"""

import argparse
import concurrent.futures
import os
import re
import shutil
import subprocess
import sys
import tempfile

HERE = os.path.dirname(os.path.abspath(__file__))
REPO = os.path.dirname(os.path.dirname(HERE))
SKIP = 77

OBJSTM = "xrefstream-objstm-01.pdf"      # object streams, xref stream
GEN1 = "classic-incr-gen1-01.pdf"        # generation 1, an object deleted by an update
UTF16 = "classic-utf16-indlen-01.pdf"    # UTF-16BE /Info strings, indirect /Length
PLAIN = "classic-01.pdf"                 # classic table, no object streams
BROKEN = "classic-lzw-indlen-01.pdf"     # qpdf --check of the input itself reports errors

# (name, input, how the output is made, passwords claimed to the checker,
#  checks that must fail; an empty set means the checker must pass, and a
#  frozenset that exactly these checks, and no other, must fail)
# Output makers: ("ref", fault or None, user, owner, letters) uses reference_writer.py;
# ("qpdf", extra qpdf options, user, owner) encrypts a qpdf-normalized copy of the input.
CASES = [
    # good outputs in several shapes
    ("good-objstm-empty-user", OBJSTM, ("ref", None, "", "own", "PC"), ("", "own", "PC"), set()),
    ("good-gen1-no-letters", GEN1, ("ref", None, "u", "o", ""), ("u", "o", ""), set()),
    ("good-utf16-user-only", UTF16, ("ref", None, "u", "", "PDMCAS"), ("u", "", "PDMCAS"), set()),
    # the input's own qpdf errors are allowed in the output, new ones are not
    ("good-damaged-input", BROKEN, ("ref", None, "u", "o", "P"), ("u", "o", "P"), set()),
    ("fault-damaged-input-short-length", BROKEN, ("ref", "short-length", "u", "o", "P"), ("u", "o", "P"),
     {"qpdf-check-user-password"}),
    # claims that do not match the file
    ("claims-wrong-user-password", PLAIN, ("ref", None, "u", "o", "P"), ("x", "o", "P"),
     {"qpdf-check-user-password", "passwords"}),
    ("claims-wrong-owner-password", PLAIN, ("ref", None, "u", "o", "P"), ("u", "x", "P"),
     {"qpdf-check-owner-password", "passwords"}),
    ("claims-empty-user-password", PLAIN, ("ref", None, "u", "o", "P"), ("", "o", "P"),
     {"qpdf-check-user-password", "passwords"}),
    ("claims-other-letters", PLAIN, ("ref", None, "u", "o", "PC"), ("u", "o", "PCM"), {"encryption"}),
    # one fault in the writer each
    ("fault-drop-object", PLAIN, ("ref", "drop-object", "u", "o", ""), ("u", "o", ""), {"objects"}),
    ("fault-flip-stream-byte", PLAIN, ("ref", "flip-stream-byte", "u", "o", ""), ("u", "o", ""), {"objects"}),
    ("fault-plain-string", PLAIN, ("ref", "plain-string", "u", "o", ""), ("u", "o", ""), {"objects"}),
    ("fault-utf16-to-utf8", UTF16, ("ref", "utf16-to-utf8", "u", "o", ""), ("u", "o", ""), {"objects"}),
    ("fault-wrong-p", PLAIN, ("ref", "wrong-p", "u", "o", "P"), ("u", "o", "P"), {"encryption"}),
    ("fault-copy-xref-stream", OBJSTM, ("ref", "copy-xref-stream", "u", "o", ""), ("u", "o", ""), {"objects"}),
    ("fault-drop-info", PLAIN, ("ref", "drop-info", "u", "o", ""), ("u", "o", ""), {"trailer"}),
    ("fault-extra-object", PLAIN, ("ref", "extra-object", "u", "o", ""), ("u", "o", ""), {"objects"}),
    ("fault-short-length", PLAIN, ("ref", "short-length", "u", "o", ""), ("u", "o", ""),
     {"qpdf-check-user-password", "objects"}),
    ("fault-header-1.4", PLAIN, ("ref", "header-1.4", "u", "o", ""), ("u", "o", ""), {"trailer"}),
    ("fault-empty-owner", PLAIN, ("ref", "empty-owner", "u", "", ""), ("u", "", ""), {"passwords"}),
    ("fault-gen-zero", GEN1, ("ref", "gen-zero", "u", "o", ""), ("u", "o", ""), {"objects"}),
    # outputs of an independent writer: qpdf does not end a file without object
    # streams with an xref stream, so only "trailer" may fail for the RC4 one
    ("qpdf-rc4-128", PLAIN, ("qpdf", ["128", "--use-aes=n", "--form=n", "--accessibility=n"], "u", "o"), ("u", "o", "PDMCAS"),
     frozenset({"trailer"})),
    ("qpdf-aes-128", PLAIN, ("qpdf", ["128", "--use-aes=y", "--form=n", "--accessibility=n"], "u", "o"), ("u", "o", "PDMCAS"),
     {"trailer", "encryption"}),
    ("qpdf-rc4-40", PLAIN, ("qpdf", ["40"], "u", "o"), ("u", "o", "PDMCAS"), {"trailer", "encryption"}),
    # qpdf renumbers objects of an input it did not write itself
    ("qpdf-renumbered", OBJSTM, ("qpdf-raw", ["128", "--use-aes=n", "--form=n", "--accessibility=n"], "u", "o"), ("u", "o", "PDMCAS"),
     {"objects"}),
    # not encrypted at all
    ("not-encrypted", PLAIN, ("copy",), ("u", "o", ""), {"passwords", "encryption"}),
]

# Permission letters against P values worked out by hand.
P_VALUES = [("", -3904), ("PDMCAS", -772), ("D", -3900), ("P", -1852), ("SACMDP", -772),
            ("pmc", -3904)]


def run(cmd, **kw):
    p = subprocess.run(cmd, stdout=subprocess.PIPE, stderr=subprocess.STDOUT, **kw)
    return p.returncode, p.stdout.decode("utf-8", "replace")


def normalized(corpus, name, tmp):
    """A copy of a corpus file as qpdf writes it, so that qpdf keeps its numbering."""
    path = os.path.join(tmp, "norm-" + name)
    if not os.path.exists(path):
        rc, out = run(["qpdf", "--stream-data=preserve", "--object-streams=preserve",
                       "--force-version=1.5", os.path.join(corpus, name), path])
        if rc not in (0, 3):
            raise RuntimeError(f"qpdf could not normalize {name}: {out}")
    return path


def make_output(case, corpus, tmp):
    name, source, maker = case[0], case[1], case[2]
    out = os.path.join(tmp, name + ".pdf")
    if maker[0] == "ref":
        _, fault, user, owner, letters = maker
        src = os.path.join(corpus, source)
        cmd = [sys.executable, os.path.join(HERE, "reference_writer.py"), src, out,
               "--user", user, "--owner", owner, "--permissions", letters]
        if fault:
            cmd += ["--fault", fault]
    elif maker[0] in ("qpdf", "qpdf-raw"):
        _, bits, user, owner = maker
        src = normalized(corpus, source, tmp) if maker[0] == "qpdf" else os.path.join(corpus, source)
        cmd = ["qpdf", "--allow-weak-crypto", "--stream-data=preserve", "--object-streams=preserve",
               "--force-version=1.5", "--encrypt", user, owner, *bits, "--", src, out]
    else:  # an unencrypted copy
        src = normalized(corpus, source, tmp)
        cmd = ["cp", src, out]
    rc, text = run(cmd)
    if rc not in (0, 3):
        raise RuntimeError(f"making {name} failed: {text}")
    return src, out


def run_case(case, corpus, tmp):
    name, _, _, (user, owner, letters), must_fail = case
    src, out = make_output(case, corpus, tmp)
    rc, text = run([sys.executable, os.path.join(HERE, "check_encrypted.py"), "--input", src,
                    "--output", out, "--user", user, "--owner", owner, "--permissions", letters])
    m = re.search(r"^RESULT FAIL \S+: (.*)$", text, re.M)
    failed = set(m.group(1).split(", ")) if m else set()
    problems = []
    if not must_fail and rc != 0:
        problems.append(f"a good output failed (exit {rc})")
    if must_fail:
        if rc != 1:
            problems.append(f"exit {rc}, expected 1")
        if isinstance(must_fail, frozenset) and failed != must_fail:
            problems.append(f"failed checks {sorted(failed)}, expected exactly {sorted(must_fail)}")
        elif not must_fail <= failed:
            problems.append(f"failed checks {sorted(failed)}, expected at least {sorted(must_fail)}")
    return name, problems, text


def pdfjs_cases(corpus, tmp):
    """pdfjs_open.mjs must pass on a good output and fail on a wrong password."""
    node_modules = os.path.join(HERE, "node_modules", "pdfjs-dist")
    if not shutil.which("node") or not os.path.isdir(node_modules):
        print("SKIP pdf.js cases: node or tests/e2e/node_modules missing (scripts/install-test-deps)")
        return []
    src = os.path.join(corpus, PLAIN)
    out = os.path.join(tmp, "pdfjs.pdf")
    run([sys.executable, os.path.join(HERE, "reference_writer.py"), src, out,
         "--user", "u", "--owner", "o", "--permissions", "P"])
    script = os.path.join(HERE, "pdfjs_open.mjs")
    results = []
    for name, password, want in (("pdfjs-good", "u", 0), ("pdfjs-owner", "o", 0),
                                 ("pdfjs-wrong-password", "x", 1)):
        rc, text = run(["node", script, "--input", src, "--output", out, "--password", password,
                        "--wrong-password-refused"], cwd=HERE)
        results.append((name, [] if rc == want else [f"exit {rc}, expected {want}"], text))
    return results


def main():
    ap = argparse.ArgumentParser()
    ap.add_argument("--corpus", default=os.environ.get("VARNEL_CORPUS") or
                    os.path.join(REPO, "..", "shared", "corpus"))
    ap.add_argument("--only", default="")
    args = ap.parse_args()
    if not shutil.which("qpdf"):
        print("SKIP: qpdf is not installed")
        return SKIP
    try:
        import pikepdf  # noqa: F401
        import pypdf  # noqa: F401
    except ImportError as exc:
        print(f"SKIP: {exc}")
        return SKIP
    if not all(os.path.isfile(os.path.join(args.corpus, f)) for f in (OBJSTM, GEN1, UTF16, PLAIN, BROKEN)):
        print(f"SKIP: corpus files missing in {args.corpus}")
        return SKIP

    sys.path.insert(0, HERE)
    from check_encrypted import expected_p
    results = []
    for letters, value in P_VALUES:
        got = expected_p(letters)
        results.append((f"p-value-{letters or 'none'}",
                        [] if got == value else [f"expected_p({letters!r}) = {got}, want {value}"], ""))

    tmp = tempfile.mkdtemp(prefix="varnel-selftest-")
    try:
        cases = [c for c in CASES if args.only in c[0]]
        with concurrent.futures.ThreadPoolExecutor(max_workers=2) as pool:
            futures = [pool.submit(run_case, c, args.corpus, tmp) for c in cases]
            for c, f in zip(cases, futures):
                try:
                    results.append(f.result())
                except Exception as exc:
                    results.append((c[0], [f"{type(exc).__name__}: {exc}"], ""))
        if args.only in "pdfjs":
            results.extend(pdfjs_cases(args.corpus, tmp))
    finally:
        shutil.rmtree(tmp, ignore_errors=True)

    failed = 0
    for name, problems, text in results:
        if problems:
            failed += 1
            print(f"FAIL {name}: " + "; ".join(problems))
            print("    " + text.strip().replace("\n", "\n    "))
        else:
            print(f"PASS {name}")
    print(f"{len(results) - failed} passed, {failed} failed")
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
