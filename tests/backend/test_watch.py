"""Reading TARVO_STUDIO_PARENT; the watch itself is tried on the real service."""

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


if __name__ == "__main__":
    unittest.main()
