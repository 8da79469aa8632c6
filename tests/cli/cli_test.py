#!/usr/bin/env python3
"""Whole-program tests of the varnel command line: exit codes, password
sources, atomic output. Usage: cli_test.py VARNEL SAMPLE_PDF ENCRYPTED_PDF"""
import os
import stat
import subprocess
import sys
import tempfile
import unittest

VARNEL, SAMPLE, ENCRYPTED = sys.argv[1:4]


def run(*args, env=None):
    full_env = dict(os.environ)
    full_env.pop("VARNEL_USER_PASSWORD", None)
    full_env.pop("VARNEL_OWNER_PASSWORD", None)
    full_env.update(env or {})
    return subprocess.run([VARNEL, *args], capture_output=True, text=True, env=full_env, timeout=60)


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
            (["encrypt", SAMPLE, self.out, "-p", "PX"], 2, "permissions"),          # X is no permission
            (["encrypt", os.path.join(self.dir.name, "missing.pdf"), self.out], 1, "PdfParser::Abrir:fopen"),
            (["encrypt", ENCRYPTED, self.out], 1, "Encrypted"),
            (["encrypt", __file__, self.out], 1, "No es archivo pdf."),
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
