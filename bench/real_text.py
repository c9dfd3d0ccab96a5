#!/usr/bin/env python3
"""Writes the real text the benchmark screens, taken from Debian packages.

Chinese: every zh_CN message catalogue installed (the translations, read
with msgunfmt), the fortunes of fortunes-zh (Tang and Song poems and
sayings) and the manual pages of manpages-zh, their markup stripped.
English: the manual pages of manpages. Each is written as lines, in UTF-8
and in GBK (a character GBK lacks as '?', as the library screens it), into
OUT_DIR:

    zh-lines.utf8  zh-lines.gbk  en-lines.txt

Generated corpora flatter a filter: real Chinese repeats a few characters
very often (的 is about 4% of them), and mixes in ASCII words, digits and
newlines. Files are read in sorted order, so the same packages give the
same bytes on every machine.

    bench/real_text.py OUT_DIR [--if-installed]

With --if-installed, a missing package or program is not an error: the
reason is written to OUT_DIR/missing.txt instead (the test suite then
reports its real-text test as Skipped with it).
"""
import glob
import gzip
import os
import re
import subprocess
import sys


class Missing(Exception):
    """A package or program the real text comes from is not installed."""

# Roff: requests and macros at the start of a line, comments, font and
# size escapes, and the escapes for a hyphen, a space and a line break.
ROFF_REQUEST = re.compile(r"^['.]")
ROFF_ESCAPES = re.compile(r"\\f(\[[^]]*\]|\(..|.)|\\s[-+]?\d+|\\[-&e|^ ]|\\\(..")

# The escapes of a catalogue's strings.
PO_ESCAPE = re.compile(r"\\(.)")
PO_ESCAPES = {"n": "\n", "t": "\t", '"': '"', "\\": "\\"}


def package_files(package, suffix):
    try:
        listing = subprocess.run(["dpkg", "-L", package], check=True,
                                 capture_output=True, text=True).stdout
    except (OSError, subprocess.CalledProcessError):
        raise Missing(f"package {package} is not installed "
                      f"(scripts/ensure-deps.sh test or bench installs it)")
    return sorted(p for p in listing.splitlines()
                  if p.endswith(suffix) and os.path.isfile(p))


def manual_lines(package):
    for path in package_files(package, ".gz"):
        if not path.startswith("/usr/share/man/"):
            continue
        with gzip.open(path, "rb") as f:
            text = f.read().decode("utf-8", errors="replace")
        for line in text.splitlines():
            if ROFF_REQUEST.match(line) or line.startswith('\\"'):
                continue
            line = ROFF_ESCAPES.sub("", line).strip()
            if line:
                yield line


def catalogue_lines():
    for path in sorted(glob.glob("/usr/share/locale/zh_CN/LC_MESSAGES/*.mo")):
        try:
            po = subprocess.run(["msgunfmt", path], check=True,
                                capture_output=True, text=True,
                                errors="replace").stdout
        except FileNotFoundError:
            raise Missing("msgunfmt is missing (Debian's gettext)")
        except subprocess.CalledProcessError:
            continue  # a catalogue msgunfmt cannot read is left out
        in_translation = False
        for line in po.splitlines():
            m = re.match(r'^msgstr(?:\[\d+\])? "(.*)"$', line)
            if m:
                in_translation = True
            elif in_translation and line.startswith('"'):
                m = re.match(r'^"(.*)"$', line)
            else:
                in_translation = False
            if not m:
                continue
            text = PO_ESCAPE.sub(lambda e: PO_ESCAPES.get(e.group(1), ""),
                                 m.group(1))
            for piece in text.split("\n"):
                if piece.strip():
                    yield piece


def fortune_lines():
    for path in package_files("fortunes-zh", ".u8"):
        with open(path, "rb") as f:
            text = f.read().decode("utf-8", errors="replace")
        for line in text.splitlines():
            if line.strip() and line != "%":
                yield line


def write(path, lines, encoding):
    with open(path, "wb") as f:
        for line in lines:
            f.write(line.encode(encoding, errors="replace") + b"\n")


def main():
    args = [a for a in sys.argv[1:] if a != "--if-installed"]
    if len(args) != 1:
        sys.exit(__doc__)
    out = args[0]
    os.makedirs(out, exist_ok=True)
    missing = os.path.join(out, "missing.txt")
    try:
        zh = list(catalogue_lines()) + list(fortune_lines()) + \
            list(manual_lines("manpages-zh"))
        en = list(manual_lines("manpages"))
    except Missing as reason:
        if "--if-installed" not in sys.argv:
            sys.exit(f"real_text.py: {reason}")
        with open(missing, "w") as f:
            f.write(f"{reason}\n")
        print(f"real text: {reason}", file=sys.stderr)
        return
    if os.path.exists(missing):
        os.remove(missing)
    write(os.path.join(out, "zh-lines.utf8"), zh, "utf-8")
    write(os.path.join(out, "zh-lines.gbk"), zh, "gbk")
    write(os.path.join(out, "en-lines.txt"), en, "ascii")
    print(f"real text: {len(zh)} Chinese lines, {len(en)} English lines "
          f"in {out}", file=sys.stderr)


if __name__ == "__main__":
    main()
