#!/usr/bin/env python3
"""make bench's command-line section: the tavrin tool against ripgrep, each
given the same 54 rows, on a generated chat log of 256 MB in GBK and in UTF-8.

Each pair of commands runs in turn, round after round, with its output thrown
away; the table gives each command's median time and the ratio of the two
medians (with the median of the round-by-round ratios beside it). ripgrep gets
the rows as one caseless regex over bytes for GBK (-a: zero bytes are text,
as they are to tavrin), and as fixed strings in UTF-8 for the UTF-8 log. The
floor is a newline count (wc -l) over the same file.

    python3 bench/tool_vs_ripgrep.py --tool build/benchmark/tools/tavrin \\
        --library build/benchmark/src/libtavrin.so.1 --work build/benchmark/chat-logs
"""

from __future__ import annotations

import argparse
import ctypes
import os
import random
import shutil
import statistics
import subprocess
import sys
import time
from pathlib import Path

sys.path.insert(0, str(Path(__file__).resolve().parent.parent / "examples"))
import make_chat_archive  # noqa: E402  (the archive generator of the examples)

BLOCK_MEGABYTES = 32  # generated once, then repeated up to the size asked for


def make_log(path: Path, encoding: str, megabytes: int) -> None:
    """A chat log of `megabytes` MB: a block of generated lines, repeated."""
    size = megabytes * 1_000_000
    if path.exists() and path.stat().st_size >= size:
        return
    block_path = path.with_suffix(".block")
    make_chat_archive.write_log(str(block_path), BLOCK_MEGABYTES * 1_000_000, encoding,
                                crlf=False, rng=random.Random(1), tail=b"")
    block = block_path.read_bytes()
    block_path.unlink()
    with open(path, "wb") as log:
        written = 0
        while written < size:
            log.write(block)
            written += len(block)


def rows(library: Path) -> list[bytes]:
    """The 54 rows, as the library holds them (GBK bytes)."""
    lib = ctypes.CDLL(str(library))
    lib.tavrin_row.restype = ctypes.c_void_p
    lib.tavrin_row.argtypes = [ctypes.c_uint, ctypes.POINTER(ctypes.c_size_t)]
    found = []
    for row in range(1, 55):
        length = ctypes.c_size_t()
        address = lib.tavrin_row(row, ctypes.byref(length))
        found.append(ctypes.string_at(address, length.value))
    return found


def bytes_regex(rows_gbk: list[bytes]) -> str:
    """One regex over bytes matching any row; -i folds ASCII letters only."""
    def literal(row: bytes) -> str:
        return "".join(chr(b) if chr(b).isalnum() and b < 0x80 else f"\\x{b:02X}" for b in row)
    return "(?-u)(?:" + "|".join(literal(row) for row in rows_gbk) + ")"


def seconds(command: list[str]) -> float:
    start = time.perf_counter()
    subprocess.run(command, stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=False)
    return time.perf_counter() - start


def compare(label: str, ours: list[str], theirs: list[str], rounds: int, target: str) -> None:
    seconds(ours), seconds(theirs)  # the file into the page cache, the programs too
    a, b = [], []
    for _ in range(rounds):
        a.append(seconds(ours))
        b.append(seconds(theirs))
    ratio = statistics.median(a) / statistics.median(b)
    pairs = statistics.median(x / y for x, y in zip(a, b))
    print(f"| {label} | {statistics.median(a):.3f} | {statistics.median(b):.3f} "
          f"| {ratio:.2f} | {pairs:.2f} | {target} |", flush=True)


def count(command: list[str]) -> str:
    run = subprocess.run(command, capture_output=True, check=False)
    return run.stdout.decode(errors="replace").strip() or "-"


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("--tool", required=True, type=Path)
    parser.add_argument("--library", required=True, type=Path)
    parser.add_argument("--work", required=True, type=Path)
    parser.add_argument("--megabytes", type=int, default=256)
    parser.add_argument("--rounds", type=int, default=9)
    args = parser.parse_args()

    ripgrep = shutil.which("rg")
    if ripgrep is None:
        sys.exit("tool_vs_ripgrep: ripgrep (rg) is not installed: scripts/ensure-deps.sh bench")
    args.work.mkdir(parents=True, exist_ok=True)
    threads = len(os.sched_getaffinity(0))
    rows_gbk = rows(args.library)
    rows_utf8 = [row.decode("gbk").encode("utf-8") for row in rows_gbk]
    patterns = args.work / "rows-utf8.txt"
    patterns.write_bytes(b"\n".join(rows_utf8) + b"\n")
    regex = bytes_regex(rows_gbk)

    tool = [str(args.tool)]
    rg = [ripgrep, "--no-config", "-a", "-i"]
    print(f"\nThe tool against ripgrep ({count([ripgrep, '--version']).splitlines()[0]}), "
          f"{args.megabytes} MB chat logs, {args.rounds} rounds, {threads} processors; "
          "seconds are medians, ratios are tavrin's time over the other's:\n")
    print("| Work | tavrin s | other s | ratio | median of round ratios | target |")
    print("|---|---:|---:|---:|---:|---|")
    for encoding in ("gbk", "utf-8"):
        log = args.work / f"chat-{encoding}.log"
        make_log(log, encoding, args.megabytes)
        name = encoding.upper()
        check = tool + ["check", "-e", encoding]
        if encoding == "gbk":
            rg_count = rg + ["-c", "-j1", "-e", regex, str(log)]
            compare(f"{name}: `check -c -j1` vs `rg -c -j1`", check + ["-c", "-j1", str(log)],
                    rg_count, args.rounds, "<= 0.35")
            compare(f"{name}: `check -j1` (every line) vs `rg -n -j1`", check + ["-j1", str(log)],
                    rg + ["-n", "-j1", "-e", regex, str(log)], args.rounds, "<= 1.0")
        else:
            rg_count = rg + ["-F", "-c", "-j1", "-f", str(patterns), str(log)]
            compare(f"{name}: `check -c -j1` vs `rg -F -c -j1`", check + ["-c", "-j1", str(log)],
                    rg_count, args.rounds, "<= 0.5")
            compare(f"{name}: `check -j1` (every line) vs `rg -F -n -j1`", check + ["-j1", str(log)],
                    rg + ["-F", "-n", "-j1", "-f", str(patterns), str(log)], args.rounds, "-")
        compare(f"{name}: `check -c -j{threads}` vs `check -c -j1`",
                check + ["-c", f"-j{threads}", str(log)], check + ["-c", "-j1", str(log)],
                args.rounds, "<= 0.65" if threads == 2 else "-")
        compare(f"{name}: `check -c -j{threads}` vs `rg -c -j{threads}`",
                check + ["-c", f"-j{threads}", str(log)],
                [f"-j{threads}" if a == "-j1" else a for a in rg_count],
                args.rounds, "-")
        compare(f"{name}: `check -c -j1` vs the floor, `wc -l`", check + ["-c", "-j1", str(log)],
                ["wc", "-l", str(log)], args.rounds, "-")
        print(f"| {name}: banned lines, tavrin / ripgrep | {count(check + ['-c', str(log)])} "
              f"| {count(rg_count)} | | | |", flush=True)
    # The UTF-8 log against the same lines in GBK (a character GBK lacks as
    # '?', bytes that are not UTF-8 as '?'), the UTF-8 call's own yardstick.
    utf8_log = args.work / "chat-utf-8.log"
    same_gbk = args.work / "chat-utf-8-as-gbk.log"
    if not same_gbk.exists() or same_gbk.stat().st_mtime < utf8_log.stat().st_mtime:
        same_gbk.write_bytes(utf8_log.read_bytes().decode("utf-8", errors="replace")
                             .encode("gbk", errors="replace"))
    compare("UTF-8: `check -c -j1` vs GBK `check -c -j1`, the same lines",
            tool + ["check", "-e", "utf-8", "-c", "-j1", str(utf8_log)],
            tool + ["check", "-e", "gbk", "-c", "-j1", str(same_gbk)], args.rounds, "<= 1.5")


if __name__ == "__main__":
    main()
