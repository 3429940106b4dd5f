"""Shared pieces of the Python tests: kvax.out and make_grid of the build under test
(KVAX_EXE, KVAX_MAKE_GRID, set by ctest), and sections of every element type."""

import os
import subprocess

import numpy as np
import pytest

import kvax

KVAX_EXE = os.environ.get("KVAX_EXE", "")
MAKE_GRID = os.environ.get("KVAX_MAKE_GRID", "")


@pytest.fixture(autouse=True)
def in_tmp_path(tmp_path, monkeypatch):
    """Each test runs in its own directory: kvax.out takes file names of 64 characters at
    most, so the tests give it names relative to there."""
    monkeypatch.chdir(tmp_path)


def kvax_out(*args, check=True):
    """Runs kvax.out, paths given relative to the current directory; its CompletedProcess."""
    assert os.access(KVAX_EXE, os.X_OK), f"KVAX_EXE={KVAX_EXE!r} is no program (run the tests through ctest)"
    args = [os.path.relpath(a) if isinstance(a, os.PathLike) else str(a) for a in args]
    r = subprocess.run([KVAX_EXE, *args], capture_output=True, text=True, timeout=60)
    if check:
        assert r.returncode == 0, r.stdout + r.stderr
    return r


def make_grid(k, l, path, form="u", tag="M2"):
    assert os.access(MAKE_GRID, os.X_OK), f"KVAX_MAKE_GRID={MAKE_GRID!r} is no program"
    subprocess.run([MAKE_GRID, str(k), str(l), str(path), form, tag], check=True, capture_output=True, timeout=60)
    return path


def sample_section(element, k=7, l=5, seed=1, tag="M2", version=3, grid="M"):
    """A section of the element type with values that exercise its text form: signs,
    magnitudes from denormal to near the largest float, zeros (complex and real types
    also an infinity)."""
    rng = np.random.default_rng(seed)
    shape = (l, k)
    if element == "FLAG":
        v = rng.integers(-99999, 999999, shape, dtype=np.int32)
        v.flat[0] = 0
    elif element == "LOG1":
        v = rng.random(shape) < 0.5
    else:
        dtype = kvax.ELEMENT_DTYPES[element]
        real = np.float64 if element == "DBLE" else np.float32
        def part():
            x = rng.standard_normal(shape) * 10.0 ** rng.integers(-30, 30, shape)
            return x.astype(real)
        v = part() if dtype.kind == "f" else (part() + 1j * part()).astype(dtype)
        v.flat[0] = 0
        v.flat[1] = np.inf
        v.flat[2] = -1.0e-40 if element != "DBLE" else -1.0e-300
    if element == "CMPX":
        return kvax.Section(v, tag=tag, version=version, grid=grid)
    return kvax.Section(v, grid=grid, element=element)


ELEMENTS = ["CMPX", "FLAG", "REAL", "DBLE", "LOG1"]


@pytest.fixture
def all_types():
    """One section of each element type, of differing shapes, and a second complex one."""
    out = [sample_section(e, k=7 + i, l=5 + i % 3, seed=i) for i, e in enumerate(ELEMENTS)]
    out.append(sample_section("CMPX", k=11, l=2, seed=9, tag="S2", version=0, grid="Z"))
    return out
