"""The suite runs against the built library and the simulator program:
$VKTCOM_LIBRARY and $VKTCOM_SIMULATOR when set, else the build tree's."""
import os
import pathlib

import pytest

import vktcom

ROOT = pathlib.Path(__file__).resolve().parents[2]


@pytest.fixture(scope="session", autouse=True)
def built_programs():
    library = os.environ.get("VKTCOM_LIBRARY") or str(ROOT / "build" / "libvktcom.so")
    simulator = os.environ.get("VKTCOM_SIMULATOR") or str(ROOT / "build" / "tools" / "vktsim" / "vktsim")
    for what, path in (("library", library), ("simulator", simulator)):
        if not os.path.isfile(path):
            pytest.fail(f"no {what} at {path}: build it first (cmake --build build) or set its variable")
    os.environ["VKTCOM_LIBRARY"] = library
    os.environ["VKTCOM_SIMULATOR"] = simulator
    return library, simulator


@pytest.fixture
def empty_machine(tmp_path, monkeypatch):
    """Device and sysfs folders with no logger in them: nothing of the
    machine's own devices is searched or opened."""
    (tmp_path / "dev").mkdir()
    (tmp_path / "sys").mkdir()
    monkeypatch.setenv("VKTCOM_DEV_ROOT", str(tmp_path / "dev"))
    monkeypatch.setenv("VKTCOM_SYSFS_ROOT", str(tmp_path / "sys"))
    return tmp_path


def download(**simulator_options):
    """Connects to a simulated logger and downloads: (ConnectInfo, records)."""
    with vktcom.simulated_logger(**simulator_options), vktcom.Logger() as logger:
        info = logger.connect()
        return info, logger.download()
