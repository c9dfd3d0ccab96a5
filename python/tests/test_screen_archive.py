"""The Dask example, examples/screen_archive.py, on a generated archive with
two worker processes, against `tavrin check` on the same files: in GBK on a
LocalCluster of its own, in UTF-8 on a running cluster given by address."""

import os
import subprocess
import sys
from pathlib import Path

import pytest
from dask.distributed import LocalCluster

EXAMPLES = Path(os.environ["TAVRIN_EXAMPLES_DIR"])


def tool_check(files, encoding):
    """The exit status of `tavrin check`, its lines that are not clean, and
    how many lines it screened."""
    run = subprocess.run([os.environ["TAVRIN_TOOL"], "check", "--encoding", encoding, *files],
                         capture_output=True)
    lines = run.stdout.decode("utf-8", "surrogateescape").splitlines()
    return run.returncode, [line for line in lines if not line.endswith(": clean")], len(lines)


@pytest.mark.parametrize("encoding", ["gbk", "utf-8"])
def test_answers_equal_the_tools(tmp_path, encoding):
    archive = tmp_path / "logs"
    subprocess.run([sys.executable, EXAMPLES / "make_chat_archive.py", "--files", "3",
                    "--megabytes", "1.5", "--encoding", encoding, archive], check=True)
    command = [sys.executable, EXAMPLES / "screen_archive.py", "--encoding", encoding,
               # Small blocks, so that every file is cut many times.
               "--block-size", "0.1", archive]
    if encoding == "gbk":
        run = subprocess.run(command + ["--workers", "2"], capture_output=True, timeout=300)
    else:
        with LocalCluster(n_workers=2, threads_per_worker=1, processes=True,
                          host="127.0.0.1", dashboard_address="127.0.0.1:0") as cluster:
            run = subprocess.run(command + ["--scheduler", cluster.scheduler_address],
                                 capture_output=True, timeout=300)
    summary = run.stderr.decode()

    files = sorted(str(path) for path in archive.iterdir())
    status, flagged, lines = tool_check(files, encoding)
    assert run.returncode == status, summary
    assert run.stdout.decode("utf-8", "surrogateescape").splitlines() == flagged
    assert f"screened {len(files)} files, {lines} lines" in summary
    assert "on 2 workers" in summary
    # The archive holds what the comparison is about.
    assert any(line.endswith(": banned") for line in flagged)
    assert (encoding == "utf-8") == any(line.endswith(": error") for line in flagged)
