"""Another user of the machine takes 127.0.0.1:7810 whenever our backend does
not hold it, and answers the ping with our name (squatter.py, run by the
harness as a second throwaway user). At launch, on a restart and after a
crash of the backend, the install token must never reach it: not in the
window address (its page would read the fragment), not in the header of the
page's polls."""

import os
import signal

from checks import stays, wait_for
from peers import backend_processes, page_ready_count, token
from screen import dialog_labels, press_button
from studio import Studio, run, wait_dialog

ORDERS = os.environ.get("TARVO_E2E_ORDERS", "")
LAIR = os.environ.get("TARVO_E2E_LAIR", "")
COULD_NOT_START = "Tarvo Studio could not start"
HELD_BY_ANOTHER = ("Port 7810 is held by another program, which is not Tarvo Studio's service. "
                   "Tarvo Studio will not hand it this install's token. Quit that program or "
                   "free the port, then try again.")
ALREADY_SERVING = "Something is already serving on 127.0.0.1:7810 and this app did not start it."


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


def leaks(tokens):
    """What of the token the squatter received: a token header, a window
    address's fragment sent back by its page, or any token seen so far."""
    text = received()
    found = [t for t in tokens if t and t in text]
    if "x-studio-token" in text.lower():
        found.append("an X-Studio-Token header")
    if "%23t%3D" in text:
        found.append("a window address's fragment")
    return found


def up(t, studio, ready, what):
    t.require(wait_for(lambda: page_ready_count() > ready and studio.backend(), 40, 0.2),
              what)
    t.require(studio.find_main_window(), "the window is on the display")


def squatted(t):
    t.require(ORDERS and LAIR, "the harness started the squatter (--squatter)")
    tokens = set()

    t.step("at launch: the squatter holds the port, silent to the port check")
    order("take silent")
    t.require(wait_for(holding, 10, 0.05), "the squatter holds the port")
    ready = page_ready_count()
    studio = Studio()
    alert = wait_dialog(studio, 40, COULD_NOT_START)
    t.require(alert, f"the alert \u201c{COULD_NOT_START}\u201d is shown")
    t.expect(HELD_BY_ANOTHER in dialog_labels(alert),
             "it names the port as held by another program", dialog_labels(alert))
    t.expect(wait_for(lambda: not studio.backends(), 5, 0.1),
             "no backend of ours is left running", studio.backends())
    tokens.add(token())
    t.expect(not leaks(tokens), "the squatter received no token", leaks(tokens))

    t.step("the squatter lets go; Try Again brings our backend up")
    order("off")
    t.require(wait_for(lambda: not holding(), 10, 0.05), "the port is free")
    t.require(press_button(alert, "Try Again"), "Try Again can be pressed")
    up(t, studio, ready, "our backend is up and its page loaded")
    tokens.add(token())

    for road in ("restart", "crash"):
        t.step(f"{road}: the squatter takes the port the moment our backend lets go")
        order("take name")
        backend = studio.backend()
        if road == "restart":
            studio.keys_to_window("ctrl+shift+r")
        else:
            os.kill(backend, signal.SIGKILL)
        t.require(wait_for(holding, 15, 0.02), "the squatter got the port")
        # The page on screen polls every 1.5 s; the restart comes after its delay.
        alert = wait_dialog(studio, 40, COULD_NOT_START)
        t.require(alert, f"the restart ends in \u201c{COULD_NOT_START}\u201d")
        t.expect(any(ALREADY_SERVING in label or HELD_BY_ANOTHER in label
                     for label in dialog_labels(alert)),
                 "it says that something else holds the port", dialog_labels(alert))
        t.expect(stays(lambda: not leaks(tokens), 3.5, 0.25),
                 "the squatter received no token", leaks(tokens))
        t.expect(not studio.backends(), "no backend of ours runs beside it", studio.backends())

        order("off")
        t.require(wait_for(lambda: not holding(), 10, 0.05), "the port is free again")
        ready = page_ready_count()
        t.require(press_button(alert, "Try Again"), "Try Again can be pressed")
        up(t, studio, ready, "our backend is up again and its page loaded")
        tokens.add(token())

    t.expect(not leaks(tokens), "in the end, the squatter received no token", leaks(tokens))
    t.step("Ctrl+Q quits")
    studio.keys_to_window("ctrl+q")
    t.expect(studio.wait_exit(15), "the application ended")
    t.expect(wait_for(lambda: not backend_processes(), 5, 0.1), "no backend is left",
             backend_processes())


if __name__ == "__main__":
    run(squatted)
