"""What a page asks of its window, against the stand-in backend's requests
page: downloads that never take an existing file's place, answers that are
not a page, exports, confirm() and prompt(), new windows, the context menu,
notifications, and developer mode. Links and buttons are operated through
the accessibility bus or the pointer; the results are read from the
download folder, the page's reports, the log and the desktop's stand-ins."""

import glob
import os
import socket
import subprocess

from checks import stays, wait_for
from peers import (DOWNLOADS, activate_notification, log_text, notified, of_kind, recorded,
                   start_notifier, switch, token)
from screen import click, dialog_buttons, dialog_labels, do_action
from studio import TITLE, activate_in_page, launched, run, wait_dialog

INSPECTOR = ("127.0.0.1", 7899)
SAVED = "Saved \u201c{}\u201d in Downloads."

switch(MAIN_PAGE="requests")
# Set, these would make WebKit list the window's address, token included, on a port.
os.environ["WEBKIT_INSPECTOR_HTTP_SERVER"] = "%s:%d" % INSPECTOR
os.environ["WEBKIT_INSPECTOR_SERVER"] = "127.0.0.1:7898"


def saved(name):
    try:
        with open(os.path.join(DOWNLOADS, name), encoding="utf-8") as f:
            return f.read()
    except OSError:
        return None


def temporaries():
    return glob.glob(os.path.join(DOWNLOADS, ".tarvo-studio-download-*"))


def listening(address):
    with socket.socket() as probe:
        probe.settimeout(1)
        return probe.connect_ex(address) == 0


def loads(path="/"):
    return len(of_kind("loaded", path))


def reported(kind):
    return [e["detail"] for e in of_kind(kind)]


def downloads(t):
    os.makedirs(DOWNLOADS, exist_ok=True)
    with open(os.path.join(DOWNLOADS, "report.csv"), "w", encoding="utf-8") as f:
        f.write("mine")
    ended = subprocess.Popen(["true"])
    ended.wait()
    for leftover in (f".tarvo-studio-download-{ended.pid}-abc123", "unrelated.part"):
        open(os.path.join(DOWNLOADS, leftover), "w").close()
    studio = launched(t)
    t.expect(wait_for(lambda: not temporaries(), 5, 0.1) and saved("unrelated.part") == "",
             "a crashed run's temporary is cleared at the start, and nothing else")
    t.expect(not listening(INSPECTOR), "no inspector port lists the window's address")

    t.step("a download never takes the place of the user's file")
    activate_in_page(t, studio, "link", "Report link")
    t.expect(wait_for(lambda: saved("report (1).csv"), 10, 0.1) == "run,result\n1,ok\n",
             "the served file is saved as report (1).csv")
    t.expect(saved("report.csv") == "mine", "report.csv is still the user's own")
    t.expect(wait_for(lambda: studio.status_line() == SAVED.format("report (1).csv"), 5, 0.1),
             "the window says so", studio.status_line())
    studio.picture("download-saved.png")
    t.expect(do_action(studio.window_button("Open the Folder")), "its button is pressed")
    t.expect(wait_for(lambda: any(u.rstrip("/").endswith("/Downloads") for u in recorded()),
                      10, 0.1), "its button opened the download folder", recorded())

    t.step("a download still running at quit leaves nothing")
    activate_in_page(t, studio, "link", "Long slow download link")
    t.require(wait_for(temporaries, 10, 0.1), "it is being written")
    studio.keys_to_window("ctrl+q")
    t.require(studio.wait_exit(15), "Ctrl+Q quit")
    t.expect(not temporaries() and saved("slow.bin") is None, "nothing is left behind",
             os.listdir(DOWNLOADS))


def responses_and_exports(t):
    studio = launched(t)
    t.step("answers that are not a page are saved; the studio page stays")
    before = loads()
    for link, name in (("Inline CSV link", "inline.csv"), ("ZIP link", "bundle.zip")):
        activate_in_page(t, studio, "link", link)
        t.expect(wait_for(lambda: saved(name) is not None, 10, 0.1), f"{name} is saved")
    t.expect(stays(lambda: loads() == before and studio.find_in_page("link", "Report link"), 1),
             "the page stayed on screen")
    activate_in_page(t, studio, "link", "Error link")
    t.expect(wait_for(lambda: loads() > before, 10, 0.1),
             "an error answer is not saved: it is a failed load, and the page comes back")
    t.expect(saved("error.json") is None, "nothing was saved of it")

    t.step("exports of the page, and a blob: document that is refused")
    activate_in_page(t, studio, "push button", "Export JSON")
    activate_in_page(t, studio, "link", "Data export link")
    t.expect(wait_for(lambda: saved("export.json") == '{"runs": 3}' and saved("note.txt"), 10,
                      0.1) == "a note", "the blob: and data: exports are saved under their names")
    activate_in_page(t, studio, "push button", "Open a blob page")
    t.expect(stays(lambda: studio.find_in_page("link", "Report link"), 2), "the page stays")

    t.step("a download that breaks off leaves nothing and says why")
    activate_in_page(t, studio, "link", "Broken download link")
    said = wait_for(lambda: studio.status_line().startswith("Could not save \u201cbroken.bin\u201d: ")
                    and studio.status_line(), 10, 0.1)
    t.expect(said, "the window says it could not be saved", studio.status_line())
    t.expect(saved("broken.bin") is None and not temporaries(), "nothing is left behind",
             os.listdir(DOWNLOADS))

    t.step("downloads nobody clicked for: three a minute")
    activate_in_page(t, studio, "link", "Page that downloads by itself")
    t.expect(wait_for(lambda: loads("/auto-downloads"), 10, 0.1), "the page came")
    t.expect(wait_for(lambda: len(glob.glob(os.path.join(DOWNLOADS, "auto-*"))) == 3, 10, 0.1)
             and stays(lambda: len(glob.glob(os.path.join(DOWNLOADS, "auto-*"))) == 3, 1),
             "three are saved", os.listdir(DOWNLOADS))
    t.expect(log_text().count("started more than 3 within a minute without a click") == 2,
             "two are refused, and the log says so")


def dialogs(t):
    studio = launched(t)
    for answer, keys in (("true", "Return"), ("false", "Escape")):
        t.step(f"confirm(), answered with {keys}")
        before = len(reported("confirm"))
        click(studio.find_in_page("push button", "Confirm"))
        dialog = wait_dialog(studio, 10, "Deploy this?")
        t.require(dialog, "a dialog asks the page's question")
        t.expect(TITLE in dialog_labels(dialog) and dialog_buttons(dialog) == ["Cancel", "OK"],
                 "titled Tarvo Studio, with Cancel and OK", (dialog_labels(dialog),
                                                            dialog_buttons(dialog)))
        studio.keys_to_dialog(keys)
        t.expect(wait_for(lambda: reported("confirm")[before:] == [answer], 5, 0.1),
                 f"the page reads {answer}", reported("confirm"))
    for answer, keys in (("weekly", ("w", "e", "e", "k", "l", "y", "Return")), ("null", ("Escape",))):
        t.step(f"prompt(), answered with {keys[-1]}")
        before = len(reported("prompt"))
        click(studio.find_in_page("push button", "Prompt"))
        t.require(wait_dialog(studio, 10, "Name of the run?"), "a dialog asks for a text")
        studio.keys_to_dialog(*keys)  # the field's text "nightly" is selected: typing replaces it
        t.expect(wait_for(lambda: reported("prompt")[before:] == [answer], 5, 0.1),
                 f"the page reads {answer}", reported("prompt"))
    t.step("a question still open when the page is reloaded is closed")
    before = loads()
    click(studio.find_in_page("push button", "Confirm"))
    t.require(wait_dialog(studio, 10, "Deploy this?"), "the question is asked")
    studio.keys_to_window("ctrl+r")
    t.expect(wait_for(lambda: not studio.dialogs() and loads() > before, 10, 0.1),
             "Ctrl+R closed it and loaded the page again")


def windows_and_menu(t):
    studio = launched(t)
    t.step("window.open() and target=_blank follow the navigation policy")
    baseline = len(recorded())
    for kind, title in (("push button", "Open a window elsewhere"), ("link", "Blank target link")):
        activate_in_page(t, studio, kind, title)
    t.expect(wait_for(lambda: recorded()[baseline:] == ["https://example.invalid/popup",
                                                        "https://example.invalid/blank"], 10, 0.1),
             "both reached the browser", recorded()[baseline:])
    for kind, title, path in (("push button", "Open a window of the backend", "open"),
                              ("link", "Backend blank target link", "blank")):
        activate_in_page(t, studio, kind, title)
        t.expect(wait_for(lambda: of_kind("loaded", f"/elsewhere?from={path}"), 10, 0.1),
                 f"{title}: the backend's page loads in the one window")
        studio.keys_to_window("ctrl+r")
        t.require(wait_for(lambda: studio.find_in_page("link", "Report link"), 10, 0.2),
                  "back on the start page")
    t.expect(reported("opened") == ["null", "null"], "window.open() returns null",
             reported("opened"))

    t.step("the context menu keeps the one-window rule")
    for link, browser in (("External link", True), ("Backend link", False)):
        click(studio.find_in_page("link", link), button=3)
        items = wait_for(studio.popup_items, 5, 0.2)
        t.expect("Copy Link Location" in items and ("Open Link in Browser" in items) == browser
                 and not {"Open Link", "Open Link in New Window", "Download Linked File",
                          "Inspect Element", "Reload"} & set(items),
                 f"{link}: only what keeps the rule", sorted(items))
        if browser:
            baseline = len(recorded())
            t.expect(do_action(items.get("Open Link in Browser")), "Open Link in Browser is chosen")
            t.expect(wait_for(lambda: recorded()[baseline:] == ["https://example.invalid/menu"],
                              10, 0.1), "the link reached the browser", recorded()[baseline:])
        studio.keys_to_window("Escape")


def notifications(t):
    notifier = start_notifier()
    try:
        notified_by(t, launched(t))
    finally:
        notifier.terminate()


def notified_by(t, studio):
    t.step("notifications: granted to the backend without asking, shown on the desktop")
    t.expect(set(reported("notification-permission")) == {"granted"},
             "the page finds permission granted", reported("notification-permission"))
    activate_in_page(t, studio, "push button", "Notify")
    sent = wait_for(notified, 10, 0.1)
    t.expect(sent and {k: sent[0][k] for k in ("app", "icon", "summary", "body")} == {
        "app": TITLE, "icon": "studio.tarvo.TarvoStudio", "summary": "Approval needed",
        "body": "A call waits"}, "under the application's name and icon", sent)
    studio.keys_to_window("ctrl+w")
    t.require(wait_for(lambda: not studio.window(), 5, 0.1), "Ctrl+W closed the window")
    activate_notification(sent[0]["id"])
    t.expect(wait_for(studio.window, 10, 0.1) and wait_for(lambda: reported("notification-click"),
                                                           5, 0.1),
             "activating it brings the window back, and the page hears the click")

    t.step("a download that ends while the window is closed is told on the desktop")
    activate_in_page(t, studio, "link", "Short slow download link")
    studio.keys_to_window("ctrl+w")
    said = SAVED.format("slow.bin")
    t.expect(wait_for(lambda: said in [n["summary"] for n in notified()], 15, 0.2),
             "the desktop says it was saved", notified())
    activate_notification(notified()[-1]["id"])
    t.expect(wait_for(studio.window, 10, 0.1), "activating it brings the window back")


def developer_mode(t):
    os.environ["TARVO_STUDIO_DEVELOPER"] = "1"
    studio = launched(t)
    t.expect(not listening(INSPECTOR), "no inspector port, in developer mode either")
    t.expect(wait_for(lambda: "page console log: console check http://127.0.0.1:7810/#t=" in
                      log_text(), 10, 0.2), "the page's console is in the log")
    t.expect("page console warn: token [token]" in log_text() and token()
             and token() not in log_text(), "with the token masked")
    click(studio.find_in_page("link", "Backend link"), button=3)
    t.expect("Inspect Element" in wait_for(studio.popup_items, 5, 0.2), "the menu can inspect")
    studio.keys_to_window("Escape")
    page_height = studio.document_height()
    studio.keys_to_window("ctrl+shift+i")
    t.expect(wait_for(lambda: studio.document_height() < page_height * 0.8, 15, 0.2),
             "Ctrl+Shift+I opens the inspector inside the window: the page makes room for it",
             (page_height, studio.document_height()))
    studio.picture("inspector.png")
    t.expect(len(studio.dialog_windows()) == 0, "and no window of its own")
    studio.keys_to_window("ctrl+q")
    t.expect(studio.wait_exit(15), "Ctrl+Q quit")


if __name__ == "__main__":
    run(downloads, responses_and_exports, dialogs, windows_and_menu, notifications, developer_mode)
