"""Tarvo Studio's reference backend: a small local service and its page.

Run as ``python3 -m app serve --port 7810`` with TARVO_STUDIO_HOME naming
the data folder. Standard library only, Python 3.10 or later.
"""

NAME = "tarvo-studio"
__version__ = "1.0.0"
