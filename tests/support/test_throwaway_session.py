"""The X socket folder is set up right whatever state a machine left it in,
and a throwaway user never shares its uid with a running process."""

import grp
import os
import pwd
import stat
import subprocess
import sys
import tempfile
import time
import unittest

sys.dont_write_bytecode = True
sys.path.insert(0, os.path.dirname(os.path.abspath(__file__)))
from throwaway_session import prepare_socket_folder, unused_uid  # noqa: E402


def mode_of(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


class SocketFolder(unittest.TestCase):
    def setUp(self):
        scratch = tempfile.TemporaryDirectory()
        self.addCleanup(scratch.cleanup)
        self.scratch = scratch.name
        self.path = os.path.join(self.scratch, ".X11-unix")
        previous = os.umask(0o022)  # as on a fresh machine
        self.addCleanup(os.umask, previous)

    def assert_ready(self):
        info = os.lstat(self.path)
        self.assertTrue(stat.S_ISDIR(info.st_mode))
        self.assertEqual(mode_of(self.path), 0o1777)
        if os.geteuid() == 0:
            self.assertEqual((info.st_uid, info.st_gid), (0, 0))

    def test_missing_or_with_the_wrong_mode(self):
        self.assertIsNone(prepare_socket_folder(self.path))
        self.assert_ready()
        for wrong in (0o1755, 0o755, 0o777, 0o700):
            os.chmod(self.path, wrong)
            self.assertIsNone(prepare_socket_folder(self.path))
            self.assert_ready()

    @unittest.skipUnless(os.geteuid() == 0, "changing an owner needs root")
    def test_owned_by_someone_else(self):
        os.mkdir(self.path, 0o755)
        os.chown(self.path, 65534, 65534)
        self.assertIsNone(prepare_socket_folder(self.path))
        self.assert_ready()

    def test_a_file_or_a_link_in_its_place(self):
        with open(self.path, "w") as f:
            f.write("stray")
        self.assertIsNone(prepare_socket_folder(self.path))
        self.assert_ready()

        os.rmdir(self.path)
        elsewhere = os.path.join(self.scratch, "elsewhere")
        os.mkdir(elsewhere, 0o700)
        os.symlink(elsewhere, self.path)
        self.assertIsNone(prepare_socket_folder(self.path))
        self.assert_ready()
        self.assertEqual(mode_of(elsewhere), 0o700)  # the link's target is left alone

    def test_leaves_its_contents(self):
        os.mkdir(self.path, 0o755)
        socket_file = os.path.join(self.path, "X0")
        open(socket_file, "w").close()
        self.assertIsNone(prepare_socket_folder(self.path))
        self.assert_ready()
        self.assertTrue(os.path.exists(socket_file))



class ThrowawayUid(unittest.TestCase):
    def test_not_one_an_account_has(self):
        self.assertIsNone(unused_uid(0, 0))
        nobody = pwd.getpwnam("nobody").pw_uid
        self.assertIsNone(unused_uid(nobody, nobody))

    @unittest.skipUnless(os.geteuid() == 0, "running a process as another uid needs root")
    def test_not_one_a_process_runs_under_without_an_account(self):
        # As a run in another root would leave it: a process, but no account here.
        accounts = {entry.pw_uid for entry in pwd.getpwall()}
        groups = {entry.gr_gid for entry in grp.getgrall()}
        uid = next(u for u in range(59998, 20000, -1)
                   if not {u, u + 1} & (accounts | groups))
        sleeper = subprocess.Popen(["sleep", "30"], user=uid, group=uid, extra_groups=[])
        self.addCleanup(sleeper.wait)
        self.addCleanup(sleeper.kill)
        deadline = time.monotonic() + 5
        while os.stat(f"/proc/{sleeper.pid}").st_uid != uid and time.monotonic() < deadline:
            time.sleep(0.01)
        self.assertIsNone(unused_uid(uid, uid))
        for _ in range(10):
            self.assertEqual(unused_uid(uid, uid + 1), uid + 1)

if __name__ == "__main__":
    unittest.main()
