"""Varnel: encrypt PDF documents, open encrypted ones, check them.

    import varnel
    varnel.encrypt("in.pdf", "out.pdf", user_password="u", owner_password="o", permissions="P")
    locked = varnel.encrypt_bytes(data, user_password="u", cipher="aes-256")

Every function releases the GIL while it works, so threads encrypt at once,
and raises a subclass of varnel.Error on failure.
"""
from ._errors import (DamagedError, EncryptedError, Error, LimitExceededError, NotPdfError, OpenFailedError,
                      OutputFailedError, OwnerPasswordRequiredError, UsageError, WrongPasswordError)
from ._native import (CheckResult, Result, __version__, check, check_bytes, decrypt, decrypt_bytes, encrypt,
                      encrypt_bytes)

__all__ = [
    "encrypt", "encrypt_bytes", "decrypt", "decrypt_bytes", "check", "check_bytes", "Result", "CheckResult",
    "Error", "OpenFailedError", "NotPdfError", "DamagedError", "EncryptedError", "WrongPasswordError",
    "OwnerPasswordRequiredError", "LimitExceededError", "OutputFailedError", "UsageError", "__version__",
]
