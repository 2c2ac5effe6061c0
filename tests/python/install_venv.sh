#!/usr/bin/env bash
# SPDX-License-Identifier: MIT
# Makes the fresh virtual environment the Python package's tests run in, as a user gets it:
# Debian's Python 3 with the pip venv bundles, and quivanedll installed offline from the
# packed wheels, pip choosing the one for this machine.
# Usage: install_venv.sh WHEEL_DIR VENV_DIR
set -euo pipefail
wheels=$(readlink -f "$1")
venv=$2
ls "$wheels"/quivanedll-*.whl >/dev/null 2>&1 || { echo "FAIL: no wheels in $wheels: run scripts/pack-python.sh"; exit 1; }
rm -rf "$venv"
/usr/bin/python3 -m venv "$venv"
export PIP_DISABLE_PIP_VERSION_CHECK=1 PIP_NO_INDEX=1 PIP_NO_CACHE_DIR=1
"$venv/bin/python" -m pip install --quiet --no-index --find-links "$wheels" --only-binary=:all: quivanedll
"$venv/bin/python" -c 'import importlib.metadata as m; print("installed quivanedll", m.version("quivanedll"))'
