"""Screens text against Tavrin's fixed, built-in list of 54 banned words.

A text is banned when any row of the list occurs anywhere in it as a run of
bytes, with the ASCII letters compared without regard to case: inside longer
words ("Essex" holds "sex") and across the boundary between two GBK
characters alike.

Every function takes a ``str`` or a bytes-like object:

- A bytes-like object (``bytes``, ``bytearray``, ``memoryview``, ``mmap``,
  read-only or not, or anything else with the buffer protocol) is screened
  as it is and where it lies, without a copy: ASCII, or Chinese in GBK (code
  page 936). A zero byte is an ordinary byte.
- ``str`` is converted to GBK by the library itself, exactly as
  ``tavrin check --encoding utf-8`` converts a line; a character GBK lacks
  (an emoji, say) is screened as ``?``. A ``str`` that cannot be encoded as
  UTF-8 (a lone surrogate) raises ``ValueError``.

``screen_lines`` screens every line of a buffer in one call, for logs and
archives: it takes bytes only, and the encoding is named. ``input_form``
says how to read a file from its first bytes (as bytes, or as UTF-16 after
a byte-order mark), as the tavrin tool decides it, and ``locale_encoding``
names the encoding the tool reads in this process's locale. ``rows`` lists
the built-in list itself.

The screening is done by libtavrin.so.1 through its C interface (ctypes,
CPython): the interpreter lock is released during each call into it, so
threads screen in parallel, and a buffer is held (it cannot be resized or
closed) until the call has returned. The library bundled with this package
is used if present, else the system's libtavrin.so.1.
"""

from __future__ import annotations

import ctypes
import locale
import mmap
import operator
import os
import threading
from typing import Callable, Iterable, List, NamedTuple, Tuple, TypeVar, Union

__all__ = [
    "BANNED", "CLEAN", "INPUT_BYTES", "INPUT_FALSE_MARK", "INPUT_MARK_CONTRADICTED",
    "INPUT_SAMPLE", "INPUT_UTF16BE", "INPUT_UTF16BE_UNMARKED", "INPUT_UTF16LE",
    "INPUT_UTF16LE_UNMARKED", "INVALID", "Match", "Row", "filtrate", "find", "input_form",
    "is_valid", "is_valid_many", "locale_encoding", "rows", "screen_lines", "utf16_is_text",
    "__version__",
]

#: What screen_lines says of a line: no row occurs in it,
CLEAN = 0
#: some row occurs in it,
BANNED = 1
#: or, under UTF-8 only, it is not well-formed UTF-8 (never clean).
INVALID = 2

#: How input_form says to read an input: its bytes, in the encoding chosen;
INPUT_BYTES = 0
#: UTF-16 LE or BE text after its byte-order mark, from byte 2 on;
INPUT_UTF16LE, INPUT_UTF16BE = 1, 2
#: UTF-16 without a mark, which cannot be screened as bytes: report it;
INPUT_UTF16LE_UNMARKED, INPUT_UTF16BE_UNMARKED = 3, 4
#: UTF-16 text after a mark, though another encoding was named: report it;
INPUT_MARK_CONTRADICTED = 5
#: a mark before what is not UTF-16 text: screen the bytes, mark and all,
#: and report the mark.
INPUT_FALSE_MARK = 6
#: The first bytes of an input that input_form looks at, and the size of
#: each later window of a UTF-16 input that utf16_is_text is asked about.
INPUT_SAMPLE = 4096

BytesLike = Union[bytes, bytearray, memoryview, mmap.mmap]
Text = TypeVar("Text", bytes, bytearray, memoryview, mmap.mmap, str)

# What Tavrin::Filtrate writes in place of a banned text: "***" and the HTML
# line break "<br>".
_MARKER = b"***<br>"


def _load_library() -> ctypes.CDLL:
    bundled = os.path.join(os.path.dirname(os.path.abspath(__file__)), "libtavrin.so.1")
    name = bundled if os.path.exists(bundled) else "libtavrin.so.1"
    try:
        return ctypes.CDLL(name)
    except OSError as error:
        raise ImportError(f"tavrin cannot load libtavrin.so.1: {error}") from error


class _CMatch(ctypes.Structure):
    _fields_ = [("row", ctypes.c_uint), ("offset", ctypes.c_size_t)]


_lib = _load_library()
#: The file the library was loaded from.
_library_path: str = _lib._name

# Texts are passed as c_void_p: bytes (which ctypes passes where they lie) or
# the address of a held buffer. Never a str, which ctypes would pass as
# wchar_t; every caller turns a str into bytes first.
_size_t = ctypes.c_size_t
for _call, _rest, _result in [
        (_lib.tavrin_is_valid, [], ctypes.c_int),
        (_lib.tavrin_is_valid_utf8, [], ctypes.c_int),
        (_lib.tavrin_find, [ctypes.POINTER(_CMatch), _size_t], _size_t),
        (_lib.tavrin_find_utf8, [ctypes.POINTER(_CMatch), _size_t], _size_t),
        (_lib.tavrin_screen_lines, [ctypes.c_void_p, _size_t, ctypes.POINTER(_size_t)], _size_t),
        (_lib.tavrin_screen_lines_utf8, [ctypes.c_void_p, _size_t, ctypes.POINTER(_size_t)],
         _size_t)]:
    _call.argtypes = [ctypes.c_void_p, _size_t, *_rest]
    _call.restype = _result
_lib.tavrin_input_form.argtypes = [ctypes.c_void_p, _size_t, ctypes.c_uint]
_lib.tavrin_input_form.restype = ctypes.c_int
_lib.tavrin_utf16_is_text.argtypes = [ctypes.c_void_p, _size_t, ctypes.c_int]
_lib.tavrin_utf16_is_text.restype = ctypes.c_int
_lib.tavrin_row.argtypes = [ctypes.c_uint, ctypes.POINTER(_size_t)]
_lib.tavrin_row.restype = ctypes.c_void_p
_lib.tavrin_version.argtypes = []
_lib.tavrin_version.restype = ctypes.c_char_p

_FIND_FAILED = _size_t(-1).value
_SCREEN_LINES = {"gbk": _lib.tavrin_screen_lines, "utf-8": _lib.tavrin_screen_lines_utf8}


class _PyBuffer(ctypes.Structure):
    """CPython's Py_buffer: what PyObject_GetBuffer fills."""
    _fields_ = [("buf", ctypes.c_void_p), ("obj", ctypes.c_void_p),
                ("len", ctypes.c_ssize_t), ("itemsize", ctypes.c_ssize_t),
                ("readonly", ctypes.c_int), ("ndim", ctypes.c_int),
                ("format", ctypes.c_char_p), ("shape", ctypes.c_void_p),
                ("strides", ctypes.c_void_p), ("suboffsets", ctypes.c_void_p),
                ("internal", ctypes.c_void_p)]


# Through ctypes.pythonapi, which holds the interpreter lock and raises the
# exception a failed call sets (TypeError for an object without the buffer
# protocol, BufferError for one that is not contiguous).
_get_buffer = ctypes.pythonapi.PyObject_GetBuffer
_get_buffer.argtypes = [ctypes.py_object, ctypes.POINTER(_PyBuffer), ctypes.c_int]
_get_buffer.restype = ctypes.c_int
_release_buffer = ctypes.pythonapi.PyBuffer_Release
_release_buffer.argtypes = [ctypes.POINTER(_PyBuffer)]
_release_buffer.restype = None
_PYBUF_SIMPLE = 0  # contiguous bytes; read-only buffers included


class _HeldBytes:
    """The bytes of a bytes-like object where they lie, as (address, length).
    The object is held until the with-block ends: a bytearray cannot be
    resized nor an mmap closed meanwhile, so the address stays good while
    the library reads it without the interpreter lock."""

    __slots__ = ("_view",)

    def __init__(self, data: BytesLike) -> None:
        self._view = _PyBuffer()
        _get_buffer(data, self._view, _PYBUF_SIMPLE)

    def __enter__(self) -> Tuple[int, int]:
        return self._view.buf or 0, self._view.len

    def __exit__(self, *_: object) -> None:
        _release_buffer(self._view)


def _rows() -> List[bytes]:
    rows = []
    length = _size_t()
    while True:
        address = _lib.tavrin_row(len(rows) + 1, ctypes.byref(length))
        if not address:
            return rows
        rows.append(ctypes.string_at(address, length.value))


#: The GBK bytes of each row: row r is _ROWS[r - 1]; and its characters,
#: decoded by Python's GBK codec.
_ROWS = _rows()
_ROW_TEXTS = [row.decode("gbk") for row in _ROWS]

#: The library's version.
__version__: str = _lib.tavrin_version().decode("ascii")


class Match(NamedTuple):
    """One row of the list found in a text.

    ``row`` is the row's number, 1 to 54. ``offset`` is the byte offset of
    its first occurrence in the bytes screened: the text itself, or for a
    ``str`` its GBK form (as ``tavrin explain --encoding utf-8`` counts).
    ``word`` is the row: its GBK bytes for bytes, its characters for a
    ``str``.
    """

    row: int
    offset: int
    word: Union[bytes, str]


class Row(NamedTuple):
    """One row of the built-in list: its number ``row``, 1 to 54; ``gbk``,
    its bytes as the library screens them; and ``text``, those bytes
    decoded by Python's GBK codec (``gbk.decode("gbk")``)."""

    row: int
    gbk: bytes
    text: str


def rows() -> List[Row]:
    """The 54 rows of the built-in list, in table order, as the library
    holds them (``tavrin rows`` lists the same)."""
    return [Row(number, gbk, text) for number, (gbk, text) in enumerate(zip(_ROWS, _ROW_TEXTS), 1)]


def _utf8(text: str) -> bytes:
    return text.encode("utf-8")  # UnicodeEncodeError is a ValueError


def _call_on_text(text: Union[BytesLike, str], on_bytes: Callable, on_utf8: Callable):
    """on_bytes(address_or_bytes, length) for bytes-like text, on_utf8 on the
    UTF-8 of a str: bytes go as they are, other buffers are held."""
    if isinstance(text, bytes):
        return on_bytes(text, len(text))
    if isinstance(text, str):
        data = _utf8(text)
        return on_utf8(data, len(data))
    with _HeldBytes(text) as (address, length):
        return on_bytes(address, length)


def _call_on_bytes(data: BytesLike, call: Callable, what: str):
    """call(address_or_bytes, length) on a bytes-like object; a str raises
    TypeError."""
    if isinstance(data, str):
        raise TypeError(f"{what} takes bytes, not str")
    if isinstance(data, bytes):
        return call(data, len(data))
    with _HeldBytes(data) as (address, length):
        return call(address, length)


def input_form(head: BytesLike, *, encoding_named: bool = False, whole: bool = False) -> int:
    """How to read a file or stream whose first bytes are ``head``, as the
    tavrin tool decides it: one of the INPUT_* forms. Give the first
    INPUT_SAMPLE bytes, or all of a shorter input with ``whole=True``;
    ``encoding_named`` says that the user named the encoding (the tool's
    -e), as opposed to a default.

    A byte-order mark is obeyed only before UTF-16 text and only when no
    encoding was named, so that two bytes at the start of a log never make
    its banned lines pass. A reader that reads UTF-16 asks utf16_is_text of
    every later window of INPUT_SAMPLE bytes (those at offsets k *
    INPUT_SAMPLE, k >= 1, that the input fills) and reports the input when
    one is not. The rules are in tavrin_c.h, tavrin_input_form."""
    flags = (1 if encoding_named else 0) | (2 if whole else 0)
    return _call_on_bytes(head, lambda data, length: _lib.tavrin_input_form(data, length, flags),
                          "input_form")


def utf16_is_text(window: BytesLike, big_endian: bool = False) -> bool:
    """Whether ``window``, whole UTF-16 code units from an even offset after
    the mark, is UTF-16 text: it holds a code unit from U+0001 to U+00FF, as
    every stretch of real text does, and as bytes behind a mark never do."""
    return _call_on_bytes(window, lambda data, length: _lib.tavrin_utf16_is_text(
        data, length, 1 if big_endian else 0), "utf16_is_text") == 1


def locale_encoding() -> str:
    """The encoding ``tavrin check`` reads when no ``--encoding`` is given,
    in the locale this process was started in: "utf-8" in a UTF-8 locale,
    "gb18030" in a GB18030 locale, "gbk" in any other (GBK, GB2312, and the
    C locale of scripts). The locale is the one the first of LC_ALL,
    LC_CTYPE and LANG that is set names; one that is not installed here is
    known by the character set in its name ("en_US.UTF-8"), as the tool
    knows it.

    The variables are read as the process was started with them: Python
    started in the C locale, or in one that is not installed, sets
    LC_CTYPE=C.UTF-8 in its own environment (PEP 538), which would make
    every script answer "utf-8" where the tool, in the same shell, reads
    GBK."""
    environment = _startup_environment()
    name = next((environment[v] for v in ("LC_ALL", "LC_CTYPE", "LANG") if environment.get(v)),
                "C")
    codeset = _codeset_of_locale(name)
    if codeset is None:  # not installed: its name tells
        dot = name.find(".")
        codeset = name[dot + 1:].split("@")[0] if dot >= 0 else ""
    return _LOCALE_ENCODINGS.get(codeset.lower(), "gbk")


# A character set's name (any case) -> the encoding the tool reads in it.
_LOCALE_ENCODINGS = {"utf-8": "utf-8", "utf8": "utf-8", "gb18030": "gb18030",
                     "gbk": "gbk", "cp936": "gbk"}
_libc = ctypes.CDLL(None, use_errno=True)
_libc.newlocale.argtypes = [ctypes.c_int, ctypes.c_char_p, ctypes.c_void_p]
_libc.newlocale.restype = ctypes.c_void_p
_libc.nl_langinfo_l.argtypes = [ctypes.c_int, ctypes.c_void_p]
_libc.nl_langinfo_l.restype = ctypes.c_char_p
_libc.freelocale.argtypes = [ctypes.c_void_p]
_libc.freelocale.restype = None


def _startup_environment() -> dict:
    """The environment this process was started with, from
    /proc/self/environ (which what the process sets later does not change);
    os.environ where that cannot be read."""
    try:
        with open("/proc/self/environ", "rb") as file:
            entries = file.read().split(b"\0")
    except OSError:
        return dict(os.environ)
    return dict(os.fsdecode(entry).partition("=")[::2] for entry in entries if b"=" in entry)


def _codeset_of_locale(name: str):
    """The character set of the locale `name` (its LC_CTYPE), as the C
    library has it, without touching this process's own locale; None when
    it is not installed."""
    handle = _libc.newlocale(1 << locale.LC_CTYPE, os.fsencode(name), None)
    if not handle:
        return None
    try:
        return _libc.nl_langinfo_l(locale.CODESET, handle).decode("ascii", "replace")
    finally:
        _libc.freelocale(handle)


def is_valid(text: Union[BytesLike, str]) -> bool:
    """True when no banned word occurs in ``text``; False when one does (or
    when the library cannot screen it: it fails closed). Raises ValueError
    for a str that is not well-formed UTF-8."""
    result = _call_on_text(text, _lib.tavrin_is_valid, _lib.tavrin_is_valid_utf8)
    if result < 0:
        raise ValueError("the text is not well-formed UTF-8")
    return result == 1


def filtrate(text: Text) -> Union[Text, bytes]:
    """``text`` itself when it is clean, else ``"***<br>"``: a str for a
    str, bytes for a bytes-like text (as Tavrin::Filtrate replaces a banned
    text whole)."""
    if is_valid(text):
        return text
    return _MARKER.decode("ascii") if isinstance(text, str) else _MARKER


def find(text: Union[BytesLike, str]) -> List[Match]:
    """Every row that occurs in ``text``, in row order, each with the offset
    of its first occurrence; an empty list for a clean text. Raises
    RuntimeError when the library cannot screen the text."""
    matches = (_CMatch * len(_ROWS))()
    count = _call_on_text(text,
                          lambda data, length: _lib.tavrin_find(data, length, matches, len(matches)),
                          lambda data, length: _lib.tavrin_find_utf8(data, length, matches,
                                                                     len(matches)))
    if count == _FIND_FAILED:
        raise RuntimeError("the library could not screen the text")
    words = _ROW_TEXTS if isinstance(text, str) else _ROWS
    return [Match(m.row, m.offset, words[m.row - 1]) for m in matches[:count]]


def screen_lines(data: BytesLike, encoding: str = "gbk") -> bytes:
    """The verdict of every line of ``data``, one byte per line in order:
    CLEAN, BANNED, or under ``encoding="utf-8"`` INVALID for a line that is
    not well-formed UTF-8. ``encoding`` is "gbk" (ASCII or GBK bytes,
    screened as they are) or "utf-8" (each line converted to GBK as a str
    is); anything else raises ValueError.

    A line ends at b"\\n", which is not part of it; the last line may have
    none. Data that ends with b"\\n" has no empty line after it, and empty
    data has no lines. b"\\r" is an ordinary byte: no row holds it, so a
    CRLF line gets the verdict of the line without its ending.

    ``data`` is any bytes-like object (an mmap of a whole file, say), screened
    where it lies without a copy; a str raises TypeError. The interpreter
    lock is released while the library screens. Raises RuntimeError when the
    library cannot screen the data (UTF-8 without a converter in the C
    library): it never calls such data clean."""
    screen = _SCREEN_LINES.get(encoding)
    if screen is None:
        raise ValueError(f"encoding must be 'gbk' or 'utf-8', not {encoding!r}")
    if isinstance(data, str):
        raise TypeError("screen_lines takes bytes, not str: pass text.encode('utf-8') "
                        "with encoding='utf-8'")
    with _HeldBytes(data) as (address, length):
        return _screen_held_lines(screen, address, length)


# Each thread's verdict buffer, kept from call to call: memory that was
# written once costs nothing to write again, where fresh pages cost a fault
# each. One that has grown past _KEPT_VERDICTS is let go after its call.
_scratch = threading.local()
_KEPT_VERDICTS = 16 << 20


def _screen_held_lines(screen: Callable, address: int, length: int) -> bytes:
    """Calls `screen` until every line of address[0 .. length) has its
    verdict in this thread's buffer, growing it as needed, and returns them."""
    verdicts = getattr(_scratch, "verdicts", None) or (ctypes.c_ubyte * (1 << 16))()
    consumed = _size_t()
    done = lines = 0
    while done < length:
        if lines == len(verdicts):
            grown = (ctypes.c_ubyte * (2 * lines))()
            ctypes.memmove(grown, verdicts, lines)
            verdicts = grown
        count = screen(address + done, length - done, ctypes.byref(verdicts, lines),
                       len(verdicts) - lines, ctypes.byref(consumed))
        if count == 0:
            raise RuntimeError("the library could not screen the data")
        done += consumed.value
        lines += count
    _scratch.verdicts = verdicts if len(verdicts) <= _KEPT_VERDICTS else None
    return ctypes.string_at(verdicts, lines)


def is_valid_many(texts: Iterable[Union[BytesLike, str]]) -> List[bool]:
    """``is_valid`` of each text, in order. The bytes-like texts are laid
    end to end and screened a few thousand per call, and so are the str. Raises
    TypeError when ``texts`` is itself one text (a str or bytes-like
    object): put it in a list, or call is_valid."""
    if isinstance(texts, (str, bytes, bytearray, memoryview, mmap.mmap)) or _has_buffer(texts):
        raise TypeError(f"is_valid_many takes an iterable of texts, not one "
                        f"{type(texts).__name__}: pass [text] or call is_valid")
    items = texts if isinstance(texts, list) else list(texts)
    try:  # most often, every text is bytes
        return _valid_each(items, "gbk")
    except TypeError:
        pass
    gbk, utf8 = [], []
    for index, text in enumerate(items):
        if isinstance(text, str):
            utf8.append(index)
        elif isinstance(text, (bytes, bytearray, memoryview)) or _has_buffer(text):
            with memoryview(text) as view:
                if not view.c_contiguous:  # as is_valid says of it
                    raise BufferError(f"is_valid_many: text {index} is not C-contiguous")
            gbk.append(index)
        else:
            raise TypeError(f"is_valid_many: text {index} has type {type(text).__name__}, "
                            f"expected bytes or str")
    verdicts = [False] * len(items)
    for where, encoding, encode in [(gbk, "gbk", None), (utf8, "utf-8", _utf8)]:
        batch = [items[i] if encode is None else encode(items[i]) for i in where]
        for index, verdict in zip(where, _valid_each(batch, encoding)):
            verdicts[index] = verdict
    return verdicts


# Texts per call: their joined copy stays small enough to be memory that is
# reused from batch to batch, and in cache while the library reads it.
_BATCH = 4096


def _valid_each(texts: List[BytesLike], encoding: str) -> List[bool]:
    """Lays `texts` out as lines, one after another, and screens them a
    batch per call. A text that holds b"\\n" is several lines, and banned when
    any of them is: no row holds b"\\n". Raises TypeError unless every text
    is bytes-like."""
    valid: List[bool] = []
    for start in range(0, len(texts), _BATCH):
        batch = texts[start:start + _BATCH]
        verdicts = screen_lines(b"\n".join([*batch, b""]), encoding)
        if len(verdicts) == len(batch):
            valid += map(operator.not_, verdicts)
            continue
        at = 0
        for text in batch:
            lines = bytes(text).count(b"\n") + 1
            valid.append(not any(verdicts[at:at + lines]))
            at += lines
    return valid


def _has_buffer(item: object) -> bool:
    try:
        memoryview(item).release()
        return True
    except TypeError:
        return False
