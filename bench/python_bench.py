"""The Python package's speed and memory beside their baselines, in one run.

    PYTHONPATH=BUILD/python /usr/bin/python3 bench/python_bench.py BUILD [RUNS]

BUILD is a build with -DKVAX_PYTHON=ON (kvax.out, bench/make_grid and the package in
BUILD/python). Each measurement is the median of RUNS runs (default 7), taken in turns
with its baseline so that both see the same machine; outputs go to fresh names. Rows:

  kvax.read, text 2160 x 1080      vs  kvax.out -f2u to a fresh name (the process)
                                   and examples/kvax_read.py read_formatted (3 runs)
  kvax.read, binary                vs  numpy.fromfile of the same bytes
  kvax.write, text                 vs  kvax.out -u2f to a fresh name
  peak memory of kvax.read, text   the values plus at most 16 MiB
  dask .sum().compute() over four text files (opened before)    two threads vs one
  numpy.sort of eight arrays on two threads vs one: what two threads gain on the machine
"""

from __future__ import annotations

import os
import statistics
import subprocess
import sys
import tempfile
import time

import numpy as np

import kvax


def timed(fn):
    t = time.perf_counter()
    fn()
    return time.perf_counter() - t


def in_turns(runs, *fns):
    """Medians of each fn, run in turns."""
    times = [[] for _ in fns]
    for _ in range(runs):
        for t, fn in zip(times, fns):
            t.append(timed(fn))
    return [statistics.median(t) for t in times]


def fresh(work, name):
    """A function returning a name not yet used, removing the one before it."""
    count = [0]

    def next_name():
        old = os.path.join(work, f"{name}{count[0]}")
        if os.path.exists(old):
            os.unlink(old)
        count[0] += 1
        return os.path.join(work, f"{name}{count[0]}")
    return next_name


def peak_memory_of_read(path):
    """Peak resident growth of kvax.read in a process of its own (the peak reset to the
    resident size first, through /proc/self/clear_refs), and the values' size."""
    code = ("import kvax, numpy\n"
            "def status(key):\n"
            "    for line in open('/proc/self/status'):\n"
            "        if line.startswith(key + ':'):\n"
            "            return int(line.split()[1]) * 1024\n"
            "open('/proc/self/clear_refs', 'w').write('5')\n"
            "before = status('VmRSS')\n"
            f"s = kvax.read({path!r})[0]\n"
            "print(status('VmHWM') - before, s.values.nbytes)\n")
    out = subprocess.run([sys.executable, "-c", code], capture_output=True, text=True, check=True).stdout
    grew, values = map(int, out.split())
    return grew, values


def open_many(paths):
    import xarray as xr
    return xr.open_mfdataset(paths, engine="kvax", parallel=True, combine="nested", concat_dim="file",
                             chunks={"lat": 270})


def dask_sum(ds, threads):
    import dask
    with dask.config.set(scheduler="threads", num_workers=threads):
        return ds.M2.sum().compute()


def sort_on(arrays, threads):
    from concurrent.futures import ThreadPoolExecutor
    with ThreadPoolExecutor(threads) as pool:
        list(pool.map(np.sort, arrays))


def main(argv):
    build = os.path.abspath(argv[1])
    runs = int(argv[2]) if len(argv) > 2 else 7
    exe, make_grid = os.path.join(build, "kvax.out"), os.path.join(build, "bench", "make_grid")
    here = os.path.dirname(os.path.abspath(__file__))
    sys.path.insert(0, os.path.join(here, "..", "examples"))
    import kvax_read

    rows = []

    def row(what, ours, base, baseline, target):
        rows.append((what, ours, base, baseline, ours / base, target))

    with tempfile.TemporaryDirectory() as work:
        u, f = os.path.join(work, "m2.u"), os.path.join(work, "m2.f")
        subprocess.run([make_grid, "2160", "1080", u], check=True, capture_output=True)
        subprocess.run([exe, "-o", f, u], check=True, capture_output=True)
        for p in (u, f):  # into the page cache
            with open(p, "rb") as fh:
                fh.read()
        out_u, out_f = fresh(work, "out.u"), fresh(work, "out.f")

        ours, base = in_turns(runs, lambda: kvax.read(f),
                              lambda: subprocess.run([exe, "-f2u", "-o", out_u(), f], check=True,
                                                     stdout=subprocess.DEVNULL))
        row("kvax.read, text 2160 x 1080", ours, base, "kvax.out -f2u, fresh name", "<= 1.2")
        slow = statistics.median(timed(lambda: kvax_read.read_formatted(f)) for _ in range(3))
        row("kvax.read, text 2160 x 1080", ours, slow, "kvax_read.py read_formatted", "<= 1/40")

        ours, base = in_turns(runs, lambda: kvax.read(u), lambda: np.fromfile(u, dtype=np.uint8))
        row("kvax.read, binary 18.7 MB", ours, base, "numpy.fromfile, same bytes", "<= 1.5")

        s = kvax.read(u)[0]
        ours, base = in_turns(runs, lambda: kvax.write(out_f(), s),
                              lambda: subprocess.run([exe, "-u2f", "-o", out_f(), u], check=True,
                                                     stdout=subprocess.DEVNULL))
        row("kvax.write, text", ours, base, "kvax.out -u2f, fresh name", "<= 1.2")

        grew, values = peak_memory_of_read(f)

        paths = []
        for i in range(4):
            p = os.path.join(work, f"g{i}.f")
            subprocess.run([exe, "-o", p, u], check=True, capture_output=True)
            paths.append(p)
        ds = open_many(paths)
        dask_sum(ds, 1)  # imports and caches warm
        two, one = in_turns(runs, lambda: dask_sum(ds, 2), lambda: dask_sum(ds, 1))
        row("dask .sum() of four text files", two, one, "the same with one thread", "<= 0.65")
        # What two threads gain on this machine at all, with numpy's own work.
        arrays = [np.random.default_rng(i).random(1_000_000) for i in range(8)]
        two, one = in_turns(runs, lambda: sort_on(arrays, 2), lambda: sort_on(arrays, 1))
        row("control: numpy.sort of 8 arrays", two, one, "the same with one thread", "(machine)")

    print(f"medians of {runs} runs in turns (the machine is shared: figures are disturbed)")
    print(f"{'measurement':<32} {'ours':>9} {'baseline':>9}  {'ratio':>7}  target   baseline is")
    for what, ours, base, baseline, ratio, target in rows:
        print(f"{what:<32} {ours * 1e3:>7.1f}ms {base * 1e3:>7.1f}ms  {ratio:>7.3f}  {target:<7}  {baseline}")
    print(f"peak memory of kvax.read (text): values {values / 2**20:.1f} MiB, process grew "
          f"{grew / 2**20:.1f} MiB: {(grew - values) / 2**20:+.1f} MiB beyond the values (target <= 16)")


if __name__ == "__main__":
    main(sys.argv)
