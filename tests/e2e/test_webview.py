"""The web view's navigation policy, the script bridge and the page's alerts,
against a stand-in backend (testapp/) whose page links to every kind of
address. Links and buttons are operated through the accessibility bus, as
assistive technology would; no script of the test runs in the page."""

import os
import subprocess
import time

from checks import stays, wait_for
from peers import (DATA, HOME, LOG, TOKEN, as_path, environment_of, events, log_text,
                   namespaces, of_kind, ping, recorded, token, web_processes, writable_in_view)
from screen import click, dialog_buttons, dialog_labels, transient_for
from studio import BUNDLE, activate_in_page, run, Studio, wait_dialog

ALERT_TEXT = "The page says: hold on \u2014 \u201cquoted\u201d text."
# Inner frames of the backend's own address (one sandboxed into an origin of
# its own, one written by the page), which load and post openLog at once.
LOADED_FRAMES = ["same-origin", "sandboxed", "written"]
# Inner frames of other web addresses: the policy covers every frame, so
# these never load, and one of them goes to the browser; the srcdoc frame
# (about:srcdoc) is cancelled like any about address.
OTHER_FRAMES = ["http://127.0.0.2:7811/frame?name=other-origin",
                "http://localhost:7810/frame?name=localhost"]


def loads():
    return len(of_kind("loaded"))


def policy_and_bridge(t):
    studio = Studio()
    t.require(wait_for(lambda: ping() == "tarvo-studio", 30, 0.2), "the test backend is up")
    t.require(wait_for(lambda: of_kind("loaded", "/"), 30, 0.2), "the test page loaded")
    t.require(studio.find_main_window(), "the window is on the display")

    # Where no user namespace can be made (a chroot, a hardened kernel) the
    # sandbox cannot start, and the application runs the page without it
    # rather than not at all.
    sandboxed = subprocess.run(["unshare", "--user", "true"], stdout=subprocess.DEVNULL,
                               stderr=subprocess.DEVNULL, check=False).returncode == 0
    t.step("the web process runs in a sandbox: namespaces of its own" if sandboxed else
           "no user namespace can be made here: the web process runs, unsandboxed")
    web = wait_for(lambda: web_processes(studio.pid), 10, 0.2)
    t.require(web, "the application's web process is found")
    ours = namespaces(studio.pid)
    told = environment_of(studio.backend())
    t.require(told, "the backend's environment can be read")
    # What the backend runs or trusts, and the folders it would be made in.
    trusted = [told.get("PYTHONPYCACHEPREFIX", ""), told.get("TARVO_STUDIO_HOME", ""), TOKEN,
               LOG, told.get("PYTHONPATH", ""), BUNDLE, f"{HOME}/.local/lib/python3/site-packages",
               *told.get("PATH", "").split(":")]
    for pid in web:
        theirs = namespaces(pid)
        apart = all(theirs[kind] and theirs[kind] != ours[kind] for kind in ("user", "mnt"))
        t.expect(apart == sandboxed,
                 f"web process {pid} has a user and a mount namespace other than the "
                 "application's" if sandboxed else f"web process {pid} shares the "
                 "application's namespaces", (ours, theirs))
        exposed = [p for p in trusted if p.startswith("/") and writable_in_view(pid, p)]
        t.expect(not exposed or not sandboxed, f"in web process {pid}'s view, the bytecode "
                 "cache, the data folder, the log, the bundle and the backend's search paths "
                 "cannot be written", exposed)

    t.step("bodies the bridge must ignore, even from the main frame")
    t.expect(not of_kind("main-no-bridge"),
             "the page finds window.webkit.messageHandlers.studio")
    t.expect(wait_for(lambda: of_kind("main-posted", "ignored-bodies"), 5, 0.1),
             "the main frame posted a bare text, a numeric type, \u201cOpenLog\u201d, no type")
    t.expect(stays(lambda: not recorded(), 2.0), "nothing was opened for them", recorded())

    t.step("the main frame's openLog opens the log")
    activate_in_page(t, studio, "push button", "Open the log from the page")
    opened = wait_for(recorded, 10, 0.1)
    # The desktop hands a local file to its handler as a path or as a file://
    # URL, whichever it likes; both name the same file.
    t.expect(opened and [as_path(u) for u in opened] == [LOG],
             "the log file (and nothing else) was handed to its default application", opened)
    time.sleep(0.5)
    baseline = len(recorded())

    for title, url in (("Other port link", "http://127.0.0.1:8080/eighty-eighty"),
                       ("Localhost link", "http://localhost:7810/from-localhost"),
                       ("External https link", "https://example.invalid/outside?q=1")):
        t.step(f"{title}: opened in the browser, the view stays")
        before = loads()
        activate_in_page(t, studio, "link", title)
        got = wait_for(lambda: recorded()[baseline:], 10, 0.1)
        t.expect(got == [url], f"{url} reached the default browser", got)
        baseline = len(recorded())
        t.expect(stays(lambda: loads() == before and not of_kind("left"), 1.5),
                 "the view stayed on its page", [e for e in events() if e["kind"] == "left"])
    t.expect(not [e for e in of_kind("request") if e.get("host", "").startswith("localhost")
                  and "from-localhost" in e.get("path", "")],
             "the view did not load the localhost address itself")

    for title in ("Mail link", "File link", "About link", "Data link"):
        t.step(f"{title}: nothing is opened and the view stays")
        before = loads()
        activate_in_page(t, studio, "link", title)
        t.expect(stays(lambda: len(recorded()) == baseline and loads() == before
                       and not of_kind("left"), 2.0),
                 "nothing was opened and the view stayed", (recorded()[baseline:], loads()))
        baseline = len(recorded())

    t.step("an alert of the page is shown as a sheet, and the page waits for it")
    button = studio.find_in_page("push button", "Raise an alert")
    t.require(button and click(button), "the button \u201cRaise an alert\u201d is clicked")
    sheet = wait_dialog(studio, 10, ALERT_TEXT)
    t.require(sheet, "a dialog shows the page's text",
              [dialog_labels(d) for d in studio.dialogs()])
    t.expect("Tarvo Studio" in dialog_labels(sheet), "it is titled Tarvo Studio",
             dialog_labels(sheet))
    t.expect(dialog_buttons(sheet) == ["OK"], "it has one button, OK", dialog_buttons(sheet))
    windows = studio.dialog_windows()
    t.expect(len(windows) == 1 and transient_for(windows[0]) == studio.main_window,
             "it is a sheet: attached to the main window",
             [(w, transient_for(w)) for w in windows])
    t.expect(stays(lambda: not of_kind("request") or not [
        e for e in of_kind("request") if e["path"].startswith("/api/after-alert")], 1.5),
        "the page is suspended while the alert is shown")
    studio.keys_to_dialog("Return")
    t.expect(wait_for(lambda: not studio.dialogs(), 5, 0.1), "Return (OK) closed it")
    t.expect(wait_for(lambda: [e for e in of_kind("request")
                               if e["path"].startswith("/api/after-alert")], 5, 0.1),
             "the page continued once OK was pressed")

    t.step("a same-origin link stays in the view")
    activate_in_page(t, studio, "link", "Same origin link")
    t.expect(wait_for(lambda: of_kind("loaded", "/elsewhere?x=1"), 10, 0.1),
             "the same-origin page loaded in the view")

    t.step("inner frames: their messages do nothing; frames of other addresses are not loaded")
    t.expect(wait_for(lambda: {e["detail"] for e in of_kind("frame-posted")
                               + of_kind("frame-no-bridge")} >= set(LOADED_FRAMES), 10, 0.2),
             "the frames of the backend's own address loaded and reported",
             [e for e in events() if e.get("kind", "").startswith("frame")])
    posted = {e["detail"] for e in of_kind("frame-posted")}
    t.expect(posted >= set(LOADED_FRAMES),
             "each of them posted openLog to the bridge (same origin, sandboxed, written)",
             sorted(posted))
    # No click asked for them: one goes to the browser, the other, moments
    # later, is refused and logged, so frames cannot flood the browser.
    t.expect(wait_for(lambda: recorded()[baseline:], 10, 0.1),
             "a frame of another web address was handed to the browser instead")
    time.sleep(1.5)  # room for a wrongly accepted message to act
    opened = recorded()[baseline:]
    t.expect(len(opened) == 1 and opened[0] in OTHER_FRAMES,
             "nothing else was opened: the other frame, no log for the frames' openLog, "
             "nothing for srcdoc", opened)
    refused = [u for u in OTHER_FRAMES if u not in opened]
    t.expect(refused and f"not opened in the browser, as no click asked for it and another such "
             f"address was opened less than 5 s ago: {refused[0]}" in log_text(),
             "the other frame's address is in the log, not in the browser", refused)
    unloadable = [e for e in events()
                  if e.get("detail") in ("srcdoc", "other-origin", "localhost")]
    t.expect(not unloadable,
             "the srcdoc frame and the frames of other addresses did not load in the view",
             unloadable)
    baseline = len(recorded())

    t.step("Ctrl+R goes back to the start page")
    starts = len(of_kind("loaded", "/"))
    studio.keys_to_window("ctrl+r")
    t.expect(wait_for(lambda: len(of_kind("loaded", "/")) > starts, 10, 0.1),
             "Ctrl+R loaded the backend's start page again")

    t.step("a load that fails while the backend answers is retried from the start page")
    starts = len(of_kind("loaded", "/"))
    activate_in_page(t, studio, "link", "Broken link")
    t.expect(wait_for(lambda: [e for e in of_kind("request") if e.get("path") == "/broken"], 5,
                      0.05), "the view asked for a page whose load fails")
    failed = time.monotonic()
    t.expect(wait_for(lambda: len(of_kind("loaded", "/")) > starts, 10, 0.05),
             "the start page was loaded again")
    took = time.monotonic() - failed
    t.expect(1.0 <= took <= 5.0, "after a pause of about 1.5 s", round(took, 2))

    t.step("the log and the data folder from the menu")
    studio.keys_to_window("ctrl+l")
    got = wait_for(lambda: recorded()[baseline:], 10, 0.1)
    t.expect(got and [as_path(u) for u in got] == [LOG], "Ctrl+L opened the log", got)
    time.sleep(0.5)
    baseline = len(recorded())
    t.require(studio.choose("Studio", "Open Studio's Data Folder"),
              "Studio \u25b8 Open Studio's Data Folder is chosen with the pointer")
    got = wait_for(lambda: recorded()[baseline:], 10, 0.1)
    t.expect(got and [as_path(u).rstrip("/") for u in got] == [DATA],
             "the data folder was handed to the file manager", got)

    t.step("the page opens the data folder")
    time.sleep(0.5)
    baseline = len(recorded())
    activate_in_page(t, studio, "push button", "Open the data folder from the page")
    got = wait_for(lambda: recorded()[baseline:], 10, 0.1)
    t.expect(got and [as_path(u).rstrip("/") for u in got] == [DATA],
             "openHome from the main frame opened the data folder", got)

    t.step("the page restarts the service, which comes back with a new token")
    old = studio.backend()
    t.require(old, "one backend runs")
    old_token = token()
    os.remove(TOKEN)
    activate_in_page(t, studio, "push button", "Restart the service from the page")
    t.expect(wait_for(lambda: studio.backend() not in (None, old) and ping() == "tarvo-studio",
                      15, 0.1), "a new backend process answers", studio.backend())
    t.expect(wait_for(lambda: of_kind("loaded", "/"), 15, 0.1),
             "the start page was fetched from the new backend")
    t.expect(of_kind("loaded", "/") and of_kind("loaded", "/")[-1].get("fragment", "").endswith(
        token()) and token() != old_token, "it runs with the new token", of_kind("loaded", "/")[-1:])
    # Each document reports every fragment it sees, up to its end.
    t.expect(wait_for(lambda: [e for e in of_kind("seen") if e["detail"].endswith(old_token)],
                      5, 0.1), "the page that asked for the restart reported as it went")
    t.expect(all(e["detail"] == e["fragment"] for e in of_kind("seen")),
             "no document ever saw a token other than the one it was loaded with",
             of_kind("seen"))

    t.step("Ctrl+Q with nothing in flight quits")
    studio.keys_to_window("ctrl+q")
    ended, dialogs = studio.wait_exit_watching(15)
    t.expect(ended and not dialogs, "the application ended without a sheet", dialogs)


if __name__ == "__main__":
    run(policy_and_bridge)
