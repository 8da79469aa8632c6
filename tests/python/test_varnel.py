"""The Python module: corpus round trips opened by pikepdf, errors mapped to
their classes, threads at once."""
import concurrent.futures
import io
import os
import pathlib
import subprocess
import sys
import time

import pikepdf
import pytest
import varnel

CORPUS = pathlib.Path(os.environ["VARNEL_CORPUS"])
SAMPLE = pathlib.Path(__file__).parents[2] / "examples" / "sample.pdf"
CIPHERS = {"aes-256": 6, "aes-128": 4, "rc4-128": 3}  # name: revision


def lock(data, **options):
    return varnel.encrypt_bytes(data, user_password="u", owner_password="o", **options)


def assert_same_document(original, copy, password="", permissions="PDMCAS"):
    """copy holds the same pages and its streams the data stored under their
    numbers in original (objects keep their numbers); given a password,
    it is encrypted, opens with that one only and grants what was asked.
    Returns its revision (None: not encrypted)."""
    if password:
        with pytest.raises(pikepdf.PasswordError):
            pikepdf.open(copy, password="not it").close()
    with pikepdf.open(original) as a, pikepdf.open(copy, password=password) as b:
        assert b.is_encrypted == bool(password) and len(b.pages) == len(a.pages)
        assert (b.allow.print_highres, b.allow.modify_other) == ("P" in permissions, "M" in permissions)
        streams = [o for o in b.objects if isinstance(o, pikepdf.Stream) and o.get("/Type") not in ("/XRef", "/ObjStm")]
        assert streams and all(o.read_raw_bytes() == a.get_object(o.objgen).read_raw_bytes() for o in streams)
        return b.encryption.R if password else None


@pytest.mark.parametrize("name", ["classic-01", "classic-04", "classic-incr-gen1-01", "classic-lzw-a85-01",
                                  "hybrid-incr-objstm-01", "xrefstream-objstm-utf16-01", "mixed-damaged-incr-01",
                                  "mixed-incr-3-sections-generated-01", "xrefstream-lzw-a85-objstm-generated-01"])
def test_round_trip(name, tmp_path):
    """Files in, then bytes in (and back out through decrypt_bytes), each
    cipher in turn."""
    src, out, n = CORPUS / (name + ".pdf"), tmp_path / "out.pdf", sum(map(ord, name))
    cipher = list(CIPHERS)[n % 3]
    result = varnel.encrypt(src, out, user_password="u", owner_password="o", permissions="PC", cipher=cipher)
    assert (result.bytes_out, result.repaired) == (out.stat().st_size, name.startswith("mixed-damaged"))
    assert assert_same_document(src, out, "u", "PC") == CIPHERS[cipher]
    locked = lock(bytearray(src.read_bytes()), permissions="M", cipher=cipher)
    assert assert_same_document(src, io.BytesIO(locked), "o", "M") == CIPHERS[cipher]
    assert varnel.check_bytes(locked, password="o").encrypted
    plain = varnel.decrypt_bytes(memoryview(locked), password="u")
    assert not varnel.check_bytes(plain).encrypted and assert_same_document(src, io.BytesIO(plain)) is None


def tiny_pdf(catalog_entries=b""):
    body, offsets = b"%PDF-1.4\n", []
    for number, text in ((1, b"<< /Type /Catalog /Pages 2 0 R " + catalog_entries + b">>"),
                         (2, b"<< /Type /Pages /Kids [] /Count 0 >>")):
        offsets.append(len(body))
        body += b"%d 0 obj\n%s\nendobj\n" % (number, text)
    rows = b"".join(b"%010d 00000 n \n" % at for at in offsets)
    return body + b"xref\n0 3\n0000000000 65535 f \n%strailer\n<< /Size 3 /Root 1 0 R >>\nstartxref\n%d\n%%%%EOF\n" % (
        rows, len(body))


LOCKED = lock(SAMPLE.read_bytes())
ERRORS = [  # (call on a temporary folder, class raised)
    (lambda d: varnel.encrypt(d / "missing.pdf", d / "out.pdf"), varnel.OpenFailedError),
    (lambda d: varnel.encrypt_bytes(b"hello, world\n" * 100), varnel.NotPdfError),
    (lambda d: varnel.encrypt(CORPUS / "mixed-damaged-incr-01.pdf", d / "out.pdf", repair=False), varnel.DamagedError),
    (lambda d: varnel.encrypt_bytes(LOCKED), varnel.EncryptedError),
    (lambda d: varnel.encrypt_bytes(LOCKED, input_password="x"), varnel.WrongPasswordError),
    (lambda d: varnel.decrypt_bytes(LOCKED, password="x"), varnel.WrongPasswordError),
    (lambda d: varnel.encrypt_bytes(LOCKED, input_password="u"), varnel.OwnerPasswordRequiredError),
    (lambda d: varnel.check_bytes(tiny_pdf(b"/Deep " + b"[" * 300 + b"]" * 300)), varnel.LimitExceededError),
    (lambda d: varnel.encrypt(SAMPLE, d / "no" / "out.pdf"), varnel.OutputFailedError),
    (lambda d: varnel.encrypt_bytes(tiny_pdf(), cipher="des"), varnel.UsageError),
    (lambda d: varnel.encrypt(SAMPLE, d / "out.pdf", permissions="X"), varnel.UsageError),
    (lambda d: varnel.encrypt(str(SAMPLE) + "\0.txt", d / "out.pdf"), varnel.UsageError),  # not sample.pdf
]


@pytest.mark.parametrize("call, cls", ERRORS)
def test_errors(call, cls, tmp_path):
    with pytest.raises(cls) as raised:
        call(tmp_path)
    assert raised.value.code == cls.code and raised.value.message and raised.value.detail
    assert list(tmp_path.iterdir()) == []  # nothing written, nothing left behind
    assert lock(tiny_pdf())  # the failure left nothing behind that hinders the next call


def test_threads_at_once():
    """8 threads, each with its own password, every output right; two
    threads do the work of one in less time (the GIL is let go)."""
    data = (CORPUS / "classic-04.pdf").read_bytes()
    def run(i):
        return varnel.encrypt_bytes(data, user_password=str(i), cipher="rc4-128", helper_threads=False)
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        for i, locked in enumerate(pool.map(run, range(16))):
            with pikepdf.open(io.BytesIO(locked), password=str(i)) as pdf:
                assert len(pdf.pages) == 9
    if (os.cpu_count() or 1) < 2:
        pytest.skip("one core")
    def timed(workers):
        start = time.perf_counter()
        with concurrent.futures.ThreadPoolExecutor(workers) as pool:
            list(pool.map(run, range(12)))
        return time.perf_counter() - start
    ratios = [timed(2) / timed(1) for _ in range(3)]
    if min(ratios) >= 0.8 and os.getloadavg()[0] > os.cpu_count():
        pytest.skip("no core to spare for a second thread (load %.1f): %s" % (os.getloadavg()[0], ratios))
    assert min(ratios) < 0.8, ratios


def test_pip_install(tmp_path):
    """pip installs the package from the source tree without the network
    (with the module of this build), stubs and py.typed included."""
    env = dict(os.environ, VARNEL_BUILD_DIR=os.environ["VARNEL_BUILD_DIR"], PYTHONPATH=str(tmp_path))
    subprocess.run([sys.executable, "-m", "pip", "install", "-q", "--no-build-isolation", "--no-index", "--no-deps",
                    "--target", str(tmp_path), str(SAMPLE.parents[1] / "python")], env=env, check=True)
    assert {p.name for p in (tmp_path / "varnel").iterdir()} >= {"py.typed", "_native.pyi", "__init__.py"}
    run = subprocess.run([sys.executable, "-c", "import varnel; print(varnel.__file__, varnel.check.__doc__)"], env=env,
                         check=True, capture_output=True, text=True)
    assert run.stdout.startswith(str(tmp_path)) and "password" in run.stdout
