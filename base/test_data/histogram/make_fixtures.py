#!/usr/bin/env python3
"""Writes bucket_ranges.txt: the bucket boundaries and checksum of a few
classic histograms, computed here from the bucketing rules in plain Python
(math.log/exp for the exponential layout, exact fractions for the linear
one, zlib's CRC-32 for the checksum).

Each line is: layout (exponential or linear), minimum, maximum, bucket
count, checksum in hex, then the bucket_count + 1 ranges.

Run from anywhere: python3 make_fixtures.py.
"""

import math
import os
import struct
import zlib
from fractions import Fraction

HERE = os.path.dirname(os.path.abspath(__file__))
MAX = 0x7FFFFFFF


def exponential(minimum, maximum, n):
    ranges = [0, minimum]
    current = minimum
    for i in range(2, n):
        log_current = math.log(current)
        log_next = log_current + (math.log(maximum) - log_current) / (n - i)
        nxt = int(math.floor(math.exp(log_next) + 0.5))
        current = nxt if nxt > current else current + 1
        ranges.append(current)
    return ranges + [MAX]


def linear(minimum, maximum, n):
    ranges = [0]
    for i in range(1, n):
        value = Fraction(minimum * (n - 1 - i) + maximum * (i - 1), n - 2)
        ranges.append(int(value + Fraction(1, 2)))
    return ranges + [MAX]


def checksum(ranges):
    # A CRC-32 seeded with the number of ranges and never inverted; zlib
    # inverts on the way in and out, so invert around it.
    data = b''.join(struct.pack('<I', r) for r in ranges)
    seed = len(ranges) ^ 0xFFFFFFFF
    return zlib.crc32(data, seed) ^ 0xFFFFFFFF


ROWS = [
    ('exponential', 1, 100, 10),
    ('exponential', 1, 1000000, 50),
    ('exponential', 7, 5000, 25),
    ('exponential', 1, 10, 11),
    ('exponential', 100, 0x7FFFFFFE, 30),
    ('linear', 1, 100, 10),
    ('linear', 1, 2, 3),
    ('linear', 5, 1000, 17),
]


def main():
    with open(os.path.join(HERE, 'bucket_ranges.txt'), 'w', newline='\n') as f:
        f.write('# Written by make_fixtures.py: layout min max buckets '
                'checksum ranges...\n')
        for layout, minimum, maximum, n in ROWS:
            ranges = (exponential if layout == 'exponential' else linear)(
                minimum, maximum, n)
            f.write('%s %d %d %d %08x %s\n' % (
                layout, minimum, maximum, n, checksum(ranges),
                ' '.join(str(r) for r in ranges)))


if __name__ == '__main__':
    main()
