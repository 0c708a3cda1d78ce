"""A stand-in backend for the window tests of the web view's policy.

The application launches it exactly as it launches the real backend
(`python3 -m app serve --port 7810`). It serves a page with links to every
kind of address, inner frames that post to the script bridge and a button
that raises an alert, and it records what the page tells it, so the tests
can see what the view did without reaching into it.
"""
