# SPDX-License-Identifier: MIT
"""What the Python package's tests share: the packed wheels (QUIVANE_WHEELS), the virtual
environment that installed one (QUIVANE_VENV, made by install_venv.sh), the recording stand-in
(QUIVANE_STUB_DIR), the shared case tables (QUIVANE_CASES, the dump_cases program), the .NET
package the natives must equal (QUIVANE_NUPKG) and the source tree (QUIVANE_SOURCE)."""
import json
import os
import subprocess
import tempfile
from pathlib import Path

import pytest

HERE = Path(__file__).resolve().parent


def setting(name):
    value = os.environ.get(name)
    if not value or not Path(value).exists():
        pytest.fail(f"{name} must name an existing path, not '{value}'", pytrace=False)
    return Path(value).resolve()


@pytest.fixture(scope="session")
def wheels():
    found = sorted(setting("QUIVANE_WHEELS").glob("quivanedll-*.whl"))
    if not found:
        pytest.fail("no wheels: run scripts/pack-python.sh", pytrace=False)
    return found


@pytest.fixture(scope="session")
def venv_python():
    python = setting("QUIVANE_VENV") / "bin" / "python"
    if not python.exists():
        pytest.fail(f"{python} is missing: run tests/python/install_venv.sh", pytrace=False)
    return python


@pytest.fixture(scope="session")
def shared_cases():
    program = setting("QUIVANE_CASES")
    return json.loads(subprocess.run([str(program)], capture_output=True, text=True, check=True).stdout)


@pytest.fixture
def run_app(venv_python):
    """Runs app.py COMMAND in the virtual environment against the stand-in; returns its JSON
    answer and the stand-in's log, one bytes line per DNSServiceRegister call."""
    stub_dir = setting("QUIVANE_STUB_DIR")

    def run(*args, env=None, timeout=120):
        with tempfile.TemporaryDirectory() as scratch:
            log = Path(scratch) / "calls.log"
            result = subprocess.run(
                [str(venv_python), str(HERE / "app.py"), *map(str, args)], capture_output=True,
                text=True, timeout=timeout, cwd=scratch,
                env={**os.environ, "LD_LIBRARY_PATH": str(stub_dir), "QUIVANE_STUB_LOG": str(log),
                     **(env or {})})
            assert result.returncode == 0, f"{result.stdout}\n{result.stderr}"
            calls = log.read_bytes().splitlines() if log.exists() else []
            return json.loads(result.stdout), calls

    return run
