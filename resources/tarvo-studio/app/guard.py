"""What one client may hold of the service: a place among a bounded number
of connections, a bounded head, and a bounded time for its whole request.

Anyone on the machine can connect to 127.0.0.1, so none of these may be left
to the client's good will: each idle connection costs a descriptor and a
thread, each byte of a head costs memory until the request ends.
"""

import io
import socket
import threading
import time

# Far more than the app and its page ever use at once, and far below the
# 1024 descriptors a desktop session usually gives a process.
MAX_CONNECTIONS = 64
# Request line and headers together; the page and the app send well under 2 KiB.
MAX_HEAD = 16 * 1024
# From the connection's acceptance to its end, answer included.
REQUEST_SECONDS = 10.0


class Connections:
    """The connections being served, oldest first, each with its deadline.

    A connection is "working" from the end of its head until its answer is
    sent; otherwise it only waits on its client. When every place is taken,
    a newcomer pushes out the oldest waiting connection, so clients that
    hold connections open without finishing a request cannot keep the app's
    ping out. Pushing out, like the end of a deadline, shuts the socket down,
    which wakes the thread blocked on it; that thread closes it.
    """

    def __init__(self, limit=MAX_CONNECTIONS, seconds=REQUEST_SECONDS, clock=time.monotonic):
        self.limit = limit
        self.seconds = seconds
        self._clock = clock
        self._lock = threading.Lock()
        self._open = {}  # socket -> [deadline, working]

    def admit(self, sock):
        """Count `sock` in. False when every place is working; the caller
        then closes `sock` unanswered."""
        with self._lock:
            if len(self._open) >= self.limit:
                oldest = next((s for s, (_, working) in self._open.items() if not working), None)
                if oldest is None:
                    return False
                self._cut(oldest)
            self._open[sock] = [self._clock() + self.seconds, False]
            return True

    def working(self, sock, working):
        with self._lock:
            entry = self._open.get(sock)
            if entry is not None:
                entry[1] = working

    def release(self, sock):
        """Before `sock` is closed: it can no longer be cut."""
        with self._lock:
            self._open.pop(sock, None)

    def cut_overdue(self):
        now = self._clock()
        with self._lock:
            for sock in [s for s, (deadline, _) in self._open.items() if deadline <= now]:
                self._cut(sock)

    def cut_oldest_waiting(self):
        with self._lock:
            oldest = next((s for s, (_, working) in self._open.items() if not working), None)
            if oldest is not None:
                self._cut(oldest)

    def __len__(self):
        with self._lock:
            return len(self._open)

    def _cut(self, sock):
        del self._open[sock]
        try:
            sock.shutdown(socket.SHUT_RDWR)
        except OSError:
            pass


class HeadReader(io.RawIOBase):
    """A socket's input that ends, as if the client had stopped, once `limit`
    bytes were read; `over` tells that end from the client's own. Lifting
    the limit (for the body, whose length is checked on its own) is `limit =
    None`."""

    def __init__(self, sock, limit=MAX_HEAD):
        super().__init__()
        self._sock = sock
        self.limit = limit
        self.over = False

    def readable(self):
        return True

    def readinto(self, buffer):
        view = memoryview(buffer)
        if self.limit is not None:
            if self.limit <= 0:
                self.over = True
                return 0
            view = view[: self.limit]
        count = self._sock.recv_into(view)
        if self.limit is not None:
            self.limit -= count
        return count
