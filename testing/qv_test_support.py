"""Helpers every whole-program test shares. A test script:

    import unittest
    import qv_test_support as qv

    class SomethingTest(unittest.TestCase):
        def test_it(self):
            done = qv.run([qv.program("probe.exe"), qv.windows_path(path)])
            qv.wait_until(lambda: os.path.exists(path), 30, "the file")

    if __name__ == "__main__":
        qv.main()

CMake's qv_python_test() (cmake/qv.cmake) sets the environment read here and
puts this folder on PYTHONPATH; run one test by hand with
"ctest -R <name> -V" from the build folder. A test with a Wine prefix of its
own calls start_own_prefix() in setUpModule and stop_own_prefix() in
tearDownModule.
"""

import os
import shutil
import subprocess
import sys
import time
import unittest

WINE_RUN = os.environ.get("QV_WINE_RUN", "")
BIN_DIR = os.environ.get("QV_BIN_DIR", "")
WORK_DIR = os.environ.get("QV_TEST_WORK_DIR", "")
# The Wine prefix the test's programs run in.
PREFIX = os.environ.get("QV_WINEPREFIX", "")
# Set only for tests with a prefix of their own (qv_python_test OWN_PREFIX).
OWN_PREFIX = os.environ.get("QV_TEST_PREFIX", "")


def pooled_prefix():
    """The booted prefix CTest handed the test from scripts/test.sh's pool
    (see testing/wine/wine_run.sh), or "" when the test was given none."""
    pool = os.environ.get("QV_PREFIX_POOL", "")
    group = os.environ.get("CTEST_RESOURCE_GROUP_0_PREFIXES", "")
    if not (pool and group.startswith("id:")):
        return ""
    return os.path.join(pool, group[3:].split(",")[0] + ".wineprefix")


POOLED = pooled_prefix() if OWN_PREFIX else ""
if POOLED:
    OWN_PREFIX = PREFIX = POOLED


def windows_path(path):
    """A host path as programs under Wine see it (the Z: drive)."""
    return "Z:" + os.path.abspath(path).replace("/", "\\")


def host_path(path):
    """A Z: path printed by a program under Wine, as a host path."""
    assert path.upper().startswith("Z:"), path
    return path[2:].replace("\\", "/")


def program(name):
    """A program of the build, by its file name."""
    return os.path.join(BIN_DIR, name)


def run(args, timeout=120, **popen_args):
    """Runs a Windows program (args[0]) to its end under Wine; its output is
    captured unless the caller redirects it."""
    if "input" not in popen_args:
        popen_args.setdefault("stdin", subprocess.DEVNULL)
    if "stdout" not in popen_args and "stderr" not in popen_args:
        popen_args["capture_output"] = True
    return subprocess.run([WINE_RUN] + list(args), timeout=timeout,
                          **popen_args)


def start(args, **popen_args):
    """Starts a Windows program (args[0]) under Wine; end it with
    kill_and_wait()."""
    return subprocess.Popen([WINE_RUN] + list(args), **popen_args)


def kill_and_wait(process, timeout=60):
    """Ends a started program if it still runs, waits for it and closes its
    pipes, so nothing of it outlives the test."""
    if process.poll() is None:
        process.kill()
    try:
        process.wait(timeout=timeout)
    finally:
        for stream in (process.stdin, process.stdout, process.stderr):
            if stream:
                stream.close()


def stop_prefix(prefix):
    """Ends a Wine prefix's server and every program in it."""
    subprocess.run([WINE_RUN, "--stop"], env=dict(os.environ, QV_WINEPREFIX=prefix),
                   stdin=subprocess.DEVNULL, stdout=subprocess.DEVNULL,
                   stderr=subprocess.DEVNULL, check=False, timeout=120)


def start_own_prefix():
    """Stops and removes the test's own prefix and boots it afresh (a first
    boot takes a while; no test should pay for it in its own time-outs)."""
    assert OWN_PREFIX, "the test has no prefix of its own (OWN_PREFIX)"
    if POOLED:
        # Booted already: ending what ran in it and its files put back make
        # it as new.
        reset_prefix()
        if not os.path.exists(os.path.join(OWN_PREFIX, ".qv_booted")):
            run(["cmd", "/c", "exit", "0"], timeout=300)
        return OWN_PREFIX
    stop_prefix(OWN_PREFIX)
    shutil.rmtree(OWN_PREFIX, ignore_errors=True)
    for leftover in (OWN_PREFIX + ".lock", OWN_PREFIX + ".keepalive.pid",
                     OWN_PREFIX + ".server.pid", OWN_PREFIX + ".server.log",
                     OWN_PREFIX + ".desktop.ready"):
        if os.path.exists(leftover):
            os.remove(leftover)
    run(["cmd", "/c", "exit", "0"], timeout=300)
    return OWN_PREFIX


def stop_own_prefix():
    # A pool prefix stays up for the next test, which resets it first.
    if not POOLED:
        stop_prefix(OWN_PREFIX)


def reset_prefix():
    """Ends every program of the test's pool prefix and puts its files back
    as the template has them (testing/wine/wine_run.sh --reset)."""
    os.environ.pop("QV_PREFIX_RESET", None)
    subprocess.run([WINE_RUN, "--reset"], stdin=subprocess.DEVNULL,
                   stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL,
                   check=True, timeout=120)
    # The programs of this test are not to reset it again.
    os.environ["QV_PREFIX_RESET"] = POOLED


if POOLED and os.environ.get("QV_PREFIX_RESET") != POOLED:
    reset_prefix()


def wait_until(predicate, timeout, what):
    """Polls |predicate| until it returns something true, which is returned;
    fails naming |what| once |timeout| seconds have passed."""
    deadline = time.monotonic() + timeout
    while True:
        result = predicate()
        if result:
            return result
        if time.monotonic() >= deadline:
            raise AssertionError("no %s within %s s" % (what, timeout))
        time.sleep(0.05)


def main():
    """Runs the calling script's tests, verbosely, with its arguments."""
    unittest.main(module="__main__", argv=sys.argv, verbosity=2)
