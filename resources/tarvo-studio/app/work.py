"""The work in flight that the service can show: runs, calls waiting for
approval and chats. All of it is simulated, so a person (and the tests) can
see what the desktop app does when it asks before quitting.

Runs and chats end by their deadline: they are dropped when the list is
next read, so no timer thread is needed and a fake clock can drive them.
"""

import threading
import time

# Enough for any person trying things by hand; a runaway script gets told no.
MAX_IN_FLIGHT = 200


class WorkFull(Exception):
    """Too much work is in flight to take more."""


class Work:
    def __init__(self, clock=time.monotonic):
        self._clock = clock
        self._lock = threading.Lock()
        self._next = 0
        self._running = {}  # id -> {"tool", "seconds", "until"}
        self._pending = {}  # id -> {"tool", "seconds", "since"}
        self._chats = {}  # id -> until

    def run(self, tool, seconds):
        with self._lock:
            self._drop_finished()
            work_id = self._new_id("run")
            self._start(work_id, tool, seconds)
            return work_id

    def ask(self, tool, seconds):
        """A call that waits for approval; once approved it runs for `seconds`."""
        with self._lock:
            self._drop_finished()
            work_id = self._new_id("ask")
            self._pending[work_id] = {"tool": tool, "seconds": seconds, "since": self._clock()}
            return work_id

    def chat(self, seconds):
        with self._lock:
            self._drop_finished()
            work_id = self._new_id("chat")
            self._chats[work_id] = self._clock() + seconds
            return work_id

    def answer(self, work_id, approve):
        """Approve (the call starts running) or deny (it is dropped) a waiting
        call. False when no call with that id waits."""
        with self._lock:
            call = self._pending.pop(work_id, None)
            if call is None:
                return False
            if approve:
                self._drop_finished()
                self._start(work_id, call["tool"], call["seconds"])
            return True

    def busy(self):
        with self._lock:
            self._drop_finished()
            now = self._clock()
            running = [
                {
                    "tool": r["tool"],
                    "id": work_id,
                    "seconds": r["seconds"],
                    "left": round(max(0.0, r["until"] - now), 1),
                }
                for work_id, r in self._running.items()
            ]
            pending = [
                {"tool": p["tool"], "id": work_id, "waiting": round(now - p["since"], 1)}
                for work_id, p in self._pending.items()
            ]
            return {"running": running, "pending": pending, "chats": len(self._chats)}

    def _new_id(self, kind):
        if len(self._running) + len(self._pending) + len(self._chats) >= MAX_IN_FLIGHT:
            raise WorkFull(f"{MAX_IN_FLIGHT} things are already in flight; wait for some to end")
        self._next += 1
        return f"{kind}-{self._next}"

    def _start(self, work_id, tool, seconds):
        self._running[work_id] = {"tool": tool, "seconds": seconds, "until": self._clock() + seconds}

    def _drop_finished(self):
        now = self._clock()
        for work_id in [k for k, r in self._running.items() if r["until"] <= now]:
            del self._running[work_id]
        for work_id in [k for k, until in self._chats.items() if until <= now]:
            del self._chats[work_id]
