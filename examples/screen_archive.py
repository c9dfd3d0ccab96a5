#!/usr/bin/env python3
"""Screens archives of chat logs with Tavrin on a Dask cluster.

Each PATH is a directory, every file under it screened in the order of
their paths (symbolic links, FIFOs, devices and sockets inside it are
passed over, as `tavrin check -r` passes over them, and named on standard
error), a file, or a glob pattern that the shell has left alone
('logs/2026-*.log'), as `tavrin check -r` takes them. A path named twice is
screened once. Every file is cut into blocks of whole lines (at least one,
whatever size it is listed with), and each block is screened by one task on
the cluster: the worker reads it a megabyte of whole lines at a time into a
buffer it keeps, and the library gives the verdict of every line of a piece
in one call (tavrin.screen_lines). Only the lines that are not clean come
back, numbered from the block's line count.

A file is read as `tavrin check` reads it, from what the library says of its
first bytes (tavrin.input_form): as bytes in the encoding given, or, with a
UTF-16 byte-order mark before UTF-16 text and no --encoding given, as
UTF-16, in one task that decodes the whole file. A mark with --encoding
given, or before what is not UTF-16 text, and UTF-16 without a mark are
errors, as they are for the tool. Without --encoding the encoding is the
locale's, as for the tool (tavrin.locale_encoding): utf-8 in a UTF-8 locale,
gbk in any other but a GB18030 one, which is an error here (screen_lines
reads GBK and UTF-8 only).

Lines follow the rules of `tavrin check`: a line ends at "\\n" or "\\r\\n",
the last line of a file may have no newline, and under --encoding utf-8 (and
in UTF-16) a line that is not well-formed is an error, never clean. It
prints what `tavrin check` prints for every line that is not clean,
NAME:LINE: banned or NAME:LINE: error, in file and line order, and then a
summary on standard error: files, lines, banned lines, errors, megabytes and
MB/s (the time from handing the blocks to the cluster to the last answer).

Every problem is one line on standard error: a PATH that does not exist, a
directory or file that cannot be read, a file that vanished or is no longer
a regular file, an encoding problem, a task that failed. The rest is still
screened and printed. The exit status is that of `tavrin check`: 0 every
line clean, 1 some line banned, 2 an error (any of those problems, a line
that is not well-formed, a bad option, missing packages, a scheduler that
cannot be reached, an output that cannot be opened or written). What is
passed over inside a directory changes nothing, as for the tool.

By default it starts a LocalCluster on this machine; --scheduler ADDRESS
uses a running cluster instead, whose workers have the tavrin package
installed and see the files at the same paths.

    python3 examples/screen_archive.py --encoding utf-8 logs/ > banned.txt
"""

from __future__ import annotations

import argparse
import glob
import logging
import os
import re
import signal
import stat
import sys
import time
from typing import BinaryIO, List, Optional, Tuple

PROGRAM = "screen_archive"
EXIT_ERROR = 2
LABELS = {1: b"banned", 2: b"error"}  # tavrin.BANNED, tavrin.INVALID
# The block size's bounds, in MiB: a task for every byte is no use, and a
# block of fewer than 4 GiB holds fewer than 2**32 lines, with the end of the
# last one.
BLOCK_MIB = (1, 4095)
MARK = re.compile(b"\1")  # a literal: faster to find than a class


class ClusterError(Exception):
    """A cluster that cannot be reached or cannot screen: one line, exit 2."""


# What one task found in one block of a file, as a plain tuple (it crosses
# to the client): how many lines and bytes it screened, the index in the
# block of each line that is not clean (an array("Q") as bytes) with its
# verdict (one byte each), and why it could not be screened, or None.
Block = Tuple[int, int, bytes, bytes, Optional[str]]
NOTHING: Block = (0, 0, b"", b"", None)


def open_regular(path: str) -> Tuple[Optional[int], Optional[str]]:
    """The descriptor of `path`, opened without blocking (a file replaced by
    a FIFO since the listing would wait for a writer for ever), and checked
    to be a regular file once open; or None and why not."""
    try:
        descriptor = os.open(path, os.O_RDONLY | os.O_NONBLOCK | os.O_CLOEXEC)
    except OSError as error:
        return None, f"cannot open: {error.strerror}"
    if not stat.S_ISREG(os.fstat(descriptor).st_mode):
        os.close(descriptor)
        return None, "no longer a regular file, not screened"
    return descriptor, None


def form_of(descriptor: int, encoding_named: bool) -> Tuple[int, bytes]:
    """What the library says of the file's first bytes (tavrin.input_form),
    and those bytes."""
    import tavrin

    head = os.pread(descriptor, tavrin.INPUT_SAMPLE, 0)
    return tavrin.input_form(head, encoding_named=encoding_named,
                             whole=len(head) < tavrin.INPUT_SAMPLE), head


class Found:
    """The lines of a block that are not clean, as they are found: their
    indices in the block and their verdicts."""

    def __init__(self) -> None:
        from array import array

        self.lines = self.size = 0
        self.where = array("I")  # 4 bytes: a block holds fewer than 2**32 lines (see BLOCK_MIB)
        self.verdicts: List[bytes] = []

    def add(self, piece, encoding: str) -> None:
        """Screens the whole lines of `piece` and keeps what is not clean."""
        import tavrin

        found = tavrin.screen_lines(piece, encoding)
        # The lines that are not clean are a few in a hundred: find them
        # at C speed, and send back only them.
        marks = found.replace(b"\2", b"\1") if encoding == "utf-8" else found
        self.where.extend(map(self.lines.__add__, map(re.Match.start, MARK.finditer(marks))))
        self.verdicts.append(found.translate(None, b"\0"))
        self.lines += len(found)

    def block(self, why: Optional[str] = None) -> Block:
        return self.lines, self.size, self.where.tobytes(), b"".join(self.verdicts), why


def screen_block(path: str, begin: int, end: Optional[int], form: int, encoding: str,
                 encoding_named: bool) -> Block:
    """One task: the lines of `path` that begin in [begin, end), end None for
    the last block of the file (up to its end, however long it is now), as
    bytes in `encoding`; or, for a UTF-16 form, the whole file. The first
    block's task sees that the file's first bytes still have the form they
    were listed with. Runs on a worker."""
    import tavrin

    if form in (tavrin.INPUT_UTF16LE, tavrin.INPUT_UTF16BE):
        return screen_utf16_file(path, form)
    descriptor, why = open_regular(path)
    if why:
        return 0, 0, b"", b"", why
    found = Found()
    try:
        if begin == 0 and form_of(descriptor, encoding_named)[0] != form:
            return 0, 0, b"", b"", "its first bytes changed since it was listed, not screened"
        for start, stop in pieces_of_block(descriptor, begin, end):
            with memoryview(WORKER_BUFFER[0])[start:stop] as piece:
                found.add(piece, encoding)
            found.size += stop - start
    except OSError as error:
        return 0, 0, b"", b"", f"cannot read: {error.strerror}"
    finally:
        os.close(descriptor)
    return found.block()


def screen_utf16_file(path: str, form: int) -> Block:
    """Screens the whole of `path`, UTF-16 after its byte-order mark, as
    `tavrin check` reads it: converted to UTF-8 a piece at a time and
    screened as UTF-8, a code unit that is not UTF-16 (a lone surrogate, a
    last odd byte) making its line an error; and every later window of
    tavrin.INPUT_SAMPLE bytes asked tavrin.utf16_is_text, so that a file
    that stops being UTF-16 text is reported. Runs on a worker."""
    import codecs

    import tavrin

    descriptor, why = open_regular(path)
    if why:
        return 0, 0, b"", b"", why
    big_endian = form == tavrin.INPUT_UTF16BE
    codec = "utf-16-be" if big_endian else "utf-16-le"
    decoder = codecs.getincrementaldecoder(codec)("surrogatepass")
    window = tavrin.INPUT_SAMPLE
    found = Found()
    line = b""  # the UTF-8 of the line not yet whole
    not_text = None
    offset = 0
    try:
        if form_of(descriptor, False)[0] != form:
            return 0, 0, b"", b"", "its first bytes changed since it was listed, not screened"
        while True:
            raw = os.pread(descriptor, PIECE, offset)
            if not raw:
                break
            first = max(window, -(-offset // window) * window) - offset  # the next window
            for start in range(first, len(raw) - window + 1, window):
                if not_text is None and not tavrin.utf16_is_text(raw[start:start + window],
                                                                 big_endian):
                    not_text = offset + start
            text = line + decoder.decode(raw[2:] if offset == 0 else raw).encode(
                "utf-8", "surrogatepass")
            cut = text.rfind(b"\n") + 1
            found.add(text[:cut], "utf-8")
            line = text[cut:]
            offset += len(raw)
        held, _ = decoder.getstate()
        odd = len(held) % 2  # the tool's converter makes it the byte FF, no UTF-8
        line += codecs.decode(held[:len(held) - odd], codec, "surrogatepass").encode(
            "utf-8", "surrogatepass") + b"\xff" * odd
        found.add(line, "utf-8")
    except OSError as error:
        return 0, 0, b"", b"", f"cannot read: {error.strerror}"
    finally:
        os.close(descriptor)
    found.size = offset
    if not_text is not None:
        return found.block(f"not UTF-16 text from byte {not_text} on ({window} bytes without a "
                           f"character from U+0001 to U+00FF), though it begins as UTF-16: its "
                           f"lines were screened as UTF-16")
    return found.block()


# Each worker reads a block a piece at a time into one buffer, kept from
# task to task (a worker keeps the globals of the functions it runs): memory
# written once costs nothing to write again, where fresh pages cost a fault
# each, and a piece is still in the cache when the library screens it.
# Reading, not mapping, also leaves a file that shrinks meanwhile harmless.
WORKER_BUFFER = [bytearray()]
PIECE = 1 << 20  # the buffer's size, unless a line is longer


def pieces_of_block(descriptor: int, begin: int, end: Optional[int]):
    """Yields (start, stop): a run of whole lines in WORKER_BUFFER[0]. Those
    of a block are the lines that begin in [begin, end): the block starts
    after the first newline at or past `begin` (at 0 for the first) and ends
    after the first newline at or past `end`, so consecutive blocks share no
    line and miss none. The last line of the file may have no newline."""
    offset, held = begin, 0  # WORKER_BUFFER[0][0 .. held) is the file from offset on
    skipping = begin > 0  # the end of a line that began before the block
    while True:
        held, at_end = fill(descriptor, offset, held)
        buffer = WORKER_BUFFER[0]
        start = 0
        if skipping:
            newline = buffer.find(b"\n", 0, held)
            if newline < 0 and not at_end and (end is None or offset + held < end):
                offset, held = offset + held, 0
                continue
            if newline < 0 or end is not None and offset + newline >= end:
                return  # no line begins in the block
            start, skipping = newline + 1, False
        if end is not None and offset + held > end:
            newline = buffer.find(b"\n", max(start, end - offset), held)
            if newline >= 0:
                yield start, newline + 1
                return
        if at_end:
            if held > start:
                yield start, held
            return
        last = buffer.rfind(b"\n", start, held)
        if last >= 0:
            yield start, last + 1
            start = last + 1
        buffer[:held - start] = buffer[start:held]  # the line not yet whole
        offset, held = offset + start, held - start


def fill(descriptor: int, offset: int, held: int) -> Tuple[int, bool]:
    """Reads the file from offset + held on into WORKER_BUFFER[0] after its
    `held` bytes, growing it when they fill it; returns how many it holds,
    and whether the file has ended."""
    buffer = WORKER_BUFFER[0]
    if held == len(buffer):
        grown = bytearray(max(PIECE, 2 * held))
        grown[:held] = buffer[:held]
        buffer = WORKER_BUFFER[0] = grown
    with memoryview(buffer)[held:] as room:
        got = os.preadv(descriptor, [room], offset + held)
    return held + got, got == 0


def prepare_worker(encoding: str) -> None:
    """Loads the library on a worker and makes its first calls, which build
    its tables (UTF-8's for UTF-16 too), so that the time measured is the
    screening's."""
    import tavrin

    for each in {encoding, "utf-8"}:
        tavrin.screen_lines(b"ready\n", each)


class Inputs:
    """The regular files to screen, in order, each once, with their sizes and
    the form of their first bytes (tavrin.input_form); every problem met
    while listing them, reported on standard error as it is met; and what
    was passed over inside the directories, named there too."""

    def __init__(self, skip: Optional[os.stat_result], encoding: str,
                 encoding_named: bool) -> None:
        self.files: List[Tuple[str, int, int]] = []
        self.problems = 0
        self.passed_over = 0
        self._skip = skip  # the output file, never screened
        self._encoding = encoding
        self._encoding_named = encoding_named  # given with --encoding, not the locale's
        self._seen = set()

    def report(self, path: str, problem: str) -> None:
        error(f"{path}: {problem}")
        self.problems += 1

    def add(self, given: str) -> None:
        paths = [given]
        if not os.path.lexists(given) and any(c in given for c in "*?["):
            paths = sorted(glob.glob(given, recursive=True))
            if not paths:
                self.report(given, "no such file or directory, and no file matches the pattern")
        for path in paths:
            try:
                self._add_entry(path, os.stat(path), True)  # a link named is followed
            except OSError as failure:
                self.report(path, failure.strerror or str(failure))

    def _add_entry(self, path: str, status: os.stat_result, named: bool) -> None:
        if stat.S_ISDIR(status.st_mode):
            self._add_directory(path)
        elif not stat.S_ISREG(status.st_mode):
            if named:
                self.report(path, "not a regular file or a directory, not screened")
            else:
                self._pass_over(path, "not a regular file, passed over")
        elif self._skip and os.path.samestat(status, self._skip):
            self.report(path, "is the output file, not screened")
        elif path not in self._seen:
            self._seen.add(path)
            self._add_file(path, status.st_size)

    def _pass_over(self, path: str, what: str) -> None:
        """Inside a directory, as `tavrin check -r` does: named, and not an
        error."""
        error(f"{path}: {what}")
        self.passed_over += 1

    def _add_file(self, path: str, size: int) -> None:
        import tavrin

        descriptor, why = open_regular(path)
        if why:
            self.report(path, why)
            return
        try:
            form, head = form_of(descriptor, self._encoding_named)
        except OSError as failure:
            self.report(path, f"cannot read: {failure.strerror}")
            return
        finally:
            os.close(descriptor)
        problem = form_problem(form, head, self._encoding)
        if problem:
            self.report(path, problem)
        if form in (tavrin.INPUT_BYTES, tavrin.INPUT_FALSE_MARK, tavrin.INPUT_UTF16LE,
                    tavrin.INPUT_UTF16BE):
            self.files.append((path, size, form))

    def _add_directory(self, directory: str) -> None:
        try:
            with os.scandir(directory) as listing:
                entries = sorted(listing, key=lambda entry: os.fsencode(entry.name))
        except OSError as failure:
            self.report(directory, f"cannot read the directory: {failure.strerror}")
            return
        for entry in entries:
            try:
                if entry.is_symlink():
                    self._pass_over(entry.path,
                                    "a symbolic link, not followed (name it to screen it)")
                else:
                    self._add_entry(entry.path, entry.stat(follow_symlinks=False), False)
            except OSError as failure:  # gone since the listing, say
                self.report(entry.path, failure.strerror or str(failure))


def form_problem(form: int, head: bytes, encoding: str) -> Optional[str]:
    """What is wrong with a file whose first bytes `head` have the form
    (tavrin.input_form), in the tool's words, or None. A file with a false
    mark is screened all the same."""
    import tavrin

    name = "UTF-8" if encoding == "utf-8" else "GBK"
    mark = head[:2].hex(" ").upper()
    if form == tavrin.INPUT_MARK_CONTRADICTED:
        return (f"not screened: it is UTF-16 text after the byte-order mark {mark}, not {name} "
                f"as --encoding says; without --encoding it is read as UTF-16")
    if form == tavrin.INPUT_FALSE_MARK:
        return (f"begins with a UTF-16 byte-order mark ({mark}) but is not UTF-16 text: "
                f"screened as {name}, the mark included")
    if form in (tavrin.INPUT_UTF16LE_UNMARKED, tavrin.INPUT_UTF16BE_UNMARKED):
        big = form == tavrin.INPUT_UTF16BE_UNMARKED
        order = "BE" if big else "LE"
        return (f"not screened: it looks like UTF-16 {order} without a byte-order mark (a zero "
                f"byte {'before' if big else 'after'} every other byte); convert it to UTF-8 "
                f"first (iconv -f UTF-16{order} -t UTF-8)")
    return None


def error(message: str) -> None:
    print(f"{PROGRAM}: {message}", file=sys.stderr, flush=True)


def within(least: float, most: Optional[float], kind: type):
    """An option's parser: a number of `kind` from least to most (or more,
    when most is None)."""
    bounds = f"at least {least}" + (f", at most {most}" if most is not None else "")

    def parse(text: str):
        try:
            value = kind(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
        if not (least <= value and (most is None or value <= most)):
            raise argparse.ArgumentTypeError(f"must be {bounds}, not {text}")
        return value
    return parse


def parse_arguments() -> argparse.Namespace:
    parser = argparse.ArgumentParser(
        prog=PROGRAM, description=__doc__.split("\n\n")[0],
        epilog="Exit status: 0 every line clean, 1 some line banned, 2 an error.")
    parser.add_argument("paths", metavar="PATH", nargs="+",
                        help="a directory, a file or a glob pattern")
    parser.add_argument("--encoding", choices=["gbk", "utf-8"],
                        help="the logs' encoding: gbk (bytes are screened as they are) or "
                             "utf-8. The default is the locale's, as tavrin check's (LC_ALL, "
                             "LC_CTYPE, LANG): utf-8 in a UTF-8 locale, gbk in any other but "
                             "GB18030, which needs --encoding here; and without --encoding a "
                             "file with a UTF-16 byte-order mark before UTF-16 text is read as "
                             "UTF-16, as tavrin check reads it without -e")
    parser.add_argument("--scheduler", metavar="ADDRESS",
                        help="a running Dask scheduler, e.g. tcp://10.0.0.5:8786 "
                             "(default: a LocalCluster)")
    parser.add_argument("--workers", type=within(1, None, int),
                        default=len(os.sched_getaffinity(0)),
                        help="worker processes of the LocalCluster (default: one per core)")
    parser.add_argument("--block-size", type=within(*BLOCK_MIB, float), default=64, metavar="MIB",
                        help=f"bytes per task, in MiB, {BLOCK_MIB[0]} to {BLOCK_MIB[1]} "
                             f"(default 64)")
    parser.add_argument("--output", metavar="FILE",
                        help="write the lines found here, not to standard output "
                             "(opened before anything is screened)")
    return parser.parse_args()


def run_on_cluster(args: argparse.Namespace, tasks: List[Tuple[str, int, Optional[int], int]]):
    """Screens every block on the cluster. Returns, for each task, its Block
    or the exception it failed with; how many workers there were; and the
    seconds from handing the blocks over to the last answer."""
    from dask.distributed import Client, LocalCluster, as_completed

    cluster = None
    if args.scheduler:
        try:
            client = Client(args.scheduler)
        except (OSError, TimeoutError) as failure:
            raise ClusterError(f"cannot reach the scheduler at {args.scheduler}: "
                                     f"{failure}") from None
    else:
        # A failed task is reported once, by main: the workers' own warnings
        # about it are kept out of standard error.
        cluster = LocalCluster(n_workers=args.workers, threads_per_worker=1, processes=True,
                               host="127.0.0.1", dashboard_address="127.0.0.1:0",
                               silence_logs=logging.ERROR)
        client = Client(cluster)
    try:
        workers = len(client.scheduler_info()["workers"])
        try:
            client.run(prepare_worker, args.encoding)
        except Exception as failure:  # the package is missing there, say
            raise ClusterError(f"the workers cannot screen: {type(failure).__name__}: "
                               f"{failure}") from None
        start = time.perf_counter()
        futures = client.map(screen_block, *zip(*tasks), encoding=args.encoding,
                             encoding_named=args.encoding_named,
                             pure=False) if tasks else []
        # Each answer is fetched as soon as it is ready, while the other
        # blocks are still being screened.
        answers = {}
        for future, answer in as_completed(futures, with_results=True, raise_errors=False):
            answers[future] = future.exception() if future.status == "error" else answer
        seconds = time.perf_counter() - start
        results = [answers[future] for future in futures]
    finally:
        client.close()
        if cluster is not None:
            cluster.close()
    return results, workers, seconds


def main() -> int:
    args = parse_arguments()
    signal.signal(signal.SIGPIPE, signal.SIG_DFL)  # `| head` ends it quietly, as it does the tool
    try:
        import tavrin  # noqa: F401 (the workers import it; see that it is there)
        import dask.distributed  # noqa: F401
    except ImportError as missing:
        error(f"needs the Python package {missing.name}: install the tavrin wheel (make python) "
              f"and Dask (Debian: python3-distributed)")
        return EXIT_ERROR
    args.encoding_named = args.encoding is not None
    if not args.encoding_named:
        args.encoding = tavrin.locale_encoding()
        if args.encoding not in ("gbk", "utf-8"):
            error(f"the locale says {args.encoding.upper()}, which screen_archive cannot read: "
                  f"name the logs' encoding with --encoding gbk or --encoding utf-8")
            return EXIT_ERROR

    try:
        out: BinaryIO = open(args.output, "wb") if args.output else sys.stdout.buffer
    except OSError as failure:
        error(f"{args.output}: cannot open: {failure.strerror}")
        return EXIT_ERROR
    inputs = Inputs(os.fstat(out.fileno()) if args.output else None, args.encoding,
                    args.encoding_named)
    for path in args.paths:
        inputs.add(path)

    # Every file gets a block, however small it was listed (a file in /proc
    # says 0 bytes, and another may be written after the listing); UTF-16 is
    # screened in one task, from its mark.
    block = int(args.block_size * 1024 * 1024)
    whole_file = (tavrin.INPUT_UTF16LE, tavrin.INPUT_UTF16BE)
    tasks = [(path, begin, begin + block if begin + block < size and form not in whole_file
              else None, form)
             for path, size, form in inputs.files
             for begin in (range(0, max(size, 1), block) if form not in whole_file else [0])]
    try:
        results, workers, seconds = run_on_cluster(args, tasks)
    except ClusterError as failure:
        error(str(failure))
        return EXIT_ERROR
    except Exception as failure:  # the cluster could not start, or was lost
        error(f"the cluster failed: {type(failure).__name__}: {failure}")
        return EXIT_ERROR

    lines = size = banned = invalid = failed = 0
    # Each path is listed once: path -> the lines of its blocks so far, or
    # None once one failed.
    lines_before = {}
    try:
        for (path, _, _, _), result in zip(tasks, results):
            before = lines_before.get(path, 0)
            if before is None:
                continue
            if isinstance(result, BaseException):
                result = (0, 0, b"", b"", f"the task failed: {type(result).__name__}: {result}")
            count, length, where, verdicts, why = result
            name = os.fsencode(path)
            out.write(b"".join(b"%s:%d: %s\n" % (name, before + index + 1, LABELS[verdict])
                               for index, verdict in zip(memoryview(where).cast("I"), verdicts)))
            lines_before[path] = before + count
            lines += count
            size += length
            banned += verdicts.count(1)
            invalid += verdicts.count(2)
            if why:
                # After its lines, if any: the lines after this block cannot
                # be numbered, so the file stops here, and is reported once.
                out.flush()
                error(f"{path}: {why}")
                lines_before[path] = None
                failed += 1
        out.flush()
        if out is not sys.stdout.buffer:
            out.close()
    except OSError as failure:
        error(f"cannot write the output: {failure.strerror}")
        return EXIT_ERROR

    screened = len(inputs.files) - failed
    megabytes = size / 1e6
    problems = inputs.problems + failed
    # What was passed over inside a directory is named, and not an error.
    named = problems + inputs.passed_over
    print(f"screened {screened} files, {lines} lines, {megabytes:.1f} MB in {seconds:.2f} s "
          f"({megabytes / seconds if seconds > 0 else 0:.1f} MB/s) on {workers} workers: "
          f"{banned} banned, {invalid} errors"
          + (f"; {named} inputs not screened, not whole or with an error (reported above)"
             if named else "")
          # As the tool says it: a GBK archive read in a UTF-8 terminal.
          + ("; the locale says UTF-8: for GBK logs use --encoding gbk"
             if invalid and args.encoding == "utf-8" and not args.encoding_named else ""),
          file=sys.stderr)
    return EXIT_ERROR if problems or invalid else 1 if banned else 0


if __name__ == "__main__":
    sys.exit(main())
