"""Read and write kvax grid files as numpy arrays.

    import kvax
    sections = kvax.read("m2s2.u")          # every section, the file's form detected
    m2 = kvax.read("m2s2.u", tag="M2")      # the first complex section tagged M2
    m2.values[0, 4]                         # cell 5 of row 1 (row 0 of the array is row 1)
    kvax.write("m2s2.f", sections)          # the same bytes as kvax.out's text

A file holds tagged array sections one after another, as text ("formatted") or as
length-framed binary records ("unformatted", either byte order). Reading detects which,
and the tag length, from the file's first records; `formatted=`, `big_endian=` and
`tag_length=` override that for the rare file that is ambiguous.

Errors are `kvax.Error`: `kvax.DataError` (also a ValueError) for content that cannot be
read as sections, naming the file, the section and the row; `kvax.FileError` (also an
OSError) for a file that cannot be opened, read or written. Nothing is printed.

The work is done by the C++ library (the extension module kvax._kvax), without holding
the interpreter lock: several threads can read several files at once.
"""

from __future__ import annotations

import builtins
import os
from dataclasses import dataclass
from typing import Iterable, NamedTuple

import numpy as np

from . import _kvax
from ._kvax import DataError, Error, FileError

__all__ = [
    "Section", "SectionInfo", "FileInfo", "Error", "DataError", "FileError",
    "read", "list", "describe", "write", "convert", "ELEMENT_DTYPES",
]
__version__ = _kvax.__version__

# The element words and the dtype of their values.
ELEMENT_DTYPES = {
    "CMPX": np.dtype(np.complex64),
    "FLAG": np.dtype(np.int32),
    "REAL": np.dtype(np.float32),
    "DBLE": np.dtype(np.float64),
    "LOG1": np.dtype(np.bool_),
}


def _element_of(dtype: np.dtype) -> str:
    if dtype.kind == "c":
        return "CMPX"
    if dtype.kind == "b":
        return "LOG1"
    if dtype.kind in "iu":
        return "FLAG"
    if dtype.kind == "f":
        return "DBLE" if dtype.itemsize > 4 else "REAL"
    raise TypeError(f"no element type holds values of dtype {dtype}")


class Section:
    """One tagged array section: a grid of K cells by L rows and its header.

    values   numpy array of shape (L, K); values[j - 1, i - 1] is cell (i, j): row 0 of
             the array is row 1 of the grid (the file stores row L first), and a row is
             K contiguous cells along longitude. dtype by element type: CMPX complex64,
             FLAG int32, REAL float32, DBLE float64, LOG1 bool.
    element  "CMPX", "FLAG", "REAL", "DBLE" or "LOG1"
    grid     the grid letter ("M", "Z", ...)
    tag      the tide symbol (CMPX only, without trailing blanks; None for other types)
    version  the array version number (CMPX only; None for other types)

    Section(values, tag=..., version=..., grid="M", element=None) takes any array-like of
    two dimensions; the element type follows its dtype unless given, and the values are
    then converted to the element's dtype. Sections read from a file own the C++ buffer
    their values were read into (no copy).
    """

    __slots__ = ("values", "element", "grid", "tag", "version")

    def __init__(self, values, *, tag: str | None = None, version: int | None = None,
                 grid: str = "M", element: str | None = None):
        if element is None:
            values = np.asarray(values)
            element = _element_of(values.dtype)
        element = element.upper()
        if element not in ELEMENT_DTYPES:
            raise ValueError(f"element type {element!r}: one of {', '.join(ELEMENT_DTYPES)}")
        given = np.asarray(values)
        values = given.astype(ELEMENT_DTYPES[element], copy=False)
        # Integers are taken only as they are: no wrap-around, no fraction cut off.
        if element == "FLAG" and given.dtype != values.dtype and not np.array_equal(values, given):
            raise ValueError("values that a FLAG section (32-bit integers) cannot hold")
        if values.ndim != 2:
            raise ValueError(f"values of shape {values.shape}: a section is (L rows, K cells)")
        if len(grid) != 1:
            raise ValueError(f"grid letter {grid!r}: one character")
        if element == "CMPX":
            tag = "" if tag is None else tag
            version = 0 if version is None else int(version)
        elif tag is not None or version is not None:
            raise ValueError(f"a {element} section has no tag and no version")
        self.values = values
        self.element = element
        self.grid = grid
        self.tag = tag
        self.version = version

    @classmethod
    def _from_c(cls, element, grid, tag, version, values):
        s = cls.__new__(cls)
        s.values, s.element, s.grid, s.tag, s.version = values, element, grid, tag, version
        return s

    @property
    def k(self) -> int:
        """Cells per row."""
        return self.values.shape[1]

    @property
    def l(self) -> int:  # noqa: E743 - the files' own name for the row count
        """Rows."""
        return self.values.shape[0]

    def __repr__(self):
        head = f"{self.element} {self.grid} K={self.k} L={self.l}"
        if self.element == "CMPX":
            head += f" tag={self.tag!r} version={self.version}"
        return f"<kvax.Section {head}>"


class SectionInfo(NamedTuple):
    """A section's header as kvax.list gives it, without its values."""
    index: int       # 1 for the first section of the file
    element: str
    grid: str
    tag: str | None
    version: int | None
    k: int
    l: int           # noqa: E741
    offset: int      # byte offset of the section's header in the file


@dataclass(frozen=True)
class FileInfo:
    """What kvax.describe detects: the file's form, byte order and tag length."""
    formatted: bool
    big_endian: bool
    tag_length: int

    @property
    def representation(self) -> str:
        return "formatted" if self.formatted else "unformatted"


def _opts(formatted, big_endian, tag_length):
    return (None if formatted is None else bool(formatted),
            None if big_endian is None else bool(big_endian),
            None if tag_length is None else int(tag_length))


def describe(path, *, formatted=None, big_endian=None, tag_length=None) -> FileInfo:
    """The representation, byte order and tag length of the file, from its first records."""
    return FileInfo(*_kvax.describe(os.fspath(path), *_opts(formatted, big_endian, tag_length)))


def list(path, *, formatted=None, big_endian=None, tag_length=None) -> builtins.list[SectionInfo]:
    """The headers of every section of the file (and their byte offsets), without values."""
    heads = _kvax.list_sections(os.fspath(path), *_opts(formatted, big_endian, tag_length))
    return [SectionInfo(*h) for h in heads]


def read(path, *, tag=None, formatted=None, big_endian=None, tag_length=None):
    """Every section of the file, in order: a list of Section.

    With tag="M2", the first complex section with that tag (compared as kvax compares
    tags: trailing blanks do not count), or DataError when the file holds none.
    """
    got = _kvax.read_sections(os.fspath(path), *_opts(formatted, big_endian, tag_length), tag)
    sections = [Section._from_c(*s) for s in got]
    return sections[0] if tag is not None else sections


def write(path, sections: Section | Iterable[Section], *, formatted: bool = True,
          big_endian: bool = False, tag_length: int | None = None) -> None:
    """Writes the sections to path, as text (formatted=True) or as binary records.

    The bytes are those kvax.out writes for the same sections. The file is replaced whole
    or not at all: it is written under a new name in its directory and put in place at
    the end. tag_length defaults to 2, or to the longest tag when one is longer.
    """
    if isinstance(sections, Section):
        sections = [sections]
    items = []
    for s in sections:
        if not isinstance(s, Section):
            raise TypeError(f"kvax.write takes Section objects, not {type(s).__name__}")
        values = np.ascontiguousarray(s.values, dtype=ELEMENT_DTYPES[s.element])  # a copy only if needed
        items.append((s.element, s.grid, s.tag, s.version, values))
    _kvax.write_sections(os.fspath(path), items, bool(formatted), bool(big_endian),
                         None if tag_length is None else int(tag_length))


_DIRECTIONS = ("u2f", "f2u", "u2u", "f2f")


def convert(src, dst, *, direction: str = "u2f", reverse: bool = False, rotate: int = 0,
            half_turn: bool = False, version: int | None = None, all: bool = False,
            tag: str | None = None, tag_length: int | None = None,
            big_endian: bool = False) -> builtins.list[str]:
    """Runs the converter on src, writing dst, in this process, as `kvax.out` would.

    The options are those of the command line: direction -u2f/-f2u/-u2u/-f2f, reverse -r,
    rotate -c#n (cells towards west), half_turn -ch, version -v#n, all --all, tag --tag=T,
    tag_length -l#s, big_endian -BE (input). Returns the report lines the run wrote; a
    run that fails raises DataError (FileError when a file could not be opened) whose
    message holds those lines and whose `.lines` are the lines. dst is replaced whole or
    not at all. As for kvax.out, a file name has at most 64 characters (a relative name
    helps). One conversion runs at a time in a process.
    """
    if direction not in _DIRECTIONS:
        raise ValueError(f"direction {direction!r}: one of {', '.join(_DIRECTIONS)}")
    args = ["-" + direction]
    if reverse:
        args.append("-r")
    if half_turn:
        args.append("-ch")
    elif rotate:
        args.append(f"-c{int(rotate)}")
    if version is not None:
        args.append(f"-v{int(version)}")
    if tag_length is not None:
        args.append(f"-l{int(tag_length)}")
    if big_endian:
        args.append("-BE")
    if all:
        args.append("--all")
    if tag is not None:
        args.append(f"--tag={tag}")
    args += ["-o", os.fspath(dst), os.fspath(src)]
    status, lines, fatal_report = _kvax.run(args)
    if status != 0:
        # A file the converter could not open ends its run in the opener's line.
        failed_open = any(line.startswith(" <OPENF->T>") for line in lines)
        error = (FileError if failed_open else DataError)("\n".join(lines + fatal_report.splitlines()))
        error.lines, error.status = lines, status
        raise error
    return lines
