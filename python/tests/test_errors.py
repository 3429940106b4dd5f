"""Errors: the right class, the C++ message naming file, section and row; nothing printed;
an output replaced whole or not at all."""

import pytest

import kvax
from conftest import make_grid, sample_section

K, L = 6, 4
ROW_BYTES = 8 + 8 * K
HEAD_BYTES = 8 + 19


def two_sections(tmp_path, formatted=False):
    p = tmp_path / ("two.f" if formatted else "two.u")
    kvax.write(p, [sample_section("CMPX", K, L, tag="O1"), sample_section("CMPX", K, L, seed=2, tag="M2")],
               formatted=formatted)
    return p


@pytest.mark.parametrize("rows_whole, into_row, row", [
    (0, 5, L),        # cut inside the first row record of section 2: row L
    (1, 0, L - 1),    # cut after one row: the next one, row L - 1, is missing
    (3, 30, 1),       # cut inside the last row
])
def test_cut_binary_file_names_section_and_row(tmp_path, capfd, rows_whole, into_row, row):
    p = two_sections(tmp_path)
    data = p.read_bytes()
    second = HEAD_BYTES + L * ROW_BYTES
    p.write_bytes(data[:second + HEAD_BYTES + rows_whole * ROW_BYTES + into_row])
    with pytest.raises(kvax.DataError) as e:
        kvax.read(p)
    assert isinstance(e.value, ValueError) and isinstance(e.value, kvax.Error)
    assert (e.value.section, e.value.tag, e.value.row, e.value.code) == (2, "M2", row, "cut")
    assert str(e.value).startswith(str(p)) and f"row {row} of section 2 (M2)" in str(e.value)
    assert capfd.readouterr() == ("", "")


def test_cut_text_file(tmp_path):
    p = two_sections(tmp_path, formatted=True)
    lines = p.read_bytes().split(b"\n")
    per_row = (2 * K + 9) // 10
    p.write_bytes(b"\n".join(lines[:1 + L * per_row + 1 + 2 * per_row]) + b"\n")  # section 2: two rows
    with pytest.raises(kvax.DataError, match=r"row 2 of section 2 \(M2\)") as e:
        kvax.read(p)
    assert e.value.row == 2


@pytest.mark.parametrize("content, overrides, code", [
    (b"this is no grid file at all\n", {}, None),
    (bytes(range(256)) * 4, {}, None),
    ("text", {"formatted": False}, "wrong_representation"),
])
def test_wrong_files(tmp_path, content, overrides, code):
    p = tmp_path / "wrong"
    if content == "text":
        kvax.write(p, sample_section("CMPX"))
    else:
        p.write_bytes(content)
    with pytest.raises(kvax.DataError) as e:
        kvax.read(p, **overrides)
    assert str(e.value).startswith(f"{p}: ")
    if code:
        assert e.value.code == code


def test_files_that_cannot_be_opened(tmp_path):
    with pytest.raises(kvax.FileError) as e:
        kvax.read(tmp_path / "missing.u")
    assert isinstance(e.value, OSError) and e.value.code == "cannot_open" and e.value.errno == 2
    assert "missing.u" in str(e.value)
    with pytest.raises(OSError):
        kvax.list(tmp_path)
    with pytest.raises(kvax.FileError):
        kvax.write(tmp_path / "no" / "such" / "dir.f", sample_section("CMPX"))


def test_no_such_tag(tmp_path):
    with pytest.raises(kvax.DataError) as e:
        kvax.read(two_sections(tmp_path), tag="K1")
    assert e.value.code == "no_such_tag"


def test_failed_write_leaves_the_file_as_it_was(tmp_path):
    p = make_grid(8, 3, tmp_path / "m2.u")
    before = p.read_bytes()
    with pytest.raises(kvax.DataError):   # a tag longer than the tag length
        kvax.write(p, [sample_section("CMPX", tag="LONGTAG")], formatted=False, tag_length=2)
    assert p.read_bytes() == before
    assert sorted(x.name for x in tmp_path.iterdir()) == ["m2.u"]
