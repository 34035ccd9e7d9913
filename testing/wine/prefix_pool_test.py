"""The prefix pool's reset (testing/wine/wine_run.sh): what one test left in
a pool prefix, running programs and files on drive C, is gone before the
next test's first program, while the prefix's server and Wine's own
programs stay up. And the prefix's desktop: one that ends is started again,
detached, before the next program, which would otherwise start it with its
own output pipes."""

import os
import signal
import subprocess
import time
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


def prefix_programs(prefix, name):
    """The pids of the prefix's processes that run the program |name|."""
    found = []
    for entry in os.listdir("/proc"):
        try:
            with open("/proc/%s/environ" % entry, "rb") as f:
                environ = f.read().split(b"\0")
            with open("/proc/%s/cmdline" % entry, "rb") as f:
                argv0 = f.read().split(b"\0")[0].decode("utf-8", "replace")
        except OSError:
            continue
        if (b"WINEPREFIX=" + prefix.encode() in environ
                and argv0.replace("\\", "/").split("/")[-1].lower() == name):
            found.append(int(entry))
    return found


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

    def run_in_pool(self, args, timeout=300):
        return subprocess.run([qv.WINE_RUN] + args, env=self.env, timeout=timeout,
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

    def test_a_desktop_that_ended_is_started_again_detached(self):
        self.assertEqual(0, self.run_in_pool(["cmd", "/c", "exit", "0"]).returncode)
        desktops = prefix_programs(self.prefix, "explorer.exe")
        self.assertEqual(1, len(desktops), desktops)
        with open(self.prefix + ".keepalive.pid") as f:
            keeper = int(f.read())
        os.kill(desktops[0], signal.SIGKILL)
        deadline = time.monotonic() + 30
        while alive(keeper):
            self.assertLess(time.monotonic(), deadline, "the keeper stays")
            time.sleep(0.05)

        # A program that needs the desktop; its output ends when it does.
        try:
            ran = self.run_in_pool(["rundll32", "user32.dll,GetDesktopWindow"],
                                   timeout=120)
        except subprocess.TimeoutExpired:
            self.fail("the program's output pipe is held by the desktop")
        self.assertEqual(0, ran.returncode)
        desktops = prefix_programs(self.prefix, "explorer.exe")
        self.assertEqual(1, len(desktops), desktops)
        self.assertEqual("/dev/null", os.readlink("/proc/%d/fd/2" % desktops[0]))


if __name__ == "__main__":
    qv.main()
