"""Varnel: encrypt PDF documents, open encrypted ones, check them.

    import varnel
    varnel.encrypt("in.pdf", "out.pdf", user_password="u", owner_password="o", permissions="P")
    locked = varnel.encrypt_bytes(data, user_password="u", cipher="aes-256")
    varnel.encrypt("in.pdf", "out.pdf", permissions=varnel.Permissions(print_lowres=True, extract=True))

Every function releases the GIL while it works, so threads encrypt at once,
and raises a subclass of varnel.Error on failure.
"""
from ._errors import (DamagedError, EncryptedError, Error, LimitExceededError, NotPdfError, OpenFailedError,
                      OutputFailedError, OwnerPasswordRequiredError, SignedError, UsageError, WrongPasswordError)
import functools as _functools

from . import _native
from ._native import CheckResult, Result, __version__
from ._permissions import Permissions, with_letters as _with_letters


def _values_hidden(native):
    """native, except that a call with arguments it does not take raises a
    TypeError naming the keywords given but showing no value: the values are
    passwords and documents."""
    @_functools.wraps(native)
    def call(*args, **kwargs):
        try:
            return native(*args, **kwargs)
        except TypeError as error:
            text = str(error)
            if "Invoked with:" not in text:
                raise
            message = "%s\nCalled with %d positional argument(s)%s; values are not shown" % (
                text[:text.index("Invoked with:")].rstrip(), len(args),
                " and the keywords " + ", ".join(kwargs) if kwargs else "")
        raise TypeError(message)  # outside the handler: the original, with the values, is not its context
    call.__module__ = __name__
    return call


encrypt, encrypt_bytes, decrypt, decrypt_bytes, check, check_bytes = (_values_hidden(f) for f in (
    _native.encrypt, _native.encrypt_bytes, _native.decrypt, _native.decrypt_bytes, _native.check,
    _native.check_bytes))
encrypt, encrypt_bytes = _with_letters(encrypt), _with_letters(encrypt_bytes)

__all__ = [
    "encrypt", "encrypt_bytes", "decrypt", "decrypt_bytes", "check", "check_bytes", "Result", "CheckResult", "Permissions",
    "Error", "OpenFailedError", "NotPdfError", "DamagedError", "EncryptedError", "WrongPasswordError",
    "OwnerPasswordRequiredError", "LimitExceededError", "OutputFailedError", "UsageError", "SignedError", "__version__",
]
