#!/usr/bin/env python3
"""Writes pickle_layout.txt: the exact bytes of a few pickles, laid out here
with Python's struct from the pickle format's own rules (a little-endian
u32 payload size in a header of 4 or more bytes; every value starts on a
4-byte boundary of the payload and is zero-padded to the next one; strings
are an int length and the bytes, UTF-16 strings an int length in code
units and two bytes per unit).

Each line is: case name, header size, hex bytes of the whole pickle. The
unit test builds the same cases with the C++ writer and compares, and reads
these bytes back through the reader.

Run from anywhere: python3 make_fixtures.py.
"""

import os
import struct

HERE = os.path.dirname(os.path.abspath(__file__))


def pad4(b):
    return b + b'\0' * (-len(b) % 4)


# Each value is its unpadded bytes; the pickle pads every value but the last,
# whose padding lies beyond the stored payload size.
def i32(v):
    return struct.pack('<i', v)


def u32(v):
    return struct.pack('<I', v)


def u16(v):
    return struct.pack('<H', v)


def i64(v):
    return struct.pack('<q', v)


def u64(v):
    return struct.pack('<Q', v)


def text(s):
    b = s.encode('utf-8')
    return struct.pack('<i', len(b)) + b


def text16(s):
    b = s.encode('utf-16-le')
    return struct.pack('<i', len(b) // 2) + b


def data(b):
    return struct.pack('<i', len(b)) + b


def pickle(values, header_size=4):
    payload = b''.join(pad4(v) for v in values[:-1]) + values[-1]
    header = struct.pack('<I', len(payload)) + b'\0' * (header_size - 4)
    return header + payload


CASES = [
    ('integers', 4, [i32(1), i32(-2), i32(1), u16(0xBEEF), u32(0xDEADBEEF),
                     i64(-3), u64(0x0123456789ABCDEF), i32(0)]),
    ('strings', 4, [text('abc'), text(''), text16('h\u00e9\U0001F600'),
                    data(b'\x00\x01\x02\x03\x04')]),
    ('abc', 4, [text('abc')]),
    ('short_tail', 4, [i32(7), u16(0x1234)]),
    ('wide_header', 16, [i32(7), text16('xyz')]),
    ('trimmed', 4, [data(b'012'), i32(5)]),
]


def main():
    with open(os.path.join(HERE, 'pickle_layout.txt'), 'w', newline='\n') as f:
        f.write('# Written by make_fixtures.py: case, header size, bytes.\n')
        for name, header_size, values in CASES:
            f.write('%s %d %s\n' % (name, header_size,
                                    pickle(values, header_size).hex()))


if __name__ == '__main__':
    main()
