#!/usr/bin/env python3
"""The PE walker reads files the way binutils' objdump does: the sections
(address and file offset), the imports (module, hint and name) and the
exports (ordinal, name, forwarder) of our own probe executable and of Wine's
kernel32.dll."""

import os
import re
import subprocess
import unittest

import qv_test_support as qv

KERNEL32 = '/usr/lib/x86_64-linux-gnu/wine/x86_64-windows/kernel32.dll'
PROBE = qv.program('pe_image_probe.exe')
OBJDUMP = os.environ['QV_OBJDUMP']


def objdump(path):
    """Sections, imports and exports as objdump -p -h reads them."""
    text = subprocess.run([OBJDUMP, '-p', '-h', path], check=True,
                          capture_output=True, text=True).stdout
    image_base = int(re.search(r'^ImageBase\s+([0-9a-f]+)', text, re.M)
                     .group(1), 16)
    sections = []
    for m in re.finditer(r'^\s+\d+ (\S+)\s+[0-9a-f]+\s+([0-9a-f]+)\s+'
                         r'[0-9a-f]+\s+([0-9a-f]+)\s+2\*\*', text, re.M):
        sections.append((m.group(1), int(m.group(2), 16) - image_base,
                         int(m.group(3), 16)))
    imports = set()
    module = None
    for line in text.splitlines():
        m = re.match(r'^\tDLL Name: (\S+)', line)
        if m:
            module = m.group(1)
            continue
        m = re.match(r'^\t[0-9a-f]+\t\s*(\d+)\s+(\S+)', line)
        if module and m:
            imports.add((module, int(m.group(1)), m.group(2)))
        elif not line.strip():
            module = None
    base = re.search(r'Ordinal Base (\d+)', text)
    exports = {}
    if base:
        base = int(base.group(1))
        for m in re.finditer(r'^\t\[\s*(\d+)\] \+base\[\s*(\d+)\]\s+[0-9a-f]+ '
                             r'(Export|Forwarder) RVA(?: -- (\S+))?', text,
                             re.M):
            exports[int(m.group(2))] = ['-', m.group(4) or '-']
        names = text.split('[Ordinal/Name Pointer] Table', 1)[1]
        for m in re.finditer(r'^\t\[\s*(\d+)\] (\S+)$', names, re.M):
            exports[int(m.group(1)) + base][0] = m.group(2)
    return sections, imports, {(k, v[0], v[1]) for k, v in exports.items()}


def probe(path):
    result = qv.run([PROBE, qv.windows_path(path)])
    if result.returncode != 0:
        raise AssertionError('probe failed: %r' % result.stderr)
    lines = result.stdout.decode('utf-8').splitlines()
    sections, imports, exports, facts = [], set(), set(), {}
    for line in lines:
        fields = line.split()
        if fields[0] == 'section':
            sections.append((fields[1], int(fields[2], 16),
                             int(fields[3], 16)))
        elif fields[0] == 'import':
            imports.add((fields[1], int(fields[2]), fields[3]))
        elif fields[0] == 'export':
            exports.add((int(fields[1]), fields[2], fields[3]))
        else:
            facts[fields[0]] = fields[1:]
    return sections, imports, exports, facts


class PEImageTest(unittest.TestCase):

    def compare(self, path):
        want_sections, want_imports, want_exports = objdump(path)
        sections, imports, exports, facts = probe(path)
        self.assertEqual(['1'], facts['magic'])
        self.assertEqual(['1', '1', '1', '1'], facts['walks'])
        self.assertEqual(len(want_sections), len(sections))
        for want, got in zip(want_sections, sections):
            # Long section names sit in the symbol table ("/4"); objdump
            # shows the long name, the header holds the reference.
            if not got[0].startswith('/'):
                self.assertEqual(want[0][:8], got[0])
            self.assertEqual(want[1:], got[1:], want[0])
        self.assertTrue(want_imports)
        self.assertEqual(want_imports, imports)
        self.assertEqual(want_exports, exports)
        return facts

    def test_our_own_executable(self):
        facts = self.compare(PROBE)
        self.assertGreater(int(facts['relocs'][0]), 0)

    def test_wine_kernel32(self):
        self.compare(KERNEL32)
        _, _, exports = objdump(KERNEL32)
        self.assertGreater(len(exports), 1000)
        self.assertTrue(any(forward != '-' for _, _, forward in exports))


if __name__ == '__main__':
    qv.main()
