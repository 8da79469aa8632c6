#!/usr/bin/env python3
"""Independent reference for the revision-6 password hash (Algorithm 2.B),
written from the algorithm's text with hashlib and python3-cryptography's AES.
Prints the rows of the known-answer table in tests/crypt/securityhandlers_test.cpp."""
import hashlib

from cryptography.hazmat.primitives.ciphers import Cipher, algorithms, modes


def hash_2b(password: bytes, salt: bytes, udata: bytes) -> bytes:
    password = password[:127]
    k = hashlib.sha256(password + salt + udata).digest()
    rounds = 0
    while True:
        k1 = (password + k + udata) * 64
        enc = Cipher(algorithms.AES(k[:16]), modes.CBC(k[16:32])).encryptor()
        e = enc.update(k1) + enc.finalize()
        k = (hashlib.sha256, hashlib.sha384, hashlib.sha512)[int.from_bytes(e[:16], "big") % 3](e).digest()
        rounds += 1
        if rounds >= 64 and e[-1] <= rounds - 32:
            return k[:32]


CASES = [
    (b"", b"\x00" * 8, b""),
    (b"user", bytes(range(8)), b""),
    (b"owner", bytes(range(8, 16)), bytes(range(48))),
    ("pässwörd".encode(), b"saltsalt", b""),
    (bytes(range(33, 127)) + bytes(range(33, 66)), b"12345678", b""),  # 127 bytes
    (bytes(range(33, 127)) * 3, b"12345678", b""),  # cut to the same 127 bytes
]

if __name__ == "__main__":
    for pw, salt, udata in CASES:
        print(f'  {{"{pw.hex()}", "{salt.hex()}", "{udata.hex()}", "{hash_2b(pw, salt, udata).hex()}"}},')
