"""The Dask example, examples/screen_archive.py, on generated archives with
two worker processes: its lines against `tavrin check` on the same files, in
GBK on a LocalCluster of its own and in UTF-8 on a running cluster given by
address; the inputs it once read otherwise than the tool (UTF-16, files
that say they are empty, a path named twice, links and FIFOs); the
locale's encoding when none is named, as the tool's; and every input
problem reported on standard error, with the other files' lines still
printed and exit status 2. Every run names its locale."""

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
    """Three files of 2.5 MiB, each cut into three blocks of 1 MiB, an empty
    one, and one whose lines meet the blocks' edges; returns their paths in
    order."""
    subprocess.run([sys.executable, EXAMPLES / "make_chat_archive.py", "--files", "3",
                    "--mib", "2.5", "--encoding", encoding, directory], check=True)
    (Path(directory) / "edges.log").write_bytes(
        b"a\n" * (1 << 19)  # 1 MiB: the next line begins where a block does
        + b"sb\n" + b"y" * (3 << 20) + b" <img\n"  # and one is longer than a block
        + b"ok\n" * 1000 + b"the last line, without a newline: .com")
    return sorted(str(path) for path in Path(directory).iterdir())


def in_locale(locale, environment=None):
    """`environment` (os.environ by default) with LC_ALL=locale, and no
    other locale variable."""
    return {**{name: value for name, value in (environment or os.environ).items()
               if not name.startswith(("LC_", "LANG"))}, "LC_ALL": locale}


def tool_check(files, encoding="gbk", locale="C"):
    """The exit status of `tavrin check`, its lines that are not clean, and
    how many lines it screened; with no encoding, as `locale` reads."""
    named = ["--encoding", encoding] if encoding else []
    run = subprocess.run([os.environ["TAVRIN_TOOL"], "check", *named, *files],
                         capture_output=True, env=in_locale(locale))
    lines = run.stdout.decode("utf-8", "surrogateescape").splitlines()
    return run.returncode, [line for line in lines if not line.endswith(": clean")], len(lines)


def run_example(*args, locale="C", env=None):
    run = subprocess.run([*EXAMPLE, "--block-size", "1", *map(str, args)], capture_output=True,
                         timeout=300, env=in_locale(locale, env))
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


def readable_example(directory):
    """The example and the installed package copied into `directory`, with
    the interpreter that runs them and their environment: another user may
    not enter the checkout or the venv (mktemp -d makes a folder of mode
    0700), but can enter `directory`."""
    import tavrin

    site = directory / "site"
    shutil.copytree(os.path.dirname(tavrin.__file__), site / "tavrin")
    shutil.copy(EXAMPLES / "screen_archive.py", directory)
    # The venv's interpreter is a link to Debian's, which sees Dask.
    return [os.path.realpath(sys.executable), str(directory / "screen_archive.py")], \
        {"PYTHONPATH": str(site), "HOME": str(directory)}


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
    example, environment = readable_example(shared_directory)
    run = subprocess.run([*user, *example, "--workers", "2", logs, logs / "missing",
                          logs / "*.none"], capture_output=True, timeout=300, cwd=shared_directory,
                         env=in_locale("C", {**os.environ, **environment}))
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


def replace_by_fifo(path):
    os.unlink(path)
    os.mkfifo(path)


@pytest.mark.parametrize("change, complaint", [
    (os.unlink, "cannot open: No such file or directory"),
    # Opened without blocking, or its worker would wait for a writer for ever.
    (replace_by_fifo, "no longer a regular file, not screened"),
])
def test_a_file_that_vanishes_is_reported_and_the_rest_screened(tmp_path, cluster, change,
                                                                complaint):
    files = make_archive(tmp_path / "logs")
    gone = files.pop(1)
    expected = tool_check(files)[1]
    with Client(cluster) as client:
        # Every worker waits, so the example's blocks wait in the queue
        # until the file is gone. The event is the case's own: the cluster
        # outlives it.
        name = f"go-{change.__name__}"
        go = Event(name, client)
        waits = [client.submit(wait_for_event, name, workers=[worker], pure=False)
                 for worker in client.scheduler_info()["workers"]]
        example = subprocess.Popen([*EXAMPLE, "--scheduler", cluster.scheduler_address,
                                    tmp_path / "logs"], stdout=subprocess.PIPE,
                                   stderr=subprocess.PIPE, env=in_locale("C"))
        deadline = time.monotonic() + 120
        while not client.run_on_scheduler(
                lambda dask_scheduler: any(str(key).startswith("screen_block")
                                           for key in dask_scheduler.tasks)):
            assert time.monotonic() < deadline and example.poll() is None
            time.sleep(0.05)
        change(gone)
        go.set()
        out, err = example.communicate(timeout=300)
        client.gather(waits)
    assert f"screen_archive: {gone}: {complaint}" in err.decode()
    assert out.decode().splitlines() == expected
    assert example.returncode == 2


def utf16_logs(directory):
    """UTF-16 as Notepad (no last line break) and PowerShell (CRLF) write
    it, a lone surrogate, GBK behind a forged mark, and a first line of
    UTF-16 before GBK lines: the example's lines and exit status must be the
    tool's with no encoding named and with one."""
    directory.mkdir()
    chat = "hello\r\nsee you on the Avenue\r\n你好\r\n操\r\n"
    (directory / "a-notepad.log").write_bytes(b"\xff\xfe" + chat[:-2].encode("utf-16-le"))
    (directory / "b-powershell.log").write_bytes(b"\xfe\xff" + chat.encode("utf-16-be"))
    (directory / "c-surrogate.log").write_bytes(
        b"\xff\xfe" + "ok\n".encode("utf-16-le") + b"\x00\xd8" + "x\nsex".encode("utf-16-le"))
    gbk = b"\xc4\xe3\xba\xc3\nfuck\n\xb2\xd9\nok\n"
    (directory / "d-false-mark.log").write_bytes(b"\xff\xfe" + gbk)
    (directory / "e-forged.log").write_bytes(b"\xff\xfe" + "hi ".encode("utf-16-le") + gbk * 1000)
    return [directory], [directory]


def files_that_say_they_are_empty(directory, request):
    """/proc/PID/comm of a process named "sex": 0 bytes by stat, 4 by read."""
    process = subprocess.Popen([sys.executable, "-c", "import ctypes, sys, time; "
                                "ctypes.CDLL(None).prctl(15, b'sex', 0, 0, 0); "
                                "print(flush=True); time.sleep(300)"], stdout=subprocess.PIPE)
    request.addfinalizer(process.kill)
    process.stdout.readline()
    comm = f"/proc/{process.pid}/comm"
    assert os.stat(comm).st_size == 0
    return [comm], [comm]


def paths_named_twice(directory):
    directory.mkdir()
    (directory / "dup.log").write_bytes(b"ok\nsb\n")
    (directory / "sub").mkdir()
    (directory / "sub" / "file.log").write_bytes(b"fine\nx.com\n")
    dup, sub = directory / "dup.log", directory / "sub"
    return [dup, dup, sub, sub / "file.log"], [dup, sub]


def links_and_fifos_inside(directory):
    """Passed over by both, and no error for either."""
    directory.mkdir()
    (directory / "banned.log").write_bytes(b"what the fuck\n")
    (directory / "link").symlink_to(directory / "banned.log")
    os.mkfifo(directory / "pipe")
    return [directory], [directory]


@pytest.mark.parametrize("inputs, encoding", [
    (utf16_logs, None), (utf16_logs, "utf-8"), (files_that_say_they_are_empty, None),
    (paths_named_twice, None), (links_and_fifos_inside, "gbk")])
def test_the_example_reads_each_file_as_the_tool_does(tmp_path, request, cluster, inputs,
                                                      encoding):
    setup = [tmp_path / "logs"] + ([request] if inputs is files_that_say_they_are_empty else [])
    paths, tool_paths = inputs(*setup)
    named = ["--encoding", encoding] if encoding else []
    status, lines, report = run_example("--scheduler", cluster.scheduler_address, *named, *paths)
    tool_status, flagged, count = tool_check(["-r", *map(str, tool_paths)], encoding)
    assert (status, lines) == (tool_status, flagged), report
    assert f", {count} lines," in report
    assert any(line.endswith(": banned") for line in flagged)


@pytest.mark.parametrize("locale", ["C", "C.UTF-8"])
def test_without_encoding_the_locale_chooses_it_as_it_does_for_the_tool(tmp_path, cluster,
                                                                        locale):
    # 比这 holds 日 (C8 D5) in GBK: in UTF-8 the first line is banned and the
    # second an error; as GBK bytes the first is clean and the second banned.
    (tmp_path / "logs").mkdir()
    chat = "比这\n"
    (tmp_path / "logs" / "chat.log").write_bytes(chat.encode("utf-8") + chat.encode("gbk"))
    status, lines, report = run_example("--scheduler", cluster.scheduler_address,
                                        tmp_path / "logs", locale=locale)
    tool_status, flagged, _ = tool_check([str(tmp_path / "logs" / "chat.log")], None, locale)
    assert (status, lines) == (tool_status, flagged), report
    assert len(flagged) == (2 if locale == "C.UTF-8" else 1)
    assert ("--encoding gbk" in report) == (locale == "C.UTF-8")


@pytest.mark.parametrize("arguments, complaint, locale", [
    (["--workers", "0"], "--workers: must be at least 1", "C"),
    (["--block-size", "0.5"], "--block-size: must be at least 1", "C"),
    (["--block-size", "nan"], "--block-size: must be at least 1", "C"),
    (["--block-size", "4096"], "--block-size: must be at least 1, at most 4095", "C"),
    (["--encoding", "latin-1"], "--encoding: invalid choice", "C"),
    ([], "the following arguments are required: PATH", "C"),
    (["--output", "/nonexistent/banned.txt"], "/nonexistent/banned.txt: cannot open", "C"),
    (["--scheduler", "tcp://127.0.0.1:9"], "cannot reach the scheduler at tcp://127.0.0.1:9",
     "C"),
    (["--workers", "1"], "the locale says GB18030, which screen_archive cannot read",
     "zh_CN.GB18030"),
])
def test_bad_options_and_failures_exit_2_before_screening(tmp_path, arguments, complaint,
                                                          locale):
    (tmp_path / "banned.log").write_bytes(b"what the fuck\n")
    status, lines, report = run_example(*arguments, *([tmp_path] if arguments else []),
                                        locale=locale,
                                        env={**os.environ,
                                             "DASK_DISTRIBUTED__COMM__TIMEOUTS__CONNECT": "1s"})
    assert complaint in report and "screened" not in report
    assert (status, lines) == (2, [])


def test_a_write_error_exits_2(tmp_path):
    (tmp_path / "banned.log").write_bytes(b"what the fuck\n")
    with open("/dev/full", "wb") as full:
        run = subprocess.run([*EXAMPLE, "--workers", "1", tmp_path], stdout=full,
                             stderr=subprocess.PIPE, timeout=300, env=in_locale("C"))
    assert "screen_archive: cannot write the output: No space left on device" in run.stderr.decode()
    assert run.returncode == 2
