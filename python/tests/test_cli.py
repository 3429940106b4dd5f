"""python3 -m kvax list | quicklook."""

import subprocess
import sys

import matplotlib.image
import numpy as np
import pytest

import kvax
from conftest import make_grid, sample_section


def run(*args):
    return subprocess.run([sys.executable, "-m", "kvax", *map(str, args)], capture_output=True, text=True,
                          timeout=120)


def test_list(tmp_path):
    p = tmp_path / "two.u"
    kvax.write(p, [sample_section("CMPX", 12, 8, tag="M2"), sample_section("FLAG", 3, 2)], formatted=False,
               big_endian=True)
    r = run("list", p)
    assert r.returncode == 0 and r.stderr == ""
    assert r.stdout.splitlines() == [
        f"{p}: unformatted, big-endian, tag length 2",
        "section  type  grid         K         L  tag     version        offset",
        "      1  CMPX  M           12         8  M2            3             0",
        f"      2  FLAG  M            3         2                   {27 + 8 * (8 + 96):>12}",
    ]
    r = run("list", tmp_path / "missing.u")
    assert r.returncode == 1 and r.stdout == "" and "missing.u" in r.stderr


@pytest.mark.parametrize("element, args", [("CMPX", ["--tag", "M2"]), ("FLAG", ["--section", "2"])])
def test_quicklook_png(tmp_path, element, args):
    p = tmp_path / "g.u"
    kvax.write(p, [kvax.read(make_grid(72, 36, tmp_path / "m2.u"))[0], sample_section("FLAG", 72, 36)],
               formatted=False)
    png = tmp_path / "look.png"
    r = run("quicklook", p, "-o", png, "--size", "900x300", *args)
    assert r.returncode == 0, r.stderr
    pixels = matplotlib.image.imread(png)
    assert pixels.shape[:2] == (300, 900)
    assert len(np.unique(pixels.reshape(-1, pixels.shape[2]), axis=0)) > 50
    r = run("quicklook", p, "-o", tmp_path / "no.png", "--section", "3")
    assert r.returncode == 1 and "no section 3" in r.stderr and not (tmp_path / "no.png").exists()
