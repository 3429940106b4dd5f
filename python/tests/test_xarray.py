"""The xarray engine: variables, lazy rows, the accessor, many files with dask."""

import dask
import distributed
import numpy as np
import pytest
import xarray as xr

import kvax
import kvax.xarray
from conftest import kvax_out, make_grid, sample_section


@pytest.fixture
def m2s2(tmp_path):
    p = tmp_path / "m2s2.u"
    kvax.write(p, [sample_section("CMPX", 12, 8, tag="M2"), sample_section("FLAG", 12, 8),
                   sample_section("CMPX", 12, 8, seed=3, tag="M2", version=2),
                   sample_section("REAL", 5, 3)], formatted=False)
    return p


@pytest.mark.parametrize("engine", ["kvax", kvax.xarray.KvaxBackend])
def test_variables_dims_and_attributes(m2s2, engine):
    ds = xr.open_dataset(m2s2, engine=engine)
    assert list(ds.data_vars) == ["M2", "flag", "M2_2", "real"]
    assert ds.M2.dims == ("lat", "lon") and ds.M2.shape == (8, 12) and ds.M2.dtype == np.complex64
    assert ds["real"].dims == ("lat_4", "lon_4")
    assert ds.M2_2.attrs == {"element": "CMPX", "grid": "M", "section": 3, "tag": "M2", "version": 2}
    assert ds.flag.attrs == {"element": "FLAG", "grid": "M", "section": 2}
    assert ds.attrs == {"representation": "unformatted", "byte_order": "little-endian", "tag_length": 2}
    sections = kvax.read(m2s2)
    for name, s in zip(ds.data_vars, sections):
        np.testing.assert_array_equal(ds[name].values, s.values)
    assert not ds.coords
    ds = xr.open_dataset(m2s2, engine="kvax", lon=np.arange(12) * 30.0, lat=np.linspace(-80, 80, 8),
                         drop_variables=["real"])
    assert ds.lon[3] == 90.0 and ds.M2.sel(lat=-80.0).shape == (12,) and "real" not in ds
    with pytest.raises(ValueError, match="lon"):
        xr.open_dataset(m2s2, engine="kvax", lon=np.arange(5))


def test_slices_read_only_their_rows(m2s2):
    whole = kvax.read(m2s2)[2].values
    ds = xr.open_dataset(m2s2, engine="kvax", chunks={"lat": 3})
    start = kvax.xarray.rows_read()
    assert kvax.xarray.rows_read() == start            # opening reads no rows
    np.testing.assert_array_equal(ds.M2_2[3:6].values, whole[3:6])   # one chunk
    assert kvax.xarray.rows_read() - start == 3
    ds = xr.open_dataset(m2s2, engine="kvax")          # no dask: the slice itself
    start = kvax.xarray.rows_read()
    assert ds.M2_2[5, 7].values == whole[5, 7]
    np.testing.assert_array_equal(ds.M2_2[6:1:-2, ::3].values, whole[6:1:-2, ::3])
    assert kvax.xarray.rows_read() - start == 1 + 5
    np.testing.assert_array_equal(ds.M2_2[[7, 0]].values, whole[[7, 0]])


def test_to_file_writes_the_dataset_back(tmp_path, m2s2):
    ds = xr.open_dataset(m2s2, engine="kvax")
    ds.kvax.to_file(tmp_path / "back.u")
    assert (tmp_path / "back.u").read_bytes() == m2s2.read_bytes()
    ds.kvax.to_file(tmp_path / "ours.f", formatted=True)
    kvax_out("--all", "-o", tmp_path / "them.f", m2s2)
    assert (tmp_path / "ours.f").read_bytes() == (tmp_path / "them.f").read_bytes()
    made = xr.Dataset({"K1": (("lat", "lon"), np.ones((2, 3), np.complex64))})
    made.kvax.to_file(tmp_path / "k1.f")
    assert kvax.read(tmp_path / "k1.f", tag="K1").version == 0


def expected_sum(paths):
    return sum(kvax.read(p)[0].values.astype(np.complex128).sum() for p in paths)


def test_open_mfdataset_with_threads(tmp_path):
    paths = [make_grid(36, 24, tmp_path / f"g{i}.f", "f") for i in range(4)]
    with dask.config.set(scheduler="threads", num_workers=2):
        ds = xr.open_mfdataset(paths, engine="kvax", parallel=True, combine="nested", concat_dim="file",
                               chunks={"lat": 6})
        assert ds.M2.shape == (4, 24, 36) and ds.M2.data.numblocks == (4, 4, 1)
        total = ds.M2.sum().compute().item()
    assert total == pytest.approx(expected_sum(paths), rel=1e-5)


def test_open_mfdataset_on_a_local_cluster(tmp_path):
    paths = [make_grid(36, 24, tmp_path / f"g{i}.u") for i in range(3)]
    # processes=False: scheduler and worker in this process, talking in-process (no sockets).
    with distributed.LocalCluster(n_workers=1, threads_per_worker=2, processes=False,
                                  dashboard_address=None) as cluster, distributed.Client(cluster):
        ds = xr.open_mfdataset(paths, engine="kvax", parallel=True, combine="nested", concat_dim="file",
                               chunks={"lat": 8})
        assert ds.M2.dims == ("file", "lat", "lon") and ds.M2.shape == (3, 24, 36)
        total = ds.M2.sum().compute().item()
    assert total == pytest.approx(expected_sum(paths), rel=1e-5)
