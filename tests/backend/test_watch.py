"""Noticing that the parent process is gone, in-process (no port needed)."""

import os
import subprocess
import unittest

from rig import import_app

import_app()
from app import watch  # noqa: E402


class ParentPidTest(unittest.TestCase):
    def test_parsing(self):
        self.assertEqual(watch.parent_pid(None), (None, None))
        self.assertEqual(watch.parent_pid(" "), (None, None))
        self.assertEqual(watch.parent_pid(" 4242\n"), (4242, None))
        for text in ["abc", "12x", "1", "0", "-5"]:
            with self.subTest(text=text):
                pid, problem = watch.parent_pid(text)
                self.assertIsNone(pid)
                self.assertIn("not watching", problem)


class ParentWatchTest(unittest.TestCase):
    def test_running_parent_is_there(self):
        self.assertIsNone(watch.ParentWatch(os.getppid()).gone())

    def test_killed_parent_is_gone_reaped_or_not(self):
        for reap in (False, True):
            with self.subTest(reaped=reap):
                if not reap and not os.path.isdir("/proc"):
                    continue  # a zombie is told apart only through /proc
                sleeper = subprocess.Popen(["sleep", "60"])
                self.addCleanup(sleeper.wait)
                parent = watch.ParentWatch(sleeper.pid)
                self.assertIsNone(parent.gone())
                sleeper.kill()
                if reap:
                    sleeper.wait()
                else:
                    # Let it die; until it is reaped it is a zombie.
                    os.waitid(os.P_PID, sleeper.pid, os.WEXITED | os.WNOWAIT)
                self.assertIn(str(sleeper.pid), parent.gone())


if __name__ == "__main__":
    unittest.main()
