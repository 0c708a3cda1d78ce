#!/usr/bin/python3
"""Every translation is complete: each text of the sources, extracted afresh
the way `update-po` extracts it, has a translation in each po/<language>.po
that is neither missing nor fuzzy, and each catalogue compiles cleanly.

  po_test.py --po DIR --source DIR --xgettext X --msgcmp X --msgfmt X -- <xgettext args> -- <sources>

Exit status 0 passed, 1 failed.
"""

import argparse
import os
import re
import subprocess
import sys
import tempfile


def run(argv, cwd=None):
    done = subprocess.run(argv, capture_output=True, text=True, cwd=cwd, timeout=120, check=False)
    return done.returncode, done.stdout + done.stderr


def main():
    parser = argparse.ArgumentParser()
    for name in ("po", "source", "xgettext", "msgcmp", "msgfmt"):
        parser.add_argument(f"--{name}", required=True)
    parser.add_argument("rest", nargs=argparse.REMAINDER)
    args = parser.parse_args()
    rest = args.rest[1:] if args.rest[:1] == ["--"] else args.rest
    split = rest.index("--")
    options, sources = rest[:split], rest[split + 1:]

    failures = []
    with open(os.path.join(args.po, "LINGUAS"), encoding="utf-8") as f:
        languages = [w for line in f if not line.startswith("#") for w in line.split()]
    with tempfile.TemporaryDirectory() as folder:
        template = os.path.join(folder, "texts.pot")
        status, output = run([args.xgettext, *options, f"--output={template}", *sources],
                             cwd=args.source)
        if status != 0:
            print(output)
            return 1
        for language in languages:
            catalogue = os.path.join(args.po, f"{language}.po")
            # Fuzzy and untranslated entries count as missing.
            status, output = run([args.msgcmp, catalogue, template])
            if status != 0:
                failures.append(f"{language}: texts without a translation:\n{output}")
            status, output = run([args.msgfmt, "--check", "--statistics", "-o", os.devnull,
                                  catalogue])
            if status != 0 or re.search(r"fuzzy|untranslated", output):
                failures.append(f"{language}: {output.strip()}")
            else:
                print(f"{language}: {output.strip()}")
    for failure in failures:
        print(f"FAILED: {failure}")
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
