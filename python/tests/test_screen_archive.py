"""The Dask example, examples/screen_archive.py, on generated archives with
two worker processes: its lines against `tavrin check` on the same files, in
GBK on a LocalCluster of its own and in UTF-8 on a running cluster given by
address; and every input problem reported on standard error, with the other
files' lines still printed and exit status 2."""

import os
import shutil
import subprocess
import sys
import tempfile
import time
from pathlib import Path

import pytest
from dask.distributed import Client, Event, LocalCluster

EXAMPLES = Path(os.environ["TAVRIN_EXAMPLES_DIR"])
EXAMPLE = [sys.executable, str(EXAMPLES / "screen_archive.py")]


def make_archive(directory, encoding="gbk"):
    """Three files of 2.5 MB, each cut into three blocks of 1 MiB, an empty
    one, and one whose lines meet the blocks' edges; returns their paths in
    order."""
    subprocess.run([sys.executable, EXAMPLES / "make_chat_archive.py", "--files", "3",
                    "--megabytes", "2.5", "--encoding", encoding, directory], check=True)
    (Path(directory) / "edges.log").write_bytes(
        b"a\n" * (1 << 19)  # 1 MiB: the next line begins where a block does
        + b"sb\n" + b"y" * (3 << 20) + b" <img\n"  # and one is longer than a block
        + b"ok\n" * 1000 + b"the last line, without a newline: .com")
    return sorted(str(path) for path in Path(directory).iterdir())


def tool_check(files, encoding="gbk"):
    """The exit status of `tavrin check`, its lines that are not clean, and
    how many lines it screened."""
    run = subprocess.run([os.environ["TAVRIN_TOOL"], "check", "--encoding", encoding, *files],
                         capture_output=True)
    lines = run.stdout.decode("utf-8", "surrogateescape").splitlines()
    return run.returncode, [line for line in lines if not line.endswith(": clean")], len(lines)


def run_example(*args, **options):
    run = subprocess.run([*EXAMPLE, "--block-size", "1", *map(str, args)], capture_output=True,
                         timeout=300, **options)
    return run.returncode, run.stdout.decode("utf-8", "surrogateescape").splitlines(), \
        run.stderr.decode("utf-8", "surrogateescape")


@pytest.fixture(scope="module")
def cluster():
    with LocalCluster(n_workers=2, threads_per_worker=1, processes=True, host="127.0.0.1",
                      dashboard_address="127.0.0.1:0") as running:
        yield running


@pytest.mark.parametrize("encoding", ["gbk", "utf-8"])
def test_answers_equal_the_tools(tmp_path, encoding, request):
    files = make_archive(tmp_path / "logs", encoding)
    if encoding == "gbk":  # a pattern, expanded by the example itself
        status, lines, summary = run_example("--encoding", encoding, "--workers", 2,
                                             tmp_path / "logs" / "*")
    else:
        address = request.getfixturevalue("cluster").scheduler_address
        status, lines, summary = run_example("--encoding", encoding, "--scheduler", address,
                                             tmp_path / "logs")
    tool_status, flagged, count = tool_check(files, encoding)
    assert (status, lines) == (tool_status, flagged), summary
    assert f"screened {len(files)} files, {count} lines" in summary
    assert "on 2 workers" in summary and " MB/s) " in summary
    # The archive holds what the comparison is about.
    assert any(line.endswith(": banned") for line in flagged)
    assert (encoding == "utf-8") == any(line.endswith(": error") for line in flagged)


@pytest.fixture
def shared_directory():
    """A directory that another user can enter (tmp_path's parent is root's
    alone)."""
    directory = tempfile.mkdtemp(prefix="tavrin-archive-")
    os.chmod(directory, 0o755)
    yield Path(directory)
    for path in Path(directory).rglob("*"):
        if not path.is_symlink():
            path.chmod(0o755)
    shutil.rmtree(directory)


def test_what_cannot_be_read_is_reported_and_the_rest_screened(shared_directory):
    logs = shared_directory / "logs"
    files = make_archive(logs)
    (logs / "locked").mkdir()
    shutil.copy(files[0], logs / "locked" / "banned.log")
    shutil.copy(files[0], logs / "secret.log")
    (logs / "link").symlink_to(logs / "locked")
    os.mkfifo(logs / "pipe")
    for path in [logs / "locked", logs / "secret.log"]:
        path.chmod(0)
    # Root reads everything: run as a user the modes apply to.
    user = ["setpriv", "--reuid=65534", "--regid=65534", "--clear-groups"] \
        if os.geteuid() == 0 else []
    run = subprocess.run([*user, *EXAMPLE, "--workers", "2", logs, logs / "missing",
                          logs / "*.none"], capture_output=True, timeout=300, cwd=shared_directory,
                         env={**os.environ, "HOME": str(shared_directory)})
    report = run.stderr.decode()
    for line in [f"{logs}/locked: cannot read the directory: Permission denied",
                 f"{logs}/secret.log: cannot open: Permission denied",
                 f"{logs}/link: a symbolic link, not followed",
                 f"{logs}/pipe: not a regular file",
                 f"{logs}/missing: No such file or directory",
                 f"{logs}/*.none: no such file or directory, and no file matches the pattern"]:
        assert f"screen_archive: {line}" in report
    assert "screened 5 files" in report and "6 inputs not screened" in report
    assert run.stdout.decode().splitlines() == tool_check(files)[1]
    assert run.returncode == 2


def wait_for_event(name):
    Event(name).wait()


def test_a_file_that_vanishes_is_reported_and_the_rest_screened(tmp_path, cluster):
    files = make_archive(tmp_path / "logs")
    gone = files.pop(1)
    expected = tool_check(files)[1]
    with Client(cluster) as client:
        # Every worker waits, so the example's blocks wait in the queue
        # until the file is gone.
        go = Event("go", client)
        waits = [client.submit(wait_for_event, "go", workers=[worker], pure=False)
                 for worker in client.scheduler_info()["workers"]]
        example = subprocess.Popen([*EXAMPLE, "--scheduler", cluster.scheduler_address,
                                    tmp_path / "logs"], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE)
        deadline = time.monotonic() + 120
        while not client.run_on_scheduler(
                lambda dask_scheduler: any(str(key).startswith("screen_block")
                                           for key in dask_scheduler.tasks)):
            assert time.monotonic() < deadline and example.poll() is None
            time.sleep(0.05)
        os.unlink(gone)
        go.set()
        out, err = example.communicate(timeout=300)
        client.gather(waits)
    assert f"screen_archive: {gone}: cannot open: No such file or directory" in err.decode()
    assert out.decode().splitlines() == expected
    assert example.returncode == 2


@pytest.mark.parametrize("arguments, complaint", [
    (["--workers", "0"], "--workers: must be at least 1"),
    (["--block-size", "0.5"], "--block-size: must be at least 1"),
    (["--block-size", "nan"], "--block-size: must be at least 1"),
    (["--block-size", "4096"], "--block-size: must be at least 1, at most 4095"),
    (["--encoding", "latin-1"], "--encoding: invalid choice"),
    ([], "the following arguments are required: PATH"),
    (["--output", "/nonexistent/banned.txt"], "/nonexistent/banned.txt: cannot open"),
    (["--scheduler", "tcp://127.0.0.1:9"], "cannot reach the scheduler at tcp://127.0.0.1:9"),
])
def test_bad_options_and_failures_exit_2_before_screening(tmp_path, arguments, complaint):
    (tmp_path / "banned.log").write_bytes(b"what the fuck\n")
    status, lines, report = run_example(*arguments, *([tmp_path] if arguments else []),
                                        env={**os.environ,
                                             "DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT": "1s"})
    assert complaint in report and "screened" not in report
    assert (status, lines) == (2, [])


def test_a_write_error_exits_2(tmp_path):
    (tmp_path / "banned.log").write_bytes(b"what the fuck\n")
    with open("/dev/full", "wb") as full:
        run = subprocess.run([*EXAMPLE, "--workers", "1", tmp_path], stdout=full,
                             stderr=subprocess.PIPE, timeout=300)
    assert "screen_archive: cannot write the output: No space left on device" in run.stderr.decode()
    assert run.returncode == 2
