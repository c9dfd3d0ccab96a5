#!/usr/bin/env python3
"""Writes a directory of generated chat logs to try screen_archive.py on.

FILES files of about MIB MiB each (mebibytes, 2**20 bytes, the unit of
screen_archive.py --block-size), in GBK or UTF-8: chat lines in Chinese and
English, most of them clean, some with a banned word, some with a near
miss. Every second file has CRLF endings. To exercise the line rules, the
archive also has an empty file, a few lines with a zero byte, a last line
without a newline (one of them ending in a lone carriage return), and under
utf-8 a few lines that are not well-formed UTF-8.

    python3 examples/make_chat_archive.py --files 8 --mib 64 logs/
"""

from __future__ import annotations

import argparse
import os
import random

NAMES = ["小明", "阿强", "Lily", "王老师", "kevin_88", "月亮", "Tom", "小红"]
CLEAN = [
    "早上好", "今天天气不错", "我们几点见面？", "好的，没问题", "哈哈哈", "晚上一起吃饭吧",
    "这个方案可以", "收到", "谢谢大家", "明天见", "会议改到三点", "文件发你邮箱了",
    "good morning", "see you at noon", "thanks!", "ok", "lol", "on my way",
    "the build is green", "who is online?", "新年快乐 🎉", "我到了 👍",
]
NEAR_MISS = ["Sus se x", "a v", "d b", "fu ck", "51 786", "x . com", "< img", "比 这"]
BANNED = [
    "去Essex玩", "have a nice day", "visit shop.COM", "what the FUCK", "<img src=x>",
    "这个比这个好", "５１７８６", "feedback please", "妈的", "call 51786",
]
NOT_UTF8 = [b"\xff\xfe", b"\xc0\x80", b"\xed\xa0\x80", b"\xe4\xb8"]


def chat_line(rng: random.Random) -> str:
    words = [rng.choice(CLEAN) for _ in range(rng.randint(1, 4))]
    roll = rng.random()
    if roll < 0.03:
        words.insert(rng.randrange(len(words) + 1), rng.choice(BANNED))
    elif roll < 0.08:
        words.insert(rng.randrange(len(words) + 1), rng.choice(NEAR_MISS))
    return f"{rng.choice(NAMES)}: {' '.join(words)}"


def write_log(path: str, size: int, encoding: str, crlf: bool, rng: random.Random,
              tail: bytes) -> None:
    ending = b"\r\n" if crlf else b"\n"
    lines = []
    written = 0
    while written < size:
        line = chat_line(rng).encode("gbk" if encoding == "gbk" else "utf-8", errors="replace")
        roll = rng.random()
        if roll < 0.002:
            line = line.replace(b" ", b"\0", 1)
        elif encoding == "utf-8" and roll < 0.004:
            line += rng.choice(NOT_UTF8)
        lines.append(line + ending)
        written += len(lines[-1])
    with open(path, "wb") as file:
        file.write(b"".join(lines) + tail)


def at_least(least: float, kind: type):
    """An option's parser: a number of `kind`, `least` or more."""
    def parse(text: str):
        try:
            value = kind(text)
        except ValueError:
            raise argparse.ArgumentTypeError(f"not a number: {text!r}") from None
        if not value >= least:  # nan too
            raise argparse.ArgumentTypeError(f"must be at least {least}, not {text}")
        return value
    return parse


def main() -> None:
    parser = argparse.ArgumentParser(description=__doc__.split("\n\n")[0])
    parser.add_argument("directory", metavar="DIRECTORY",
                        help="where to write the logs (made if missing); logs of the same "
                             "names already there are overwritten")
    parser.add_argument("--files", type=at_least(0, int), default=4,
                        help="how many chat logs to write, chat-001.log on, besides the empty "
                             "empty.log (default 4)")
    parser.add_argument("--mib", "--megabytes", type=at_least(0, float), default=2,
                        metavar="MIB",
                        help="the size of each log in MiB (2**20 bytes), as screen_archive.py "
                             "--block-size counts; each ends after the line that reaches it "
                             "(default 2; --megabytes is an older name, in the same unit)")
    parser.add_argument("--encoding", choices=["gbk", "utf-8"], default="gbk",
                        help="the logs' encoding (default gbk); under utf-8 a few lines are "
                             "not well-formed UTF-8, as in real logs")
    parser.add_argument("--seed", type=int, default=1,
                        help="the seed of the random lines: the same seed and options write "
                             "the same archive (default 1)")
    args = parser.parse_args()

    rng = random.Random(args.seed)
    os.makedirs(args.directory, exist_ok=True)
    size = int(args.mib * (1 << 20))
    tails = [b"", b"last line without a newline", b"a lone carriage return\r"]
    for n in range(args.files):
        path = os.path.join(args.directory, f"chat-{n + 1:03d}.log")
        write_log(path, size, args.encoding, crlf=n % 2 == 1, rng=rng, tail=tails[n % len(tails)])
    open(os.path.join(args.directory, "empty.log"), "wb").close()


if __name__ == "__main__":
    main()
