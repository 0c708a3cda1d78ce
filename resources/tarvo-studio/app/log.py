"""One line per event on standard output, which the desktop app writes into
its log file. Lines never carry a request's query or headers, so the install
token cannot end up in the log."""

import sys
import threading
import time

_lock = threading.Lock()
_MAX_PATH = 200


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
    line(f"{_clean(method, 16)} {_clean(path.split('?', 1)[0], _MAX_PATH)} {status}")


def _clean(text, limit):
    # The request line comes from the client: keep the log one line per
    # request and readable, whatever it sent.
    text = "".join(c if c.isprintable() and c != " " else "?" for c in text)
    return text if len(text) <= limit else text[:limit] + "..."
