"""The tavrin package as installed from its wheel: each function on bytes and
on str, and find and is_valid_many against the tool's explain."""

import os
import random
import re
import subprocess
import sys

import pytest

import tavrin


def test_the_installed_wheel_is_what_runs():
    package = os.path.dirname(tavrin.__file__)
    assert sys.prefix != sys.base_prefix, "not run in a venv"
    assert package.startswith(sys.prefix + os.sep)
    assert tavrin._library_path == os.path.join(package, "libtavrin.so.1")
    assert tavrin.__version__ == os.environ["TAVRIN_VERSION"]


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
    texts = [b"ok", "Essex", b"a\0<img", "晚上好", b""]
    assert tavrin.is_valid_many(iter(texts)) == [True, False, False, True, True]
    assert tavrin.is_valid_many([]) == []
    with pytest.raises(TypeError):
        tavrin.is_valid_many([b"ok", 5])


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
