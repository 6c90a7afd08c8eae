"""python3 -m vktcom download|info|plot against the simulated logger."""
import csv
import json
import os
import subprocess
import sys

import pytest

import vktcom

PACKAGE_ROOT = os.path.dirname(os.path.dirname(os.path.abspath(__file__)))


def run(*args, env=None):
    environment = dict(os.environ, **(env or {}))
    environment["PYTHONPATH"] = PACKAGE_ROOT + os.pathsep + environment.get("PYTHONPATH", "")
    return subprocess.run([sys.executable, "-m", "vktcom", *args], capture_output=True, text=True,
                          env=environment, timeout=120)


def test_info_prints_the_parameters_year_and_count():
    done = run("info", "--simulate", "--sim-unpaced", "--sim-records", "7")
    assert done.returncode == 0, done.stderr
    assert "@Count= 7 records" in done.stdout
    assert "records: 7" in done.stdout and "port: COM1" in done.stdout


def test_download_as_json_lines_has_numbers_for_the_values():
    done = run("download", "--simulate", "--sim-unpaced", "--sim-records", "3", "--json")
    assert done.returncode == 0, done.stderr
    lines = [json.loads(line) for line in done.stdout.splitlines()]
    assert len(lines) == 3 and list(lines[0]) == list(vktcom.LEGACY_CSV_HEADER)
    assert isinstance(lines[0]["temperature"], float) and isinstance(lines[0]["x"], int)


def test_download_writes_csv_that_plot_reads_back(tmp_path):
    target = tmp_path / "records.csv"
    done = run("download", "--simulate", "--sim-unpaced", "--sim-records", "120", "-o", str(target))
    assert done.returncode == 0, done.stderr
    with open(target, newline="") as f:
        rows = list(csv.reader(f))
    assert rows[0] == list(vktcom.CSV_HEADER) and len(rows) == 121

    pytest.importorskip("matplotlib")
    for name in ("plot.png", "plot.svg"):
        done = run("plot", str(target), "-o", str(tmp_path / name))
        assert done.returncode == 0, done.stderr
        assert "plotted 120 records" in done.stderr
    assert (tmp_path / "plot.png").read_bytes().startswith(b"\x89PNG")
    svg = (tmp_path / "plot.svg").read_text()
    for label in ("acceleration (counts)", "temperature (°C)", "humidity (counts)", "time"):
        assert label in svg


def test_plot_of_a_download_and_its_refusals(tmp_path):
    pytest.importorskip("matplotlib")
    done = run("plot", "--simulate", "--sim-unpaced", "--sim-records", "60", "-o", str(tmp_path / "direct.png"))
    assert done.returncode == 0, done.stderr
    done = run("plot", "--simulate", "-o", str(tmp_path / "plot.pdf"))
    assert done.returncode == 2 and ".png or .svg" in done.stderr
    (tmp_path / "other.csv").write_text("a,b\n1,2\n")
    done = run("plot", str(tmp_path / "other.csv"), "-o", str(tmp_path / "p.png"))
    assert done.returncode == 2 and "lacks the columns" in done.stderr


def test_failures_give_the_exit_codes_of_vkt(empty_machine):
    done = run("download")
    assert done.returncode == 4 and "no logger found" in done.stderr
    done = run("info", "--simulate", "--port", "COM3")
    assert done.returncode == 5 and "cannot open COM3" in done.stderr
    done = run("download", "--simulate", "--sim-unpaced", "-o", str(empty_machine / "missing" / "x.csv"))
    assert done.returncode == 8 and "cannot write" in done.stderr
    done = run("info", env={"VKTCOM_LIBRARY": str(empty_machine / "none.so")})
    assert done.returncode == 3


def test_download_writes_what_vkt_writes_for_the_same_simulated_logger(built_programs):
    library, _ = built_programs
    vkt = os.path.join(os.path.dirname(library), "tools", "vkt", "vkt")
    if not os.access(vkt, os.X_OK):
        pytest.fail(f"no vkt program at {vkt}: build it (cmake --build build --target vkt)")
    for layout in (["--sim-new-year"], ["--format", "csv-legacy"], ["--json"]):
        options = ["download", "--simulate", "--sim-unpaced", "--sim-records", "40", *layout]
        ours = run(*options)
        theirs = subprocess.run([vkt, *options], capture_output=True, text=True, timeout=120)
        assert ours.returncode == 0 == theirs.returncode, ours.stderr + theirs.stderr
        assert ours.stdout == theirs.stdout and ours.stdout.count("\n") >= 40, layout


def test_plot_reads_the_layout_of_vkt_download(tmp_path):
    from vktcom.plot import read_csv
    target = tmp_path / "vkt.csv"
    target.write_text(
        "timestamp,date,time,x_counts,y_counts,z_counts,temperature,humidity_raw\n"
        "2024-03-15T13:45:30.25,2024/03/15,13:45:30.25,1,-2,64,22.5,58\n"
        ",2024/13/15,13:45:31.00,0,0,0,0.0,0\n")
    times, xs, ys, zs, temperatures, humidities = read_csv(target)
    assert (xs, ys, zs, temperatures, humidities) == ([1], [-2], [64], [22.5], [58])
    assert len(times) == 1
