"""The stand-in backend's switches, all defined here.

The application hands its own environment on to the backend, so a test flips
a switch by setting TARVO_TESTAPP_<NAME> before it launches the application
(`peers.switch`). Unset, the stand-in behaves as the real backend does where
the tests look: it listens at once and ends when its parent has gone.

Adding one: a line in SWITCHES, and `value("NAME")` where it acts.
"""

import os

PREFIX = "TARVO_TESTAPP_"

# Name: its value when unset (the type of which is how it is read), and what it does.
SWITCHES = {
    # Seconds to wait before listening, as a backend slow to import would.
    "START_DELAY": 0.0,
    # Off: never watch the process named by TARVO_STUDIO_PARENT, so whatever
    # this backend outlives is the application's own doing.
    "WATCH_PARENT": True,
    # On: fork a worker that keeps the listening socket, which starts a
    # program in a session of its own (see server.start_family).
    "FAMILY": False,
    # The start page: "policy" (links to every kind of address, frames, the
    # bridge) or "requests" (downloads, exports, dialogs, notifications,
    # new windows: what a page asks of its window).
    "MAIN_PAGE": "policy",
    # Not 0: end at once with this exit status, before listening, as a
    # backend that cannot start does.
    "EXIT_AT_START": 0,
    # On: answer the ping but never the page (its request waits forever).
    "PAGE_NEVER": False,
}


def value(name):
    default = SWITCHES[name]
    text = os.environ.get(PREFIX + name, "")
    if not text:
        return default
    if isinstance(default, bool):
        return text not in ("0", "false", "no")
    try:
        return type(default)(text)
    except ValueError:
        print(f"{PREFIX}{name}={text!r} is not a {type(default).__name__}; ignored", flush=True)
        return default
