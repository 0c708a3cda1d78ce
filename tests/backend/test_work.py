"""Work in flight and the call/approve rules, on a fake clock."""

import math
import unittest

from rig import import_app

import_app()
from app import api, work  # noqa: E402


class Clock:
    def __init__(self):
        self.now = 100.0

    def __call__(self):
        return self.now


class WorkTest(unittest.TestCase):
    def setUp(self):
        self.clock = Clock()
        self.work = work.Work(clock=self.clock)

    def test_run_and_chat_end_at_their_deadline(self):
        run_id = self.work.run("indexer", 2)
        self.work.chat(1)
        busy = self.work.busy()
        self.assertEqual(busy["running"], [{"tool": "indexer", "id": run_id, "seconds": 2, "left": 2.0}])
        self.assertEqual(busy["chats"], 1)
        self.clock.now += 1
        self.assertEqual(self.work.busy()["chats"], 0)
        self.assertEqual(len(self.work.busy()["running"]), 1)
        self.clock.now += 1
        self.assertEqual(self.work.busy(), {"running": [], "pending": [], "chats": 0})

    def test_asked_call_waits_until_answered(self):
        yes = self.work.ask("deploy", 3)
        no = self.work.ask("wipe", 3)
        self.clock.now += 1000
        busy = self.work.busy()
        self.assertEqual([p["tool"] for p in busy["pending"]], ["deploy", "wipe"])
        self.assertEqual(busy["pending"][0]["waiting"], 1000.0)

        self.assertTrue(self.work.answer(yes, True))
        self.assertTrue(self.work.answer(no, False))
        self.assertFalse(self.work.answer(no, True), "a call is answered once")
        busy = self.work.busy()
        self.assertEqual(busy["pending"], [])
        self.assertEqual([(r["tool"], r["id"]) for r in busy["running"]], [("deploy", yes)])
        self.clock.now += 3
        self.assertEqual(self.work.busy()["running"], [])

    def test_ids_are_distinct_and_the_amount_is_bounded(self):
        ids = {self.work.run("t", 5) for _ in range(work.MAX_IN_FLIGHT)}
        self.assertEqual(len(ids), work.MAX_IN_FLIGHT)
        with self.assertRaises(work.WorkFull):
            self.work.chat(1)
        self.clock.now += 5
        self.work.chat(1)  # finished runs make room


class ApiTest(unittest.TestCase):
    def setUp(self):
        self.clock = Clock()
        self.work = work.Work(clock=self.clock)

    def test_bad_calls_say_why(self):
        cases = [
            ([], 400),
            ("run", 400),
            ({}, 422),
            ({"action": "fly"}, 422),
            ({"action": 3}, 422),
            ({"action": "run", "seconds": 1}, 422),
            ({"action": "run", "tool": "", "seconds": 1}, 422),
            ({"action": "run", "tool": 7, "seconds": 1}, 422),
            ({"action": "run", "tool": "x" * 81, "seconds": 1}, 422),
            ({"action": "run", "tool": "a\nb", "seconds": 1}, 422),
            ({"action": "run", "tool": "t"}, 422),
            ({"action": "run", "tool": "t", "seconds": True}, 422),
            ({"action": "run", "tool": "t", "seconds": "5"}, 422),
            ({"action": "run", "tool": "t", "seconds": 0}, 422),
            ({"action": "run", "tool": "t", "seconds": -1}, 422),
            ({"action": "run", "tool": "t", "seconds": math.nan}, 422),
            ({"action": "chat", "seconds": math.inf}, 422),
            ({"action": "chat", "seconds": 3601}, 422),
        ]
        for body, expected in cases:
            with self.subTest(body=body):
                status, reply = api.call(self.work, body)
                self.assertEqual(status, expected)
                self.assertIsInstance(reply.get("detail"), str)
        self.assertEqual(self.work.busy(), {"running": [], "pending": [], "chats": 0})

    def test_full_is_an_error_of_the_action(self):
        for _ in range(work.MAX_IN_FLIGHT):
            self.work.chat(10)
        status, reply = api.call(self.work, {"action": "run", "tool": "t", "seconds": 1})
        self.assertEqual(status, 429)
        self.assertIsInstance(reply.get("error"), str)

    def test_approve(self):
        call_id = api.call(self.work, {"action": "ask", "tool": "deploy", "seconds": 1})[1]["id"]
        for body in [{"id": call_id}, {"id": call_id, "approve": "yes"}, {"approve": True}, {"id": 5, "approve": True}]:
            with self.subTest(body=body):
                self.assertEqual(api.approve(self.work, body)[0], 422)
        self.assertEqual(api.approve(self.work, ["x"])[0], 400)
        self.assertEqual(api.approve(self.work, {"id": "ask-99", "approve": True}), (404, {"detail": "no such call"}))
        status, reply = api.approve(self.work, {"id": call_id, "approve": True})
        self.assertEqual((status, reply["ok"]), (200, True))
        self.assertEqual(api.approve(self.work, {"id": call_id, "approve": True})[0], 404)


if __name__ == "__main__":
    unittest.main()
