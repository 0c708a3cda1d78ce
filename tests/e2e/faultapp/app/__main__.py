import argparse
import sys

from .server import serve


def main(argv=None):
    parser = argparse.ArgumentParser(prog="python3 -m app")
    commands = parser.add_subparsers(dest="command", required=True)
    command = commands.add_parser("serve")
    command.add_argument("--port", type=int, default=7810)
    args = parser.parse_args(argv)
    return serve(args.port)


if __name__ == "__main__":
    sys.exit(main())
