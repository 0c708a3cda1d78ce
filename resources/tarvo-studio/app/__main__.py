"""python3 -m app serve --port 7810"""

import argparse
import sys

from . import NAME, __version__


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m app", description=f"{NAME} local service")
    parser.add_argument("--version", action="version", version=f"{NAME} {__version__}")
    commands = parser.add_subparsers(dest="command", required=True, metavar="command")
    serve = commands.add_parser("serve", help="serve the page and the API on 127.0.0.1")
    serve.add_argument("--port", type=_port, default=7810, help="port to listen on (default 7810)")
    args = parser.parse_args(argv)

    from .serve import serve as run

    return run(args.port)


def _port(text):
    try:
        port = int(text)
    except ValueError:
        port = 0
    if not 1 <= port <= 65535:
        raise argparse.ArgumentTypeError(f"{text!r} is not a port number (1 to 65535)")
    return port


if __name__ == "__main__":
    sys.exit(main())
