#!/usr/bin/env bash
# Installs kivcomtrade the way a user does: pip, from the source tree, into a
# fresh virtual environment that sees the system's NumPy, pandas and Dask.
#   install_package.sh <python3> <venv folder> <source folder>
# KIVCOMTRADE_PY_BUILD_DIR keeps CMake's intermediate files between runs, so
# a second install only rebuilds what changed.
set -euo pipefail
python=$1 venv=$2 source=$3
rm -rf "$venv"
# No pip copied into the environment (that alone takes seconds): the system's
# pip, run by the environment's interpreter, installs into the environment.
"$python" -m venv --system-site-packages --without-pip "$venv"
cd "$source"
"$venv/bin/python" -m pip install --quiet --no-build-isolation --no-index --no-cache-dir \
  --disable-pip-version-check --root-user-action=ignore .
