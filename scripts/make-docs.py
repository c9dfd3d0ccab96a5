#!/usr/bin/env python3
"""Makes the pages of docs/ that say what the tavrin tool itself says, so
that no page restates the list or the options by hand:

    docs/rows.md      the built-in list, from `tavrin rows --json`
    docs/options.md   the commands and options, from `tavrin --help`

    scripts/make-docs.py --tool build/tools/tavrin --out docs
    scripts/make-docs.py --tool build/tools/tavrin --check docs

--out writes the pages (make docs); --check writes nothing and exits with 1,
showing the difference and the command to run, when a page in the folder is
not what the tool says (a test of make test).
"""

import argparse
import base64
import difflib
import json
import os
import re
import subprocess
import sys
from pathlib import Path

REGENERATE = "make docs"


def run_tool(tool, *args):
    """The tool's standard output, in the C locale (the help and the rows
    are the same in any); a failure stops the script."""
    environment = {name: value for name, value in os.environ.items()
                   if not name.startswith(("LC_", "LANG"))}
    run = subprocess.run([tool, *args], capture_output=True, env={**environment, "LC_ALL": "C"})
    if run.returncode != 0:
        sys.exit(f"make-docs: {tool} {' '.join(args)} failed ({run.returncode}): "
                 f"{run.stderr.decode(errors='replace')}")
    return run.stdout.decode("utf-8")


def generated_note(source):
    return (f"_Generated from `{source}` by `scripts/make-docs.py`: do not edit it; after "
            f"changing the tool, regenerate it with `{REGENERATE}`._\n")


def escaped(text):
    """`text` as Markdown shows it literally: every character that could
    start emphasis, a link, HTML, code or a table cell escaped."""
    return re.sub(r"([\\`*_\[\]<>|&])", r"\\\1", text)


def code(text):
    """`text` as a code span (inside a table too: '|' escaped)."""
    fence = "``" if "`" in text else "`"
    padding = " " if "`" in text else ""
    return f"{fence}{padding}{text.replace('|', chr(92) + '|')}{padding}{fence}"


def rows_page(tool):
    lines = [
        "# The built-in list", "", generated_note("tavrin rows --json"),
        "The rows Tavrin screens for, in table order: Text is the row shown in UTF-8, "
        "GBK bytes the bytes the library matches, and Length their number.", "",
        "| Row | Text | GBK bytes | Length |", "|---:|---|---|---:|",
    ]
    for line in run_tool(tool, "rows", "--json").splitlines():
        row = json.loads(line)
        gbk = (row["gbk"]["text"].encode("utf-8") if "text" in row["gbk"]
               else base64.b64decode(row["gbk"]["bytes"], validate=True))
        text = row["text"] if row["text"] is not None else "(no UTF-8 form)"
        lines.append(f"| {row['row']} | {code(text)} | {gbk.hex(' ').upper()} | {len(gbk)} |")
    return "\n".join(lines) + "\n"


def blocks(text):
    """The paragraphs of `text`: runs of lines between empty ones."""
    return [block.split("\n") for block in text.strip("\n").split("\n\n")]


def entries(lines):
    """The entries of a list of --help: (term, text). A term begins two
    columns in and ends at a run of two spaces, or with its line; the text
    goes on in the lines indented further."""
    found = []
    for line in lines:
        indent = len(line) - len(line.lstrip(" "))
        if indent <= 10:
            term, _, text = line.strip().partition("  ")
            found.append([term, text.strip()])
        else:
            found[-1][1] = f"{found[-1][1]} {line.strip()}".strip()
    return found


def examples(lines):
    """The examples of --help: (what it does, the command)."""
    found, what = [], []
    for line in lines:
        if line.startswith("    $ "):
            found.append((" ".join(what), line[len("    $ "):]))
            what = []
        else:
            what.append(line.strip())
    return found


def options_page(tool):
    help_blocks = blocks(run_tool(tool, "--help"))
    usage, *description = help_blocks[0]
    usage_lines = [usage.replace("Usage: ", "", 1)] + [
        line.strip().replace("or:  ", "", 1) for line in description if line.startswith("  or:")]
    description = [line for line in description if not line.startswith("  or:")]
    out = ["# tavrin: commands and options", "", generated_note("tavrin --help"),
           "```text", *usage_lines, "```", "", escaped(" ".join(description))]
    for block in help_blocks[1:]:
        out.append("")
        heading = block[0]
        if not (heading.endswith(":") and not heading.startswith(" ")):
            out.append(escaped(" ".join(line.strip() for line in block)))
            continue
        out += [f"## {heading[:-1]}", ""]
        if heading == "Examples:":
            for what, command in examples(block[1:]):
                out += [escaped(what), "", "```sh", command, "```", ""]
            out.pop()
        else:
            out += [f"- {code(term)}: {escaped(text)}" for term, text in entries(block[1:])]
    return "\n".join(out) + "\n"


PAGES = {"rows.md": rows_page, "options.md": options_page}


def main():
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", required=True, help="the built tavrin tool")
    where = parser.add_mutually_exclusive_group(required=True)
    where.add_argument("--out", type=Path, help="the folder to write the pages into")
    where.add_argument("--check", type=Path, help="the folder whose pages to compare")
    args = parser.parse_args()
    stale = []
    for name, make in PAGES.items():
        page = make(args.tool)
        if args.out:
            args.out.mkdir(parents=True, exist_ok=True)
            (args.out / name).write_text(page, encoding="utf-8")
            continue
        path = args.check / name
        committed = path.read_text(encoding="utf-8") if path.exists() else ""
        if committed != page:
            sys.stdout.writelines(difflib.unified_diff(
                committed.splitlines(True), page.splitlines(True), f"{path} (committed)",
                f"{path} (what the tool says)"))
            stale.append(str(path))
    if stale:
        print(f"make-docs: {', '.join(stale)} not what {args.tool} says: regenerate with "
              f"`{REGENERATE}` (scripts/make-docs.py --tool {args.tool} --out {args.check}) "
              f"and commit", file=sys.stderr)
        return 1
    return 0


if __name__ == "__main__":
    sys.exit(main())
