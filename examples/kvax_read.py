"""Read kvax array files into numpy: both representations, every section of a file.

    from kvax_read import read_unformatted, read_formatted
    for s in read_unformatted("m2.u"):            # tag_length=2, big_endian=False
        print(s.k, s.l, s.grid, s.element, s.tag, s.version, s.values.shape)
    sections = read_formatted("m2.f")             # tag_length=2

Each reader returns a list of Section, one per section of the file, in file order.
Section.values has shape (L, K) and values[j - 1, i - 1] is cell (i, j): the first index
is the row, counted from row 1, whatever order the file stores the rows in (both
representations store row L first and row 1 last). So values[0] is row 1 and a row is a
contiguous run of K cells, as in the program's own column-major grid (cell (i, j) is
element i + K*(j - 1) of values.ravel()).

Element types and the dtype of values:
    CMPX  complex64 (tag and version in the header)
    REAL  float32        DBLE  float64
    FLAG  int32          LOG1  bool (a nonzero byte, or "T"/"t" in text, is true)
Only complex sections carry a tag and a version; the others have tag and version None.

The formatted reader turns each field into a number as kvax does: the decimal value of
the field correctly rounded to the element type, so a file kvax wrote gives the bits
that kvax's own reading of it gives. Fields follow the program's reading rules: blanks
are ignored and a blank field is zero; a field without a decimal point has an implied
fraction (6 digits in complex rows, 4 in REAL and DBLE rows); the exponent may be
written with E, D or Q, or as a sign right after the digits; "NaN", "INF" and
"INFINITY" (any case, with an optional sign) name themselves. REAL and DBLE rows are
read under the edit format (1p,10e12.4,:), whose scale factor divides a field without
an exponent by 10. A field that is no number, or a finite value too large for the
element type, raises ValueError (kvax ends its run on both).

Run as a program it lists the sections of a file:

    /usr/bin/python3 kvax_read.py [-f] [-l N] [-BE] FILE
"""

from __future__ import annotations

import math
import re
import struct
import sys
from dataclasses import dataclass
from fractions import Fraction

import numpy as np

__all__ = ["Section", "read_unformatted", "read_formatted"]


@dataclass
class Section:
    k: int  # cells per row
    l: int  # rows
    grid: str  # grid type letter, e.g. "M" or "Z"
    element: str  # element type word: "CMPX", "REAL", "DBLE", "FLAG" or "LOG1"
    tag: str | None  # tide symbol, tag_length characters (blanks kept); CMPX only
    version: int | None  # array version number; CMPX only
    values: np.ndarray  # shape (L, K); values[j - 1, i - 1] is cell (i, j)


# Element word -> (dtype of values, bytes per element in a row record, unsigned
# integer of the same size for a bit-exact byte-order change).
_ELEMENTS = {
    "CMPX": (np.complex64, 8, "u4"),
    "REAL": (np.float32, 4, "u4"),
    "DBLE": (np.float64, 8, "u8"),
    "FLAG": (np.int32, 4, "u4"),
    "LOG1": (np.bool_, 1, "u1"),
}

# ---- unformatted ------------------------------------------------------------------------


def read_unformatted(path, tag_length=2, big_endian=False):
    """All sections of an unformatted (length-framed binary) array file.

    tag_length is the number of tag characters in a complex header; it must be the one
    the file was written with (kvax's -l option). big_endian reads a file whose record
    markers and numbers are big-endian (kvax's -BE)."""
    _check_tag_length(tag_length)
    with open(path, "rb") as f:
        data = f.read()
    order = ">" if big_endian else "<"
    records = _Records(data, order, path)
    sections = []
    while not records.at_end():
        start = records.pos
        header = records.next("header")
        if len(header) < 13:
            raise ValueError(f"{path}: header record at byte {start} holds {len(header)} bytes, fewer than 13")
        k, l = struct.unpack(order + "ii", header[:8])
        grid = header[8:9].decode("latin-1")
        element = header[9:13].decode("latin-1")
        if element not in _ELEMENTS:
            raise ValueError(f"{path}: section at byte {start} has element type {element!r}; "
                             f"known are {', '.join(_ELEMENTS)}")
        tag = version = None
        if element == "CMPX":
            n = tag_length
            if len(header) != 17 + n:
                hint = f" (written with tag length {len(header) - 17}?)" if len(header) > 17 else ""
                raise ValueError(f"{path}: complex header record at byte {start} holds {len(header)} bytes, "
                                 f"not 17 + tag length {n} = {17 + n}{hint}")
            tag = header[13:13 + n].decode("latin-1")
            (version,) = struct.unpack(order + "i", header[13 + n:17 + n])
        dtype, size, bits = _ELEMENTS[element]
        kk, ll = max(k, 0), max(l, 0)
        raw = np.empty((ll, kk * size), dtype=np.uint8)
        for j in range(ll, 0, -1):  # row L first, row 1 last
            row = records.next(f"row {j} of the section at byte {start}")
            if len(row) < kk * size:
                raise ValueError(f"{path}: row record of {len(row)} bytes at byte {records.last}, "
                                 f"a row of {kk} {element} cells needs {kk * size}")
            raw[j - 1] = np.frombuffer(row, dtype=np.uint8, count=kk * size)
        # Bytes to numbers through unsigned integers: an exact byte-order change, so every
        # bit (NaN payloads included) comes through.
        swapped = raw.view(order + bits).astype("=" + bits)
        if element == "LOG1":
            values = swapped != 0
        else:
            values = swapped.view(dtype)
        sections.append(Section(k, l, grid, element, tag, version, values.reshape(ll, kk)))
    return sections


def _check_tag_length(n):
    if not 1 <= n <= 16:
        raise ValueError(f"tag length {n}: tags have 1 to 16 characters")


class _Records:
    """Sequential records: a 4-byte length N, N bytes of data, the length N again."""

    def __init__(self, data, order, path):
        self.data, self.order, self.path = data, order, path
        self.pos = 0
        self.last = 0

    def at_end(self):
        return self.pos >= len(self.data)

    def next(self, what):
        d, p = self.data, self.pos
        if p + 4 > len(d):
            raise ValueError(f"{self.path}: file ends at byte {len(d)} where {what} was expected")
        (n,) = struct.unpack(self.order + "I", d[p:p + 4])
        if p + 8 + n > len(d):
            raise ValueError(f"{self.path}: record at byte {p} claims {n} bytes, the file ends before "
                             f"(big-endian file read as little-endian, or the reverse?)")
        (trail,) = struct.unpack(self.order + "I", d[p + 4 + n:p + 8 + n])
        if trail != n:
            raise ValueError(f"{self.path}: record at byte {p}: leading length {n}, trailing length {trail}")
        self.last, self.pos = p, p + 8 + n
        return d[p + 4:p + 4 + n]


# ---- formatted --------------------------------------------------------------------------


def read_formatted(path, tag_length=2):
    """All sections of a formatted (text) array file.

    tag_length is the width of the tag field of a complex header line; the version
    follows it after one blank (kvax's -l option)."""
    _check_tag_length(tag_length)
    with open(path, "rb") as f:
        data = f.read()
    lines = data.split(b"\n")
    if lines and lines[-1] == b"":
        lines.pop()  # the line feed that ends the last line
    lines = [ln[:-1] if ln.endswith(b"\r") else ln for ln in lines]
    text = [ln.decode("latin-1") for ln in lines]
    sections = []
    pos = 0
    while pos < len(text):
        if all(not ln.strip(" ") for ln in text[pos:]):
            break  # blank lines after the last section
        line, at = text[pos], pos + 1
        pos += 1
        if "CMPX" in line[:32]:
            section, pos = _formatted_complex(path, text, pos, line, at, tag_length)
        else:
            section, pos = _formatted_other(path, text, pos, line, at)
        sections.append(section)
    return sections


def _column(line, first, last):
    """Columns first..last (from 1) of a line, a short line padded with blanks."""
    return line[first - 1:last].ljust(last - first + 1)


def _integer(field, where):
    """An Iw field: blanks ignored, all blank is 0, an optional sign, digits."""
    s = field.replace(" ", "")
    if s in ("", "+", "-"):
        return 0
    if not re.fullmatch(r"[+-]?[0-9]+", s):
        raise ValueError(f"{where}: {field!r} is no integer")
    return int(s)


def _formatted_complex(path, text, pos, line, at, n):
    # Header: 2I10, 1X, A1, 1X, A4, 1X, A<n>, 1X, I10.
    where = f"{path}:{at}"
    k = _integer(_column(line, 1, 10), where)
    l = _integer(_column(line, 11, 20), where)
    grid = _column(line, 22, 22)
    element = _column(line, 24, 27)
    tag = _column(line, 29, 28 + n)
    version = _integer(_column(line, 30 + n, 39 + n), where)
    if element != "CMPX":
        raise ValueError(f"{where}: complex header with element type {element!r}")
    # kvax takes the grid size from the first two numbers of the line, read free-form;
    # in a header whose columns are kept they are the two above.
    free = re.split(r"[ ,]+", line.strip(" "))
    if len(free) < 2 or _maybe_int(free[0]) != k or _maybe_int(free[1]) != l:
        raise ValueError(f"{where}: K and L are not in columns 1-10 and 11-20")
    kk, ll = max(k, 0), max(l, 0)
    per_row = max(1, -(-2 * kk // 10))  # ten 12-column fields a line; an empty row is one line
    rows, pos = _rows(path, text, pos, ll, per_row, 12, 10, 2 * kk)
    parts = _reals(rows, 12, digits=6, scale=0, double=False, where=f"{path}:{at + 1}")
    values = parts.view(np.complex64).reshape(ll, kk)
    return Section(k, l, grid, element, tag, version, values), pos


def _maybe_int(s):
    try:
        return int(s)
    except ValueError:
        return None


def _formatted_other(path, text, pos, line, at):
    # Header: 2I5, 1X, A1, 1X, A4.
    where = f"{path}:{at}"
    k = _integer(_column(line, 1, 5), where)
    l = _integer(_column(line, 6, 10), where)
    grid = _column(line, 12, 12)
    element = _column(line, 14, 17)
    if element not in _ELEMENTS:
        raise ValueError(f"{where}: no section header (element type {element!r}; known are {', '.join(_ELEMENTS)})")
    kk, ll = max(k, 0), max(l, 0)
    first = f"{path}:{at + 1}"
    if element in ("REAL", "DBLE"):
        rows, pos = _rows(path, text, pos, ll, max(1, -(-kk // 10)), 12, 10, kk)
        values = _reals(rows, 12, digits=4, scale=1, double=element == "DBLE", where=first)
    elif element == "FLAG":  # 20I6
        rows, pos = _rows(path, text, pos, ll, max(1, -(-kk // 20)), 6, 20, kk)
        values = np.array([_integer(f.decode("latin-1"), first) for f in rows.ravel()], dtype=np.int32)
    else:  # LOG1, 120L1
        rows, pos = _rows(path, text, pos, ll, max(1, -(-kk // 120)), 1, 120, kk)
        flat = rows.ravel().view(np.uint8)
        lower = flat | 0x20
        if not np.all((lower == ord("t")) | (lower == ord("f"))):
            raise ValueError(f"{first}: a LOG1 row holds a character other than T or F")
        values = lower == ord("t")
    return Section(k, l, grid, element, None, None, values.reshape(ll, kk)), pos


def _rows(path, text, pos, rows, lines_per_row, width, per_line, fields):
    """The fields of rows L..1 as an (L, fields) array of width-byte strings, row 1 first.

    Each row starts on a new line and takes lines_per_row lines of per_line fields; a
    short line reads as if padded with blanks, columns past the last field are ignored."""
    out = np.empty((rows, fields), dtype=f"S{width}")
    span = width * per_line
    for j in range(rows, 0, -1):
        if pos + lines_per_row > len(text):
            raise ValueError(f"{path}: file ends in row {j} (rows are read from row {rows} down)")
        chunk = "".join(text[p][:span].ljust(span) for p in range(pos, pos + lines_per_row))
        pos += lines_per_row
        flat = np.frombuffer(chunk.encode("latin-1"), dtype=f"S{width}", count=fields)
        out[j - 1] = flat
    return out, pos


# Characters of fields in the writers' form and of ordinary decimal text; fields made of
# these with a decimal point mean to Python's float() what they mean to kvax.
_PLAIN = np.zeros(256, dtype=bool)
for _c in b" 0123456789.+-Ee":
    _PLAIN[_c] = True

_FIELD = re.compile(
    r"(?P<sign>[+-]?)(?:(?P<word>nan|inf|infinity)|(?P<int>[0-9]*)(?P<point>\.(?P<frac>[0-9]*))?"
    r"(?:(?:[edq](?P<esign1>[+-]?)|(?P<esign2>[+-]))(?P<exp>[0-9]+))?)",
    re.IGNORECASE,
)


def _reals(fields, width, digits, scale, double, where):
    """Fields (an array of width-byte strings) to float32 or float64, correctly rounded.

    Fields with a decimal point and only the characters of _PLAIN (and, under a scale
    factor, an exponent) go through numpy's string to float64 conversion in one call;
    any other field, and any that float() refuses, through _scan. float64 to
    float32 rounds twice; where the double is exactly halfway between two floats the
    decimal text decides (never for a field of 5 significant digits, whose decimal
    value never rounds to such a double unless it is that double)."""
    flat = np.ascontiguousarray(fields).ravel()
    n = flat.size
    chars = flat.view(np.uint8).reshape(n, width)
    fast = _PLAIN[chars].all(axis=1) & (chars == ord(".")).any(axis=1)
    if scale:
        fast &= ((chars | 0x20) == ord("e")).any(axis=1)
    d = np.empty(n, dtype=np.float64)
    named = np.zeros(n, dtype=bool)  # fields that name an infinity
    slow = ~fast
    try:
        d[fast] = flat[fast].astype(np.float64)
    except ValueError:  # one by one, the ones float() refuses to _scan
        for i in np.flatnonzero(fast):
            try:
                d[i] = float(flat[i])
            except ValueError:
                slow[i] = True
    for i in np.flatnonzero(slow):
        kind, negative, mantissa, exp10 = _scan(flat[i].decode("latin-1"), digits, scale, f"{where}, field {i + 1}")
        if kind == "nan":
            value = math.nan
        elif kind == "inf":
            value = math.inf
            named[i] = True
        else:
            value = _to_double(mantissa, exp10)
        d[i] = -value if negative else value
    if double:
        r = d
    else:
        with np.errstate(over="ignore"):
            r = d.astype(np.float32)
        _fix_ties(flat, d, r, digits, scale, where)
    overflow = np.flatnonzero(np.isinf(r) & ~named)
    if overflow.size:
        i = overflow[0]
        raise ValueError(f"{where}, field {i + 1}: {flat[i].decode('latin-1')!r}: numeric overflow")
    return r


def _scan(field, digits, scale, where):
    """One field by the reading rules: ("num"|"nan"|"inf", negative, mantissa, exp10),
    the value being mantissa * 10**exp10. Blanks anywhere are ignored."""
    s = field.replace(" ", "")
    m = _FIELD.fullmatch(s)
    if not m:
        raise ValueError(f"{where}: {field!r} is no number")
    negative = m["sign"] == "-"
    if m["word"]:
        return ("nan" if m["word"].lower() == "nan" else "inf"), negative, 0, 0
    int_digits, frac = m["int"] or "", m["frac"] or ""
    if m["exp"] is not None and not (int_digits or frac):
        raise ValueError(f"{where}: {field!r} is no number")
    if not (int_digits or frac):
        return "num", negative, 0, 0  # blank, a lone sign or point: zero
    if m["exp"] is not None:
        shift = int(m["exp"]) * (-1 if (m["esign1"] or m["esign2"]) == "-" else 1)
    else:
        shift = -scale
    if m["point"] is None:
        shift -= digits
    return "num", negative, int(int_digits + frac), shift - len(frac)


def _to_double(mantissa, exp10):
    if mantissa == 0:
        return 0.0
    return float(f"{mantissa}e{exp10}")  # correctly rounded; inf past the range


def _fix_ties(flat, d, r, digits, scale, where):
    """Where d is exactly halfway between two floats, round the decimal itself."""
    finite = np.isfinite(d) & np.isfinite(r)
    rd = r.astype(np.float64)
    toward = np.where(d > rd, np.float32(np.inf), np.float32(-np.inf)).astype(np.float32)
    with np.errstate(over="ignore", invalid="ignore"):
        other = np.nextafter(r, toward).astype(np.float64)
        tie = finite & (rd != d) & ((rd + other) / 2 == d)
    for i in np.flatnonzero(tie):
        _, negative, mantissa, exp10 = _scan(flat[i].decode("latin-1"), digits, scale, where)
        value = Fraction(mantissa) * Fraction(10) ** exp10
        half = Fraction(float(abs(d[i])))
        if value == half:
            continue  # an exact tie: the cast rounded it to even
        lo, hi = sorted((float(abs(rd[i])), float(abs(other[i]))))
        r[i] = np.float32(hi if value > half else lo)
        if negative:
            r[i] = -r[i]


# ---- command line -----------------------------------------------------------------------


def _main(argv):
    formatted, big_endian, tag_length, files = False, False, 2, []
    args = list(argv)
    while args:
        a = args.pop(0)
        if a == "-f":
            formatted = True
        elif a == "-BE":
            big_endian = True
        elif a == "-l":
            tag_length = int(args.pop(0))
        else:
            files.append(a)
    if len(files) != 1:
        print("usage: kvax_read.py [-f] [-l N] [-BE] FILE", file=sys.stderr)
        return 2
    try:
        if formatted:
            sections = read_formatted(files[0], tag_length)
        else:
            sections = read_unformatted(files[0], tag_length, big_endian)
    except (OSError, ValueError) as e:
        print(f"kvax_read.py: {e}", file=sys.stderr)
        return 1
    for s in sections:
        tag = "" if s.tag is None else f" tag {s.tag!r} version {s.version}"
        print(f"{s.element} {s.k} x {s.l} grid {s.grid!r}{tag}: values {s.values.dtype} {s.values.shape}")
    return 0


if __name__ == "__main__":
    sys.exit(_main(sys.argv[1:]))
