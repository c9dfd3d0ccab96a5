#!/usr/bin/env python3
"""Screens a directory of chat logs with Tavrin on a Dask cluster.

Every file under DIRECTORY is cut into blocks of whole lines, and each block
is read and screened by one task on the cluster, its lines going to the
library in one call (tavrin.is_valid_many). Lines follow the rules of
`tavrin check`: a line ends at "\\n" or "\\r\\n" (the ending is not screened),
the last line of a file may have no newline, and under --encoding utf-8 a
line that is not well-formed UTF-8 is an error, never clean.

It prints what `tavrin check` prints for every line that is not clean,
NAME:LINE: banned or NAME:LINE: error, in file and line order, and then a
summary on standard error: files, lines, banned lines, errors, megabytes and
MB/s (the time from handing the blocks to the cluster to the last answer).
The exit status is that of `tavrin check`: 0 every line clean, 1 some line
banned, 2 some line not screenable.

By default it starts a LocalCluster on this machine; --scheduler ADDRESS
uses a running cluster instead, whose workers have the tavrin package
installed and see DIRECTORY at the same path.

    python3 examples/screen_archive.py --encoding utf-8 logs/ > banned.txt
"""

from __future__ import annotations

import argparse
import os
import signal
import sys
import time
from typing import List, Tuple

Flag = Tuple[int, str]  # (index of the line in its block, "banned" or "error")


def screen_block(path: str, offset: int, length: int, encoding: str) -> Tuple[int, int, List[Flag]]:
    """Reads the whole lines that begin in path[offset : offset + length)
    and screens them. Returns the number of lines, of bytes, and the lines
    that are not clean. Runs on a worker."""
    import tavrin
    from fsspec.utils import read_block

    # A block starts after the first newline at or past `offset` (at 0 for
    # the first) and ends after the first newline at or past its end, so
    # consecutive blocks share no line and miss none.
    with open(path, "rb") as file:
        data = read_block(file, offset, length, b"\n")
    # Each line is screened with the "\r" of a "\r\n" ending: no row holds
    # that byte, so the verdict is the tool's, which screens the line without
    # its ending.
    lines = data.split(b"\n")
    if not lines[-1]:
        lines.pop()  # the block ends with a newline, or is empty

    flags: List[Flag] = []
    if encoding == "gbk":
        verdicts = tavrin.is_valid_many(lines)
        flags = [(i, "banned") for i, clean in enumerate(verdicts) if not clean]
    else:
        texts, where = [], []
        for i, line in enumerate(lines):
            try:
                texts.append(line.decode("utf-8"))
                where.append(i)
            except UnicodeDecodeError:
                flags.append((i, "error"))
        verdicts = tavrin.is_valid_many(texts)
        flags += [(where[k], "banned") for k, clean in enumerate(verdicts) if not clean]
        flags.sort()
    return len(lines), len(data), flags


def archive_files(directory: str) -> List[str]:
    """The regular files under `directory`, in sorted order."""
    files = []
    for root, dirs, names in os.walk(directory):
        dirs.sort()
        files += [os.path.join(root, name) for name in sorted(names)]
    return [path for path in files if os.path.isfile(path)]


def main() -> int:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("directory", metavar="DIRECTORY")
    parser.add_argument("--encoding", choices=["gbk", "utf-8"], default="gbk",
                        help="the logs' encoding (default gbk: bytes are screened as they are)")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running Dask scheduler, e.g. tcp://10.0.0.5:8786 "
                             "(default: a LocalCluster)")
    parser.add_argument("--workers", type=int, default=os.cpu_count() or 1,
                        help="worker processes of the LocalCluster (default: one per core)")
    parser.add_argument("--block-size", type=float, default=64, metavar="MIB",
                        help="bytes per task, in MiB (default 64)")
    parser.add_argument("--output", metavar="FILE",
                        help="write the lines found here, not to standard output")
    args = parser.parse_args()
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # `| head` ends it quietly, as it does the tool

    from dask.distributed import Client, LocalCluster

    files = archive_files(args.directory)
    block = max(1, int(args.block_size * 1024 * 1024))
    tasks = [(path, offset, min(block, size - offset))
             for path in files
             for size in [os.path.getsize(path)]
             for offset in range(0, size, block)]

    if args.scheduler:
        cluster = None
        client = Client(args.scheduler)
    else:
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address="127.0.0.1:0")
        client = Client(cluster)
    try:
        workers = len(client.scheduler_info()["workers"])
        start = time.perf_counter()
        futures = client.map(screen_block, *zip(*tasks), encoding=args.encoding) if tasks else []
        results = client.gather(futures)
        seconds = time.perf_counter() - start
    except OSError as error:  # a file that cannot be read, raised on a worker
        print(f"screen_archive: {error}", file=sys.stderr)
        return 2
    finally:
        client.close()
        if cluster is not None:
            cluster.close()

    # File names are written back as the bytes they are, UTF-8 or not.
    if args.output:
        out = open(args.output, "w", encoding="utf-8", errors="surrogateescape")
    else:
        out = sys.stdout
        out.reconfigure(errors="surrogateescape")
    lines = size = banned = errors = 0
    first_line = {}  # path -> number of lines before the current block
    for (path, _, _), (count, length, flags) in zip(tasks, results):
        before = first_line.get(path, 0)
        for index, verdict in flags:
            out.write(f"{path}:{before + index + 1}: {verdict}\n")
            banned += verdict == "banned"
            errors += verdict == "error"
        first_line[path] = before + count
        lines += count
        size += length
    if out is not sys.stdout:
        out.close()

    megabytes = size / 1e6
    print(f"screened {len(files)} files, {lines} lines, {megabytes:.1f} MB in {seconds:.2f} s "
          f"({megabytes / seconds if seconds > 0 else 0:.1f} MB/s) on {workers} workers: "
          f"{banned} banned, {errors} errors", file=sys.stderr)
    return 2 if errors else 1 if banned else 0


if __name__ == "__main__":
    sys.exit(main())
