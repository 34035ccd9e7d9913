"""The prefix pool's reset (testing/wine/wine_run.sh): what one test left in
a pool prefix, running programs and files on drive C, is gone before the
next test's first program, while the prefix's server and Wine's own
programs stay up."""

import os
import subprocess
import unittest

import qv_test_support as qv

TEMPLATE = os.path.join(os.path.dirname(qv.WINE_RUN), "wineprefix.template")


def server_pid(prefix):
    """The pid of the prefix's wineserver."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            exe = os.readlink("/proc/%s/exe" % entry)
            with open("/proc/%s/environ" % entry, "rb") as f:
                environ = f.read().split(b"\0")
        except OSError:
            continue
        if (os.path.basename(exe).startswith("wineserver")
                and b"WINEPREFIX=" + prefix.encode() in environ):
            found.append(int(entry))
    assert len(found) == 1, found
    return found[0]


def alive(pid):
    try:
        os.kill(pid, 0)
    except ProcessLookupError:
        return False
    with open("/proc/%d/stat" % pid) as f:
        return f.read().split(")")[-1].split()[0] != "Z"


@unittest.skipUnless(os.path.isfile(os.path.join(TEMPLATE, ".qv_booted")),
                     "needs the template prefix scripts/test.sh boots")
class PrefixPoolTest(unittest.TestCase):
    def setUp(self):
        pool = os.path.join(qv.WORK_DIR, "pool")
        self.prefix = os.path.join(pool, "0.wineprefix")
        self.env = dict(os.environ, QV_PREFIX_POOL=pool,
                        CTEST_RESOURCE_GROUP_0_PREFIXES="id:0,slots:1")
        self.env.pop("QV_PREFIX_RESET", None)
        self.addCleanup(qv.stop_prefix, self.prefix)

    def run_in_pool(self, args):
        return subprocess.run([qv.WINE_RUN] + args, env=self.env, timeout=300,
                              stdin=subprocess.DEVNULL, capture_output=True)

    def test_reset_ends_what_ran_and_puts_drive_c_back(self):
        self.assertEqual(0, self.run_in_pool(["cmd", "/c", "exit", "0"]).returncode)
        server = server_pid(self.prefix)
        held = os.path.join(self.prefix, "drive_c", "users", "Public", "held.txt")
        holder = subprocess.Popen(
            [qv.WINE_RUN, qv.program("file_holder.exe"), qv.windows_path(held)],
            env=self.env, stdin=subprocess.PIPE, stdout=subprocess.PIPE)
        self.addCleanup(qv.kill_and_wait, holder)
        self.assertEqual(b"held", holder.stdout.readline().strip())
        left = os.path.join(self.prefix, "drive_c", "left by a test")
        os.makedirs(left)

        self.assertEqual(0, self.run_in_pool(["--reset"]).returncode)

        self.assertEqual(-9, holder.wait(timeout=30))
        self.assertFalse(os.path.exists(held))
        self.assertFalse(os.path.exists(left))
        self.assertTrue(os.path.isdir(os.path.join(self.prefix, "drive_c",
                                                   "users", "Public")))
        # The same server, with Wine's own programs, serves the next test.
        self.assertTrue(alive(server))
        again = self.run_in_pool(["cmd", "/c", "echo", "next"])
        self.assertEqual(b"next", again.stdout.strip())
        self.assertEqual(server, server_pid(self.prefix))


if __name__ == "__main__":
    qv.main()
