"""The window on a Wayland display: launch to a ready page, the menus, closing
and launching again, and the window's size kept from one session to the next.

Nothing from outside can type or click into a Wayland client, so the
application is driven through its accessibility actions only. Nor does a
Wayland compositor let a client place its window: the size must come back,
the position is left to the compositor (and kept for the next X11 session).
"""

from checks import stays, wait_for
from peers import backend_processes, page_ready_count, ping, save_frame, saved_frame
from studio import launched, run, Studio
from test_window import FIRST_SIZE, MENUS

SAVED_SIZE = (1000, 700)  # what an earlier session left, unlike the first size
SAVED_PLACE = (40, 60)


def quit_from_menu(t, studio):
    backend = studio.backend()
    t.require(studio.activate("Tarvo Studio", "Quit Tarvo Studio"),
              "Quit Tarvo Studio can be chosen")
    ended, dialogs = studio.wait_exit_watching(15)
    t.expect(ended, "the application ended")
    t.expect(not dialogs, "no sheet was shown (nothing was in flight)", dialogs)
    t.expect(wait_for(lambda: backend not in backend_processes() and not backend_processes(), 5,
                      0.1), "no backend process is left", backend_processes())
    t.expect(ping() is None, "nothing answers on the port any more")


def grown(studio, than):
    size = studio.content_size()
    return size is not None and size[0] > than[0] and size[1] > than[1]


def window_and_page(t):
    t.step("launch: the window shows the backend's page")
    studio = launched(t)
    backend = studio.backend()
    t.require(ping() == "tarvo-studio", "the backend answers the ping as Tarvo Studio")
    text = wait_for(lambda: "In flight" in studio.page_text() and studio.page_text(), 15, 0.5)
    t.expect(text and "Tarvo Studio" in text, "the page's text is readable in the window",
             (text or "")[:200])
    t.expect(wait_for(lambda: studio.content_size() == FIRST_SIZE, 5, 0.1),
             "the first window is 1100 by 740", studio.content_size())
    t.expect(studio.menus() == MENUS, "the menu bar has exactly the four menus and their items",
             studio.menus())

    t.step("Window > Close hides the window; the application and backend keep running")
    ready = page_ready_count()
    t.require(studio.activate("Window", "Close"), "Close can be chosen")
    t.expect(wait_for(lambda: studio.window() is None, 10, 0.2), "the window is no longer shown")
    t.expect(stays(lambda: studio.running() and studio.backend() == backend, 2),
             "the application and the same backend keep running")

    t.step("launching the application again brings the window back")
    second = Studio()
    t.expect(second.wait_exit(20) and second.process.returncode == 0,
             "the second launch hands over and ends with status 0", second.process.returncode)
    t.expect(wait_for(studio.window, 10, 0.2), "the first instance shows its window again")
    t.expect(studio.backend() == backend and page_ready_count() == ready,
             "same backend, and the page was not loaded again",
             (studio.backend(), backend, page_ready_count(), ready))

    t.step("Quit from the menu with nothing in flight quits at once")
    quit_from_menu(t, studio)
    frame = saved_frame()
    t.expect((frame.get("width"), frame.get("height")) == tuple(map(str, FIRST_SIZE)),
             "the window's size was kept for the next launch", frame)


def size_restored(t):
    t.step("an earlier session left the window at 1000 by 700")
    save_frame(width=SAVED_SIZE[0], height=SAVED_SIZE[1], x=SAVED_PLACE[0], y=SAVED_PLACE[1],
               maximized="false")
    studio = launched(t)
    t.expect(wait_for(lambda: studio.content_size() == SAVED_SIZE, 5, 0.1),
             "the window comes back at 1000 by 700", studio.content_size())

    t.step("Window > Zoom fills the screen; the size before it is what is kept")
    t.require(studio.activate("Window", "Zoom"), "Zoom can be chosen")
    t.expect(wait_for(lambda: grown(studio, SAVED_SIZE), 5, 0.1), "the window grew",
             studio.content_size())
    quit_from_menu(t, studio)
    frame = saved_frame()
    t.expect((frame.get("width"), frame.get("height"), frame.get("maximized")) ==
             (*map(str, SAVED_SIZE), "true"), "1000 by 700, zoomed, was kept", frame)

    t.step("the next launch comes back zoomed; Zoom again gives back 1000 by 700")
    studio = launched(t)
    t.expect(wait_for(lambda: grown(studio, SAVED_SIZE), 5, 0.1), "the window is zoomed",
             studio.content_size())
    t.require(studio.activate("Window", "Zoom"), "Zoom can be chosen")
    t.expect(wait_for(lambda: studio.content_size() == SAVED_SIZE, 5, 0.1),
             "the window is back at 1000 by 700", studio.content_size())
    quit_from_menu(t, studio)
    frame = saved_frame()
    t.expect((frame.get("width"), frame.get("height"), frame.get("maximized")) ==
             (*map(str, SAVED_SIZE), "false"), "1000 by 700, not zoomed, was kept", frame)
    t.expect((frame.get("x"), frame.get("y")) == tuple(map(str, SAVED_PLACE)),
             "the place an X11 session chose is kept, though Wayland cannot tell it", frame)


if __name__ == "__main__":
    run(window_and_page, size_restored)
