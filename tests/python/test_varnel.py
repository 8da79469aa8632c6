"""The Python module: round trips opened by pikepdf, errors mapped, threads at once."""
import concurrent.futures
import io
import os
import pathlib
import pickle
import sys

import pikepdf
import pytest
import varnel

ROOT = pathlib.Path(__file__).parents[2]
CORPUS, SAMPLE = pathlib.Path(os.environ["VARNEL_CORPUS"]), ROOT / "examples" / "sample.pdf"
CIPHERS = {"aes-256": 6, "aes-128": 4, "rc4-128": 3}  # name: revision
sys.path[:0] = [str(ROOT / "tests" / "negative"), str(ROOT / "tests" / "e2e")]
import cases  # noqa: E402  (the negative suite's hostile files)
import signed_fixtures  # noqa: E402


def assert_same_document(original, copy, password="", permissions="PDMCAS"):
    """copy has original's pages and its streams' data under the same numbers; given a
    password, it opens with that one only, grants what was asked; returns its revision."""
    if password:
        with pytest.raises(pikepdf.PasswordError):
            pikepdf.open(copy, password="not it").close()
    with pikepdf.open(original) as a, pikepdf.open(copy, password=password) as b:
        assert b.is_encrypted == bool(password) and len(b.pages) == len(a.pages)
        assert (b.allow.print_highres, b.allow.modify_other) == ("P" in permissions, "M" in permissions)
        streams = [o for o in b.objects if isinstance(o, pikepdf.Stream) and o.get("/Type") not in ("/XRef", "/ObjStm")]
        assert streams and all(o.read_raw_bytes() == a.get_object(o.objgen).read_raw_bytes() for o in streams)
        return b.encryption.R if password else None


def test_signed(tmp_path):
    """A signed input raises SignedError unless invalidate_signatures; check reports it, and pickles."""
    src = signed_fixtures.make(tmp_path)["signed-twice.pdf"]
    with pytest.raises(varnel.SignedError):
        varnel.encrypt(src, tmp_path / "out.pdf", user_password="u")
    result = varnel.encrypt(src, tmp_path / "out.pdf", user_password="u", invalidate_signatures=True)
    assert "2 signatures" in result.notice and pickle.loads(pickle.dumps(result)).notice == result.notice
    checked = varnel.check(src)
    assert [name for name, _ in checked.signatures] == ["Approval", "Review"]
    assert pickle.loads(pickle.dumps(checked)).signatures == checked.signatures


@pytest.mark.parametrize("name", ["classic-incr-gen1-01", "hybrid-incr-objstm-01", "xrefstream-objstm-utf16-01",
                                  "mixed-damaged-incr-01"])  # a cipher each, and a repaired file
def test_round_trip(name, tmp_path):
    """A file, then bytes (and back through decrypt_bytes); the ciphers in turn."""
    src, out, cipher = CORPUS / (name + ".pdf"), tmp_path / "out.pdf", list(CIPHERS)[sum(map(ord, name)) % 3]
    result = varnel.encrypt(src, out, user_password="u", owner_password="o", permissions="PC", cipher=cipher)
    assert (result.bytes_out, result.repaired) == (out.stat().st_size, name.startswith("mixed-damaged"))
    assert repr(pickle.loads(pickle.dumps(result))) == repr(result) and result.objects > 0
    assert assert_same_document(src, out, "u", "PC") == CIPHERS[cipher]
    locked = varnel.encrypt_bytes(bytearray(src.read_bytes()), user_password="u", owner_password="o", permissions="M",
                                  cipher=cipher)
    assert assert_same_document(src, io.BytesIO(locked), "o", "M") == CIPHERS[cipher]
    assert varnel.check_bytes(locked, password="o").encrypted
    plain = varnel.decrypt_bytes(memoryview(locked), password="u")
    assert not varnel.check_bytes(plain).encrypted and assert_same_document(src, io.BytesIO(plain)) is None


LOCKED = varnel.encrypt_bytes(SAMPLE.read_bytes(), user_password="u", owner_password="o")
ERRORS = [  # (call on a temporary folder, class raised)
    (lambda d: varnel.encrypt(d / "missing.pdf", d / "out.pdf"), varnel.OpenFailedError),
    (lambda d: varnel.encrypt_bytes(b"hello, world\n" * 100), varnel.NotPdfError),
    (lambda d: varnel.encrypt(CORPUS / "mixed-damaged-incr-01.pdf", d / "out.pdf", repair=False), varnel.DamagedError),
    (lambda d: varnel.encrypt_bytes(LOCKED), varnel.EncryptedError),
    (lambda d: varnel.decrypt_bytes(LOCKED), varnel.WrongPasswordError),  # the empty password by default
    (lambda d: varnel.encrypt_bytes(LOCKED, input_password="u"), varnel.OwnerPasswordRequiredError),
    (lambda d: varnel.encrypt_bytes(next(cases.nesting())[1], repair=False), varnel.LimitExceededError),
    (lambda d: varnel.encrypt(SAMPLE, d / "no" / "out.pdf"), varnel.OutputFailedError),
    (lambda d: varnel.encrypt(str(SAMPLE) + "\0.txt", d / "out.pdf"), varnel.UsageError),  # not sample.pdf
]


@pytest.mark.parametrize("call, cls", ERRORS)
def test_errors(call, cls, tmp_path):
    with pytest.raises(cls) as raised:
        call(tmp_path)
    assert raised.value.code == cls.code and raised.value.message and raised.value.detail
    assert isinstance(raised.value, OSError) == (cls.code == "open_failed")  # as open() raises
    assert vars(pickle.loads(pickle.dumps(raised.value))) == vars(raised.value)
    assert list(tmp_path.iterdir()) == []  # nothing written, nothing left behind


def test_a_wrong_keyword_shows_no_value():
    with pytest.raises(TypeError) as raised:
        varnel.encrypt_bytes(LOCKED, user_pasword="s3cret-pw", input_password="o")
    assert "user_pasword" in str(raised.value) and "s3cret-pw" not in str(raised.value)
    assert raised.value.__context__ is None and "%PDF" not in str(raised.value)


def test_threads_at_once():
    """Calls on 8 threads at once (the GIL is let go), each with its own password: every output right."""
    data = (CORPUS / "classic-04.pdf").read_bytes()
    with concurrent.futures.ThreadPoolExecutor(8) as pool:
        outputs = list(pool.map(lambda i: varnel.encrypt_bytes(data, user_password=str(i), cipher="rc4-128"), range(24)))
    for i, locked in enumerate(outputs):
        with pikepdf.open(io.BytesIO(locked), password=str(i)) as pdf:
            assert len(pdf.pages) == 9


@pytest.mark.parametrize("cipher,rights,letters", [
    ("aes-256", dict(print_lowres=True, print_highres=True, extract=True), "PC"),
    ("rc4-128", dict(print_lowres=True, modify_annotation=True, modify_assembly=True, accessibility=False), "DAS"),
    ("aes-128", dict(modify_other=True, accessibility=True), "M"),
    ("aes-256", dict(print_highres=True), None), ("aes-256", dict(modify_form=True), None),  # no letter sets bit 9
    ("rc4-128", dict(accessibility=True), None)])
def test_permissions_by_name_read_back_by_pikepdf(cipher, rights, letters, tmp_path):
    permissions, out = varnel.Permissions(**rights), tmp_path / "out.pdf"
    if letters is None:
        with pytest.raises(varnel.UsageError):
            varnel.encrypt(SAMPLE, out, permissions=permissions, cipher=cipher)
        return
    varnel.encrypt(SAMPLE, out, user_password="u", permissions=permissions, cipher=cipher)
    expected = vars(varnel.Permissions(**dict(rights, accessibility=cipher != "rc4-128")))
    with pikepdf.open(out, password="u") as pdf:
        assert (permissions.letters(cipher), {k: getattr(pdf.allow, k) for k in expected}) == (letters, expected)
    meta = __import__("importlib.metadata").metadata.metadata("varnel")  # pyproject.toml's, as installed
    assert [meta[k] for k in ("Version", "Requires-Python", "License")] == [
        varnel.__version__, ">=3.8", "All rights reserved"]
