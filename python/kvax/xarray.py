"""kvax files as xarray Datasets: the engine "kvax" and the accessor ds.kvax.

    import xarray as xr
    ds = xr.open_dataset("m2s2.u", engine="kvax", chunks={"lat": 270})
    ds.M2                      # complex64, dims (lat, lon), read a chunk of rows at a time
    ds.kvax.to_file("m2s2.f")  # back to a file (the accessor is there once kvax.xarray is
                               # imported, which engine="kvax" does)

One data variable per section, named by its tag with trailing blanks dropped (sections
without a tag by their element word, lower case); a name taken already gets "_2", "_3" ...
Dims are ("lat", "lon"): row 1 of the grid is lat index 0, cell 1 of a row lon index 0.
The files carry no coordinates; open_dataset(..., lon=array, lat=array) attaches them.
A section whose shape differs from the first section's gets dims "lat_N", "lon_N" (N its
section number). Variable attributes: element, grid, section and for complex sections tag
and version; Dataset attributes: representation, byte_order, tag_length.

The variables are lazy: each slice reads only the rows it covers, through the C++ reader
(a row range of one section; rows_read() counts them), with nothing held open
between reads; the arrays pickle, so dask's threads and a dask.distributed cluster read
chunks side by side.
"""

from __future__ import annotations

import os
import threading

import numpy as np
import xarray as xr
from xarray.backends import BackendArray, BackendEntrypoint
from xarray.core import indexing

import kvax
from . import _kvax

__all__ = ["KvaxBackend", "KvaxBackendArray", "KvaxAccessor", "rows_read"]


_rows_read = 0
_rows_read_lock = threading.Lock()


def rows_read() -> int:
    """Rows the variables of this engine have read from files so far, in this process, as
    the C++ readers count them (a check that a slice reads its rows and no others)."""
    return _rows_read


def _read_rows(path, layout, info, first, count):
    """Rows first .. first + count - 1 (0 is row 1) of the section `info`, as (count, K)."""
    global _rows_read
    values, n = _kvax.read_rows(path, *layout, info.index, first, count)
    with _rows_read_lock:
        _rows_read += n
    return values


class KvaxBackendArray(BackendArray):
    """One section of a file, read a range of rows at a time."""

    def __init__(self, path: str, layout: tuple, info: kvax.SectionInfo):
        self.path = path
        self.layout = layout  # (formatted, big_endian, tag_length) as detected
        self.info = info
        self.shape = (info.l, info.k)
        self.dtype = kvax.ELEMENT_DTYPES[info.element]

    def __getitem__(self, key):
        return indexing.explicit_indexing_adapter(
            key, self.shape, indexing.IndexingSupport.BASIC, self._getitem)

    def _getitem(self, key):
        rows, cells = key
        if isinstance(rows, (int, np.integer)):
            return _read_rows(self.path, self.layout, self.info, int(rows), 1)[0, cells]
        wanted = range(*rows.indices(self.shape[0]))
        if len(wanted) == 0:
            return np.empty((0, self.shape[1]), self.dtype)[:, cells]
        lo, hi = min(wanted), max(wanted) + 1
        block = _read_rows(self.path, self.layout, self.info, lo, hi - lo)
        return block[wanted.start - lo::wanted.step, cells]


def _names(heads):
    names, taken = [], set()
    for h in heads:
        base = h.tag.rstrip(" ") if h.tag is not None and h.tag.strip(" ") else h.element.lower()
        name, n = base, 1
        while name in taken:
            n += 1
            name = f"{base}_{n}"
        taken.add(name)
        names.append(name)
    return names


class KvaxBackend(BackendEntrypoint):
    """xarray engine for kvax grid files: xr.open_dataset(path, engine="kvax")."""

    description = "kvax grid files: tagged array sections as text or length-framed binary records"
    url = "https://example.invalid/kvax/docs/python.md"
    open_dataset_parameters = ("filename_or_obj", "drop_variables", "lon", "lat",
                               "formatted", "big_endian", "tag_length")

    def open_dataset(self, filename_or_obj, *, drop_variables=None, lon=None, lat=None,
                     formatted=None, big_endian=None, tag_length=None):
        path = os.fspath(filename_or_obj)
        info = kvax.describe(path, formatted=formatted, big_endian=big_endian, tag_length=tag_length)
        layout = (info.formatted, info.big_endian, info.tag_length)
        heads = kvax.list(path, formatted=info.formatted, big_endian=info.big_endian,
                          tag_length=info.tag_length)
        drop = set([drop_variables] if isinstance(drop_variables, str) else drop_variables or ())
        first_shape = (heads[0].l, heads[0].k) if heads else None
        variables = {}
        for name, h in zip(_names(heads), heads):
            if name in drop:
                continue
            dims = ("lat", "lon") if (h.l, h.k) == first_shape else (f"lat_{h.index}", f"lon_{h.index}")
            attrs = {"element": h.element, "grid": h.grid, "section": h.index}
            if h.element == "CMPX":
                attrs.update(tag=h.tag, version=h.version)
            data = indexing.LazilyIndexedArray(KvaxBackendArray(path, layout, h))
            variables[name] = xr.Variable(dims, data, attrs)
        coords = {}
        for dim, values in (("lon", lon), ("lat", lat)):
            if values is None:
                continue
            values = np.asarray(values)
            size = None if first_shape is None else first_shape[1 if dim == "lon" else 0]
            if values.ndim != 1 or values.shape[0] != size:
                raise ValueError(f"{dim}= has shape {values.shape}; the grid has {size} along {dim}")
            coords[dim] = (dim, values)
        attrs = {"representation": info.representation,
                 "byte_order": "big-endian" if info.big_endian else "little-endian",
                 "tag_length": info.tag_length}
        return xr.Dataset(variables, coords=coords, attrs=attrs)

    def guess_can_open(self, filename_or_obj):
        try:
            kvax.describe(os.fspath(filename_or_obj))
        except (TypeError, kvax.Error):
            return False
        return True


@xr.register_dataset_accessor("kvax")
class KvaxAccessor:
    """ds.kvax.sections() and ds.kvax.to_file(path): a Dataset of grids as a kvax file."""

    def __init__(self, ds: xr.Dataset):
        self._ds = ds

    def sections(self) -> list:
        """The data variables as kvax.Section, in order: 2-D variables (lat, lon) only.

        Element, grid, tag and version come from the attributes engine="kvax" gives; the
        element type otherwise follows the dtype, the grid is "M", a complex variable's
        tag its name and its version 0.
        """
        out = []
        for name, var in self._ds.data_vars.items():
            if var.ndim != 2:
                raise ValueError(f"variable {name!r} has dims {var.dims}: a section is (lat, lon)")
            a = var.attrs
            element = a.get("element") or kvax._element_of(var.dtype)
            tag = version = None
            if element == "CMPX":
                tag = str(a.get("tag", name))
                version = int(a.get("version", 0))
            out.append(kvax.Section(np.asarray(var.values), tag=tag, version=version,
                                    grid=str(a.get("grid", "M")), element=element))
        return out

    def to_file(self, path, *, formatted: bool | None = None, big_endian: bool | None = None,
                tag_length: int | None = None) -> None:
        """Writes the Dataset with kvax.write; by default in the representation, byte
        order and tag length it was read with (text when it was not read from a file)."""
        a = self._ds.attrs
        if formatted is None:
            formatted = a.get("representation") != "unformatted"
        if big_endian is None:
            big_endian = a.get("byte_order") == "big-endian"
        if tag_length is None and "tag_length" in a:
            tag_length = int(a["tag_length"])
        kvax.write(path, self.sections(), formatted=formatted, big_endian=big_endian,
                   tag_length=tag_length)
