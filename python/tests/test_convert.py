"""kvax.convert: the converter's run in the process, against kvax.out run as a program."""

import pytest

import kvax
from conftest import kvax_out, make_grid, sample_section


def without_start_line(lines):
    return [x.replace(" ", "") for x in lines if not x.startswith("0<StTiMe>")]


@pytest.mark.parametrize("options, args", [
    ({}, []),
    ({"direction": "u2u", "reverse": True, "half_turn": True}, ["-u2u", "-r", "-ch"]),
    ({"direction": "u2u", "rotate": 5, "version": 9}, ["-u2u", "-c5", "-v9"]),
    ({"all": True}, ["--all"]),
    ({"tag": "S2", "direction": "u2u"}, ["--tag=S2", "-u2u"]),
])
def test_convert_as_kvax_out(tmp_path, options, args):
    src = "in.u"    # kvax.out takes names of 64 characters at most: relative ones here
    kvax.write(src, [sample_section("CMPX", 12, 6), sample_section("FLAG", 12, 6),
                     sample_section("CMPX", 12, 6, seed=3, tag="S2")], formatted=False)
    lines = kvax.convert(src, "ours", **options)
    r = kvax_out(*args, "-o", "them", src)
    assert (tmp_path / "ours").read_bytes() == (tmp_path / "them").read_bytes()
    # The same lines, but for the start line's time and the output's name.
    assert without_start_line(lines) == without_start_line(r.stdout.replace("them", "ours").splitlines())


def test_failed_runs_raise_with_their_lines(tmp_path, capfd):
    with pytest.raises(kvax.FileError) as e:
        kvax.convert("missing.u", "out.f")
    assert e.value.status == 1 and any("missing.u" in x for x in e.value.lines)
    src = make_grid(10, 4, "m2.u")
    with pytest.raises(kvax.DataError) as e:
        kvax.convert(src, "out.f", tag="K1")
    assert e.value.status == 1 and e.value.lines[-1].startswith(" <Main-->T>")
    assert not (tmp_path / "out.f").exists()
    with pytest.raises(ValueError):
        kvax.convert(src, "out.f", direction="x2y")
    # The runs are independent: a good one after the failures is kvax.out's.
    kvax.convert(src, "out.f")
    kvax_out("-o", "them.f", src)
    assert (tmp_path / "out.f").read_bytes() == (tmp_path / "them.f").read_bytes()
    assert capfd.readouterr() == ("", "")
