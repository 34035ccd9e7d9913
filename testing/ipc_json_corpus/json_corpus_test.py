#!/usr/bin/env python3
"""The JSON reader and writer against Python's json module.

A seeded generator makes documents (values dumped by json.dumps in its
various forms, plus hand-made escapes, comments and white space) and
mutations of them (bytes deleted, inserted, replaced, repeated, cut off).
Every document goes through ipc_json_corpus_tool.exe, which reads it with
our reader and writes the result with our writer.

The expectation comes from Python's json module, after the document has been
brought into Python's dialect by a small model of where our reader differs:
comments become white space, a leading byte-order mark goes, \\xHH and \\v
become \\u escapes, the escape \\u0000 adds nothing. Where our reader refuses
what Python accepts, the code must be the one our reader gives by design:
0 for a number beyond the double range, 1 for an unpaired surrogate escape,
5 for more than 99 open containers, 7 for a raw non-character. Everything
Python refuses must be refused. Everything accepted must be written back
byte for byte as a model of our writer predicts (keys in UTF-8 byte order,
\\uXXXX upper-case escapes of each UTF-16 unit beyond printable ASCII and of
'<' and '>', doubles in the shortest form that reads back).

Usage (environment as qv_python_test sets it): json_corpus_test.py [seed]
"""

import decimal
import json
import math
import os
import random
import sys
import tempfile

import qv_test_support as qv
from qv_test_support import windows_path

INT_MIN, INT_MAX = -2**31, 2**31 - 1
MAX_DEPTH = 99


# ----------------------------------------------------------------- generator

def random_string(rng):
    pools = [
        "abcxyz ABC019",
        "\"\\/\b\f\n\r\t",
        "".join(chr(c) for c in range(0, 0x20)) + "\x7f<>&'",
        "\u00e9\u00ff\u0100\u07ff\u0800\u20ac\u2028\ufeff\uffef\ufffd",
        "\U0001f600\U00010000\U0010fffd",
        "\ufffe\uffff\ufdd0\ufdef\U0001fffe",
    ]
    weights = [8, 3, 2, 3, 2, 1]
    length = rng.choice([0, 1, 2, 5, 12])
    return "".join(rng.choice(rng.choices(pools, weights)[0])
                   for _ in range(length))


def random_number(rng):
    kind = rng.randrange(10)
    if kind == 0:
        return rng.choice([0, -1, 1, INT_MIN, INT_MAX, INT_MIN - 1,
                           INT_MAX + 1, 2**53 + 1, -2**63, 10**30])
    if kind in (1, 2, 3):
        return rng.randint(-1000, 1000)
    if kind == 4:
        return rng.choice([0.0, -0.0, 0.5, -0.25, 1e21, 1e-5, 1e-7, 100000.0,
                           1000000.0, 123456.0, 1.5e300, 0.1 + 0.2,
                           5e-324, 2.2250738585072014e-308,
                           1.7976931348623157e308, 9007199254740993.0])
    if kind in (5, 6):
        return rng.uniform(-1e6, 1e6)
    if kind == 7:
        return float(rng.randint(-10**6, 10**6))
    return rng.choice([1, -1]) * rng.random() * 10.0 ** rng.randint(-320, 308)


def random_value(rng, depth=0):
    kind = rng.randrange(10 if depth < 6 else 6)
    if kind == 0:
        return rng.choice([None, True, False])
    if kind in (1, 2):
        return random_number(rng)
    if kind in (3, 4, 5):
        return random_string(rng)
    if kind in (6, 7):
        return [random_value(rng, depth + 1) for _ in range(rng.randrange(5))]
    return {random_string(rng): random_value(rng, depth + 1)
            for _ in range(rng.randrange(5))}


def dump(rng, value):
    options = dict(ensure_ascii=rng.random() < 0.6,
                   sort_keys=rng.random() < 0.5,
                   allow_nan=False)
    style = rng.randrange(4)
    if style == 1:
        options["indent"] = rng.choice([0, 1, 3])
    elif style == 2:
        options["separators"] = (",", ":")
    text = json.dumps(value, **options)
    if style == 3:
        text = decorate(rng, text)
    return text


def decorate(rng, text):
    """White space and comments between tokens, extra escapes in strings."""
    out = []
    in_string = False
    i = 0
    while i < len(text):
        c = text[i]
        if in_string:
            if c == "\\":
                out.append(text[i:i + 2])
                i += 2
                continue
            if c == '"':
                in_string = False
            elif c.isascii() and c.isalnum() and rng.random() < 0.1:
                c = rng.choice(["\\u%04x" % ord(c), "\\u%04X" % ord(c),
                                "\\x%02x" % ord(c)])
            elif c == "/" and rng.random() < 0.5:
                c = "\\/"
            out.append(c)
            i += 1
            continue
        if c == '"':
            in_string = True
        elif c in ",:[]{}" and rng.random() < 0.3:
            out.append(rng.choice([" ", "\t", "\r\n", "\n", "/* c */",
                                   "// line\n", "/**/"]))
        out.append(c)
        i += 1
    return rng.choice(["", " ", "\ufeff", "/* lead */"]) + "".join(out) + \
        rng.choice(["", "\n", " // tail", " /* tail"])


MUTATION_BYTES = (b'{}[],:"\\/*-+.0123456789eEtrufalsnxvX \t\r\n'
                  b'\x00\x01\x7f\x80\xbf\xc3\xed\xef\xbb\xbf\xf0\xff')


def mutate(rng, data):
    if not data:
        return bytes([rng.choice(MUTATION_BYTES)])
    pos = rng.randrange(len(data) + 1)
    kind = rng.randrange(5)
    if kind == 0:
        return data[:pos] + data[pos + 1:]
    if kind == 1:
        return data[:pos] + bytes([rng.choice(MUTATION_BYTES)]) + data[pos:]
    if kind == 2:
        return data[:pos] + bytes([rng.choice(MUTATION_BYTES)]) + data[pos + 1:]
    if kind == 3:
        end = min(len(data), pos + rng.randrange(1, 6))
        return data[:end] + data[pos:end] + data[end:]
    return data[:pos]


def fixed_documents():
    docs = [b"", b"[1]x", b"[1] x", b"1,", b"\"\\x-1\"", b"\"\\u0x41\"",
            b"\"\\u+041\"", b"[1,2,]", b"{\"a\":1,}", b"NaN", b"Infinity",
            b"-Infinity", b"1e400", b"-1e400", b"1e-400", b"1e-310",
            b"\xef\xbb\xbf{}", b"\"\\uD800\"", b"\"\\uDC00x\"",
            b"\"\\uD83D\\u0041\"", b"\"\\uD83D\\uDE00\"", b"\"\xef\xbf\xbe\"",
            b"\"a\\u0000b\"", b"\"\\x00\"", b"\"\\v\"", b"[] // c", b"[] /",
            b"[1 /* c */ , 2]", b"tr/**/ue", b"1/**/2", b"{\"\\u0000\":1}",
            b"\"\t\x01\"", b"-0", b"-0.0", b"2147483648", b"-2147483649",
            b"1" + b"0" * 400, b"0." + b"0" * 400 + b"1"]
    docs.append(b"[" * MAX_DEPTH + b"]" * MAX_DEPTH)
    docs.append(b"[" * (MAX_DEPTH + 1) + b"]" * (MAX_DEPTH + 1))
    docs.append(b"{\"a\":" * (MAX_DEPTH + 1) + b"1" + b"}" * (MAX_DEPTH + 1))
    return docs


def make_corpus(seed):
    rng = random.Random(seed)
    documents = fixed_documents()
    for _ in range(2500):
        documents.append(dump(rng, random_value(rng)).encode("utf-8"))
    originals = list(documents)
    for _ in range(6000):
        data = rng.choice(originals)
        for _ in range(rng.choice([1, 1, 1, 2, 3])):
            data = mutate(rng, data)
        documents.append(data)
    return documents


# --------------------------------------------------------- model of the reader

class Policy(Exception):
    """Python would accept, our reader refuses by design with these codes."""


def is_noncharacter(cp):
    return 0xFDD0 <= cp <= 0xFDEF or (cp & 0xFFFE) == 0xFFFE


def is_undecodable(c):
    """A byte that is not UTF-8, kept by the surrogateescape decoding."""
    return 0xDC80 <= ord(c) <= 0xDCFF


def hex_digits(text, start, count):
    digits = text[start:start + count]
    if len(digits) == count and all(c in "0123456789abcdefABCDEF"
                                    for c in digits):
        return int(digits, 16)
    return None


def to_python_dialect(text, codes):
    """Rewrites our dialect into Python's and records policy codes; None
    when our reader and Python both refuse the text."""
    out = []
    in_string = False
    depth = max_depth = 0
    i, n = 0, len(text)
    while i < n:
        c = text[i]
        if in_string:
            if c == '"':
                in_string = False
            elif c == "\\" and i + 1 < n:
                e = text[i + 1]
                if e == "x":
                    value = hex_digits(text, i + 2, 2)
                    if value is not None:
                        out.append("\\u00%02x" % value)
                        i += 4
                        continue
                elif e == "v":
                    out.append("\\u000b")
                    i += 2
                    continue
                elif e == "u":
                    value = hex_digits(text, i + 2, 4)
                    if value is None:
                        # Refused by both; rewriting what follows could
                        # otherwise complete it.
                        return None
                    if value == 0:
                        i += 6
                        continue
                    if value is not None and 0xD800 <= value <= 0xDFFF:
                        low = None
                        if text[i + 6:i + 8] == "\\u":
                            low = hex_digits(text, i + 8, 4)
                        if value < 0xDC00 and low is not None and \
                                0xDC00 <= low <= 0xDFFF:
                            out.append(text[i:i + 12])
                            i += 12
                            continue
                        codes.add(1)
                out.append(text[i:i + 2])
                i += 2
                continue
            elif is_noncharacter(ord(c)):
                codes.add(7)
            elif is_undecodable(c):
                return None
            out.append(c)
            i += 1
            continue
        if c == '"':
            in_string = True
        elif c in "[{":
            depth += 1
            max_depth = max(max_depth, depth)
        elif c in "]}":
            depth -= 1
        elif is_undecodable(c):
            return None
        elif c == "/" and text[i + 1:i + 2] == "/":
            while i < n and text[i] not in "\r\n":
                i += 1
            out.append(" ")
            continue
        elif c == "/" and text[i + 1:i + 2] == "*":
            end = text.find("*/", i + 2)
            i = n if end < 0 else end + 2
            out.append(" ")
            continue
        out.append(c)
        i += 1
    if max_depth > MAX_DEPTH:
        codes.add(5)
    return "".join(out)


def model_read(data):
    """('ok', value), ('policy', codes) or ('reject', None)."""
    if data[:3] == b"\xef\xbb\xbf":
        data = data[3:]
    # Comments may hold any bytes; elsewhere they must be UTF-8.
    text = data.decode("utf-8", "surrogateescape")
    codes = set()
    python_text = to_python_dialect(text, codes)
    if python_text is None:
        return ("reject", None)

    def parse_int(literal):
        value = int(literal)
        if INT_MIN <= value <= INT_MAX:
            return value
        return parse_float(literal)

    def parse_float(literal):
        exact = decimal.Decimal(literal)
        try:
            value = float(literal)
        except OverflowError:
            value = math.inf
        if math.isinf(value) or (value == 0 and exact != 0):
            codes.add(0)
        return Double(value)

    def refuse_constant(name):
        raise ValueError(name)

    try:
        value = json.loads(python_text, strict=False, parse_int=parse_int,
                           parse_float=parse_float,
                           parse_constant=refuse_constant)
    except (ValueError, RecursionError):
        return ("reject", None)
    if codes:
        return ("policy", codes)
    return ("ok", value)


class Double(float):
    """A number our reader keeps as a double."""


# --------------------------------------------------------- model of the writer

def shortest_text(x):
    """The short form: shortest digits, no leading zero, exponent beyond
    four places before or five past the digits."""
    sign = "-" if math.copysign(1.0, x) < 0 else ""
    if x == 0:
        return sign + "0"
    digits_tuple = decimal.Decimal(repr(abs(x))).as_tuple()
    digits = "".join(map(str, digits_tuple.digits)).rstrip("0")
    decpt = len(digits_tuple.digits) + digits_tuple.exponent
    n = len(digits)
    if decpt <= -4 or decpt > n + 5:
        text = digits[0] + ("." + digits[1:] if n > 1 else "")
        exponent = decpt - 1
        text += "e" + ("-" if exponent < 0 else "+") + "%02d" % abs(exponent)
    elif decpt <= 0:
        text = "." + "0" * -decpt + digits
    elif decpt < n:
        text = digits[:decpt] + "." + digits[decpt:]
    else:
        text = digits + "0" * (decpt - n)
    return sign + text


def write_double(x):
    text = shortest_text(x)
    if not any(c in text for c in ".eE"):
        text += ".0"
    if text.startswith("."):
        text = "0" + text
    elif text.startswith("-."):
        text = "-0" + text[1:]
    return text


def write_string(s):
    out = ['"']
    units = s.encode("utf-16-le", "surrogatepass")
    for k in range(0, len(units), 2):
        u = units[k] | units[k + 1] << 8
        special = {8: "\\b", 9: "\\t", 10: "\\n", 12: "\\f", 13: "\\r",
                   34: '\\"', 92: "\\\\"}
        if u in special:
            out.append(special[u])
        elif 0x20 <= u <= 0x7E and u not in (0x3C, 0x3E):
            out.append(chr(u))
        else:
            out.append("\\u%04X" % u)
    out.append('"')
    return "".join(out)


def model_write(value):
    if value is None:
        return "null"
    if value is True:
        return "true"
    if value is False:
        return "false"
    if isinstance(value, Double):
        return write_double(float(value))
    if isinstance(value, int):
        return str(value)
    if isinstance(value, str):
        return write_string(value)
    if isinstance(value, list):
        return "[" + ",".join(model_write(v) for v in value) + "]"
    keys = sorted(value, key=lambda k: k.encode("utf-8", "surrogatepass"))
    return "{" + ",".join(write_string(k) + ":" + model_write(value[k])
                          for k in keys) + "}"


# ------------------------------------------------------------------ the test

def run_tool(documents):
    with tempfile.TemporaryDirectory() as folder:
        input_path = os.path.join(folder, "documents.hex")
        output_path = os.path.join(folder, "results.txt")
        with open(input_path, "w") as f:
            for data in documents:
                f.write(data.hex() + "\n")
        qv.run([qv.program("ipc_json_corpus_tool.exe"),
                windows_path(input_path), windows_path(output_path)],
               check=True, timeout=240)
        with open(output_path, "rb") as f:
            return f.read().decode("ascii").split("\n")[:-1]


def check(document, expected, result):
    verdict, payload = expected
    if verdict == "ok":
        want = "OK " + model_write(payload)
        return None if result == want else want
    if verdict == "policy":
        ok = result.startswith("ERR ") and int(result[4:]) in payload
        return None if ok else "ERR in %s" % sorted(payload)
    return None if result.startswith("ERR ") else "ERR (Python refuses)"


def main():
    seed = int(sys.argv[1]) if len(sys.argv) > 1 else 20261210
    documents = make_corpus(seed)
    results = run_tool(documents)
    if len(results) != len(documents):
        print("tool answered %d of %d documents" %
              (len(results), len(documents)))
        return 1
    failures = []
    tally = {"ok": 0, "policy": 0, "reject": 0}
    for document, result in zip(documents, results):
        expected = model_read(document)
        tally[expected[0]] += 1
        problem = check(document, expected, result)
        if problem:
            failures.append((document, problem, result))
    print("seed %d: %d documents; Python accepts %d, refuses %d; our policy "
          "differs on %d" % (seed, len(documents), tally["ok"],
                             tally["reject"], tally["policy"]))
    for document, want, got in failures[:20]:
        print("document %r\n  expected %s\n  got      %s" %
              (document[:300], want[:300], got[:300]))
    if failures:
        print("%d mismatches" % len(failures))
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
