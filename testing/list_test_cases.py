"""Prints the test cases of a Python test script, one "Class.test_name" a
line, without importing it: CMake registers each as a CTest test of its own
(qv_python_test SPLIT), so the cases of one script run side by side.

A case is a test_ method of a class defined in the script, its own or one
it inherits from another class of the same script; classes without cases
(shared bases) are left out.
"""

import ast
import sys


def test_methods(node):
    return [item.name for item in node.body
            if isinstance(item, (ast.FunctionDef, ast.AsyncFunctionDef))
            and item.name.startswith("test")]


def base_names(node):
    return [base.id for base in node.bases if isinstance(base, ast.Name)]


def cases(source):
    classes = {node.name: node for node in ast.parse(source).body
               if isinstance(node, ast.ClassDef)}

    def methods_of(name, seen):
        if name not in classes or name in seen:
            return []
        seen.add(name)
        found = []
        for base in base_names(classes[name]):
            found += methods_of(base, seen)
        return found + test_methods(classes[name])

    for name in classes:
        for method in dict.fromkeys(methods_of(name, set())):
            yield "%s.%s" % (name, method)


def main():
    with open(sys.argv[1], encoding="utf-8") as script:
        for case in cases(script.read()):
            print(case)


if __name__ == "__main__":
    main()
