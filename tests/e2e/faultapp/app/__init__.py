"""A stand-in backend for the fault tests.

The application launches it as it launches the real backend
(`python3 -m app serve --port 7810`). Unlike the real one it never watches
the process named by TARVO_STUDIO_PARENT, so whatever it outlives is the
application's own doing. From the environment it inherits through the
application it takes TARVO_FAULT_START_DELAY: seconds to wait before it
listens, as a backend slow to import would.
"""
