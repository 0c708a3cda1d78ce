"""What one local user can do to the service on 127.0.0.1:7810: pages from
another host name, requests without the token, idle or oversized requests
and request loops. The service must keep answering its ping, keep its memory
and its log small, and hand nothing to a request it should refuse."""

import os
import resource
import select
import socket
import tempfile
import time

from rig import PORT, Backend, PortTest, request

# Far more connections than a desktop session's 1024 descriptors.
IDLE_CONNECTIONS = 1100


def raw_exchange(data, seconds=5):
    """Send `data` as it stands and return all that comes back until the
    service closes the connection (or `seconds` pass)."""
    with socket.create_connection(("127.0.0.1", PORT), timeout=seconds) as sock:
        sock.sendall(data)
        reply = b""
        try:
            while chunk := sock.recv(4096):
                reply += chunk
        except OSError:
            pass
        return reply


def waiting_to_be_accepted():
    """Connections in the kernel's queue for the service's listening socket
    (the receive queue of a listening socket in /proc/net/tcp)."""
    local = f"0100007F:{PORT:04X}"
    with open("/proc/net/tcp") as f:
        for row in f.readlines()[1:]:
            fields = row.split()
            if fields[1] == local and fields[3] == "0A":
                return int(fields[4].split(":")[1], 16)
    return 0


def open_idle(held, count, seconds, head=b"GET /api/ping HTTP/1.1\r\n"):
    """Open connections into `held` until it has `count`, each sending the
    start of a head and then nothing. A few at a time, each few once the
    service has taken the last ones in: a burst would only wait in the
    kernel's queue. Stops early when the service stops taking connections or
    `seconds` pass."""
    deadline = time.monotonic() + seconds
    while len(held) < count and time.monotonic() < deadline:
        try:
            for _ in range(min(4, count - len(held))):
                held.append(socket.create_connection(("127.0.0.1", PORT), timeout=2))
                held[-1].sendall(head)
        except OSError:
            return
        taken_by = time.monotonic() + 2
        while waiting_to_be_accepted() and time.monotonic() < taken_by:
            time.sleep(0.002)
        if waiting_to_be_accepted():
            return


def status_of(reply):
    words = reply.split(b"\r\n", 1)[0].split()
    return int(words[1]) if len(words) > 1 and words[1].isdigit() else None


def ping_with_host(host):
    head = "GET /api/ping HTTP/1.1\r\n" + ("" if host is None else f"Host: {host}\r\n")
    return raw_exchange((head + "Connection: close\r\n\r\n").encode())


class LimitsTest(PortTest):
    """One service, started with a desktop session's descriptor limit."""

    @classmethod
    def setUpClass(cls):
        super().setUpClass()
        root = tempfile.TemporaryDirectory()
        cls.addClassCleanup(root.cleanup)
        cls.backend = Backend(os.path.join(root.name, "home"), files=1024)
        cls.addClassCleanup(cls.backend.kill)
        cls.backend.start()
        cls.token = cls.backend.token()

    def test_only_its_own_host_names_are_answered(self):
        for host in ["127.0.0.1:7810", "localhost:7810", "LocalHost:7810"]:
            with self.subTest(host=host):
                self.assertEqual(status_of(ping_with_host(host)), 200)
        # What a page of another site sees after its name was rebound to
        # 127.0.0.1, and other near misses.
        foreign = [
            "evil.example:7810",
            "evil.example",
            "127.0.0.1",
            "localhost",
            "127.0.0.1:7811",
            "127.0.0.1:7810.evil.example",
            "sub.localhost:7810",
            "[::1]:7810",
            "",
            None,
        ]
        for host in foreign:
            with self.subTest(host=host):
                reply = ping_with_host(host)
                self.assertEqual(status_of(reply), 421, reply[:200])
                self.assertNotIn(b"tarvo-studio", reply)
        # Not even the right token gets a foreign page anywhere.
        before = request("GET", "/api/busy", token=self.token)[2]["chats"]
        status, _, data = request(
            "POST",
            "/api/call",
            {"action": "chat", "seconds": 60},
            token=self.token,
            headers={"Host": "evil.example:7810"},
        )
        self.assertEqual(status, 421)
        self.assertIsInstance(data["detail"], str)
        self.assertEqual(request("GET", "/api/busy", token=self.token)[2]["chats"], before)

    def test_the_token_is_checked_before_the_body_is_awaited(self):
        # The body is announced and never sent: a refusal must not wait for it.
        for token in ["wrong", None]:
            with self.subTest(token=token):
                head = (
                    "POST /api/call HTTP/1.1\r\nHost: 127.0.0.1:7810\r\n"
                    "Content-Type: application/json\r\nContent-Length: 1000000\r\n"
                    + ("" if token is None else f"X-Studio-Token: {token}\r\n")
                    + "\r\n"
                )
                reply = raw_exchange(head.encode(), seconds=3)
                self.assertEqual(status_of(reply), 401, reply[:200])

    def test_idle_connections_leave_the_ping_answering(self):
        soft, hard = resource.getrlimit(resource.RLIMIT_NOFILE)
        want = IDLE_CONNECTIONS + 100
        if soft < want:
            if hard != resource.RLIM_INFINITY and hard < want:
                self.skipTest(f"this process may open only {hard} descriptors")
            resource.setrlimit(resource.RLIMIT_NOFILE, (want, hard))
            self.addCleanup(resource.setrlimit, resource.RLIMIT_NOFILE, (soft, hard))

        held = []
        self.addCleanup(lambda: [s.close() for s in held])
        open_idle(held, IDLE_CONNECTIONS, seconds=20)

        status, _, ping = request("GET", "/api/ping", timeout=3)
        self.assertEqual((status, ping["name"]), (200, "tarvo-studio"))
        self.assertEqual(len(held), IDLE_CONNECTIONS, "every connection was taken")
        self.assertLess(self.backend.open_files(), 300, "it holds only a bounded number")
        # Idle clients cost it no work.
        cpu = self.backend.cpu_seconds()
        time.sleep(1)
        self.assertLess(self.backend.cpu_seconds() - cpu, 0.5)
        self.assertEqual(request("GET", "/api/ping", timeout=3)[0], 200)

    def test_oversized_headers_are_refused_and_their_memory_not_kept(self):
        clients = 30
        line = b"X-Padding: " + b"a" * 60_000 + b"\r\n"
        lines_each = 64  # about 3.8 MB of headers per client
        before = self.backend.status("VmRSS")

        socks = [socket.create_connection(("127.0.0.1", PORT), timeout=5) for _ in range(clients)]
        self.addCleanup(lambda: [s.close() for s in socks])
        for sock in socks:
            sock.setblocking(False)
            sock.sendall(b"GET /api/ping HTTP/1.1\r\nHost: 127.0.0.1:7810\r\n")
        sent = dict.fromkeys(socks, 0)
        replies = dict.fromkeys(socks, b"")
        sending = set(socks)
        deadline = time.monotonic() + 20
        while sending and time.monotonic() < deadline:
            readable, writable, _ = select.select(list(sending), list(sending), [], 0.5)
            for sock in readable:
                try:
                    replies[sock] += sock.recv(4096)
                except OSError:
                    pass
                sending.discard(sock)  # an answer (or the end) came: stop
            for sock in set(writable) & sending:
                try:
                    sock.send(line)
                except BlockingIOError:
                    continue
                except OSError:
                    sending.discard(sock)
                    continue
                sent[sock] += 1
                if sent[sock] == lines_each:
                    sending.discard(sock)
        time.sleep(0.5)
        held = self.backend.status("VmRSS") - before
        for sock in socks:
            sock.settimeout(2)
            try:
                while chunk := sock.recv(4096):
                    replies[sock] += chunk
            except OSError:
                pass
            sock.close()
        time.sleep(0.5)
        after = self.backend.status("VmRSS") - before
        print(f"\n  oversized headers: RSS +{held // 1024} MiB while held, +{after // 1024} MiB after")

        self.assertEqual([status_of(r) for r in replies.values()], [431] * clients)
        self.assertLess(held, 16 * 1024, "kB of memory grown while the clients held on")
        self.assertLess(after, 16 * 1024, "kB of memory kept once they were gone")
        self.assertEqual(request("GET", "/api/ping", timeout=3)[0], 200)


class LogTest(PortTest):
    """A service of its own, so its whole log is this test's."""

    def setUp(self):
        root = tempfile.TemporaryDirectory()
        self.addCleanup(root.cleanup)
        self.backend = Backend(os.path.join(root.name, "home"))
        self.addCleanup(self.backend.kill)
        self.backend.start()

    def test_log_stays_small_under_a_request_loop(self):
        token = self.backend.token()
        self.assertEqual(request("GET", "/api/hello")[0], 200)
        start = len(self.backend.stdout())
        loops = 500
        for _ in range(loops):
            request("GET", "/api/ping")
            request("GET", "/api/busy", token=token)
            request("GET", "/api/busy", token="wrong")
            request("GET", "/nothing")
        # Clients that vanish mid-request.
        for _ in range(5):
            with socket.create_connection(("127.0.0.1", PORT)) as sock:
                sock.sendall(b"GET /api/ping HTTP/1.1\r\n")
                time.sleep(0.05)  # the service is waiting for the rest
                sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b"\x01\x00\x00\x00\x00\x00\x00\x00")
        time.sleep(0.3)
        grown = len(self.backend.stdout()) - start
        print(f"\n  log: +{grown} bytes for {4 * loops} requests")
        self.assertEqual(self.backend.stop(), 0)

        self.assertLess(grown, 8 * 1024)
        log = self.backend.stdout()
        self.assertIn("page ready", log)
        self.assertFalse("GET /api/ping" in log, "a ping needs no line")
        self.assertFalse("GET /api/busy 200" in log, "nor does a routine poll")
        self.assertIn("GET /api/busy 401", log, "refusals are told")
        self.assertRegex(log, r"\d+ more requests? not logged", "the rest is summed up")
        self.assertNotIn(token, log)
        self.assertNotIn("Traceback", self.backend.stderr())
