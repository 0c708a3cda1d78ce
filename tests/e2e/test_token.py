"""A backend that comes back with a new install token (its token file was
removed, say by the user clearing the data folder): the window must fetch the
start page afresh with the new token. The new address differs from the old one
only in its fragment, which a plain load treats as a move to another anchor of
the page already shown, so nothing would be fetched and the page would keep
talking to its backend with a token that no longer holds."""

import os

from checks import stays, wait_for
from peers import TOKEN, backend_processes, page_ready_count, ping, token
from studio import launched, run

RUNNING = "The service is running."


def token_replaced(t):
    studio = launched(t)
    t.require(wait_for(lambda: RUNNING in studio.page_text(), 10, 0.3),
              f"the page says \u201c{RUNNING}\u201d")
    backend = studio.backend()
    old_token = token()
    t.require(old_token, "the backend wrote its token")

    t.step("the token file is removed and the service restarted (Ctrl+Shift+R)")
    os.remove(TOKEN)
    ready = page_ready_count()
    studio.keys_to_window("ctrl+shift+r")
    t.require(wait_for(lambda: studio.backend() not in (None, backend)
                       and ping() == "tarvo-studio", 20, 0.1), "a new backend answers")
    t.require(wait_for(lambda: token() and token() != old_token, 5, 0.1),
              "it wrote a new token")
    t.expect(wait_for(lambda: page_ready_count() > ready, 15, 0.2),
             "the start page was fetched afresh (another \u201cpage ready\u201d)")
    t.expect(wait_for(lambda: RUNNING in studio.page_text(), 10, 0.3)
             and stays(lambda: RUNNING in studio.page_text(), 3.5, 0.5),
             "the page talks to the new backend with the new token",
             [line for line in studio.page_text().splitlines() if "service" in line.lower()])

    t.step("Ctrl+Q quits")
    studio.keys_to_window("ctrl+q")
    t.expect(studio.wait_exit(15), "the application ended")
    t.expect(wait_for(lambda: not backend_processes(), 5, 0.1), "no backend is left",
             backend_processes())


if __name__ == "__main__":
    run(token_replaced)
