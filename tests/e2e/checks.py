"""Checks that report every failure and waits that always end."""

import time


class Abort(Exception):
    """A check that the rest of the session depends on failed."""


def say(text):
    print(text, flush=True)


def wait_for(probe, timeout, interval=0.1):
    """Calls probe until it returns something truthy or the time is up."""
    deadline = time.monotonic() + timeout
    while True:
        value = probe()
        if value:
            return value
        if time.monotonic() >= deadline:
            return value
        time.sleep(interval)


def stays(probe, seconds, interval=0.1):
    """True when probe keeps returning something truthy for the whole period."""
    deadline = time.monotonic() + seconds
    while time.monotonic() < deadline:
        if not probe():
            return False
        time.sleep(interval)
    return bool(probe())


class Checks:
    def __init__(self):
        self.failures = []

    def expect(self, condition, what, seen=None):
        if condition:
            say(f"  ok    {what}")
        else:
            detail = "" if seen is None else f" (saw: {seen!r})"
            say(f"  FAIL  {what}{detail}")
            self.failures.append(what + detail)
        return bool(condition)

    def require(self, condition, what, seen=None):
        if not self.expect(condition, what, seen):
            raise Abort(what)
        return condition

    def step(self, text):
        # The wall clock, to line steps up with the application's own messages.
        now = time.time()
        say(f"- {time.strftime('%H:%M:%S', time.gmtime(now))}.{int(now % 1 * 1000):03d} {text}")
