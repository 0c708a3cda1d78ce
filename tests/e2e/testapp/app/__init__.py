"""The stand-in backend of the window tests.

The application launches it exactly as it launches the real backend
(`python3 -m app serve --port 7810`). It serves a page with links to every
kind of address, inner frames that post to the script bridge and a button
that raises an alert, and it records what the page tells it, so the tests
can see what the view did without reaching into it. It takes simulated runs
(POST /api/call {"tool", "seconds"}) and reports them as in flight, and it
writes to the log which signal stopped it. Its switches (switches.py) make it
slow to listen or blind to its parent's death.
"""
