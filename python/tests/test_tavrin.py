"""The tavrin package as installed from its wheel: each function on bytes,
on the other bytes-like types and on str; screen_lines against is_valid line
by line; find and is_valid_many against the tool's explain, rows against its
rows."""

import base64
import json
import mmap
import os
import platform
import random
import re
import subprocess
import sys

from importlib import metadata

import pytest

import tavrin


def test_the_installed_wheel_is_what_runs():
    package = os.path.dirname(tavrin.__file__)
    assert sys.prefix != sys.base_prefix, "not run in a venv"
    assert package.startswith(sys.prefix + os.sep)
    assert tavrin._library_path == os.path.join(package, "libtavrin.so.1")
    assert tavrin.__version__ == os.environ["TAVRIN_VERSION"]


def readelf(*options):
    return subprocess.run(["readelf", "-W", *options, tavrin._library_path],
                          capture_output=True, text=True, check=True).stdout


def test_the_wheel_is_tagged_for_the_glibc_its_library_needs():
    tags = [line.split(": ", 1)[1] for line in
            metadata.distribution("tavrin").read_text("WHEEL").splitlines()
            if line.startswith("Tag: ")]
    newest = max(int(minor) for minor in re.findall(r"Name: GLIBC_2\.(\d+)", readelf("-V")))
    assert tags == [f"py3-none-manylinux_2_{newest}_{platform.machine()}"]
    # It needs nothing else of the host: the C++ runtime is inside, and so
    # are no symbols but the exported ones.
    needed = re.findall(r"\(NEEDED\).*\[(.*)\]", readelf("-d"))
    assert [name for name in needed if name.startswith(("libstdc++", "libgcc_s"))] == []
    assert ".symtab" not in readelf("-S")


def test_installing_the_source_folder_says_to_run_make_python(tmp_path):
    # As a user types it, build isolation and all, but with no index: the
    # message comes before anything would be fetched.
    run = subprocess.run([sys.executable, "-m", "pip", "install", "--no-index",
                          "--no-cache-dir", "--disable-pip-version-check",
                          "--target", tmp_path / "installed", os.environ["TAVRIN_PYTHON_DIR"]],
                         capture_output=True, text=True)
    assert run.returncode != 0
    assert "make python" in run.stdout + run.stderr
    assert not (tmp_path / "installed").exists()


def test_rows_are_the_tools():
    listed = subprocess.run([os.environ["TAVRIN_TOOL"], "rows", "--json"], capture_output=True,
                            check=True).stdout.decode("utf-8").splitlines()
    objects = [json.loads(line) for line in listed]
    expected = [(o["row"], o["gbk"]["text"].encode() if "text" in o["gbk"]
                 else base64.b64decode(o["gbk"]["bytes"]), o["text"]) for o in objects]
    assert tavrin.rows() == expected and len(expected) == 54
    assert tavrin.rows()[17] == tavrin.Row(18, b"\xc8\xd5", "日")


@pytest.mark.parametrize("locale", [
    {}, {"LANG": "C"}, {"LC_ALL": "C.UTF-8", "LANG": "zh_CN.GBK"}, {"LANG": "zh_CN.GB18030"},
    {"LC_CTYPE": "zh_CN.GBK", "LANG": "C.UTF-8"},
    # Not installed (Python then sets LC_CTYPE=C.UTF-8 for itself): the name tells.
    {"LC_CTYPE": "xx_YY.UTF-8", "LANG": "zh_CN.GBK"}, {"LANG": "xx_YY.gb18030@euro"}])
def test_locale_encoding_is_what_the_tool_reads(locale):
    environment = {**{name: value for name, value in os.environ.items()
                      if not name.startswith(("LC_", "LANG"))}, **locale}
    python = subprocess.run([sys.executable, "-c",
                             "import tavrin; print(tavrin.locale_encoding())"],
                            capture_output=True, text=True, env=environment, check=True).stdout
    # A lone FF byte is clean as GBK, and an error in UTF-8 and in GB18030.
    errors = subprocess.run([os.environ["TAVRIN_TOOL"], "check"], input=b"\xff\n",
                            capture_output=True, env=environment).stderr.decode()
    tool = "utf-8" if "invalid UTF-8" in errors else "gb18030" if "invalid GB18030" in errors \
        else "gbk"
    assert python.strip() == tool


def test_is_valid():
    assert tavrin.is_valid(b"hello world")
    assert not tavrin.is_valid(b"clean\0then Essex")  # a zero byte hides nothing
    # The bytes of "比这" in UTF-8 hold no row; its GBK form B1 C8 D5 E2 holds
    # 日 (C8 D5) across the two characters.
    assert tavrin.is_valid("比这".encode("utf-8"))
    assert not tavrin.is_valid("比这")
    assert tavrin.is_valid("Hello \U0001F44B")
    with pytest.raises(ValueError):
        tavrin.is_valid("a lone surrogate \ud800")


def test_filtrate():
    assert tavrin.filtrate(b"fine\0") == b"fine\0"
    assert tavrin.filtrate(b"x.COM") == b"***<br>"
    assert tavrin.filtrate("晚上好 \U0001F319") == "晚上好 \U0001F319"
    assert tavrin.filtrate("祝你生日快乐") == "***<br>"


def test_find():
    assert tavrin.find(b"sb\0xx\0db sb") == [(6, 6, b"db"), (12, 0, b"sb")]
    assert tavrin.find(b"good") == []
    # In GBK the emoji is one '?' and 比 two bytes: 日 is at byte 6.
    assert tavrin.find("\U0001F600这个比这") == [(18, 6, "日")]


def test_is_valid_many():
    texts = [b"ok", "Essex", b"a\0<img", "晚上好", b"", bytearray(b"two\nlines: sb"),
             memoryview(b"\n"), "a\nline of 日"]
    assert tavrin.is_valid_many(iter(texts)) == [True, False, False, True, True, False, True,
                                                 False]
    assert tavrin.is_valid_many([]) == []
    # One text is not an iterable of texts: a str would be screened a
    # character at a time, and every character is clean.
    for wrong in [[b"ok", 5], "what the fuck", b"what the fuck", bytearray(b"sb")]:
        with pytest.raises(TypeError):
            tavrin.is_valid_many(wrong)


@pytest.mark.parametrize("head, options, form", [
    (b"\xff\xfe" + "hi\r\n".encode("utf-16-le"), {}, tavrin.INPUT_UTF16LE),
    (b"\xff\xfe" + "hi\r\n".encode("utf-16-le"), {"encoding_named": True},
     tavrin.INPUT_MARK_CONTRADICTED),
    (b"\xfe\xff" + "你好 ".encode("utf-16-be"), {}, tavrin.INPUT_UTF16BE),
    (b"\xff\xfe", {"whole": True}, tavrin.INPUT_UTF16LE),
    (b"\xff\xfe", {}, tavrin.INPUT_FALSE_MARK),
    (b"\xff\xfefuck you, visit evil.com\nsex sex\n", {"whole": True}, tavrin.INPUT_FALSE_MARK),
    ("hello world".encode("utf-16-be"), {}, tavrin.INPUT_UTF16BE_UNMARKED),
    (b"sex\0\n", {"whole": True}, tavrin.INPUT_BYTES),
])
def test_input_form_is_the_tools_decision(head, options, form):
    assert tavrin.input_form(head, **options) == form
    assert tavrin.input_form(memoryview(b"<" + head)[1:], **options) == form


def test_utf16_windows_and_buffers_that_cannot_be_screened():
    assert tavrin.utf16_is_text("你好\n".encode("utf-16-le"))
    assert not tavrin.utf16_is_text("你好\n".encode("utf-16-le"), big_endian=True)
    assert not tavrin.utf16_is_text(bytearray(b"fuck you"))
    with pytest.raises(TypeError):
        tavrin.input_form("\ufeffhi")
    # A strided view is not contiguous: the same error from every call.
    strided = memoryview(b"sxexx")[::2]
    for call in [tavrin.is_valid, lambda text: tavrin.is_valid_many([b"ok", text]),
                 tavrin.input_form]:
        with pytest.raises(BufferError):
            call(strided)


def generated_lines(count):
    """Lines of rows (their case flipped at random), zero bytes and any other
    bytes but line endings."""
    rng = random.Random(20261208)
    rows = tavrin._ROWS
    others = [b for b in range(256) if b not in b"\r\n"]
    lines = []
    for _ in range(count):
        parts = []
        for _ in range(rng.randrange(12)):
            roll = rng.random()
            if roll < 0.15:
                row = rng.choice(rows)
                parts.append(row.swapcase() if rng.random() < 0.5 else row)
            elif roll < 0.3:
                parts.append(b"\0")
            else:
                parts.append(bytes([rng.choice(others)]))
        lines.append(b"".join(parts))
    return lines


def test_find_and_is_valid_many_agree_with_explain(tmp_path):
    lines = generated_lines(2000)
    path = tmp_path / "lines.txt"
    path.write_bytes(b"\n".join(lines) + b"\n")
    tool = os.environ["TAVRIN_TOOL"]
    explained = subprocess.run([tool, "explain", "--encoding", "gbk", str(path)],
                               capture_output=True).stdout
    verdicts = {}
    rows = {}
    for text in explained.decode("utf-8", "surrogateescape").splitlines():
        number, _, rest = text[len(str(path)) + 1:].partition(": ")
        number = int(number)
        hit = re.match(r"row (\d+) at byte (\d+): ", rest)
        if hit:
            rows.setdefault(number, []).append((int(hit[1]), int(hit[2])))
        else:
            verdicts[number] = rest == "clean"
    assert len(verdicts) == len(lines)
    assert tavrin.is_valid_many(lines) == [verdicts[n + 1] for n in range(len(lines))]
    for n, line in enumerate(lines):
        assert [(m.row, m.offset) for m in tavrin.find(line)] == rows.get(n + 1, []), line
    assert 0.2 < sum(verdicts.values()) / len(lines) < 0.8


def lines_of(data):
    return data.split(b"\n")[:-1] if data.endswith(b"\n") else data.split(b"\n") if data else []


def read_only_mmap(data, tmp_path):
    path = tmp_path / "data"
    path.write_bytes(data)
    with open(path, "rb") as file:
        return mmap.mmap(file.fileno(), 0, access=mmap.ACCESS_READ)


def utf8_lines():
    """Chat lines in UTF-8 with rows, characters GBK lacks, and lines that
    are not well-formed UTF-8, from a lone continuation byte to a surrogate."""
    rng = random.Random(20261209)
    pieces = ["比这", "晚上好", "\U0001F600", "Essex", "ok", " ", "\0", "\r", "５１７８６", ".公司"]
    broken = [b"\x80", b"\xc0\x80", b"\xed\xa0\x80", b"\xe4\xb8", b"\xf4\x90\x80\x80"]
    lines = []
    for _ in range(2000):
        line = "".join(rng.choice(pieces) for _ in range(rng.randrange(6))).encode("utf-8")
        if rng.random() < 0.1:
            cut = rng.randrange(len(line) + 1)
            line = line[:cut] + rng.choice(broken) + line[cut:]
        lines.append(line)
    return lines


BYTES_LIKE = {
    "bytes": lambda text, _: text,
    "bytearray": lambda text, _: bytearray(text),
    "memoryview": lambda text, _: memoryview(b"<" + text + b">")[1:-1],  # a slice of a view
    "mmap": read_only_mmap,
}


@pytest.mark.parametrize("kind", BYTES_LIKE)
@pytest.mark.parametrize("encoding", ["gbk", "utf-8"])
def test_screen_lines_answers_is_valid_line_by_line(tmp_path, encoding, kind):
    lines = generated_lines(2000) if encoding == "gbk" else utf8_lines()
    lines[7] = b"x" * 300000 + b".Cn"  # a line longer than any piece the library screens
    joined = b"\n".join(lines)
    for text in [joined, joined + b"\n", b"", b"\n\n", b"sb", b"\r\n<img\r"]:
        if kind == "mmap" and not text:
            continue  # a file of no bytes cannot be mapped
        held = BYTES_LIKE[kind](text, tmp_path)
        expected = []
        for line in lines_of(text):
            try:
                clean = tavrin.is_valid(line if encoding == "gbk" else line.decode("utf-8"))
                expected.append(tavrin.CLEAN if clean else tavrin.BANNED)
            except UnicodeDecodeError:
                expected.append(tavrin.INVALID)
        assert list(tavrin.screen_lines(held, encoding)) == expected
        # The other functions take the same object, screened as GBK.
        assert tavrin.is_valid(held) == tavrin.is_valid(text)
        assert tavrin.find(held) == tavrin.find(text)
        assert tavrin.filtrate(held) is held if tavrin.is_valid(text) else \
            tavrin.filtrate(held) == b"***<br>"
    with pytest.raises(TypeError, match="bytes"):
        tavrin.screen_lines("Essex", encoding)
    with pytest.raises(ValueError):
        tavrin.screen_lines(b"ok", encoding.upper())
