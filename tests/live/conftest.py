# SPDX-License-Identifier: MIT
import itertools
import os
import sys
from pathlib import Path

import pytest

sys.path.insert(0, str(Path(__file__).resolve().parents[2] / "scripts"))

from netlab import Lab, require_namespaces  # noqa: E402

_labs = itertools.count(1)


def module_dir():
    value = os.environ.get("QUIVANE_MODULE_DIR")
    if not value or not (Path(value) / "libQuivaneDll.so").exists():
        pytest.fail("QUIVANE_MODULE_DIR must name the directory holding the built libQuivaneDll.so")
    return Path(value)


@pytest.fixture(scope="session", autouse=True)
def namespaces_possible():
    problem = require_namespaces()
    if problem:
        pytest.fail(f"live tests cannot run here: {problem}", pytrace=False)


@pytest.fixture(scope="module")
def lab():
    """One pair of namespaces with a running responder, shared by a module's tests."""
    instance = Lab(next(_labs), module_dir())
    try:
        yield instance.up()
    finally:
        instance.down()


@pytest.fixture
def fresh_lab():
    """A pair of namespaces of the test's own, for tests that stop or restart the responder."""
    instance = Lab(next(_labs) + 100, module_dir())
    try:
        yield instance.up()
    finally:
        instance.down()
