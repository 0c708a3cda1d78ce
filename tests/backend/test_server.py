"""The real service on 127.0.0.1:7810, as the app and its page use it."""

import os
import re
import socket
import stat
import tempfile
import time

from rig import Backend, PortTest, import_app, request

import_app()
from app.home import write_token  # noqa: E402


class ServerTest(PortTest):
    """One service for the whole class; each test leaves it as it found it."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        root = tempfile.TemporaryDirectory()
        cls.addClassCleanup(root.cleanup)
        cls.home = os.path.join(root.name, "Library", "Application Support", "Tarvo Studio")
        cls.backend = Backend(cls.home)
        cls.addClassCleanup(cls.backend.kill)
        cls.backend.start()
        cls.token = cls.backend.token()

    def call(self, body, token=None):
        return request("POST", "/api/call", body, token=token or self.token)

    def busy(self):
        status, _, reply = request("GET", "/api/busy", token=self.token)
        self.assertEqual(status, 200)
        return reply

    def test_data_folder_and_token_file(self):
        self.assertEqual(stat.S_IMODE(os.stat(self.home).st_mode), 0o700)
        path = os.path.join(self.home, "ui.token")
        self.assertEqual(stat.S_IMODE(os.lstat(path).st_mode), 0o600)
        self.assertTrue(stat.S_ISREG(os.lstat(path).st_mode))
        self.assertRegex(self.token, r"^[A-Za-z0-9_-]{43}$")
        self.assertEqual(os.listdir(self.home), ["ui.token"], "no temp file is left")

    def test_ping_needs_no_token(self):
        status, reply, body = request("GET", "/api/ping")
        self.assertEqual(status, 200)
        self.assertEqual(body["name"], "tarvo-studio")
        self.assertEqual(body["pid"], self.backend.proc.pid)
        self.assertEqual(reply.getheader("Cache-Control"), "no-store")

    def test_guarded_endpoints_need_the_right_token(self):
        routes = [("GET", "/api/busy", None), ("POST", "/api/call", {}), ("POST", "/api/approve", {})]
        wrong = [None, "", "x", self.token[:-1], self.token + "x", self.token.swapcase(), "é" * 43]
        for method, path, body in routes:
            for token in wrong:
                with self.subTest(path=path, token=token):
                    status, reply, data = request(method, path, body, token=token)
                    self.assertEqual(status, 401)
                    self.assertIsInstance(data["detail"], str)
                    self.assertEqual(reply.getheader("Cache-Control"), "no-store")
        # A refusal reaches the client even when it sent a large body.
        padded = {"action": "chat", "seconds": 0.1, "pad": "x" * 900_000}
        self.assertEqual(request("POST", "/api/call", padded, token="wrong")[0], 401)
        self.assertEqual(request("GET", "/api/busy", token=self.token)[0], 200)
        self.assertEqual(self.call(padded)[0], 200)
        status, _, data = request("POST", "/api/approve", {"id": "nope", "approve": True}, token=self.token)
        self.assertEqual((status, data), (404, {"detail": "no such call"}))

    def test_rewritten_token_is_honoured_at_once(self):
        try:
            write_token(self.home, "N" * 43)
            self.assertEqual(request("GET", "/api/busy", token=self.token)[0], 401)
            self.assertEqual(request("GET", "/api/busy", token="N" * 43)[0], 200)
        finally:
            write_token(self.home, self.token)
        self.assertEqual(request("GET", "/api/busy", token=self.token)[0], 200)

    def test_run_is_busy_for_its_duration(self):
        status, _, reply = self.call({"action": "run", "tool": "indexer", "seconds": 0.4})
        self.assertEqual(status, 200)
        running = self.busy()["running"]
        self.assertIn(("indexer", reply["id"]), [(r["tool"], r["id"]) for r in running])
        time.sleep(0.5)
        self.assertNotIn(reply["id"], [r["id"] for r in self.busy()["running"]])

    def test_chat_counts_while_it_lasts(self):
        before = self.busy()["chats"]
        self.assertEqual(self.call({"action": "chat", "seconds": 0.4})[0], 200)
        self.assertEqual(self.busy()["chats"], before + 1)
        time.sleep(0.5)
        self.assertEqual(self.busy()["chats"], before)

    def test_asked_call_is_pending_until_answered(self):
        yes = self.call({"action": "ask", "tool": "deploy", "seconds": 0.3})[2]["id"]
        no = self.call({"action": "ask", "tool": "wipe"})[2]["id"]
        time.sleep(0.2)
        pending = {p["id"]: p["tool"] for p in self.busy()["pending"]}
        self.assertEqual(pending, {yes: "deploy", no: "wipe"})

        for call_id, verdict in [(yes, True), (no, False)]:
            status, _, reply = request("POST", "/api/approve", {"id": call_id, "approve": verdict}, token=self.token)
            self.assertEqual((status, reply["ok"]), (200, True))
        busy = self.busy()
        self.assertEqual(busy["pending"], [])
        self.assertEqual([r["id"] for r in busy["running"]], [yes], "an approved call runs")

    def test_bad_requests_get_json_details(self):
        cases = [
            ("POST", "/api/call", b"{not json", {}, 400),
            ("POST", "/api/call", b"\xff\xfe", {}, 400),
            ("POST", "/api/call", b"[1, 2]", {}, 400),
            ("POST", "/api/call", b"", {}, 400),
            ("POST", "/api/call", b'{"action": "fly"}', {}, 422),
            ("POST", "/api/approve", b"nope", {}, 400),
            ("GET", "/api/nothing", None, {}, 404),
            ("GET", "/../etc/passwd", None, {}, 404),
            ("GET", "/studio.js/x", None, {}, 404),
            ("POST", "/api/busy", b"{}", {}, 405),
            ("GET", "/api/call", None, {}, 405),
            ("POST", "/api/call", b"{}", {"Content-Length": "-1"}, 400),
        ]
        for method, path, body, headers, expected in cases:
            with self.subTest(method=method, path=path, body=body):
                status, reply, data = request(method, path, body, token=self.token, headers=headers)
                self.assertEqual(status, expected)
                self.assertEqual(reply.getheader("Content-Type"), "application/json")
                self.assertIsInstance(data["detail"], str)

    def test_oversized_body_is_refused_unread(self):
        with socket.create_connection(("127.0.0.1", 7810), timeout=5) as sock:
            sock.sendall(
                (
                    "POST /api/call HTTP/1.1\r\nHost: 127.0.0.1:7810\r\n"
                    f"X-Studio-Token: {self.token}\r\nContent-Type: application/json\r\n"
                    f"Content-Length: {2 * 1024 * 1024}\r\n\r\n"
                ).encode()
            )
            reply = b""
            while chunk := sock.recv(4096):
                reply += chunk
        head, _, body = reply.decode().partition("\r\n\r\n")
        self.assertTrue(head.startswith("HTTP/1.0 413"), head)
        self.assertIn('"detail"', body)

    def test_slow_client_does_not_block_others(self):
        with socket.create_connection(("127.0.0.1", 7810), timeout=5) as sock:
            sock.sendall(b"GET /api/ping HTTP/1.1\r\nHost: 127.0.0.1:7810\r\n")
            started = time.monotonic()
            self.assertEqual(request("GET", "/api/ping", timeout=2)[0], 200)
            self.assertLess(time.monotonic() - started, 1)

    def test_page_and_its_files(self):
        status, reply, page = request("GET", "/")
        self.assertEqual(status, 200)
        self.assertEqual(reply.getheader("Content-Type"), "text/html; charset=utf-8")
        page = page.decode()
        for message in ['"openLog"', '"openHome"', '"restartService"']:
            self.assertIn(message, page)
        for ident in ["open-log", "open-home", "restart-service", "show-alert", "start-run", "notes"]:
            self.assertIn(f'id="{ident}"', page)
        links = re.findall(r'(?:src|href)="([^"]*)"', page)
        self.assertEqual(sorted(links), ["/studio.css", "/studio.js"], "no outside resources")

        for path, kind, text in [
            ("/studio.js", "text/javascript", "X-Studio-Token"),
            ("/studio.css", "text/css", "body"),
        ]:
            with self.subTest(path=path):
                status, reply, data = request("GET", path)
                self.assertEqual(status, 200)
                self.assertEqual(reply.getheader("Content-Type"), kind + "; charset=utf-8")
                self.assertIn(text, data.decode())
                self.assertNotIn("http", data.decode().replace("http://127.0.0.1:7810", ""))

    def test_log_has_refusals_and_page_ready_but_never_the_token(self):
        self.assertEqual(request("GET", "/api/hello")[0], 200)
        request("GET", "/api/busy?t=" + self.token, token=self.token)
        request("GET", "/api/busy?t=" + self.token, token="wrong")
        log = self.backend.stdout()
        self.assertIn("page ready", log)
        self.assertNotIn("GET /api/busy 200", log, "a routine poll leaves no line")
        self.assertIn("GET /api/busy 401", log)
        self.assertNotIn(self.token, log)
        self.assertNotIn(self.token, self.backend.stderr())
