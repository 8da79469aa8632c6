"""The exceptions varnel raises: one class per stable error code."""


class Error(Exception):
    """A document could not be encrypted, decrypted or checked.

    code: the stable name of the cause ("damaged", "wrong_password", ...),
    the same as the command line's JSON records give.
    message: the failure said for a person ("in.pdf is damaged: ...").
    detail: the library's own text, for whoever needs the exact cause.
    """

    code = "error"

    def __init__(self, message, detail=""):
        super().__init__(message)
        self.message = message
        self.detail = detail

    def __reduce__(self):  # pickled whole (Dask sends a task's exception to the client)
        return type(self), (self.message, self.detail)


class OpenFailedError(Error, OSError):
    """The input could not be opened or read at all (an OSError too, as open() raises)."""
    code = "open_failed"


class NotPdfError(Error):
    """The input does not start like a PDF file."""
    code = "not_pdf"


class DamagedError(Error):
    """The input's structure could not be read (or repaired, with repair on)."""
    code = "damaged"


class EncryptedError(Error):
    """The input is encrypted and no input password was given."""
    code = "encrypted"


class WrongPasswordError(Error):
    """The password given opens the encrypted input neither as user nor as owner."""
    code = "wrong_password"


class OwnerPasswordRequiredError(Error):
    """The input opens, but the job needs its owner password (or modify rights)."""
    code = "owner_password_required"


class LimitExceededError(Error):
    """The input goes beyond a limit set against hostile files."""
    code = "limit_exceeded"


class OutputFailedError(Error):
    """The output could not be written, or did not verify."""
    code = "output_failed"


class UsageError(Error, ValueError):
    """The request itself is wrong: a cipher, permission letter or password that cannot be used."""
    code = "usage"


class SignedError(Error):
    """The input is signed or certified: encrypting it would invalidate that (pass invalidate_signatures=True)."""
    code = "signed"


_BY_CODE = {cls.code: cls for cls in (OpenFailedError, NotPdfError, DamagedError, EncryptedError, WrongPasswordError,
                                      OwnerPasswordRequiredError, LimitExceededError, OutputFailedError, UsageError,
                                      SignedError)}


def error_class(code):
    """The exception class of a stable error code (Error for one not known here)."""
    return _BY_CODE.get(code, Error)


for _cls in (Error, *_BY_CODE.values()):
    _cls.__module__ = "varnel"  # as users name them (varnel.DamagedError)
