"""Another user of the machine wants 127.0.0.1:7810 and answers the ping with
our name (squatter.py, run by the harness as a second throwaway user). At
launch it holds the port before us: the could-not-start alert names it, and
the install token never reaches it, not in the window address (its page
would read the fragment), not in the header of the page's polls. Once the
application holds the port, the squatter never gets it, not even between a
backend's end and the next one's start, on a restart or after a crash."""

import os
import signal

from checks import stays, wait_for
from peers import page_ready_count, token
from screen import dialog_labels, press_button
from studio import Studio, run, wait_dialog, wait_up

ORDERS = os.environ.get("TARVO_E2E_ORDERS", "")
LAIR = os.environ.get("TARVO_E2E_LAIR", "")
COULD_NOT_START = "Tarvo Studio could not start"
# Fragments that tell the alert's cause; its full texts are the C++ tests' to check.
HELD_BY_ANOTHER = "held by another program"


def order(text):
    with open(os.path.join(ORDERS, "order.tmp"), "w", encoding="utf-8") as f:
        f.write(text)
    os.replace(os.path.join(ORDERS, "order.tmp"), os.path.join(ORDERS, "order"))


def holding():
    return os.path.exists(os.path.join(LAIR, "holding"))


def received():
    try:
        with open(os.path.join(LAIR, "received"), "rb") as f:
            return f.read().decode(errors="replace")
    except OSError:
        return ""


def leaks():
    """What of the token the squatter received: a token header, a window
    address's fragment sent back by its page, or the token itself (which our
    backend keeps across restarts)."""
    text = received()
    found = [token()] if token() and token() in text else []
    if "x-studio-token" in text.lower():
        found.append("an X-Studio-Token header")
    if "%23t%3D" in text:
        found.append("a window address's fragment")
    return found


def squatted(t):
    t.require(ORDERS and LAIR, "the harness started the squatter (--squatter)")

    t.step("at launch: the squatter holds the port, silent to the port check")
    order("take silent")
    t.require(wait_for(holding, 10, 0.05), "the squatter holds the port")
    ready = page_ready_count()
    studio = Studio()
    alert = wait_dialog(studio, 40, COULD_NOT_START)
    t.require(alert, f"the alert \u201c{COULD_NOT_START}\u201d is shown")
    t.expect(any(HELD_BY_ANOTHER in label for label in dialog_labels(alert)),
             "it names the port as held by another program", dialog_labels(alert))
    t.expect(wait_for(lambda: not studio.backends(), 5, 0.1),
             "no backend of ours is left running", studio.backends())
    t.expect(not leaks(), "the squatter received no token", leaks())

    t.step("the squatter lets go; Try Again brings our backend up")
    order("off")
    t.require(wait_for(lambda: not holding(), 10, 0.05), "the port is free")
    t.require(press_button(alert, "Try Again"), "Try Again can be pressed")
    wait_up(t, studio, ready, "our backend is up and its page loaded")

    for road in ("restart", "crash"):
        t.step(f"{road}: the squatter tries for the port the moment our backend lets go")
        order("take name")
        ready = page_ready_count()
        backend = studio.backend()
        if road == "restart":
            studio.keys_to_window("ctrl+shift+r")
        else:
            os.kill(backend, signal.SIGKILL)
        wait_up(t, studio, ready, "our backend is up again and its page loaded")
        t.expect(studio.backend() != backend, "it is a new backend", studio.backend())
        t.expect(not holding(), "the squatter never got the port")
        t.expect(stays(lambda: not leaks(), 3.5, 0.25), "the squatter received no token", leaks())
        order("off")

if __name__ == "__main__":
    run(squatted)
