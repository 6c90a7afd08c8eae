"""python3 -m vktcom download|info|plot against the simulated logger."""
import csv
import fcntl
import json
import os
import pty
import re
import select
import struct
import subprocess
import sys
import termios

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


def test_json_lines_have_the_fields_and_values_of_the_csv_with_numbers_for_the_values():
    options = ("download", "--simulate", "--sim-unpaced", "--sim-records", "30", "--sim-new-year")
    lines = [json.loads(line) for line in run(*options, "--json").stdout.splitlines()]
    rows = list(csv.DictReader(run(*options).stdout.splitlines()))
    assert len(lines) == len(rows) == 30
    assert [list(line) for line in lines] == [list(vktcom.CSV_HEADER)] * 30
    assert [{k: str(v) for k, v in line.items()} for line in lines] == rows
    assert lines[0]["timestamp"].startswith("2024-") and lines[-1]["timestamp"].startswith("2025-")
    assert isinstance(lines[0]["temperature"], float) and isinstance(lines[0]["x_counts"], int)
    legacy = [json.loads(line) for line in run(*options, "--format", "json-legacy").stdout.splitlines()]
    assert list(legacy[0]) == list(vktcom.LEGACY_CSV_HEADER) and legacy[0]["x"] == lines[0]["x_counts"]


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
    # Without matplotlib the hint names Debian's package first.
    (tmp_path / "hidden" / "matplotlib").mkdir(parents=True)
    (tmp_path / "hidden" / "matplotlib" / "__init__.py").write_text("raise ImportError('hidden')\n")
    done = run("plot", "--simulate", "--sim-unpaced", "-o", str(tmp_path / "p.png"),
               env={"PYTHONPATH": str(tmp_path / "hidden")})
    assert done.returncode == 1, done.stderr
    assert "plotting needs matplotlib: apt install python3-matplotlib" in done.stderr.splitlines()[-1], done.stderr


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
    options = ["download", "--simulate", "--sim-unpaced", "--sim-records", "40"]
    for layout in (["--sim-new-year"], ["--format", "csv-legacy"], ["--json"]):
        theirs = subprocess.run([vkt, *options, *layout], capture_output=True, text=True, timeout=120)
        if layout == ["--json"] and "x_counts" not in theirs.stdout:
            layout = ["--format", "json-legacy"]  # a vkt whose JSON lines have the first layout's keys
        ours = run(*options, *layout)
        assert ours.returncode == 0 == theirs.returncode, ours.stderr + theirs.stderr
        assert ours.stdout == theirs.stdout and ours.stdout.count("\n") >= 40, layout


def test_a_download_shows_its_progress_on_a_terminal_only(tmp_path):
    # 60 records at 19200 baud take 0.7 s: a few redraws of the line.
    options = ("download", "--simulate", "--sim-records", "60", "-o", str(tmp_path / "records.csv"))
    piped = run(*options)
    assert piped.returncode == 0 and piped.stderr == "downloaded 60 records\n", piped.stderr

    master, terminal = pty.openpty()
    fcntl.ioctl(terminal, termios.TIOCSWINSZ, struct.pack("HHHH", 24, 100, 0, 0))
    environment = dict(os.environ, PYTHONPATH=PACKAGE_ROOT + os.pathsep + os.environ.get("PYTHONPATH", ""))
    with open(tmp_path / "stdout", "wb") as stdout:
        process = subprocess.Popen([sys.executable, "-m", "vktcom", *options], stdin=subprocess.DEVNULL,
                                   stdout=stdout, stderr=terminal, env=environment)
    os.close(terminal)
    shown = b""
    try:
        while select.select([master], [], [], 60)[0]:
            chunk = os.read(master, 4096)
            if not chunk:
                break
            shown += chunk
    except OSError:  # the terminal's other side closed
        pass
    finally:
        os.close(master)
    assert process.wait(timeout=60) == 0, shown
    assert re.search(r"/60 records +\d+%  0:0\d left\x1b\[K", shown.decode()), shown
    # The line is cleared before the summary.
    assert shown.decode().endswith("\r\x1b[Kdownloaded 60 records\r\n"), shown


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
