"""The bounds on connections and on the log, on their own with a fake clock,
and the deadline of a whole request on a real server in this process."""

import os
import socket
import tempfile
import threading
import time
import unittest

from rig import PORT, PortTest, import_app, request

import_app()
from app import guard, log  # noqa: E402
from app.web import StudioServer  # noqa: E402
from app.work import Work  # noqa: E402


class Clock:
    def __init__(self):
        self.now = 100.0

    def __call__(self):
        return self.now


def cut(peer):
    """True when the service's side of the pair was shut down."""
    peer.settimeout(1)
    try:
        return peer.recv(1) == b""
    except OSError:
        return False


class ConnectionsTest(unittest.TestCase):
    def setUp(self):
        self.clock = Clock()
        self.connections = guard.Connections(limit=3, seconds=10, clock=self.clock)

    def pair(self):
        ours, theirs = socket.socketpair()
        self.addCleanup(ours.close)
        self.addCleanup(theirs.close)
        return ours, theirs

    def test_a_newcomer_pushes_out_the_oldest_waiting_one(self):
        (a, a_peer), (b, b_peer), (c, c_peer), (d, d_peer) = [self.pair() for _ in range(4)]
        for sock in (a, b, c):
            self.assertTrue(self.connections.admit(sock))
        self.connections.working(a, True)
        self.assertTrue(self.connections.admit(d))
        self.assertTrue(cut(b_peer), "b was the oldest that only waited")
        self.assertEqual(len(self.connections), 3)
        c_peer.setblocking(False)
        with self.assertRaises(BlockingIOError):
            c_peer.recv(1)

        self.connections.working(c, True)
        self.connections.working(d, True)
        e, _ = self.pair()
        self.assertFalse(self.connections.admit(e), "every place is working")
        self.connections.release(a)
        self.assertTrue(self.connections.admit(e))


class BudgetTest(unittest.TestCase):
    def test_burst_then_a_trickle_and_a_summary_of_the_rest(self):
        clock = Clock()
        budget = log.Budget(burst=3, every=60, clock=clock)
        self.assertEqual([budget.take("401") for _ in range(5)], [True] * 3 + [False] * 2)
        budget.take("404")
        self.assertIsNone(budget.summary("request"), "not due yet")
        clock.now += 60
        self.assertTrue(budget.take("401"))
        self.assertFalse(budget.take("401"))
        clock.now += log.SUMMARY_SECONDS
        text = budget.summary("request")
        self.assertRegex(text, r"^4 more requests not logged since \d\d:\d\d:\d\d \(401: 3, 404: 1\)$")
        self.assertIsNone(budget.summary("request", force=True), "nothing held back since")
        budget = log.Budget(burst=0, every=60, clock=clock)
        budget.take("x")
        self.assertRegex(budget.summary("error", force=True), r"^1 more error not logged")


class DeadlineTest(PortTest):
    """A real server in this process, with a deadline short enough to wait for."""

    def setUp(self):
        root = tempfile.TemporaryDirectory()
        self.addCleanup(root.cleanup)
        os.chmod(root.name, 0o700)
        self.server = StudioServer(PORT, root.name, Work())
        self.server.connections = guard.Connections(seconds=1.0)
        thread = threading.Thread(target=self.server.serve_forever, args=(0.1,), daemon=True)
        thread.start()
        self.addCleanup(self.server.server_close)
        self.addCleanup(thread.join, 2)
        self.addCleanup(self.server.shutdown)

    def test_a_request_that_trickles_in_is_cut_at_its_deadline(self):
        with socket.create_connection(("127.0.0.1", PORT), timeout=1) as sock:
            started = time.monotonic()
            head = b"GET /api/ping HTTP/1.1\r\nHost: 127.0.0.1:7810\r\nX-Slow: " + b"a" * 100
            ended = False
            for byte in head:
                try:
                    sock.send(bytes([byte]))
                    sock.setblocking(False)
                    ended = sock.recv(1) == b""
                except BlockingIOError:
                    pass
                except OSError:
                    ended = True
                sock.setblocking(True)
                if ended or time.monotonic() - started > 5:
                    break
                time.sleep(0.05)
            self.assertTrue(ended, "the service ended the connection")
        self.assertEqual(request("GET", "/api/ping", timeout=3)[2]["name"], "tarvo-studio")


if __name__ == "__main__":
    unittest.main()
