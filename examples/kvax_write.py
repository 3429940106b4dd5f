"""Write kvax array files from numpy: both representations, the bytes kvax writes.

    import numpy as np
    from kvax_read import Section
    from kvax_write import write_unformatted, write_formatted
    values = np.zeros((1080, 2160), np.complex64)      # shape (L, K): values[0] is row 1
    s = Section(k=2160, l=1080, grid="M", element="CMPX", tag="M2", version=1, values=values)
    write_unformatted("m2.u", [s])                     # tag_length=2, big_endian=False
    write_formatted("m2.f", [s])                       # tag_length=2

Each writer takes a list of Section (kvax_read's), one per section of the file, in file
order, and writes the rows from row L down to row 1 as kvax does. Text is written under
kvax's formats: 1P,E12.4 for CMPX and REAL values (ten a line), 1P,D12.4 for DBLE, I6
(twenty a line) for FLAG, T and F (120 a line) for LOG1; the header line
(2I10,1X,A1,1X,A4,1X,A,1X,I10) for complex sections, (2I5,1X,A1,1X,A4) for the others.
A value is rounded to five significant digits from its exact binary value, ties to even,
as kvax does. These writers write the file directly: unlike kvax they do not replace an
existing file whole.
"""

from __future__ import annotations

import math
import struct

import numpy as np

__all__ = ["write_unformatted", "write_formatted"]

_DTYPES = {"CMPX": "c8", "REAL": "f4", "DBLE": "f8", "FLAG": "i4", "LOG1": "i1"}


def _record(out, data: bytes, order: str) -> None:
    marker = struct.pack(order + "I", len(data))
    out.write(marker + data + marker)


def write_unformatted(path, sections, tag_length: int = 2, big_endian: bool = False) -> None:
    order = ">" if big_endian else "<"
    with open(path, "wb") as out:
        for s in sections:
            head = struct.pack(order + "ii", s.k, s.l) + s.grid.encode()[:1].ljust(1) + s.element.encode()
            if s.element == "CMPX":
                head += s.tag.encode().ljust(tag_length)[:tag_length] + struct.pack(order + "i", s.version)
            _record(out, head, order)
            rows = np.asarray(s.values, dtype=order + _DTYPES[s.element]).reshape(s.l, max(s.k, 0))
            for j in range(s.l - 1, -1, -1):  # row L first
                _record(out, rows[j].tobytes(), order)


def _e12_4(v: float, letter: str = "E") -> str:
    """One value under 1P,E12.4 (D12.4 with letter "D"), as kvax writes it."""
    if math.isnan(v):
        return "NaN".rjust(12)
    if math.isinf(v):
        return ("-INF" if v < 0 else "INF").rjust(12)
    if v == 0:  # also -0.0: no sign
        return "  0.0000" + letter + "+00"
    text = "%.4E" % v  # correctly rounded from the exact binary value, ties to even
    mantissa, exponent = text.split("E")
    e = int(exponent)
    field = mantissa + (letter + "%+03d" % e if abs(e) < 100 else "%+04d" % e)
    return field.rjust(12) if len(field) <= 12 else "*" * 12


def _lines(fields, per_line: int) -> str:
    if not fields:
        return "\n"
    return "".join("".join(fields[i:i + per_line]) + "\n" for i in range(0, len(fields), per_line))


def _row_text(element: str, row: np.ndarray) -> str:
    if element == "CMPX":
        parts = np.empty(2 * row.size, np.float32)
        parts[0::2], parts[1::2] = row.real, row.imag
        return _lines([_e12_4(float(v)) for v in parts], 10)
    if element in ("REAL", "DBLE"):
        letter = "D" if element == "DBLE" else "E"
        return _lines([_e12_4(float(v), letter) for v in row], 10)
    if element == "FLAG":
        return _lines([("%6d" % v) if -99999 <= v <= 999999 else "******" for v in row.tolist()], 20)
    return _lines(["T" if v else "F" for v in row.tolist()], 120)


def write_formatted(path, sections, tag_length: int = 2) -> None:
    with open(path, "w", newline="\n") as out:
        for s in sections:
            if s.element == "CMPX":
                tag = s.tag.ljust(tag_length)[:tag_length]
                out.write("%10d%10d %s CMPX %s %10d\n" % (s.k, s.l, s.grid[:1], tag, s.version))
            else:
                out.write("%5d%5d %s %s\n" % (s.k, s.l, s.grid[:1], s.element))
            rows = np.asarray(s.values, dtype=_DTYPES[s.element]).reshape(s.l, max(s.k, 0))
            for j in range(s.l - 1, -1, -1):  # row L first
                out.write(_row_text(s.element, rows[j]))
