"""Screens text against Tavrin's fixed, built-in list of 54 banned words.

A text is banned when any row of the list occurs anywhere in it as a run of
bytes, with the ASCII letters compared without regard to case: inside longer
words ("Essex" holds "sex") and across the boundary between two GBK
characters alike.

Every function takes ``bytes`` or ``str``:

- ``bytes`` are screened as they are: ASCII, or Chinese in GBK (code page
  936). A zero byte is an ordinary byte.
- ``str`` is converted to GBK by the library itself, exactly as
  ``tavrin check --encoding utf-8`` converts a line; a character GBK lacks
  (an emoji, say) is screened as ``?``. A ``str`` that cannot be encoded as
  UTF-8 (a lone surrogate) raises ``ValueError``.

The screening is done by libtavrin.so.1 through its C interface (ctypes; the
interpreter lock is released during each call), so every language that uses
the library gives the same verdicts. The library bundled with this package
is used if present, else the system's libtavrin.so.1.
"""

from __future__ import annotations

import ctypes
import itertools
import os
from array import array
from typing import Iterable, List, NamedTuple, TypeVar, Union

__all__ = ["Match", "filtrate", "find", "is_valid", "is_valid_many", "__version__"]

Text = TypeVar("Text", bytes, str)

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

_lib.tavrin_is_valid.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
_lib.tavrin_is_valid.restype = ctypes.c_int
_lib.tavrin_is_valid_utf8.argtypes = [ctypes.c_char_p, ctypes.c_size_t]
_lib.tavrin_is_valid_utf8.restype = ctypes.c_int
for _find in (_lib.tavrin_find, _lib.tavrin_find_utf8):
    _find.argtypes = [ctypes.c_char_p, ctypes.c_size_t, ctypes.POINTER(_CMatch), ctypes.c_size_t]
    _find.restype = ctypes.c_size_t
_lib.tavrin_is_valid_many.argtypes = [
    ctypes.POINTER(ctypes.c_char_p),
    ctypes.POINTER(ctypes.c_size_t),
    ctypes.c_size_t,
    ctypes.POINTER(ctypes.c_ubyte),
]
_lib.tavrin_is_valid_many.restype = None
_lib.tavrin_row.argtypes = [ctypes.c_uint, ctypes.POINTER(ctypes.c_size_t)]
_lib.tavrin_row.restype = ctypes.c_void_p
_lib.tavrin_version.argtypes = []
_lib.tavrin_version.restype = ctypes.c_char_p

_FIND_FAILED = ctypes.c_size_t(-1).value
# The array type code of size_t, which on Linux is also that of a pointer.
_SIZE_T_CODE = next(c for c in "LQI" if array(c).itemsize == ctypes.sizeof(ctypes.c_size_t))


def _rows() -> List[bytes]:
    rows = []
    length = ctypes.c_size_t()
    while True:
        address = _lib.tavrin_row(len(rows) + 1, ctypes.byref(length))
        if not address:
            return rows
        rows.append(ctypes.string_at(address, length.value))


#: The GBK bytes of each row: row r is _ROWS[r - 1].
_ROWS = _rows()

#: The library's version.
__version__: str = _lib.tavrin_version().decode("ascii")


class Match(NamedTuple):
    """One row of the list found in a text.

    ``row`` is the row's number, 1 to 54. ``offset`` is the byte offset of
    its first occurrence in the bytes screened: the text itself, or for a
    ``str`` its GBK form (as ``tavrin explain --encoding utf-8`` counts).
    ``word`` is the row: its GBK bytes for a ``bytes`` text, its characters
    for a ``str``.
    """

    row: int
    offset: int
    word: Union[bytes, str]


def _utf8(text: str) -> bytes:
    return text.encode("utf-8")  # UnicodeEncodeError is a ValueError


def is_valid(text: Union[bytes, str]) -> bool:
    """True when no banned word occurs in ``text``; False when one does (or
    when the library cannot screen it: it fails closed)."""
    if isinstance(text, bytes):
        return _lib.tavrin_is_valid(text, len(text)) == 1
    if isinstance(text, str):
        data = _utf8(text)
        result = _lib.tavrin_is_valid_utf8(data, len(data))
        if result < 0:
            raise ValueError("the text is not well-formed UTF-8")
        return result == 1
    raise TypeError(f"expected bytes or str, not {type(text).__name__}")


def filtrate(text: Text) -> Text:
    """``text`` itself when it is clean, else ``"***<br>"`` of the same type
    (as Tavrin::Filtrate replaces a banned text whole)."""
    if is_valid(text):
        return text
    return _MARKER.decode("ascii") if isinstance(text, str) else _MARKER


def find(text: Union[bytes, str]) -> List[Match]:
    """Every row that occurs in ``text``, in row order, each with the offset
    of its first occurrence; an empty list for a clean text. Raises
    RuntimeError when the library cannot screen the text."""
    matches = (_CMatch * len(_ROWS))()
    if isinstance(text, bytes):
        count = _lib.tavrin_find(text, len(text), matches, len(matches))
        words: List[Union[bytes, str]] = list(_ROWS)
    elif isinstance(text, str):
        data = _utf8(text)
        count = _lib.tavrin_find_utf8(data, len(data), matches, len(matches))
        words = [row.decode("gbk") for row in _ROWS]
    else:
        raise TypeError(f"expected bytes or str, not {type(text).__name__}")
    if count == _FIND_FAILED:
        raise RuntimeError("the library could not screen the text")
    return [Match(m.row, m.offset, words[m.row - 1]) for m in matches[:count]]


def is_valid_many(texts: Iterable[Union[bytes, str]]) -> List[bool]:
    """``is_valid`` of each text, in order. The ``bytes`` among them are
    screened in one call into the library, however many there are."""
    items = list(texts)
    batch = [index for index, text in enumerate(items) if isinstance(text, bytes)]
    if len(batch) == len(items):
        return _screen_many(items)
    verdicts = [False if isinstance(text, bytes) else is_valid(text) for text in items]
    for index, verdict in zip(batch, _screen_many([items[i] for i in batch])):
        verdicts[index] = verdict
    return verdicts


def _screen_many(texts: List[bytes]) -> List[bool]:
    """tavrin_is_valid_many over `texts`. They are laid end to end in one
    buffer and the arrays of addresses and lengths are built by C loops,
    which costs a fraction of building ctypes arrays item by item."""
    count = len(texts)
    if count == 0:
        return []
    joined = b"".join(texts)  # kept alive until the call returns
    base = ctypes.cast(ctypes.c_char_p(joined), ctypes.c_void_p).value
    lengths = array(_SIZE_T_CODE, map(len, texts))
    starts = array(_SIZE_T_CODE, itertools.accumulate(lengths, initial=base))
    results = (ctypes.c_ubyte * count)()
    _lib.tavrin_is_valid_many(
        (ctypes.c_char_p * count).from_buffer(starts),
        (ctypes.c_size_t * count).from_buffer(lengths),
        count,
        results,
    )
    return list(map(bool, results))
