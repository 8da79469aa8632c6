#!/usr/bin/env python3
"""Whole-program tests of the varnel command line: exit codes, password
sources, atomic output, batches. Usage: cli_test.py VARNEL SAMPLE_PDF ENCRYPTED_PDF"""
import json
import os
import pty
import signal
import stat
import subprocess
import sys
import tempfile
import unittest

import jsonschema

VARNEL, SAMPLE, ENCRYPTED = sys.argv[1:4]
LARGE = os.path.join(os.path.dirname(ENCRYPTED), "classic-04.pdf")  # 3 MB

_counts = {"type": "integer", "minimum": 0}
_text = {"type": ["string", "null"]}
RECORD = {"oneOf": [
    {"type": "object", "additionalProperties": False,
     "required": ["type", "input", "output", "status", "code", "message", "detail", "seconds", "bytes_in",
                  "bytes_out", "objects", "repaired"],
     "properties": {"type": {"const": "file"}, "input": {"type": "string"}, "output": {"type": "string"},
                    "status": {"enum": ["ok", "failed", "skipped"]},
                    "code": {"enum": [None, "open_failed", "not_pdf", "damaged", "encrypted", "wrong_password",
                                      "owner_password_required", "limit_exceeded", "output_failed", "usage"]},
                    "message": _text, "detail": _text, "seconds": {"type": "number", "minimum": 0},
                    "bytes_in": _counts, "bytes_out": _counts, "objects": _counts, "repaired": {"type": "boolean"}}},
    {"type": "object", "additionalProperties": False,
     "required": ["type", "files", "ok", "failed", "skipped", "interrupted", "seconds", "bytes_in", "bytes_out",
                  "exit_status"],
     "properties": {"type": {"const": "summary"}, "files": _counts, "ok": _counts, "failed": _counts,
                    "skipped": _counts, "interrupted": {"type": "boolean"}, "seconds": {"type": "number"},
                    "bytes_in": _counts, "bytes_out": _counts, "exit_status": _counts}}]}


def run(*args, env=None, stdin=None):
    full_env = dict(os.environ)
    full_env.pop("VARNEL_USER_PASSWORD", None)
    full_env.pop("VARNEL_OWNER_PASSWORD", None)
    full_env.update(env or {})
    return subprocess.run([VARNEL, *args], capture_output=True, text=True, env=full_env, timeout=60, input=stdin)


def records(stdout):
    """The JSON Lines records, each checked against the schema; the summary last."""
    lines = [json.loads(line) for line in stdout.splitlines()]
    for record in lines:
        jsonschema.validate(record, RECORD)
    assert [r["type"] for r in lines].count("summary") == 1 and lines[-1]["type"] == "summary"
    return {r["input"]: r for r in lines[:-1]}, lines[-1]


def qpdf_opens(path, password):
    return subprocess.run(["qpdf", "--check", "--password=" + password, path], capture_output=True).returncode == 0


def qpdf_p(path, password):
    out = subprocess.run(["qpdf", "--show-encryption", "--password=" + password, path],
                         capture_output=True, text=True).stdout
    return next(line.split("=")[1].strip() for line in out.splitlines() if line.startswith("P = "))


class Encrypt(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.out = os.path.join(self.dir.name, "out.pdf")

    def tearDown(self):
        self.dir.cleanup()

    def leftovers(self):
        return sorted(os.listdir(self.dir.name))

    def test_passwords_and_permissions_reach_the_file(self):
        r = run("encrypt", SAMPLE, self.out, "-u", "user pw", "-o", "owner pw", "-p", "PCS")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(qpdf_opens(self.out, "user pw"))
        self.assertTrue(qpdf_opens(self.out, "owner pw"))
        self.assertFalse(qpdf_opens(self.out, "wrong"))
        # AES-256 by default, which always grants extraction for accessibility.
        self.assertEqual(qpdf_p(self.out, "owner pw"), str(-3904 | 0x804 | 0x10 | 0x400 | 0x200))
        # The temporary file is created private; the result gets the usual
        # mode of a new file.
        umask = os.umask(0)
        os.umask(umask)
        self.assertEqual(stat.S_IMODE(os.stat(self.out).st_mode), 0o666 & ~umask)

    def test_password_sources_in_order(self):
        pwfile = os.path.join(self.dir.name, "pw.txt")
        with open(pwfile, "w") as f:
            f.write("file-user\r\nfile-owner\n")
        # The file overrides the environment; options override the file.
        r = run("encrypt", SAMPLE, self.out, "--password-file", pwfile, "-o", "opt-owner",
                env={"VARNEL_USER_PASSWORD": "env-user", "VARNEL_OWNER_PASSWORD": "env-owner"})
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(qpdf_opens(self.out, "file-user"))
        self.assertTrue(qpdf_opens(self.out, "opt-owner"))
        self.assertFalse(qpdf_opens(self.out, "env-user"))
        r = run("encrypt", SAMPLE, self.out, env={"VARNEL_USER_PASSWORD": "env-user"})
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(qpdf_opens(self.out, "env-user"))
        self.assertFalse(qpdf_opens(self.out, ""))

    def test_input_password_files(self):
        enc, d = os.path.join(self.dir.name, "enc.pdf"), self.dir.name
        self.assertEqual(run("encrypt", SAMPLE, enc, "-u", "u", "-o", "ownér", "--cipher", "rc4-128").returncode, 0)
        for name, content in {"crlf": "ownér\r\nsecond\n", "bare": "ownér", "wrong": "u\n"}.items():
            with open(os.path.join(d, name), "wb") as f:
                f.write(content.encode())
        crlf, bare, wrong, missing = (os.path.join(d, n) for n in ("crlf", "bare", "wrong", "missing"))
        rows = [  # the option wins over the file, the file over the environment (u: no right to decrypt)
            (["decrypt", enc, self.out, "--password-file", crlf], {}, 0), (["check", "--password-file", bare, enc], {}, 0),
            (["decrypt", enc, self.out, "--password-file", wrong, "--password", "ownér"], {}, 0),
            (["decrypt", enc, self.out, "--password-file", wrong], {"VARNEL_PASSWORD": "ownér"}, 1),
            (["decrypt", enc, self.out, "--password-file", missing], {}, 2), (["check", "--password-file", crlf, enc, "--password", "x"], {}, 3),
            (["encrypt", enc, self.out, "--input-password-file", bare], {}, 0), (["encrypt", enc, self.out, "--input-password-file", missing], {}, 2)]
        for args, env, status in rows:
            self.assertEqual(run(*args, env=env).returncode, status, args)

    def test_passwords_are_encoded_as_each_revision_hashes_them(self):
        # RC4: é is 0xE9 and € is 0xA0 in PDFDocEncoding; readers type them so.
        r = run("encrypt", SAMPLE, self.out, "-u", "café€", "--cipher", "rc4-128")
        self.assertEqual(r.returncode, 0, r.stderr)
        # pypdf takes a password's bytes as given (qpdf tries other encodings).
        probe = ("import pypdf, sys; r = pypdf.PdfReader(sys.argv[1]); "
                 "print(int(r.decrypt(bytes.fromhex(sys.argv[2]))))")
        def opens(hex_bytes):
            p = subprocess.run(["/usr/bin/python3", "-c", probe, self.out, hex_bytes], capture_output=True, text=True)
            self.assertEqual(p.returncode, 0, p.stderr)
            return p.stdout.strip() != "0"
        self.assertTrue(opens("636166e9a0"), "PDFDocEncoding bytes open it")
        self.assertFalse(opens("636166c3a9e282ac"), "raw UTF-8 bytes do not")
        # AES-256: UTF-8 after SASLprep (the soft hyphen is mapped to nothing).
        r = run("encrypt", SAMPLE, self.out, "-u", "caf\u00e9\u00ad€")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(opens("636166c3a9e282ac"), "SASLprep'd UTF-8 opens it")

    def test_refusals_leave_nothing_behind(self):
        with open(self.out, "wb") as f:
            f.write(b"previous content")
        cases = [
            (["encrypt", SAMPLE, self.out, "-u", "密码", "--cipher", "rc4-128"], 2, "PDFDocEncoding"),
            (["encrypt", SAMPLE, self.out, "-o", "a\u0007b"], 2, "SASLprep"),      # prohibited in AES-256
            (["encrypt", SAMPLE, self.out, "--cipher", "des"], 2, "cipher"),
            (["encrypt", SAMPLE, self.out, "-p", "pc"], 2, "permissions"),          # letters are upper case
            (["encrypt", os.path.join(self.dir.name, "missing.pdf"), self.out], 1,
             "cannot open %s: No such file or directory" % os.path.join(self.dir.name, "missing.pdf")),
            (["encrypt", ENCRYPTED, self.out], 1, "is already encrypted (use --input-password to re-encrypt)"),
            (["encrypt", __file__, self.out], 1, __file__ + " is not a PDF file"),
            (["encrypt", SAMPLE, self.out, "-p", "PX"], 2, "permissions"),          # X is no permission
            (["encrypt"], 2, ""),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                r = run(*args)
                self.assertEqual(r.returncode, status, r.stderr)
                self.assertIn(message, r.stderr)
                self.assertEqual(self.leftovers(), ["out.pdf"], "no temporary file left")
                with open(self.out, "rb") as f:
                    self.assertEqual(f.read(), b"previous content", "the existing output is untouched")

    def test_input_may_be_the_output(self):
        path = os.path.join(self.dir.name, "doc.pdf")
        with open(SAMPLE, "rb") as src, open(path, "wb") as dst:
            dst.write(src.read())
        r = run("encrypt", path, path, "-u", "u")
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertTrue(qpdf_opens(path, "u"))
        self.assertEqual(self.leftovers(), ["doc.pdf"])


class Batch(unittest.TestCase):
    def setUp(self):
        self.dir = tempfile.TemporaryDirectory()
        self.d = self.dir.name
        self.out = os.path.join(self.d, "out")

    def tearDown(self):
        self.dir.cleanup()

    def file(self, name, data=None, source=None):
        path = os.path.join(self.d, name)
        with open(path, "wb") as f:
            f.write(data if source is None else open(source, "rb").read())
        return path

    def batch_lines(self, n, source):
        """n entries encrypting source into out/N.pdf."""
        os.makedirs(self.out, exist_ok=True)
        return "".join(json.dumps({"input": source, "output": os.path.join(self.out, "%d.pdf" % i)}) + "\n"
                       for i in range(n))

    def test_mixed_inputs_one_batch(self):
        good = self.file("good.pdf", source=SAMPLE)
        damaged = self.file("damaged.pdf", b"%PDF-1.4\nno object here\nstartxref\n99999\n%%EOF\n")
        encrypted = self.file("enc.pdf", source=ENCRYPTED)
        missing = os.path.join(self.d, "missing.pdf")
        lines = [{"input": good, "output": os.path.join(self.out, "good.pdf"), "user_password": "per file"},
                 {"input": damaged}, {"input": encrypted}, {"input": missing}]
        r = run("encrypt", "--batch", "-", "--output-dir", self.out, "--json", "--jobs", "2", "--cipher", "rc4-128",
                stdin="".join(json.dumps(line) + "\n" for line in lines))
        self.assertEqual(r.returncode, 1, r.stderr)
        by_input, summary = records(r.stdout)
        expected = {good: ("ok", None), damaged: ("failed", "damaged"), encrypted: ("failed", "encrypted"),
                    missing: ("failed", "open_failed")}
        self.assertEqual({k: (v["status"], v["code"]) for k, v in by_input.items()}, expected)
        self.assertEqual((summary["ok"], summary["failed"], summary["skipped"]), (1, 3, 0))
        self.assertEqual(by_input[encrypted]["detail"], "Encrypted")
        self.assertIn("varnel: %s is already encrypted (use --input-password to re-encrypt)" % encrypted, r.stderr)
        self.assertEqual(sorted(os.listdir(self.out)), ["good.pdf"], "no output of a failed file, no temporary file")
        self.assertTrue(qpdf_opens(os.path.join(self.out, "good.pdf"), "per file"))
        # --fail-fast: nothing starts after the first failure.
        r = run("encrypt", damaged, good, encrypted, "--output-dir", self.out + "2", "--jobs", "1", "--fail-fast",
                "--json", "--cipher", "rc4-128")
        self.assertEqual(r.returncode, 1, r.stderr)
        by_input, summary = records(r.stdout)
        self.assertEqual([by_input[f]["status"] for f in (damaged, good, encrypted)], ["failed", "skipped", "skipped"])
        self.assertEqual(os.listdir(self.out + "2"), [])

    def test_clashes_refused_before_anything_is_written(self):
        a = self.file("a.pdf", source=SAMPLE)
        os.makedirs(os.path.join(self.d, "sub"))
        same_name = self.file("sub/a.pdf", source=SAMPLE)
        cases = [  # arguments, batch on stdin, what the refusal says
            ([a, same_name, "--output-dir", self.out], None, "would be written twice"),
            (["--batch", "-"], json.dumps({"input": a, "output": same_name}) + "\n" +
             json.dumps({"input": self.d + "/sub/../sub/a.pdf", "output": "x.pdf"}), "would overwrite"),
            (["--batch", "-"], json.dumps({"input": a, "output": "x.pdf", "pasword": "p"}), "unknown key"),
            (["--batch", "-"], json.dumps({"input": a, "output": "x.pdf", "cipher": "des"}), "unknown cipher"),
            ([a, "--output-dir", self.out, "-p", "pc"], None, "permissions"),
        ]
        for args, stdin, message in cases:
            with self.subTest(args=args):
                r = run("encrypt", *args, "--cipher", "rc4-128", stdin=stdin)
                self.assertEqual(r.returncode, 2, r.stderr)
                self.assertIn(message, r.stderr)
                self.assertFalse(os.path.exists(self.out) or os.path.exists("x.pdf"))
                self.assertEqual(open(same_name, "rb").read(), open(SAMPLE, "rb").read())

    def test_sigint_finishes_the_files_in_flight(self):
        batch = self.file("batch.jsonl", self.batch_lines(400, LARGE).encode())
        p = subprocess.Popen([VARNEL, "encrypt", "--batch", batch, "--json", "--jobs", "2", "--cipher", "rc4-128"],
                             stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
        first = p.stdout.readline()
        p.send_signal(signal.SIGINT)
        out, err = p.communicate(timeout=60)
        self.assertEqual(p.returncode, 130, err)
        by_input, summary = records(first + out)
        self.assertTrue(summary["interrupted"])
        self.assertGreater(summary["skipped"], 0)
        written = sorted(os.listdir(self.out))
        self.assertEqual(len(written), summary["ok"], "every output is a finished one, no temporary file")
        self.assertTrue(qpdf_opens(os.path.join(self.out, written[-1]), ""))

    def test_progress_only_on_a_terminal(self):
        batch = self.batch_lines(60, LARGE)
        master, slave = pty.openpty()
        p = subprocess.Popen([VARNEL, "encrypt", "--batch", "-", "--cipher", "rc4-128"], stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=slave)
        os.close(slave)
        p.communicate(batch.encode(), timeout=60)
        seen = b""
        while True:
            try:
                chunk = os.read(master, 65536)
            except OSError:
                break
            if not chunk:
                break
            seen += chunk
        os.close(master)
        self.assertRegex(seen.decode(), r"\r\d+/60 files, [\d.]+/[\d.]+ MB, [\d.]+ MB/s")
        self.assertIn("60 of 60 files encrypted", seen.decode())
        r = run("encrypt", "--batch", "-", "--cipher", "rc4-128", stdin=batch)
        self.assertEqual(r.returncode, 0, r.stderr)
        self.assertNotIn("MB/s", r.stderr, "no progress into a pipe")
        r = run("encrypt", "--batch", "-", "--cipher", "rc4-128", "--quiet", stdin=batch)
        self.assertEqual(r.stderr, "")


class Check(unittest.TestCase):
    def test_lines_and_status(self):
        r = run("check", SAMPLE)
        self.assertEqual(r.returncode, 0)
        self.assertRegex(r.stdout, r": ok \(\d+ objects, 0 in object streams, 1 cross-reference sections\)")
        r = run("check", SAMPLE, ENCRYPTED)
        self.assertEqual(r.returncode, 1)
        self.assertEqual(len(r.stdout.splitlines()), 2)
        self.assertTrue(r.stdout.splitlines()[1].endswith(": Encrypted"))

    def test_help_and_version(self):
        self.assertEqual(run("--version").returncode, 0)
        self.assertIn("encrypt", run("--help").stdout)
        self.assertEqual(run().returncode, 2)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
