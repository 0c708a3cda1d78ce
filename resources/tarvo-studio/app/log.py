"""Lines on standard output, which the desktop app writes into its log file.

The app rotates that file only when it starts the service, so what the
service writes while it runs must stay small whatever its clients do:
routine requests leave no line, and lines caused by requests (refusals,
actions, the page's arrival, errors) pass a budget; what the budget holds
back is summed up in one line now and then. Lines never carry a request's
query or headers, so the install token cannot end up in the log.
"""

import collections
import sys
import threading
import time
import traceback

_lock = threading.Lock()
_MAX_PATH = 200
# How often held-back lines are summed up, at most.
SUMMARY_SECONDS = 300.0


class Budget:
    """Lets `burst` lines through, then one more every `every` seconds, and
    counts by kind the lines it holds back."""

    def __init__(self, burst, every, clock=time.monotonic):
        self._burst = burst
        self._every = every
        self._clock = clock
        self._lock = threading.Lock()
        self._left = float(burst)
        self._at = clock()
        self._held = collections.Counter()
        self._since = None
        self._told = clock()

    def take(self, kind):
        """True when a line of this kind may be written now."""
        with self._lock:
            now = self._clock()
            self._left = min(self._burst, self._left + (now - self._at) / self._every)
            self._at = now
            if self._left >= 1:
                self._left -= 1
                return True
            if not self._held:
                self._since = time.time()
            self._held[kind] += 1
            return False

    def summary(self, noun, force=False):
        """The line that sums up what was held back, when one is due."""
        with self._lock:
            now = self._clock()
            if not self._held or (not force and now - self._told < SUMMARY_SECONDS):
                return None
            total = sum(self._held.values())
            kinds = ", ".join(f"{kind}: {count}" for kind, count in self._held.most_common(8))
            since = time.strftime("%H:%M:%S", time.localtime(self._since))
            self._held.clear()
            self._told = now
        plural = "" if total == 1 else "s"
        return f"{total} more {noun}{plural} not logged since {since} ({kinds})"


# Refusals, actions and the like: enough to see what went on, not a flood.
_requests = Budget(burst=100, every=60.0)
# The page arrives once per load; a script reloading it is held back too.
_pages = Budget(burst=50, every=60.0)
# Unexpected failures of a request handler, with their traceback.
_errors = Budget(burst=5, every=600.0)


def line(text):
    stamp = time.strftime("%Y-%m-%d %H:%M:%S")
    with _lock:
        try:
            sys.stdout.write(f"{stamp} {text}\n")
            sys.stdout.flush()
        except (OSError, ValueError):
            # A closed or full log must not take the service down.
            pass


def request(method, path, status):
    """A request worth a line: the caller leaves out routine ones."""
    if _requests.take(str(status)):
        line(f"{_clean(method, 16)} {_clean(path.split('?', 1)[0], _MAX_PATH)} {status}")


def page_ready():
    # Tests and the benchmark watch the log for this line.
    if _pages.take("page ready"):
        line("page ready")


def error(where):
    """The exception being handled, with its traceback, on standard error."""
    kind = type(sys.exc_info()[1]).__name__
    if _errors.take(kind):
        text = traceback.format_exc()
        with _lock:
            try:
                sys.stderr.write(f"{time.strftime('%Y-%m-%d %H:%M:%S')} {where}\n{text}")
                sys.stderr.flush()
            except (OSError, ValueError):
                pass


def summarise(force=False):
    """Sum up what was held back; `force` at the end, else when due."""
    for budget, noun in [(_requests, "request"), (_pages, "page load"), (_errors, "error")]:
        text = budget.summary(noun, force)
        if text:
            line(text)


def _clean(text, limit):
    # The request line comes from the client: keep the log one line per
    # request and readable, whatever it sent.
    text = "".join(c if c.isprintable() and c != " " else "?" for c in text)
    return text if len(text) <= limit else text[:limit] + "..."
