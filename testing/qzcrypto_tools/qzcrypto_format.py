#!/usr/bin/env python3
"""The product's encrypted-data format, written for the tests from the
format's description alone, independently of the product's code.

Each byte is transformed on its own. A round over the byte x = (hi, lo),
its high and low nibble, with the round key y (only y's low nibble counts):

    encrypt_round(x, y) = (lo, hi ^ lo ^ (y & 15))
    decrypt_round(x, y) = (hi ^ lo ^ (y & 15), hi)

With k the key byte (the XOR of all bytes of the key material) and
s = table[k], encryption is the four rounds keyed by k >> 4, s >> 4, s and
k, in that order; decryption undoes them in reverse order.

The substitution table and the product's key material are constants of the
format: they are read from the product's source file, never copied here.

Command line:
    qzcrypto_format.py decrypt IN [OUT]    the product key; stdout without OUT
    qzcrypto_format.py encrypt IN [OUT]
    qzcrypto_format.py vectors             the known-answer table
"""

import os
import re
import sys

HERE = os.path.dirname(os.path.abspath(__file__))
CONSTANTS_SOURCE = os.path.join(HERE, "..", "..", "qzcrypto",
                                "format_constants.cc")
VECTORS_FILE = os.path.join(HERE, "known_answers.txt")

_constants = {}


def _parse_array(source, name):
    match = re.search(r"\b%s\[\w*\]\s*=\s*\{([^}]*)\}" % re.escape(name),
                      source)
    if not match:
        raise ValueError("no array %s in %s" % (name, CONSTANTS_SOURCE))
    values = [int(v, 16) for v in re.findall(r"0x[0-9a-fA-F]{1,2}",
                                             match.group(1))]
    if len(values) != 256:
        raise ValueError("%s holds %d bytes, not 256" % (name, len(values)))
    return bytes(values)


def _parse_byte(source, name):
    match = re.search(r"\b%s\s*=\s*(0x[0-9a-fA-F]{1,2})\s*;" % re.escape(name),
                      source)
    if not match:
        raise ValueError("no constant %s in %s" % (name, CONSTANTS_SOURCE))
    return int(match.group(1), 16)


def constants():
    """(substitution table, product key material, default key byte)."""
    if not _constants:
        with open(CONSTANTS_SOURCE, encoding="utf-8") as f:
            source = f.read()
        _constants["table"] = _parse_array(source, "kSubstitutionTable")
        _constants["key"] = _parse_array(source, "kProductKeyMaterial")
        _constants["default"] = _parse_byte(source, "kDefaultKeyByte")
    return _constants["table"], _constants["key"], _constants["default"]


def product_key():
    return constants()[1]


def key_byte(material):
    if not material:
        return constants()[2]
    result = 0
    for b in material:
        result ^= b
    return result


def encrypt_round(x, y):
    hi, lo = x >> 4, x & 15
    return (lo << 4) | (hi ^ lo ^ (y & 15))


def decrypt_round(x, y):
    hi, lo = x >> 4, x & 15
    return ((hi ^ lo ^ (y & 15)) << 4) | hi


def encrypt_byte(b, k):
    s = constants()[0][k]
    for y in (k >> 4, s >> 4, s, k):
        b = encrypt_round(b, y)
    return b


def decrypt_byte(b, k):
    s = constants()[0][k]
    for y in (k, s, s >> 4, k >> 4):
        b = decrypt_round(b, y)
    return b


def _translate(data, material, one_byte):
    k = key_byte(material)
    table = bytes(one_byte(b, k) for b in range(256))
    return bytes(data).translate(table)


def encrypt(data, material=None):
    """Type-1 encryption with |material| (the product key by default)."""
    return _translate(data, product_key() if material is None else material,
                      encrypt_byte)


def decrypt(data, material=None):
    return _translate(data, product_key() if material is None else material,
                      decrypt_byte)


def decrypt_file(path, material=None):
    with open(path, "rb") as f:
        return decrypt(f.read(), material)


def decrypt_log_text(path):
    """A product log decrypted into text (its records are UTF-8); "" when
    the file does not exist."""
    if not os.path.exists(path):
        return ""
    return decrypt_file(path).decode("utf-8", "replace")


# --- Known answers -----------------------------------------------------------
# One row per line: key material (hex, or "product" for the product's), the
# plain bytes and the cipher bytes, in hex.

_VECTOR_INPUTS = [
    ("01", bytes(range(256))),
    ("00", bytes(range(256))),
    ("ff", bytes(range(256))),
    ("10", bytes(range(256))),
    ("0102", b"key byte 03"),
    ("a5a5a5", b"three bytes give a5"),
    ("5a3c", bytes(range(256))),
    ("product", bytes(range(256))),
    ("product", b"[1234:5678:1210/123456:987654:INFO:quillavera_crash_"
                b"server_main.cc(28)] Quillavera crash server start\n"),
    ("product", b"\x00\x00\x00\x00"),
]


def vector_rows():
    rows = []
    for key, plain in _VECTOR_INPUTS:
        material = product_key() if key == "product" else bytes.fromhex(key)
        rows.append((key, plain.hex(), encrypt(plain, material).hex()))
    return rows


def read_vectors(path=VECTORS_FILE):
    rows = []
    with open(path, encoding="ascii") as f:
        for line in f:
            line = line.strip()
            if line and not line.startswith("#"):
                rows.append(tuple(line.split()))
    return rows


def write_vectors(out):
    out.write("# Known answers of the single-byte cryptor: key material (hex, "
              "or \"product\"),\n# plain bytes, cipher bytes. Made by "
              "testing/qzcrypto_tools/qzcrypto_format.py vectors.\n")
    for row in vector_rows():
        out.write(" ".join(row) + "\n")


def main(argv):
    if len(argv) >= 2 and argv[1] == "vectors":
        write_vectors(sys.stdout)
        return 0
    if len(argv) in (3, 4) and argv[1] in ("decrypt", "encrypt"):
        with open(argv[2], "rb") as f:
            data = f.read()
        result = decrypt(data) if argv[1] == "decrypt" else encrypt(data)
        if len(argv) == 4:
            with open(argv[3], "wb") as f:
                f.write(result)
        else:
            sys.stdout.buffer.write(result)
        return 0
    sys.stderr.write(__doc__)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
