"""varnel.Permissions: the rights of user-password readers by name, as
pikepdf.Permissions names them, beside the letters of permissions="..."."""
import dataclasses
from typing import Optional

from ._errors import UsageError


@dataclasses.dataclass(frozen=True)
class Permissions:
    """What a reader who opens the document with the user password may do.

    Everything is refused by default (reading only), as with permissions="".
    Each right is a letter of the permissions text: print_highres P (which is
    printing too, so print_lowres must be True with it), print_lowres D,
    modify_other M, extract C, modify_annotation A (adding and changing
    annotations, and filling forms as the PDF format has it), modify_assembly
    S. modify_form (the permission bit 9 pikepdf reads: filling forms
    without annotating) has no letter and must stay False.
    accessibility: None, as the cipher does (the AES ciphers always grant
    it, rc4-128 never); True or False must be what the cipher does.
    A combination the letters cannot give raises UsageError.
    """

    accessibility: Optional[bool] = None
    extract: bool = False
    modify_annotation: bool = False
    modify_assembly: bool = False
    modify_form: bool = False
    modify_other: bool = False
    print_lowres: bool = False
    print_highres: bool = False

    def letters(self, cipher="aes-256"):
        """The permissions text that grants these rights under cipher."""
        if self.print_highres and not self.print_lowres:
            raise UsageError("print_highres without print_lowres: printing in high quality is printing")
        if self.modify_form:
            raise UsageError("modify_form: no permission letter grants it (modify_annotation, A, lets readers fill forms)")
        if self.accessibility is not None and self.accessibility != cipher.startswith("aes"):
            raise UsageError("accessibility=%s: %s %s extraction for accessibility" % (
                self.accessibility, cipher, "always grants" if cipher.startswith("aes") else "never grants"))
        rights = ((self.print_highres, "P"), (self.print_lowres and not self.print_highres, "D"),
                  (self.modify_other, "M"), (self.extract, "C"), (self.modify_annotation, "A"),
                  (self.modify_assembly, "S"))
        return "".join(letter for granted, letter in rights if granted)


def with_letters(native):
    """native (encrypt or encrypt_bytes), taking a Permissions as its permissions too."""
    def call(*args, **kwargs):
        if isinstance(kwargs.get("permissions"), Permissions):
            kwargs["permissions"] = kwargs["permissions"].letters(kwargs.get("cipher", "aes-256"))
        return native(*args, **kwargs)
    call.__name__, call.__qualname__, call.__doc__ = native.__name__, native.__qualname__, native.__doc__
    return call
