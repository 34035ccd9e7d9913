#!/usr/bin/env python3
"""The crash reporter's files stand in layers: no file reaches itself through
the quoted includes of the reporter's headers and sources. A header and its
source count as one unit (foo.h and foo.cc are "foo"); tests are left out.

usage: include_layers_test.py <source root>
"""

import os
import re
import sys
import unittest

import qv_test_support as qv

FOLDER = "quillavera_crash_reporter"
INCLUDE = re.compile(r'^\s*#\s*include\s+"([^"]+)"', re.M)

# The one circle still standing: the globals start the crash server with the
# client callbacks, and the callbacks and the crash flow they run use the
# globals. A circle among these files alone is tolerated; any other is not.
TOLERATED = {
    "reporter_globals", "client_callbacks", "process_registry",
    "crash_handling_flow", "crash_data_archive", "bi_log_upload",
}

SOURCE_ROOT = ""


def include_graph(root):
    """Unit -> the units of the same folder that it includes."""
    folder = os.path.join(root, FOLDER)
    graph = {}
    for name in sorted(os.listdir(folder)):
        stem, extension = os.path.splitext(name)
        if extension not in (".h", ".cc") or stem.endswith("_unittest"):
            continue
        with open(os.path.join(folder, name), encoding="utf-8",
                  errors="replace") as source:
            included = INCLUDE.findall(source.read())
        graph.setdefault(stem, set()).update(
            os.path.splitext(os.path.basename(path))[0] for path in included
            if os.path.dirname(path) == FOLDER)
    for stem in graph:
        graph[stem] = {unit for unit in graph[stem]
                       if unit in graph and unit != stem}
    return graph


def circles(graph):
    """The strongly connected groups of more than one unit (Tarjan)."""
    index, low, on_stack, stack, found = {}, {}, set(), [], []

    def visit(unit):
        index[unit] = low[unit] = len(index)
        stack.append(unit)
        on_stack.add(unit)
        for other in sorted(graph[unit]):
            if other not in index:
                visit(other)
                low[unit] = min(low[unit], low[other])
            elif other in on_stack:
                low[unit] = min(low[unit], index[other])
        if low[unit] == index[unit]:
            group = set()
            while True:
                member = stack.pop()
                on_stack.discard(member)
                group.add(member)
                if member == unit:
                    break
            if len(group) > 1:
                found.append(group)

    for unit in sorted(graph):
        if unit not in index:
            visit(unit)
    return found


class IncludeLayersTest(unittest.TestCase):

    def test_finds_a_circle_where_there_is_one(self):
        graph = {"a": {"b"}, "b": {"c"}, "c": {"a"}, "d": {"a"}, "e": set()}
        self.assertEqual([{"a", "b", "c"}], circles(graph))

    def test_reporter_files_stand_in_layers(self):
        graph = include_graph(SOURCE_ROOT)
        self.assertIn("bi_records", graph)
        untolerated = [sorted(group) for group in circles(graph)
                       if not group <= TOLERATED]
        self.assertEqual([], untolerated)


if __name__ == "__main__":
    SOURCE_ROOT = sys.argv.pop(1)
    qv.main()
