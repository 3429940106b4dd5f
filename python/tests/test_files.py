"""kvax.read, kvax.write, kvax.list and kvax.describe against kvax.out's own files."""

import numpy as np
import pytest

import kvax
from conftest import ELEMENTS, kvax_out, make_grid, sample_section


def same_bits(a, b):
    return a.dtype == b.dtype and a.shape == b.shape and a.tobytes() == b.tobytes()


@pytest.mark.parametrize("element", ELEMENTS)
@pytest.mark.parametrize("tag_length", [2, 4])
def test_each_element_type_both_representations_as_kvax_out_writes_them(tmp_path, element, tag_length):
    s = sample_section(element, tag="M2" if tag_length == 2 else "M2xy")
    u, f = tmp_path / "s.u", tmp_path / "s.f"
    kvax.write(u, [s], formatted=False, tag_length=tag_length)
    kvax.write(f, [s], formatted=True, tag_length=tag_length)
    # kvax.out's writers, from kvax.write's binary file, give kvax.write's bytes.
    kvax_out(f"-l{tag_length}", "--all", "-u2u", "-o", tmp_path / "out.u", u)
    kvax_out(f"-l{tag_length}", "--all", "-u2f", "-o", tmp_path / "out.f", u)
    assert (tmp_path / "out.u").read_bytes() == u.read_bytes()
    assert (tmp_path / "out.f").read_bytes() == f.read_bytes()
    # Binary keeps every bit; text what its digits hold, read as kvax.out reads it.
    back = kvax.read(u)
    assert len(back) == 1 and same_bits(back[0].values, s.values)
    assert (back[0].element, back[0].grid, back[0].tag, back[0].version) == (s.element, s.grid, s.tag, s.version)
    kvax_out(f"-l{tag_length}", "--all", "-f2u", "-o", tmp_path / "text.u", f)
    kvax.write(tmp_path / "again.u", kvax.read(f), formatted=False, tag_length=tag_length)
    assert (tmp_path / "again.u").read_bytes() == (tmp_path / "text.u").read_bytes()
    assert kvax.describe(u) == kvax.FileInfo(formatted=False, big_endian=False, tag_length=tag_length if element == "CMPX" else 2)
    assert kvax.describe(f).formatted


def test_a_file_of_every_type_big_endian_listed_and_read(tmp_path, all_types):
    be, le = tmp_path / "be.u", tmp_path / "le.u"
    kvax.write(be, all_types, formatted=False, big_endian=True)
    kvax.write(le, all_types, formatted=False)
    kvax_out("-BE", "--all", "-u2u", "-o", tmp_path / "out.u", be)
    assert (tmp_path / "out.u").read_bytes() == le.read_bytes()
    assert kvax.describe(be) == kvax.FileInfo(False, True, 2)
    heads = kvax.list(be)
    assert [(h.index, h.element, h.grid, h.tag, h.version, h.k, h.l) for h in heads] == [
        (i + 1, s.element, s.grid, s.tag, s.version, s.k, s.l) for i, s in enumerate(all_types)]
    assert heads[0].offset == 0 and all(a.offset < b.offset for a, b in zip(heads, heads[1:]))
    for a, b in zip(kvax.read(be), all_types):
        assert same_bits(a.values, b.values)
    assert kvax.read(be, tag="S2").grid == "Z"


def test_grid_from_make_grid_as_kvax_out_converts_it(tmp_path):
    u = make_grid(36, 18, tmp_path / "m2.u")
    kvax_out("-o", tmp_path / "m2.f", u)
    kvax.write(tmp_path / "ours.f", kvax.read(u))
    assert (tmp_path / "ours.f").read_bytes() == (tmp_path / "m2.f").read_bytes()
    s = kvax.read(u, tag="M2")
    assert s.values.shape == (18, 36) and s.values.flags.c_contiguous
    # Row 0 of the array is row 1 of the grid: the last row record of the file.
    last_record = np.frombuffer(u.read_bytes()[-4 - 8 * 36:-4], dtype="<c8")
    assert same_bits(s.values[0], last_record)


def test_section_from_numpy_written_and_read_back(tmp_path):
    grid = np.arange(12, dtype=np.float64).reshape(3, 4) * (1 + 0.5j)  # complex128 in
    s = kvax.Section(grid, tag="K1", version=7, grid="Z")
    assert s.values.dtype == np.complex64 and (s.k, s.l) == (4, 3)
    kvax.write(tmp_path / "k1.u", s, formatted=False)
    back = kvax.read(tmp_path / "k1.u", tag="K1")
    assert same_bits(back.values, s.values) and back.version == 7 and back.grid == "Z"
    mask = kvax.Section([[1, 0], [0, 1]], element="LOG1")
    assert mask.values.dtype == np.bool_ and mask.tag is None
    with pytest.raises(ValueError):
        kvax.Section(np.zeros(3))
    with pytest.raises(ValueError):
        kvax.Section(np.zeros((2, 2), np.int32), tag="M2")
    assert kvax.Section(np.arange(4).reshape(2, 2)).values.dtype == np.int32   # int64 in
    for wider in ([[2**31]], [[0.5]]):
        with pytest.raises(ValueError, match="FLAG"):
            kvax.Section(wider, element="FLAG")


def test_values_read_are_written_without_a_copy_and_kept(tmp_path):
    u = make_grid(20, 10, tmp_path / "m2.u")
    s = kvax.read(u)[0]
    s.values[0, 0] = 5 + 6j        # changed in place: the buffer lent to the writer holds it
    kvax.write(tmp_path / "a.u", s, formatted=False)
    kvax.write(tmp_path / "b.u", s, formatted=False)  # lent again: it came back
    assert (tmp_path / "a.u").read_bytes() == (tmp_path / "b.u").read_bytes()
    assert kvax.read(tmp_path / "a.u")[0].values[0, 0] == 5 + 6j
    view = s.values[::2]           # not the section's buffer: copied
    kvax.write(tmp_path / "c.u", kvax.Section(view, tag="M2", version=s.version), formatted=False)
    assert same_bits(kvax.read(tmp_path / "c.u")[0].values, np.ascontiguousarray(view))


def test_reads_let_other_threads_run(tmp_path):
    # kvax.read of a FIFO waits inside the library, in its open, until another thread opens
    # the other end: that thread runs only while the reader has released the interpreter
    # lock. Otherwise the two would wait for each other: a process of its own, timed out.
    import os
    import subprocess
    import sys
    os.mkfifo(tmp_path / "fifo")
    script = """if True:
        import threading, kvax
        outcome = []
        def read():
            try:
                kvax.read("fifo")
            except kvax.Error as e:    # no bytes came; refused or read as empty
                outcome.append(type(e).__name__)
        reader = threading.Thread(target=read)
        reader.start()
        with open("fifo", "wb"):
            pass
        reader.join()
        print("done", outcome)
    """
    r = subprocess.run([sys.executable, "-c", script], capture_output=True, text=True, timeout=30)
    assert r.returncode == 0 and r.stdout.startswith("done ['"), r.stdout + r.stderr
