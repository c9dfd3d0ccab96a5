#!/usr/bin/python3
"""Runs the examples of the README and docs/ as a reader would paste them.

A fenced block preceded by the line `<!-- check -->` is run in a scratch
folder that holds a copy of examples/, with the built tool first on PATH, the
built library found by the loader and the Python package importable, in the
C.UTF-8 locale:

  console  each `$ COMMAND` line runs in bash; what it writes (standard output
           and standard error) must be the lines that follow it, up to the
           next `$ ` line
  sh       the block runs in bash with -e: every command must succeed
  python   the block runs as a script
  c        the block is compiled against include/ and the library, and run

A python or c block followed by a ```text block must print exactly that
block. Every relative link of the pages must name a file that exists and,
after '#', a heading of it. Each failing example or link is reported with
its file and line; the exit status is 1 when any failed.

  check_examples.py --source DIR --tool-dir DIR --library-dir DIR FILE...
"""

import argparse
import functools
import os
import re
import shutil
import subprocess
import sys
import tempfile

MARK = "<!-- check -->"
FENCE = re.compile(r"^```(\w*)\s*$")


def blocks(path):
    """Yields (line number, language, text, expected output or None) of each
    checked block of a Markdown file."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    i = 0
    while i < len(lines):
        if lines[i].strip() != MARK:
            i += 1
            continue
        start = i + 1
        fence = FENCE.match(lines[start]) if start < len(lines) else None
        if not fence:
            raise SystemExit(f"{path}:{i + 1}: {MARK} is not followed by a fenced block")
        end = lines.index("```", start + 1)
        body = "\n".join(lines[start + 1:end]) + "\n"
        # A ```text block after it, past blank lines and one line of prose at
        # most, is what the example prints.
        expected, j = None, end + 1
        while j < len(lines) and j <= end + 3 and not lines[j].startswith("```"):
            j += 1
        if j < len(lines) and lines[j] == "```text":
            close = lines.index("```", j + 1)
            expected = "\n".join(lines[j + 1:close]) + "\n"
        yield start + 1, fence.group(1), body, expected
        i = end + 1


LINK = re.compile(r"\]\(([^)#\s]*)(?:#([^)\s]*))?\)")


@functools.lru_cache(maxsize=None)
def anchors(path):
    """The anchors GitHub gives the headings of a Markdown file: lower case,
    punctuation dropped, spaces as '-', a repeated one numbered from -1."""
    seen, result = {}, set()
    with open(path, encoding="utf-8") as f:
        in_fence = False
        for line in f:
            if line.startswith("```"):
                in_fence = not in_fence
            if in_fence or not line.startswith("#"):
                continue
            slug = re.sub(r"[^\w\- ]", "", line.lstrip("#").strip().lower()).replace(" ", "-")
            count = seen.get(slug, 0)
            seen[slug] = count + 1
            result.add(slug if count == 0 else f"{slug}-{count}")
    return result


def broken_links(path):
    """(line number, link) of each relative link of `path` that leads nowhere."""
    with open(path, encoding="utf-8") as f:
        lines = f.read().split("\n")
    for number, line in enumerate(lines, 1):
        for target, anchor in LINK.findall(line):
            if re.match(r"[a-z]+:", target):
                continue  # a web address
            where = os.path.normpath(os.path.join(os.path.dirname(path), target)) if target else path
            if not os.path.exists(where):
                yield number, target
            elif anchor and where.endswith(".md") and anchor not in anchors(where):
                yield number, f"{target}#{anchor}"


def run(command, env, cwd, stdin=None):
    result = subprocess.run(command, env=env, cwd=cwd, input=stdin,
                            stdout=subprocess.PIPE, stderr=subprocess.STDOUT,
                            text=True, timeout=120)
    return result.returncode, result.stdout


def check_console(body, env, cwd):
    """The commands of a console block, with the output each must write."""
    problems = []
    steps = []
    for line in body.rstrip("\n").split("\n"):
        if line.startswith("$ "):
            steps.append([line[2:], []])
        elif steps:
            steps[-1][1].append(line)
        else:
            return [f"output before any command: {line!r}"]
    for command, output in steps:
        _, got = run(["bash", "-c", command], env, cwd)
        want = "\n".join(output) + "\n" if output else ""
        if got != want:
            problems.append(f"$ {command}\n--- expected\n{want}--- got\n{got}")
    return problems


def check_program(language, body, expected, env, cwd, source):
    if language == "sh":
        status, got = run(["bash", "-e", "-o", "pipefail"], env, cwd, stdin=body)
    elif language == "python":
        status, got = run(["/usr/bin/python3", "-"], env, cwd, stdin=body)
    elif language == "c":
        program = os.path.join(cwd, "example")
        with open(program + ".c", "w", encoding="utf-8") as f:
            f.write(body)
        status, got = run(["cc", "-std=c89", "-Wall", "-Werror", "-o", program,
                           program + ".c", "-I" + os.path.join(source, "include"),
                           "-L" + env["LD_LIBRARY_PATH"], "-ltavrin"], env, cwd)
        if status == 0:
            status, got = run([program], env, cwd)
    else:
        return [f"cannot check a ```{language} block"]
    if expected is None and status != 0:
        return [f"exit status {status}:\n{got}"]
    if expected is not None and got != expected:
        return [f"--- expected\n{expected}--- got (exit status {status})\n{got}"]
    return []


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--source", required=True)
    parser.add_argument("--tool-dir", required=True)
    parser.add_argument("--library-dir", required=True)
    parser.add_argument("files", nargs="+")
    args = parser.parse_args()
    args.source = os.path.abspath(args.source)

    env = dict(os.environ)
    env.update(LC_ALL="C.UTF-8",
               PATH=os.path.abspath(args.tool_dir) + os.pathsep + env.get("PATH", ""),
               LD_LIBRARY_PATH=os.path.abspath(args.library_dir),
               PYTHONPATH=os.path.join(os.path.abspath(args.source), "python", "src"))
    failed = checked = 0
    for path in args.files:
        for line, link in broken_links(path):
            failed += 1
            print(f"{os.path.relpath(path, args.source)}:{line}: the link {link} leads nowhere")
        for line, language, body, expected in blocks(path):
            checked += 1
            with tempfile.TemporaryDirectory() as scratch:
                shutil.copytree(os.path.join(args.source, "examples"),
                                os.path.join(scratch, "examples"))
                if language == "console":
                    problems = check_console(body, env, scratch)
                else:
                    problems = check_program(language, body, expected, env, scratch,
                                             args.source)
            name = os.path.relpath(path, args.source)
            for problem in problems:
                failed += 1
                print(f"{name}:{line}: the example does not work as written\n{problem}")
    print(f"{checked} examples checked, {failed} failures")
    if checked == 0:
        print("no example is marked " + MARK)
        return 1
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
