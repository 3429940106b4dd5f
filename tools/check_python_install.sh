#!/usr/bin/env bash
# Checks the Python package as installed by `cmake --install BUILD_DIR`: a new
# /usr/bin/python3 with an empty environment, outside the tree, imports kvax from the
# install directory, finds the xarray engine through the installed entry point, and reads
# a file it wrote back through engine="kvax" and python3 -m kvax.
#   tools/check_python_install.sh BUILD_DIR [PREFIX]
# PREFIX: where `cmake --install BUILD_DIR --prefix PREFIX` put it (then found through
# PYTHONPATH); by default the build's own prefix, which must be on sys.path as it is.
set -euo pipefail
build=$(cd "$1" && pwd)
cache() { sed -n "s/^$1:[A-Z]*=//p" "$build/CMakeCache.txt"; }
prefix=${2:-$(cache CMAKE_INSTALL_PREFIX)}
dir=$(cache KVAX_PYTHON_INSTALL_DIR)
[[ $dir == /* ]] || dir=$prefix/$dir
pythonpath=
[[ $# -lt 2 ]] || pythonpath=$dir
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
cd "$work"
env -i HOME="$work" PATH=/usr/bin:/bin PYTHONPATH="$pythonpath" /usr/bin/python3 - "$dir" <<'PY'
import importlib.metadata, os, sys
import numpy as np, xarray as xr
import kvax
installed = sys.argv[1]
assert os.path.dirname(os.path.dirname(os.path.abspath(kvax.__file__))) == os.path.abspath(installed), kvax.__file__
engines = {e.name: e.value for e in importlib.metadata.entry_points(group="xarray.backends")}
assert engines.get("kvax") == "kvax.xarray:KvaxBackend", engines
kvax.write("m2.u", kvax.Section(np.arange(6).reshape(2, 3) + 1j, tag="M2", version=1), formatted=False)
ds = xr.open_dataset("m2.u", engine="kvax")
assert complex(ds.M2[1, 2]) == 5 + 1j, ds.M2.values
print("installed package:", os.path.dirname(kvax.__file__), "version", kvax.__version__)
PY
env -i HOME="$work" PATH=/usr/bin:/bin PYTHONPATH="$pythonpath" /usr/bin/python3 -m kvax list m2.u
echo "check_python_install: passed"
