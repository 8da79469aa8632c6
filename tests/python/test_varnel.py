"""The Python module's own translation: arguments, results, errors, permissions by name, threads."""
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


@pytest.mark.parametrize("cipher", CIPHERS)
def test_round_trip(cipher, tmp_path):
    """A path (a repaired file), then a bytearray and a memoryview; the cipher's name gives its revision."""
    src, out = CORPUS / "mixed-damaged-incr-01.pdf", tmp_path / "out.pdf"
    result = varnel.encrypt(src, out, user_password="u", owner_password="o", permissions="PC", cipher=cipher)
    assert (result.bytes_out, result.repaired, result.objects > 0) == (out.stat().st_size, True, True)
    assert repr(pickle.loads(pickle.dumps(result))) == repr(result)
    locked = varnel.encrypt_bytes(bytearray(SAMPLE.read_bytes()), user_password="u", owner_password="o",
                                  permissions="M", cipher=cipher)
    assert varnel.check_bytes(locked, password="o").encrypted
    plain = varnel.decrypt_bytes(memoryview(locked), password="u")
    with pikepdf.open(out, password="u") as a, pikepdf.open(io.BytesIO(locked), password="o") as b, \
            pikepdf.open(io.BytesIO(plain)) as c, pikepdf.open(SAMPLE) as d:
        assert (a.encryption.R, b.encryption.R) == (CIPHERS[cipher], CIPHERS[cipher])
        assert not c.is_encrypted and len(c.pages) == len(d.pages)


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
    permissions = varnel.Permissions(**rights)
    if letters is None:
        with pytest.raises(varnel.UsageError):
            varnel.encrypt(SAMPLE, tmp_path / "out.pdf", permissions=permissions, cipher=cipher)
        return
    locked = varnel.encrypt_bytes(SAMPLE.read_bytes(), user_password="u", permissions=permissions, cipher=cipher)
    expected = vars(varnel.Permissions(**dict(rights, accessibility=cipher != "rc4-128")))
    with pikepdf.open(io.BytesIO(locked), password="u") as pdf:
        assert (permissions.letters(cipher), {k: getattr(pdf.allow, k) for k in expected}) == (letters, expected)
