#!/usr/bin/env python3
"""Whole-program tests of the varnel command line: exit codes, password
sources, atomic output, batches. Usage: cli_test.py VARNEL SAMPLE_PDF ENCRYPTED_PDF"""
import json
import os
import pty
import re
import shutil
import signal
import subprocess
import sys
import tempfile
import unittest

import jsonschema

sys.path.insert(0, os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "e2e"))
import signed_fixtures  # noqa: E402

VARNEL, SAMPLE, ENCRYPTED = sys.argv[1:4]
LARGE = os.path.join(os.path.dirname(ENCRYPTED), "classic-04.pdf")  # 3 MB
ROOT = os.path.dirname(os.path.dirname(os.path.abspath(SAMPLE)))
KEYS = os.path.join(ROOT, "tests", "data", "pubsec", "")
N, T = {"type": "integer", "minimum": 0}, {"type": ["string", "null"]}
CODES = [None, "open_failed", "not_pdf", "damaged", "encrypted", "wrong_password", "owner_password_required",
         "limit_exceeded", "output_failed", "usage", "signed"]
RECORD = {"oneOf": [{"type": "object", "additionalProperties": False, "required": list(p), "properties": p} for p in (
    dict(type={"const": "file"}, input={"type": "string"}, output={"type": "string"}, code={"enum": CODES},
         status={"enum": ["ok", "failed", "skipped"]}, message=T, detail=T, seconds={"type": "number", "minimum": 0},
         bytes_in=N, bytes_out=N, objects=N, repaired={"type": "boolean"}, warning=T, note=T),
    dict(type={"const": "summary"}, files=N, ok=N, failed=N, skipped=N, interrupted={"type": "boolean"},
         seconds={"type": "number"}, bytes_in=N, bytes_out=N, exit_status=N))]}


def run(*args, env=None, stdin=None):
    full_env = {k: v for k, v in os.environ.items() if not k.startswith("VARNEL_")}
    return subprocess.run([VARNEL, *args], capture_output=True, text=True, env={**full_env, **(env or {})},
                          timeout=60, input=stdin)


def records(stdout):
    """The JSON Lines records, each checked against the schema; the summary last."""
    lines = [json.loads(line) for line in stdout.splitlines()]
    for record in lines:
        jsonschema.validate(record, RECORD)
    assert [r["type"] for r in lines].count("summary") == 1 and lines[-1]["type"] == "summary"
    return {r["input"]: r for r in lines[:-1]}, lines[-1]


def qpdf_opens(path, password):
    return subprocess.run(["qpdf", "--check", "--password=" + password, path], capture_output=True).returncode == 0


class Cli(unittest.TestCase):
    def setUp(self):
        self.d = self.enterContext(tempfile.TemporaryDirectory())
        self.out = os.path.join(self.d, "out.pdf")

    def file(self, name, data):
        path = os.path.join(self.d, name)
        os.makedirs(os.path.dirname(path), exist_ok=True)
        with open(path, "wb") as f:
            f.write(data)
        return path

    def test_a_file_written_over_its_input(self):  # its mode kept: tests/api
        path = self.file("doc.pdf", open(SAMPLE, "rb").read())
        r = run("encrypt", path, path, "-u", "user pw", "-o", "owner pw")
        self.assertEqual([qpdf_opens(path, p) for p in ("user pw", "owner pw", "wrong")], [True, True, False], r.stderr)
        said = "the copy opens without a password; its rights are limited"
        self.assertEqual([said in e for e in (r.stderr, run("encrypt", SAMPLE, self.out).stderr)], [False, True])
        self.assertEqual(sorted(os.listdir(self.d)), ["doc.pdf", "out.pdf"])

    def test_password_sources(self):
        enc, missing = os.path.join(self.d, "enc.pdf"), os.path.join(self.d, "missing")
        self.assertEqual(run("encrypt", SAMPLE, enc, "-u", "u", "-o", "ownér", "--cipher", "rc4-128").returncode, 0)
        pw = self.file("pw", b"file-user\r\nfile-owner\n")
        crlf, bare, wrong = (self.file(n, c.encode()) for n, c in (("crlf", "ownér\r\nsecond\n"), ("bare", "ownér"),
                                                                 ("wrong", "u\n")))
        env = {"VARNEL_USER_PASSWORD": "env-user", "VARNEL_OWNER_PASSWORD": "env-owner"}
        rows = [  # the option wins over the file, the file over the environment (u: no right to decrypt)
            (["encrypt", SAMPLE, self.out, "--password-file", pw, "-u", "opt-user"], env, 0,
             {"opt-user": True, "file-owner": True, "file-user": False, "env-owner": False}),
            (["encrypt", SAMPLE, self.out], {"VARNEL_USER_PASSWORD": "env-user"}, 0, {"env-user": True, "": False}),
            (["decrypt", enc, self.out, "--password-file", crlf], {}, 0, {}),
            (["check", "--password-file", bare, enc], {}, 0, {}),
            (["decrypt", enc, self.out, "--password-file", wrong, "--password", "ownér"], {}, 0, {}),
            (["decrypt", enc, self.out, "--password-file", wrong], {"VARNEL_PASSWORD": "ownér"}, 1, {}),
            (["decrypt", enc, self.out, "--password-file", missing], {}, 2, {}),
            (["check", "--password-file", crlf, enc, "--password", "x"], {}, 3, {}),
            (["encrypt", enc, self.out, "--input-password-file", bare], {}, 0, {}),
            (["encrypt", enc, self.out, "--input-password-file", missing], {}, 2, {}),
        ]
        for args, env, status, opens in rows:
            with self.subTest(args=args):
                self.assertEqual(run(*args, env=env).returncode, status)
                self.assertEqual({p: qpdf_opens(self.out, p) for p in opens}, opens)

    def test_refusals_and_messages(self):
        self.file("out.pdf", b"previous content")
        missing, locked = os.path.join(self.d, "missing.pdf"), os.path.join(self.d, "locked.pdf")
        run("encrypt", SAMPLE, locked, "-u", "u", "-o", "o")
        cut = self.enterContext(tempfile.TemporaryDirectory()) + "/cut.pdf"  # its xref stream names /Encrypt
        open(cut, "wb").write(open(locked, "rb").read().rsplit(b"startxref", 1)[0])
        cases = [  # arguments, exit status, what is said
            (["encrypt", SAMPLE, self.out, "-u", "密码", "--cipher", "rc4-128"], 2, "PDFDocEncoding"),
            (["encrypt", SAMPLE, self.out, "-o", "a\u0007b"], 2, "SASLprep"),  # prohibited in AES-256
            (["encrypt", SAMPLE, self.out, "--cipher", "des"], 2, "cipher"),
            (["encrypt", SAMPLE, self.out, "-p", "PX"], 2, "permissions"),  # X is no permission
            (["encrypt", missing, self.out], 1, "cannot open %s: No such file or directory" % missing),
            (["encrypt", self.d, self.out], 1, "cannot open %s: Is a directory" % self.d),
            (["encrypt", ENCRYPTED, self.out], 1, "is already encrypted: its password is needed (--input-password"),
            (["encrypt", __file__, self.out], 1, __file__ + " is not a PDF file"),
            (["encrypt", cut, self.out], 1, "is already encrypted: its password is needed"),  # repaired, not again
            (["encrypt", SAMPLE, self.out, "-u", "--verify"], 2, "written --user-password=--verify"),  # PW unset
            (["encrypt", SAMPLE, self.out, "-o", "-p", "P"], 2, "-o is followed by -p, an option, not a password"),
            (["encrypt"], 2, ""),
            ([], 2, ""),
            (["encrpyt", SAMPLE, self.out], 2, 'unknown command "encrpyt" (did you mean "encrypt"?)'),
            (["encrypt", SAMPLE, self.out, "-j", "0"], 2, "--jobs must be a whole number of at least 1, not \"0\""),
            (["decrypt", locked, self.out], 3, "is encrypted and no password or identity was given (use --password"),
            (["encrypt", "-", self.out, "--password-file", "-"], 2, "standard input cannot give both"),
            (["encrypt", "-", SAMPLE, "--output-dir", self.d], 2, "- (standard input or output) cannot be part of a batch"),
            (["check", SAMPLE], 0, ": ok (%d objects, 0 in object streams, 1 cross-reference sections)"),
            (["check", SAMPLE, ENCRYPTED], 1, ENCRYPTED + ": " + ENCRYPTED + " is already encrypted: "),  # no library text
            (["check", KEYS + "alice-owner.pdf"], 1, "sealed for named recipients' certificates: a recipient's private"),
        ]
        for args, status, message in cases:
            with self.subTest(args=args):
                r = run(*args)  # no temporary file left, the existing output untouched
                said = re.sub(r"\(\d+ objects", "(%d objects", r.stdout + r.stderr)
                self.assertEqual((r.returncode, message in said, sorted(os.listdir(self.d)), open(self.out, "rb").read()),
                                 (status, True, ["locked.pdf", "out.pdf"], b"previous content"), said)

    def test_pipes(self):
        locked = subprocess.run([VARNEL, "encrypt", "-", "-", "-u", "u", "-o", "o"], input=open(SAMPLE, "rb").read(),
                                capture_output=True)
        self.file("locked.pdf", locked.stdout)
        plain = subprocess.run([VARNEL, "decrypt", self.d + "/locked.pdf", "-", "--password-file", "-"], input=b"o\n",
                               capture_output=True)
        self.assertTrue(qpdf_opens(self.file("plain.pdf", plain.stdout), "any") and b"/Encrypt" not in plain.stdout)
        self.assertTrue(run("--version").stdout.splitlines()[1].startswith("OpenSSL 3"))

    def test_show_manual_and_completions(self):
        d, qpdf_names = self.d + "/", {"streams": "stream encryption method", "strings": "string encryption method",
                                       "attachments": "file encryption method"}
        for cipher, letters in (("rc4-128", "PA"), ("aes-128", "DMS"), ("aes-256", "PMCAS"), ("aes-256", "")):
            run("encrypt", SAMPLE, d + cipher + letters, "-u", "u", "-o", "o", "-p", letters, "--cipher", cipher)
            qpdf = subprocess.run(["qpdf", "--show-encryption", "--password=u", d + cipher + letters],
                                  capture_output=True, text=True).stdout
            want = dict(line.split(": ", 1) for line in qpdf.splitlines() if ": " in line)
            r = run("show", d + cipher + letters, "--password", "u")
            said = {qpdf_names.get(k, k): v for k, v in re.findall(r"(?m)^  (.+?): (.+)$", r.stdout)}
            self.assertEqual((r.returncode, {k: said.get(k) for k in want}), (0, want), cipher + letters)
        rows = [  # show's arguments, exit status, (file, opened_with, key_bits, encrypted) of each JSON object
            ([d + "aes-128DMS", SAMPLE], 2, [(d + "aes-128DMS", None, 128, True), (SAMPLE, None, None, False)]),
            ([d + "aes-256", d + "rc4-128PA", "--password", "o"], 0, [(d + "aes-256", "owner", 256, True),
                                                                     (d + "rc4-128PA", "owner", 128, True)]),
            ([SAMPLE, ENCRYPTED, "--password", "x"], 3, [(SAMPLE, None, None, False), (ENCRYPTED, None, None, None)]),
            ([d + "missing", SAMPLE], 1, [(d + "missing", None, None, None), (SAMPLE, None, None, False)])]
        for args, status, objects in rows:
            r = run("show", "--json", *args)
            got = [(j["file"], j.get("opened_with"), j.get("key_bits"), j["encrypted"])
                   for j in map(json.loads, r.stdout.splitlines())]
            self.assertEqual((r.returncode, got, run("show", *args).returncode), (status, objects, status), args)
            self.assertNotIn('"x"', r.stdout)
        # A recipient's sealed rights need its identity; what a readable file promises is told.
        keys, signed = KEYS, signed_fixtures.make(self.d)["signed-approval.pdf"]
        run("encrypt", "--owner-recipient", keys + "alice.pem", "--recipient", keys + "carol.pem", SAMPLE, d + "pk")
        for args, want in (([d + "pk"], (2, None, None, None)), ([signed], (None, None, None, ["Approval"])),
                           ([d + "pk", "--identity", keys + "alice.p12", "--identity-password", "pw"], (2, 2, True, []))):
            j = json.loads(run("show", "--json", *args).stdout)
            got = (j.get("recipients"), j.get("matched_recipient"), (j.get("permissions") or {}).get("modify_anything"),
                   j["signatures"] and [s["field"] for s in j["signatures"]])
            self.assertEqual(got, want, args)
        self.assertIn("  signature: Approval", run("show", signed).stdout)
        man, bash, zsh = (os.path.join(ROOT, f) for f in ("docs/varnel.1", "cli/completion/varnel.bash", "cli/completion/_varnel"))
        for command in ("encrypt", "decrypt", "check", "show"):
            options = set(re.findall(r"(?<![\w-])(--[a-z][a-z-]+)", run(command, "--help").stdout))
            for f in (man, bash, zsh):
                self.assertEqual({o for o in options if o not in open(f).read().replace("\\-", "-")}, set(), (command, f))
        self.assertIn('"varnel %s"' % run("--version").stdout.split()[1], open(man).read())
        self.assertEqual(subprocess.run(["groff", "-man", "-ww", "-z", man], capture_output=True, text=True).stderr, "")
        self.assertEqual(subprocess.run(["zsh", "-n", zsh]).returncode, 0)
        for words, offered in ((["sh"], "show"), (["show", "--j"], "--json"), (["decrypt", "--no"], "--no-repair"),
                               (["encrypt", "x.pdf", "--cipher", "aes"], "aes-128 aes-256")):
            line = " ".join(["varnel"] + words)
            script = "source /usr/share/bash-completion/bash_completion; source %s; COMP_WORDS=(%s); COMP_CWORD=%d; " \
                     "COMP_LINE='%s'; COMP_POINT=%d; _varnel; echo ${COMPREPLY[@]}" % (bash, line, len(words), line, len(line))
            r = subprocess.run(["bash", "-c", script], capture_output=True, text=True)
            self.assertEqual(" ".join(sorted(r.stdout.split())), offered, words)

    def batch_lines(self, n, source):
        """n entries encrypting source into out/N.pdf."""
        os.makedirs(os.path.join(self.d, "out"), exist_ok=True)
        return "".join(json.dumps({"input": source, "output": os.path.join(self.d, "out", "%d.pdf" % i)}) + "\n"
                       for i in range(n))

    def test_batch_of_mixed_inputs(self):
        out = os.path.join(self.d, "out")
        good, damaged = self.file("good.pdf", open(SAMPLE, "rb").read()), self.file(
            "damaged.pdf", b"%PDF-1.4\nno object here\nstartxref\n99999\n%%EOF\n")
        encrypted, missing = self.file("enc.pdf", open(ENCRYPTED, "rb").read()), os.path.join(self.d, "missing.pdf")
        tampered = os.path.join(self.d, "tampered.pdf")  # AES-256 whose /Perms no longer matches /P
        run("encrypt", SAMPLE, tampered, "-o", "o")
        data = bytearray(open(tampered, "rb").read())
        data[data.index(b"/Perms <") + 8] ^= 1
        open(tampered, "wb").write(data)
        signed = signed_fixtures.make(self.d)["signed-approval.pdf"]
        lines = [{"input": good, "output": os.path.join(out, "good.pdf"), "user_password": "per file"},
                 {"input": damaged}, {"input": encrypted}, {"input": missing}, {"input": tampered, "input_password": "o"},
                 {"input": signed, "output": out + "/s.pdf"}, {"input": signed, "output": out + "/x.pdf", "invalidate_signatures": True}]
        r = run("encrypt", "--batch", "-", "--output-dir", out, "--json", "--jobs", "2", "--cipher", "rc4-128",
                stdin="".join(json.dumps(line) + "\n" for line in lines))
        self.assertEqual(r.returncode, 1, r.stderr)
        by_input, summary = records(r.stdout)
        by_output = {v["output"]: v for v in map(json.loads, r.stdout.splitlines()[:-1])}
        self.assertEqual({k: (v["status"], v["code"]) for k, v in by_input.items() if k != signed},
                         {good: ("ok", None), damaged: ("failed", "damaged"), encrypted: ("failed", "encrypted"),
                          missing: ("failed", "open_failed"), tampered: ("ok", None)})
        self.assertEqual((summary["ok"], summary["failed"], summary["skipped"]), (3, 4, 0))
        self.assertIn("/Perms does not match", by_input[tampered]["warning"])
        self.assertEqual(by_input[encrypted]["detail"], "Encrypted")
        self.assertEqual(by_output[out + "/s.pdf"]["code"], "signed")
        self.assertIn("invalidates what was signed (1 signature)", by_output[out + "/x.pdf"]["warning"])
        self.assertIn("is signed (1 signature); encrypting it invalidates it", r.stderr)
        self.assertEqual(sorted(os.listdir(out)), ["good.pdf", "tampered.pdf", "x.pdf"], "no failed file's output")
        self.assertTrue(qpdf_opens(os.path.join(out, "good.pdf"), "per file"))
        # --fail-fast: nothing starts after the first failure.
        r = run("encrypt", damaged, good, encrypted, "--output-dir", out + "2", "--jobs", "1", "--fail-fast",
                "--json", "--cipher", "rc4-128")
        self.assertEqual(r.returncode, 1, r.stderr)
        self.assertEqual([records(r.stdout)[0][f]["status"] for f in (damaged, good, encrypted)],
                         ["failed", "skipped", "skipped"])
        self.assertEqual(os.listdir(out + "2"), [])

    def test_batch_clashes_refused_before_anything_is_written(self):
        a, same_name, out = self.file("a.pdf", open(SAMPLE, "rb").read()), self.file("sub/a.pdf", open(SAMPLE, "rb").read()), \
            os.path.join(self.d, "out")
        cases = [  # arguments, batch on stdin, what the refusal says
            ([a, same_name, "--output-dir", out], None, "would be written twice"),
            (["--batch", "-"], json.dumps({"input": a, "output": same_name}) + "\n" +
             json.dumps({"input": self.d + "/sub/../sub/a.pdf", "output": "x.pdf"}), "would overwrite"),
            (["--batch", "-"], json.dumps({"input": a, "output": "x.pdf", "pasword": "p"}), "unknown key"),
            (["--batch", "-"], json.dumps({"input": a, "output": "x.pdf", "cipher": "des"}), "unknown cipher"),
            (["--batch", "-"], json.dumps({"input": a, "output": "x.pdf"}) + "\n" +
             json.dumps({"input": a, "output": "x.pdf\u0000b"}), "batch line 2: \"output\" holds a control character"),
            (["--batch", "-"], '{"input": "a.pdf", "user_password": "pass\\qword"}', "batch line 1: not JSON (at column"),
            (["--batch", "-"], json.dumps({"input": a, "output": "x.pdf", "invalidate_signatures": "yes"}),
             "\"invalidate_signatures\" is not true or false"),
        ]
        for args, stdin, message in cases:
            with self.subTest(args=args):
                r = run("encrypt", *args, "--cipher", "rc4-128", stdin=stdin)
                self.assertEqual((r.returncode, message in r.stderr, "qword" in r.stderr, os.path.exists(out),
                                  os.path.exists("x.pdf"), open(same_name, "rb").read() == open(SAMPLE, "rb").read()),
                                 (2, True, False, False, False, True), r.stderr)

    def test_sigint_and_sighup_finish_the_files_in_flight(self):
        batch = self.file("batch.jsonl", self.batch_lines(400, LARGE).encode())
        for sig, status in ((signal.SIGINT, 130), (signal.SIGHUP, 129)):  # a closed terminal as Ctrl-C
            shutil.rmtree(os.path.join(self.d, "out"))
            os.makedirs(os.path.join(self.d, "out"))
            p = subprocess.Popen([VARNEL, "encrypt", "--batch", batch, "--json", "--jobs", "2", "--cipher", "rc4-128"],
                                 stdout=subprocess.PIPE, stderr=subprocess.PIPE, text=True)
            first = p.stdout.readline()
            p.send_signal(sig)
            out, err = p.communicate(timeout=60)
            _, summary = records(first + out)
            self.assertEqual((p.returncode, summary["interrupted"], summary["skipped"] > 0), (status, True, True), err)
            written = sorted(os.listdir(os.path.join(self.d, "out")))
            self.assertEqual(len(written), summary["ok"], "every output is a finished one, no temporary file")
            self.assertTrue(qpdf_opens(os.path.join(self.d, "out", written[-1]), ""))

    def test_the_output_under_strace(self):
        """The temporary file is named only when created and renamed; flushed to the disk before the rename; no umask."""
        trace = os.path.join(self.d, "trace")
        r = subprocess.run(["strace", "-f", "-o", trace, "-e", "trace=%file,fsync,fdatasync,umask", VARNEL, "encrypt",
                            SAMPLE, self.out, "-u", "u", "--verify"], capture_output=True, text=True)
        if r.returncode and "ptrace" in r.stderr:
            self.skipTest("strace cannot trace here")
        calls = [line.split(None, 1)[1] for line in open(trace) if ".varnel-" in line or "fsync" in line or "umask" in line]
        self.assertEqual([c.split("(")[0] for c in calls], ["openat", "fsync", "renameat", "fsync"], calls)
        self.assertRegex(calls[0], r"O_EXCL")

    def test_a_full_disk_is_named(self):
        full = os.path.join(self.d, "full")
        os.makedirs(full)
        if subprocess.run(["mount", "-t", "tmpfs", "-o", "size=64k", "tmpfs", full], capture_output=True).returncode:
            self.skipTest("no tmpfs can be mounted here")
        try:
            r = run("encrypt", LARGE, os.path.join(full, "out.pdf"))
            self.assertEqual((r.returncode, os.listdir(full)), (1, []), r.stderr)
            self.assertIn("cannot write %s/out.pdf: No space left on device" % full, r.stderr)
        finally:
            subprocess.run(["umount", full])

    def test_progress_only_on_a_terminal(self):
        batch = self.batch_lines(60, LARGE)
        master, slave = pty.openpty()
        p = subprocess.Popen([VARNEL, "encrypt", "--batch", "-", "--cipher", "rc4-128"], stdin=subprocess.PIPE,
                             stdout=subprocess.DEVNULL, stderr=slave)
        os.close(slave)
        p.communicate(batch.encode(), timeout=60)
        seen = b""
        try:
            while chunk := os.read(master, 65536):
                seen += chunk
        except OSError:  # the other end closed
            pass
        os.close(master)
        self.assertRegex(seen.decode(), r"\r\d+/60 files, [\d.]+/[\d.]+ MB, [\d.]+ MB/s(.|\n)*60 of 60 files encrypted")
        for quiet in ([], ["--quiet"]):  # into a pipe: no progress, with --quiet nothing
            r = run("encrypt", "--batch", "-", "--cipher", "rc4-128", *quiet, stdin=batch)
            self.assertEqual((r.returncode, "MB/s" in r.stderr, r.stderr == ""), (0, False, bool(quiet)), r.stderr)


if __name__ == "__main__":
    unittest.main(argv=sys.argv[:1], verbosity=2)
