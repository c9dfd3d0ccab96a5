#!/usr/bin/env python3
"""The Python package and the Dask example beside the tool, on the same bytes.

Each figure is the median of ROUNDS runs, the two sides run in turn:

- tavrin.screen_lines on a chat log in memory, against `tavrin check -c -j1`
  on the same bytes in a file;
- tavrin.is_valid_many on the log's lines, against a loop of is_valid;
- examples/screen_archive.py --workers 2 on an archive of 8 files (its own
  MB/s figure), against `tavrin check -c -j1` on the same files; first in
  GBK, then in UTF-8, and the UTF-8 time against the GBK time.

The logs come from examples/make_chat_archive.py, written once into DATA.
Run it with an interpreter that imports the wheel's tavrin (make
bench-python does).
"""

from __future__ import annotations

import argparse
import os
import statistics
import subprocess
import sys
import time
from pathlib import Path

import tavrin

EXAMPLES = Path(__file__).resolve().parent.parent / "examples"


def median_seconds(rounds, *sides):
    """Runs each side in turn, `rounds` times; the median seconds of each."""
    times = [[] for _ in sides]
    for _ in range(rounds):
        for side, spent in zip(sides, times):
            start = time.perf_counter()
            side()
            spent.append(time.perf_counter() - start)
    return [statistics.median(spent) for spent in times]


def archive(data: Path, name: str, encoding: str, files: int, mib: float) -> list:
    directory = data / name
    if not (directory / "empty.log").exists():
        subprocess.run([sys.executable, EXAMPLES / "make_chat_archive.py", "--files", str(files),
                        "--mib", str(mib), "--encoding", encoding, directory],
                       check=True)
    return sorted(str(path) for path in directory.iterdir())


def tool(args, *files, encoding="gbk"):
    options = ["-c", "-j1"] if args.count else []
    command = [args.tool, "check", *options, "-e", encoding, *files]
    return lambda: subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL)


def in_memory(args) -> None:
    path = archive(args.data, "log", "gbk", 1, args.mib)[0]
    data = Path(path).read_bytes()
    verdicts = tavrin.screen_lines(data)
    bulk, check = median_seconds(args.rounds, lambda: tavrin.screen_lines(data), tool(args, path))
    print(f"screen_lines, {len(data) / 1e6:.0f} MB of GBK chat ({len(verdicts)} lines) in memory: "
          f"{bulk * 1e3:.1f} ms ({len(data) / bulk / 1e6:.0f} MB/s); tavrin check -c -j1 on the "
          f"file: {check * 1e3:.1f} ms; ratio {bulk / check:.2f}")

    lines = data.split(b"\n")[:1000000]
    many, loop = median_seconds(args.rounds, lambda: tavrin.is_valid_many(lines),
                                lambda: [tavrin.is_valid(line) for line in lines])
    print(f"is_valid_many on {len(lines)} lines: {many / len(lines) * 1e9:.0f} ns a line; a loop "
          f"of is_valid: {loop / len(lines) * 1e9:.0f} ns a line; ratio {many / loop:.2f}")


def on_dask(args) -> None:
    example_seconds = {}
    for encoding in ["gbk", "utf-8"]:
        files = archive(args.data, f"archive-{encoding}", encoding, 8, args.mib / 2)
        size = sum(os.path.getsize(path) for path in files)
        reports = []

        def example():
            run = subprocess.run([sys.executable, EXAMPLES / "screen_archive.py", "--workers",
                                  "2", "--encoding", encoding, "--output", args.data / "found",
                                  *files], capture_output=True, text=True)
            reports.append(f"{run.stderr.strip()} (exit status {run.returncode})")

        wall, check = median_seconds(args.rounds, example, tool(args, *files, encoding=encoding))
        rates = sorted(float(report.split(" MB/s)")[0].rsplit("(", 1)[1]) for report in reports)
        rate = statistics.median(rates)
        example_seconds[encoding] = size / 1e6 / rate
        found = (args.data / "found").read_bytes().splitlines()
        banned = [line for line in subprocess.run([args.tool, "check", "-e", encoding, *files],
                                                  stdout=subprocess.PIPE,
                                                  stderr=subprocess.DEVNULL).stdout.splitlines()
                  if not line.endswith(b": clean")]
        print(f"screen_archive.py --workers 2, {encoding}, {size / 1e6:.0f} MB: {rate:.0f} MB/s "
              f"({example_seconds[encoding]:.2f} s; {wall:.2f} s with the cluster's start); "
              f"tavrin check -c -j1: {check:.2f} s ({size / check / 1e6:.0f} MB/s); ratio of "
              f"throughputs {rate / (size / check / 1e6):.2f}; the same lines: {found == banned}")
        print(f"  last summary: {reports[-1]}")
    print(f"UTF-8 archive time / GBK archive time: "
          f"{example_seconds['utf-8'] / example_seconds['gbk']:.2f}")


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", required=True, help="the tavrin tool")
    parser.add_argument("--data", type=Path, required=True, help="where the logs are written")
    parser.add_argument("--mib", "--megabytes", type=float, default=128,
                        help="the size of the log in memory, in MiB (2**20 bytes); each archive "
                             "is 4 times as large (--megabytes is an older name, in the same "
                             "unit)")
    parser.add_argument("--rounds", type=int, default=5)
    args = parser.parse_args()
    args.data.mkdir(parents=True, exist_ok=True)
    help_text = subprocess.run([args.tool, "--help"], capture_output=True, text=True).stdout
    args.count = "--count" in help_text
    if not args.count:
        print("(this tavrin has no -c: the tool's figures are those of a full tavrin check, "
              "its output to /dev/null)")
    in_memory(args)
    on_dask(args)


if __name__ == "__main__":
    main()
