"""The data folder and the token file, in-process (no port needed)."""

import os
import stat
import tempfile
import unittest

from rig import import_app

import_app()
from app import home  # noqa: E402


def mode(path):
    return stat.S_IMODE(os.lstat(path).st_mode)


class DataFolderTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.TemporaryDirectory()
        self.addCleanup(self.root.cleanup)

    def test_created_private_with_parents_whatever_the_umask(self):
        path = os.path.join(self.root.name, "a", "b", "Tarvo Studio")
        old = os.umask(0)
        try:
            home.prepare_home(path)
        finally:
            os.umask(old)
        self.assertTrue(os.path.isdir(path))
        self.assertEqual(mode(path), 0o700)

    def test_a_file_in_the_way_is_an_error(self):
        path = os.path.join(self.root.name, "taken")
        open(path, "w").close()
        with self.assertRaises(home.HomeError):
            home.prepare_home(path)
        with self.assertRaises(home.HomeError):
            home.prepare_home(os.path.join(path, "below"))


class TokenTest(unittest.TestCase):
    def setUp(self):
        self.root = tempfile.TemporaryDirectory()
        self.addCleanup(self.root.cleanup)
        self.home = os.path.join(self.root.name, "home")
        home.prepare_home(self.home)
        self.path = os.path.join(self.home, "ui.token")

    def put(self, text, file_mode=0o600):
        with open(self.path, "w") as f:
            f.write(text)
        os.chmod(self.path, file_mode)

    def test_new_token_is_private_urlsafe_and_leaves_no_temp_file(self):
        old = os.umask(0)
        try:
            token = home.new_token(self.home)
        finally:
            os.umask(old)
        self.assertRegex(token, r"^[A-Za-z0-9_-]{43}$")
        with open(self.path) as f:
            self.assertEqual(f.read(), token)
        self.assertEqual(mode(self.path), 0o600)
        self.assertEqual(os.listdir(self.home), ["ui.token"])

    def test_every_token_is_new_even_over_a_sound_one(self):
        first = home.new_token(self.home)
        second = home.new_token(self.home)
        self.assertNotEqual(second, first)
        self.assertEqual(home.read_token(self.home), second)

    def test_only_a_sound_token_file_is_read(self):
        good = "A" * 43
        self.put(good + "\n")
        self.assertEqual(home.read_token(self.home), good, "trimmed, as the app trims it")
        cases = {
            "empty": ("", 0o600),
            "spaces only": (" \n ", 0o600),
            "not url-safe": ("abc+def/" * 6, 0o600),
            "too short": ("abc", 0o600),
            "readable by others": (good, 0o644),
            "not text": ("\xff" * 43, 0o600),
        }
        for name, (text, file_mode) in cases.items():
            with self.subTest(name):
                self.put(text, file_mode)
                self.assertIsNone(home.read_token(self.home))

    def test_link_is_replaced_and_its_target_left_alone(self):
        target = os.path.join(self.root.name, "elsewhere")
        with open(target, "w") as f:
            f.write("B" * 43)
        os.chmod(target, 0o600)
        os.symlink(target, self.path)
        token = home.new_token(self.home)
        self.assertNotEqual(token, "B" * 43)
        self.assertFalse(os.path.islink(self.path))
        with open(target) as f:
            self.assertEqual(f.read(), "B" * 43)

    def test_folder_in_place_of_the_file_is_an_error(self):
        os.mkdir(self.path)
        with self.assertRaises(home.HomeError):
            home.new_token(self.home)
        self.assertEqual(os.listdir(self.home), ["ui.token"], "no temp file left behind")


if __name__ == "__main__":
    unittest.main()
